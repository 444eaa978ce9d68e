// Moved items folded into the finished tree, whoever moved them. Each fold works on a copy
// of the tree on a worker, one at a time in the order they came: what the tree keeps no node
// for is walked where it lies now, a root missing at the scan that an item went into is
// walked whole, and the items are folded into the copy. The main thread only takes the
// folded tree in, so a move of tens of thousands of items does not hold the window up.
#include "models/ScanCoordinator.h"

#include <algorithm>

#include "engine/MultiRootScan.h"
#include "engine/TreeUpdater.h"
#include "models/BackgroundWork.h"
#include "platform/Path.h"
#include "platform/UserDefaults.h"

namespace sorvel {
namespace {

// What a fold reads of the result: the recommendations, which may be many, stay behind.
ScanResult treeOf(const ScanResult& result) {
    ScanResult tree;
    tree.scope = result.scope;
    tree.categories = result.categories;
    tree.missingRoots = result.missingRoots;
    return tree;
}

// The same tree: nodes once published never change, so the same roots hold the same figures.
bool sameTree(const ScanResult& a, const ScanResult& b) {
    if (a.categories.size() != b.categories.size() || a.missingRoots != b.missingRoots) return false;
    for (size_t c = 0; c < a.categories.size(); ++c)
        if (a.categories[c].id() != b.categories[c].id() || a.categories[c].roots != b.categories[c].roots)
            return false;
    return true;
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

// What a fold hands back from its worker: the tree folded, the roots that joined it, and
// the moves with what was measured of them, for a fold done again on a newer tree.
struct ScanCoordinator::Folded {
    ScanResult tree;
    std::vector<std::string> adopted;
    bool changed = false;
    MovedItems::Moves moves;
};

void ScanCoordinator::foldMoves(MovedItems::Moves moves, std::function<void()> then) {
    // A scan in flight measures the disk as it is now.
    if (phase_ != Phase::done || moves.empty()) {
        if (then) then();
        return;
    }
    folds_.push_back({std::move(moves), std::move(then)});
    if (folds_.size() == 1) foldNext();
}

// Folds the first of the waiting folds on a worker; a new scan drops them all.
void ScanCoordinator::foldNext() {
    while (!folds_.empty() && phase_ != Phase::done) {
        auto then = std::move(folds_.front().then);
        folds_.pop_front();
        if (then) then();
    }
    if (folds_.empty()) return;
    ScanResult tree = treeOf(result_);
    ScanResult base = tree; // kept to tell whether the tree changed while it was folded
    auto finish = [](ScanCoordinator& self) {
        auto then = std::move(self.folds_.front().then);
        self.folds_.pop_front();
        self.foldNext();
        if (then) then();
    };
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [moves = std::move(folds_.front().moves), tree = std::move(tree),
         walk = services_.walk ? services_.walk : TreeUpdater::Walk(FileWalker::walkParallel)]() mutable {
            Folded folded;
            // The walk options of the scope, worked out once for the whole fold when any are needed.
            std::optional<MultiRootScan::WalkOptionsTable> table;
            auto optionsFor = [&](const std::string& path) -> const FileWalker::Options& {
                if (!table) table.emplace(tree.scope);
                return table->forPath(path);
            };
            std::vector<ScanResult::MissingRoot> appearing;
            for (const auto& missing : tree.missingRoots)
                if (std::any_of(moves.begin(), moves.end(), [&](const TreeMoves::Move& m) {
                        return !m.to.empty() && isPathInside(m.to, missing.path);
                    }))
                    appearing.push_back(missing);
            Appeared appeared = walkAppeared(appearing, tree.scope, walk);
            const auto records = ownRecordsIn(tree);
            ScanNodePtr recordsNode;
            if (records) {
                ScanControl control;
                recordsNode = walk(*records, control, optionsFor(*records));
            }
            const auto measuring = TreeMoves::needingMeasure(moves, tree);
            std::vector<TreeMoves::Move> chosen;
            for (const size_t i : measuring) chosen.push_back(std::move(moves[i]));
            TreeMoves::measure(chosen, [&](const std::string& path) {
                ScanControl control;
                return FileWalker::walk(path, control, optionsFor(path));
            });
            for (size_t k = 0; k < measuring.size(); ++k) moves[measuring[k]] = std::move(chosen[k]);
            folded.adopted = adopt(tree, std::move(appeared));
            folded.changed = TreeMoves::apply(moves, tree) || !folded.adopted.empty();
            if (records && recordsNode)
                if (const auto location = TreeUpdater::search(*records, tree)) {
                    TreeUpdater::apply(std::move(recordsNode), *location, tree);
                    folded.changed = true;
                }
            folded.tree = std::move(tree);
            folded.moves = std::move(moves);
            return folded;
        },
        [generation = scanGeneration_, base = std::move(base), finish](ScanCoordinator& self, Folded folded) {
            if (generation == self.scanGeneration_ && self.phase_ == Phase::done) {
                if (!sameTree(base, self.result_)) {
                    // The tree changed meanwhile (a root joined): folded again on it as it is.
                    self.folds_.front().moves = std::move(folded.moves);
                    return self.foldNext();
                }
                self.landFold(std::move(folded));
            }
            finish(self);
        },
        [generation = scanGeneration_, finish](ScanCoordinator& self, const std::string& reason) {
            if (generation == self.scanGeneration_ && self.phase_ == Phase::done) {
                self.setFailure(Models::failureSentence("counting the moved items", reason));
                self.setHasPendingChanges(true);
            }
            finish(self);
        });
}

void ScanCoordinator::landFold(Folded folded) {
    if (!folded.changed) return;
    const bool missingChanged = folded.tree.missingRoots != result_.missingRoots;
    result_.categories = std::move(folded.tree.categories);
    result_.missingRoots = std::move(folded.tree.missingRoots);
    publishFold(folded.adopted);
    // A root that left (moved away whole) is looked out for, should it come back.
    if (missingChanged && folded.adopted.empty() && liveUpdatesEnabled_) watchMissingRoots();
}

void ScanCoordinator::publishFold(const std::vector<std::string>& adopted) {
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
        watchJoinedRoots(adopted);
        watchMissingRoots();
    }
}

// The recommendations follow the folded tree: what moved is offered no more, and the Trash
// it went to reads its new size. Worked out off the main thread from a copy, as a live pass
// does; a tree published or edited meanwhile works them out again itself.
void ScanCoordinator::recommendAgain() {
    if (!services_.recommend) return;
    // The old recommendations are not copied: they are what is worked out again.
    auto items = std::move(result_.cleanupItems);
    ScanResult base = result_;
    result_.cleanupItems = std::move(items);
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [base = std::move(base), recommend = services_.recommend] { return recommend(base); },
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

} // namespace sorvel
