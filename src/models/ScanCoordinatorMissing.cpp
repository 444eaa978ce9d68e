// Roots missing from the tree: those missing at the scan (a Trash never used yet), and those
// that left it since (removed from the disk, or moved away whole). The nearest folder above
// each that exists is watched alone; one that comes into being, by a move from here or by
// another program, is measured whole and joins the tree, watched apart from then on.
#include "models/ScanCoordinator.h"

#include <algorithm>

#include "engine/MultiRootScan.h"
#include "models/BackgroundWork.h"
#include "platform/FileManager.h"
#include "platform/Path.h"

namespace sorvel {
namespace {

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

// The missing roots that exist now, each walked whole as the scan would have walked it;
// `present` gets every one found there, walked or not.
ScanCoordinator::Appeared ScanCoordinator::walkAppeared(const std::vector<ScanResult::MissingRoot>& missing,
                                                        ScanScope scope, const TreeUpdater::Walk& walk,
                                                        std::set<std::string>* present) {
    Appeared appeared;
    std::optional<MultiRootScan::WalkOptionsTable> table; // read once, when a root is there
    for (const auto& root : missing) {
        if (FileManager::presence(root.path) != FileManager::Presence::present) continue;
        if (present) present->insert(root.path);
        if (!table) table.emplace(scope);
        ScanControl control;
        if (ScanNodePtr node = walk(root.path, control, table->forPath(root.path)))
            appeared.emplace_back(root, std::move(node));
    }
    return appeared;
}

// Each root that appeared joins its category (the category joins in display order when it
// has no root yet) and leaves the missing; the paths of those that joined.
std::vector<std::string> ScanCoordinator::adopt(ScanResult& result, Appeared appeared) {
    std::vector<std::string> adopted;
    if (appeared.empty()) return adopted;
    const auto definitions = DisplayCategory::categories(result.scope);
    auto rank = [&](const std::string& id) {
        return std::find_if(definitions.begin(), definitions.end(), [&](const DisplayCategory& d) { return d.id == id; }) -
               definitions.begin();
    };
    for (auto& [missing, node] : appeared) {
        auto& list = result.missingRoots;
        const auto at = std::find(list.begin(), list.end(), missing);
        if (at == list.end()) continue; // adopted by an earlier fold
        auto category = std::find_if(result.categories.begin(), result.categories.end(),
                                     [&](const CategoryResult& c) { return c.id() == missing.categoryID; });
        if (category == result.categories.end()) {
            const auto definition = definitions.begin() + rank(missing.categoryID);
            if (definition == definitions.end()) continue;
            const auto place = std::find_if(result.categories.begin(), result.categories.end(),
                                            [&](const CategoryResult& c) { return rank(c.id()) > rank(missing.categoryID); });
            category = result.categories.insert(place, CategoryResult{*definition, {}});
        }
        list.erase(at);
        adopted.push_back(node->path);
        category->roots.push_back(std::move(node));
        sortBySizeDescending(category->roots);
    }
    return adopted;
}

// A root that joined is watched apart: restarting every watch for it would leave the other
// trees unwatched meanwhile, and a change made there then would go unseen.
void ScanCoordinator::watchJoinedRoots(std::vector<std::string> roots) {
    if (!liveUpdatesEnabled_ || phase_ != Phase::done || roots.empty()) return;
    if (!joinAbandoned_) joinAbandoned_ = std::make_shared<std::atomic<bool>>(false);
    const uint64_t generation = watchGeneration_;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [make = watcherMaker(generation, joinAbandoned_), roots] { return make(roots); },
        [generation, roots](ScanCoordinator& self, std::unique_ptr<FileSystemWatcher> watcher) {
            self.installJoinedWatcher(generation, std::move(watcher), roots);
        },
        [generation](ScanCoordinator& self, const std::string& reason) {
            if (generation != self.watchGeneration_ || self.phase_ != Phase::done) return;
            self.setFailure(Models::failureSentence("setting up live updates", reason) +
                            " The numbers are not kept up to date.");
        });
}

void ScanCoordinator::installJoinedWatcher(uint64_t generation, std::unique_ptr<FileSystemWatcher> watcher,
                                           const std::vector<std::string>& roots) {
    if (generation != watchGeneration_ || !liveUpdatesEnabled_ || phase_ != Phase::done) {
        watcher->stop();
        return;
    }
    // Gone again before its watch was in place: no event will tell, so it is measured again
    // now, which finds it gone; it is watched for from the folder above.
    std::vector<std::string> gone;
    for (const auto& root : roots)
        if (FileManager::presence(root) == FileManager::Presence::absent) gone.push_back(root);
    if (!gone.empty()) absorb(gone);
    // Short of watches: the one set-up over every root counts what it left unwatched, as
    // after the scan.
    if (!watcher->isRunning()) {
        if (gone.size() == roots.size()) return;
        return startWatching();
    }
    joinedWatchers_.push_back(std::move(watcher));
    const bool more = watchesStillCounting();
    if (takeWatchCounts()) emit watchingChanged();
    if (more || stillCounting_) followCount();
}

void ScanCoordinator::stopWatchingMissingRoots() {
    ++missingGeneration_;
    retire(std::move(missingWatcher_));
}

// The folder above each missing root that exists now is watched alone (one watch each,
// from the same share, after the trees'): an entry made there may be the root, or a folder
// on its way. Set up here, a few looks and watches, so it is let go with the trees' at once.
void ScanCoordinator::watchMissingRoots(bool lookNow, const std::set<std::string>& seen) {
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
    if (services_.watchAboveMissing) services_.watchAboveMissing(*watcher, above);
    else watcher->start(above);
    // Without the watch a missing root is still measured when a move from here reaches
    // it, and by the next scan.
    if (watcher->isRunning()) missingWatcher_ = std::move(watcher);
    // One that came into being before the watch was in place is not missed: looked for
    // once the watch is there.
    if (!lookNow) return;
    for (const auto& root : result_.missingRoots)
        if (!seen.count(root.path) && FileManager::presence(root.path) == FileManager::Presence::present)
            return noticeMissingRoots();
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
    struct Look {
        Appeared appeared;
        std::set<std::string> present;
    };
    Models::runThenDeliver(
        this, Models::WorkPriority::utility,
        [missing = result_.missingRoots, scope = result_.scope,
         walk = services_.walk ? services_.walk : TreeUpdater::Walk(FileWalker::walkParallel)] {
            Look look;
            look.appeared = walkAppeared(missing, scope, walk, &look.present);
            return look;
        },
        [generation = scanGeneration_](ScanCoordinator& self, Look look) {
            self.missingCheckInFlight_ = false;
            if (generation != self.scanGeneration_ || self.phase_ != Phase::done) return;
            const auto adopted = adopt(self.result_, std::move(look.appeared));
            if (!adopted.empty()) self.publishFold(adopted);
            // The watch restarts with the tree's when a root joined; otherwise it moves
            // closer to the roots still missing, and those that came meanwhile are looked
            // for once it is there.
            if (adopted.empty() || !self.liveUpdatesEnabled_) self.watchMissingRoots(true, look.present);
            if (self.missingCheckWanted_) self.noticeMissingRoots();
        },
        [](ScanCoordinator& self, const std::string&) {
            self.missingCheckInFlight_ = false;
            if (self.missingCheckWanted_) self.noticeMissingRoots();
        });
}

} // namespace sorvel
