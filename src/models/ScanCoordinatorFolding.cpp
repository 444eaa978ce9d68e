// Moved items folded into the finished tree, whoever moved them, and the roots missing at
// the scan (a Trash never used yet) measured whole once they come into being: by a move
// from here, or by another program, which a watch on the nearest folder above them tells.
#include "models/ScanCoordinator.h"

#include <algorithm>

#include "engine/MultiRootScan.h"
#include "engine/TreeUpdater.h"
#include "models/BackgroundWork.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "platform/UserDefaults.h"

namespace sorvel {
namespace {

using Appeared = std::vector<std::pair<ScanResult::MissingRoot, ScanNodePtr>>;

// The missing roots that exist now, each walked whole as the scan would have walked it.
Appeared walkAppeared(const std::vector<ScanResult::MissingRoot>& missing, ScanScope scope,
                      const TreeUpdater::Walk& walk) {
    Appeared appeared;
    for (const auto& root : missing) {
        if (FileManager::presence(root.path) != FileManager::Presence::present) continue;
        ScanControl control;
        if (ScanNodePtr node = walk(root.path, control, MultiRootScan::walkOptions(root.path, scope)))
            appeared.emplace_back(root, std::move(node));
    }
    return appeared;
}

// The nearest folder above the path that exists now; none when not even "/" does.
std::optional<std::string> nearestExisting(std::string path) {
    for (;;) {
        std::string parent = deletingLastPathComponent(path);
        if (parent.empty() || parent == path) return std::nullopt;
        if (FileManager::presence(parent) == FileManager::Presence::present) return parent;
        path = std::move(parent);
    }
}

} // namespace

// Sorvel's own folder, where every move and measurement is recorded: the deepest scanned
// folder holding it, when a root does. It grows with what Sorvel records, so it is measured
// again with each.
std::optional<std::string> ScanCoordinator::ownRecordsIn(const ScanResult& result) {
    const std::string own = deletingLastPathComponent(UserDefaults::standardFilePath());
    const auto location = TreeUpdater::locate(own, result);
    if (!location) return std::nullopt;
    return location->chain.back()->path;
}

void ScanCoordinator::measureOwnRecordsAgain(ScanResult& result) {
    const auto records = ownRecordsIn(result);
    if (!records) return;
    ScanControl control;
    ScanNodePtr node = FileWalker::walk(*records, control, MultiRootScan::walkOptions(*records, result.scope));
    if (!node) return;
    if (const auto location = TreeUpdater::search(*records, result)) TreeUpdater::apply(std::move(node), *location, result);
}

// What a fold hands back from its worker: the moves with what was measured of them, the
// missing roots that exist now, walked whole, and Sorvel's own folder walked again.
struct ScanCoordinator::Fold {
    MovedItems::Moves moves;
    Appeared appeared;
    std::optional<std::string> records;
    ScanNodePtr recordsNode; // none: gone
};

void ScanCoordinator::foldMoves(MovedItems::Moves moves, std::function<void()> then) {
    auto finish = [&then] {
        if (then) then();
    };
    // A scan in flight measures the disk as it is now.
    if (phase_ != Phase::done || moves.empty()) return finish();
    std::vector<ScanResult::MissingRoot> appearing;
    for (const auto& missing : result_.missingRoots)
        if (std::any_of(moves.begin(), moves.end(),
                        [&](const TreeMoves::Move& m) { return !m.to.empty() && isPathInside(m.to, missing.path); }))
            appearing.push_back(missing);
    std::vector<size_t> measuring;
    for (size_t i = 0; i < moves.size(); ++i)
        if (TreeMoves::needsMeasuring(moves[i], result_)) measuring.push_back(i);
    std::optional<std::string> records = ownRecordsIn(result_);
    if (appearing.empty() && measuring.empty() && !records) {
        applyFold(Fold{std::move(moves), {}, {}, {}});
        return finish();
    }
    // Walked on a worker; live passes wait for it, so nothing is measured twice meanwhile.
    ++foldsInFlight_;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [moves = std::move(moves), measuring = std::move(measuring), appearing = std::move(appearing),
         records = std::move(records), scope = result_.scope,
         walk = services_.walk ? services_.walk : TreeUpdater::Walk(FileWalker::walkParallel)]() mutable {
            Fold fold;
            fold.appeared = walkAppeared(appearing, scope, walk);
            if (records) {
                ScanControl control;
                fold.recordsNode = walk(*records, control, MultiRootScan::walkOptions(*records, scope));
                fold.records = std::move(records);
            }
            // Only those chosen on the main thread: the worker does not read the tree.
            std::vector<TreeMoves::Move> chosen;
            for (const size_t i : measuring) chosen.push_back(std::move(moves[i]));
            TreeMoves::measure(chosen, [scope](const std::string& path) {
                ScanControl control;
                return FileWalker::walk(path, control, MultiRootScan::walkOptions(path, scope));
            });
            for (size_t k = 0; k < measuring.size(); ++k) moves[measuring[k]] = std::move(chosen[k]);
            fold.moves = std::move(moves);
            return fold;
        },
        [generation = scanGeneration_, then](ScanCoordinator& self, Fold fold) {
            --self.foldsInFlight_;
            if (generation == self.scanGeneration_ && self.phase_ == Phase::done) self.applyFold(std::move(fold));
            if (then) then();
        },
        [generation = scanGeneration_, then](ScanCoordinator& self, const std::string& reason) {
            --self.foldsInFlight_;
            if (generation == self.scanGeneration_ && self.phase_ == Phase::done) {
                self.setFailure(Models::failureSentence("counting the moved items", reason));
                self.setHasPendingChanges(true);
            }
            if (then) then();
        });
}

void ScanCoordinator::applyFold(Fold fold) {
    std::vector<std::string> adopted;
    for (auto& [missing, node] : fold.appeared) {
        auto& list = result_.missingRoots;
        const auto at = std::find(list.begin(), list.end(), missing);
        if (at == list.end()) continue; // adopted by an earlier fold
        list.erase(at);
        auto category = std::find_if(result_.categories.begin(), result_.categories.end(),
                                     [&](const CategoryResult& c) { return c.id() == missing.categoryID; });
        if (category == result_.categories.end()) {
            // Its category joins in display order.
            const auto definitions = DisplayCategory::categories(result_.scope);
            auto rank = [&](const std::string& id) {
                return std::find_if(definitions.begin(), definitions.end(),
                                    [&](const DisplayCategory& d) { return d.id == id; }) -
                       definitions.begin();
            };
            const auto definition = definitions.begin() + rank(missing.categoryID);
            if (definition == definitions.end()) continue;
            const auto place = std::find_if(result_.categories.begin(), result_.categories.end(),
                                            [&](const CategoryResult& c) { return rank(c.id()) > rank(missing.categoryID); });
            category = result_.categories.insert(place, CategoryResult{*definition, {}});
        }
        adopted.push_back(node->path);
        category->roots.push_back(std::move(node));
        sortBySizeDescending(category->roots);
    }
    bool moved = TreeMoves::apply(fold.moves, result_);
    if (fold.records && fold.recordsNode)
        if (const auto location = TreeUpdater::search(*fold.records, result_)) {
            TreeUpdater::apply(std::move(fold.recordsNode), *location, result_);
            moved = true;
        }
    if (!moved && adopted.empty()) return;
    ++treeEdits_;
    ++treeVersion_;
    emit resultChanged();
    recommendAgain();
    followNewTree();
    int64_t total = 0;
    for (const auto& category : result_.categories)
        for (const auto& root : category.roots) total += root->size;
    if (setScannedBytes(total)) emit progressChanged();
    // Followed by live updates from now on, and no longer looked out for.
    if (!adopted.empty() && liveUpdatesEnabled_) {
        watchJoinedRoots(std::move(adopted));
        watchMissingRoots(false);
    }
}

// The recommendations follow the folded tree: what moved is offered no more, and the Trash
// it went to reads its new size. Worked out off the main thread from a copy, as a live pass
// does; a tree published or edited meanwhile works them out again itself.
void ScanCoordinator::recommendAgain() {
    if (!services_.recommend) return;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [base = result_, recommend = services_.recommend] { return recommend(base); },
        [generation = scanGeneration_, version = treeVersion_](ScanCoordinator& self, std::vector<CleanupItem> items) {
            if (generation != self.scanGeneration_ || self.phase_ != Phase::done || version != self.treeVersion_)
                return;
            self.result_.cleanupItems = std::move(items);
            std::set<std::string> kept;
            for (const auto& item : self.result_.cleanupItems)
                if (self.selectedCleanupIDs_.count(item.id)) kept.insert(item.id);
            self.setSelectedCleanupIDs(std::move(kept));
            emit self.resultChanged();
        },
        [generation = scanGeneration_](ScanCoordinator& self, const std::string& reason) {
            if (generation != self.scanGeneration_ || self.phase_ != Phase::done) return;
            self.setFailure(Models::failureSentence("working out the recommendations again after the move", reason));
        });
}

// A root that joined is watched apart: restarting every watch for it would leave the other
// trees unwatched meanwhile, and a change made there then would go unseen.
void ScanCoordinator::watchJoinedRoots(std::vector<std::string> roots) {
    if (!liveUpdatesEnabled_ || phase_ != Phase::done || roots.empty()) return;
    if (!joinAbandoned_) joinAbandoned_ = std::make_shared<std::atomic<bool>>(false);
    const uint64_t generation = watchGeneration_;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [make = watcherMaker(generation, joinAbandoned_), roots = std::move(roots)] { return make(roots); },
        [generation](ScanCoordinator& self, std::unique_ptr<FileSystemWatcher> watcher) {
            self.installJoinedWatcher(generation, std::move(watcher));
        },
        [generation](ScanCoordinator& self, const std::string& reason) {
            if (generation != self.watchGeneration_ || self.phase_ != Phase::done) return;
            self.setFailure(Models::failureSentence("setting up live updates", reason) +
                            " The numbers are not kept up to date.");
        });
}

void ScanCoordinator::installJoinedWatcher(uint64_t generation, std::unique_ptr<FileSystemWatcher> watcher) {
    if (generation != watchGeneration_ || !liveUpdatesEnabled_ || phase_ != Phase::done) {
        watcher->stop();
        return;
    }
    // Short of watches, or gone again: the one set-up over every root counts what it left
    // unwatched, as after the scan.
    if (!watcher->isRunning()) return startWatching();
    joinedWatchers_.push_back(std::move(watcher));
    const bool more = watchesStillCounting();
    if (takeWatchCounts()) emit watchingChanged();
    if (more || stillCounting_) followCount();
}

void ScanCoordinator::stopWatchingMissingRoots() {
    ++missingGeneration_;
    if (missingWatcher_) missingWatcher_->stop();
    missingWatcher_.reset();
}

// The folder above each missing root that exists now is watched alone (one watch each,
// from the same share, after the trees'): an entry made there may be the root, or a folder
// on its way. Set up here, a few looks and watches, so it is let go with the trees' at once.
void ScanCoordinator::watchMissingRoots(bool lookNow) {
    stopWatchingMissingRoots();
    if (!liveUpdatesEnabled_ || phase_ != Phase::done || result_.missingRoots.empty()) return;
    std::vector<std::string> above;
    for (const auto& root : result_.missingRoots)
        if (auto folder = nearestExisting(root.path); folder && std::find(above.begin(), above.end(), *folder) == above.end())
            above.push_back(std::move(*folder));
    QPointer<ScanCoordinator> self(this);
    auto watcher = std::make_unique<FileSystemWatcher>([self, generation = missingGeneration_](const std::vector<std::string>&) {
        Models::deliver(self, [generation](ScanCoordinator& alive) {
            if (alive.missingGeneration_ == generation) alive.noticeMissingRoots();
        });
    });
    watcher->setShallow(true);
    watcher->start(above);
    // Without the watch a missing root is still measured when a move from here reaches
    // it, and by the next scan.
    if (watcher->isRunning()) missingWatcher_ = std::move(watcher);
    // One that came into being before the watch was in place is not missed.
    if (!lookNow) return;
    for (const auto& root : result_.missingRoots)
        if (FileManager::presence(root.path) == FileManager::Presence::present) return noticeMissingRoots();
}

// Something changed beside a missing root: those that exist now are measured whole and
// join the tree; the watch moves to the folders nearest the rest.
void ScanCoordinator::noticeMissingRoots() {
    if (phase_ != Phase::done) return;
    if (missingCheckInFlight_) {
        missingCheckWanted_ = true;
        return;
    }
    missingCheckInFlight_ = true;
    missingCheckWanted_ = false;
    Models::runThenDeliver(
        this, Models::WorkPriority::utility,
        [missing = result_.missingRoots, scope = result_.scope,
         walk = services_.walk ? services_.walk : TreeUpdater::Walk(FileWalker::walkParallel)] {
            return walkAppeared(missing, scope, walk);
        },
        [generation = scanGeneration_](ScanCoordinator& self, Appeared appeared) {
            self.missingCheckInFlight_ = false;
            if (generation != self.scanGeneration_ || self.phase_ != Phase::done) return;
            const bool some = !appeared.empty();
            if (some) self.applyFold(Fold{{}, std::move(appeared), {}, {}});
            // The watch restarts with the tree's when a root joined; otherwise it moves
            // closer to the roots still missing.
            if (!some || !self.liveUpdatesEnabled_) self.watchMissingRoots(false);
            if (self.missingCheckWanted_) self.noticeMissingRoots();
        },
        [](ScanCoordinator& self, const std::string&) {
            self.missingCheckInFlight_ = false;
            if (self.missingCheckWanted_) self.noticeMissingRoots();
        });
}

} // namespace sorvel
