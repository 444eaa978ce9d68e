// Live updates of a finished scan: watch the scanned roots, gather changed directories
// until the reports have been quiet for 500 ms, then measure them again in one pass off the
// main thread, which hands back a new tree to publish; the tree already published is never
// changed. One pass at a time; too large a batch only asks for a rescan.
#include "models/ScanCoordinator.h"

#include <QTimer>

#include <algorithm>
#include <utility>
#include <cerrno>
#include <system_error>

#include "engine/MultiRootScan.h"
#include "engine/VolumeProbe.h"
#include "models/BackgroundWork.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "removal/RemovalRun.h"

namespace sorvel {
namespace {
constexpr int kMovesLookMs = 200;

// The roots at or below the folders measured.
std::vector<std::string> rootsInside(const ScanResult& result, const std::vector<TreeUpdater::Remeasured>& measured) {
    std::vector<std::string> inside;
    for (const auto& category : result.categories)
        for (const auto& root : category.roots)
            if (root && std::any_of(measured.begin(), measured.end(),
                                    [&](const TreeUpdater::Remeasured& m) { return isPathInside(root->path, m.path); }))
                inside.push_back(root->path);
    return inside;
}
} // namespace

// What a pass hands back: its own copy of the result, changed only where it measured, with
// the recommendations and volume figures redone when a size changed.
struct ScanCoordinator::LivePass {
    ScanResult result;
    std::vector<std::string> directories;              // what it set out to measure
    std::shared_ptr<const ScanControl::Inodes> inodes; // none: called off midway
    uint64_t movesBegun = 0; // moves of this process begun when it set out
    uint64_t treeEdits = 0;
    bool spliced = false;
    bool changed = false;
};

void ScanCoordinator::setLiveUpdatesEnabled(bool enabled) {
    if (liveUpdatesEnabled_ == enabled) return;
    liveUpdatesEnabled_ = enabled;
    emit liveUpdatesEnabledChanged();
    if (enabled) startWatching();
    else stopWatching();
}

void ScanCoordinator::stopWatching() {
    // Also turns away a set-up still in flight: it comes back under an older number, and
    // gives up early so its watches go back to the share at once.
    ++watchGeneration_;
    stopWatchingMissingRoots();
    for (auto* flag : {&setUpAbandoned_, &joinAbandoned_}) {
        if (*flag) (*flag)->store(true);
        flag->reset();
    }
    const bool counted = watchedFolders_ != 0 || unwatchedFolders_ != 0 || watchesRanOut_ || stillCounting_;
    watchedFolders_ = unwatchedFolders_ = 0;
    watchesRanOut_ = stillCounting_ = false;
    const bool was = isWatching();
    retire(std::move(watcher_));
    for (auto& joined : joinedWatchers_) retire(std::move(joined));
    joinedWatchers_.clear();
    if (was || counted) emit watchingChanged();
}

// A watcher of a whole disk's folders takes long to let go of its watches and records: it
// is stopped and freed on a worker. Its batches, if any still come, carry an older number.
// Until it is gone it holds part of the share, which a set-up meanwhile may have missed.
void ScanCoordinator::retire(std::unique_ptr<FileSystemWatcher> watcher) {
    if (!watcher) return;
    ++retiring_;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [held = std::shared_ptr<FileSystemWatcher>(std::move(watcher))]() mutable {
            held->stop();
            held.reset();
            return true;
        },
        [](ScanCoordinator& alive, bool) {
            --alive.retiring_;
            alive.watchAgainIfShort();
        },
        [](ScanCoordinator& alive, const std::string&) {
            --alive.retiring_;
            alive.watchAgainIfShort();
        });
}

bool ScanCoordinator::isWatching() const {
    if (watcher_ && watcher_->isRunning()) return true;
    return std::any_of(joinedWatchers_.begin(), joinedWatchers_.end(), [](const auto& w) { return w->isRunning(); });
}

bool ScanCoordinator::watchesStillCounting() const {
    if (watcher_ && watcher_->stillCounting()) return true;
    return std::any_of(joinedWatchers_.begin(), joinedWatchers_.end(),
                       [](const auto& w) { return w->stillCounting(); });
}

bool ScanCoordinator::takeWatchCounts() {
    // Asked first: a count that ends before the figures are read is then only said to go
    // on a moment too long, never said to be whole while its figure is short.
    const bool counting = watchesStillCounting();
    size_t watched = watcher_ ? watcher_->watchedFolders() : 0;
    size_t unwatched = watcher_ ? watcher_->unwatchedFolders() : 0;
    for (const auto& joined : joinedWatchers_) {
        watched += joined->watchedFolders();
        unwatched += joined->unwatchedFolders();
    }
    // Streams that run yet watch nothing, for want of watches (after dropped events the
    // trees may be watched anew): not live, as when they could not start at all.
    const bool ranOut = (watcher_ || !joinedWatchers_.empty()) &&
                        (isWatching() ? watched == 0 && unwatched > 0 : watchesRanOut_);
    if (watched == watchedFolders_ && unwatched == unwatchedFolders_ && ranOut == watchesRanOut_ &&
        counting == stillCounting_)
        return false;
    watchedFolders_ = watched;
    unwatchedFolders_ = unwatched;
    watchesRanOut_ = ranOut;
    stillCounting_ = counting;
    return true;
}

void ScanCoordinator::startWatching() {
    stopWatching();
    if (!liveUpdatesEnabled_) return;
    std::vector<std::string> roots;
    for (const auto& category : result_.categories)
        for (const auto& root : category.roots) roots.push_back(root->path);
    if (roots.empty()) return watchMissingRoots();
    // One watch per folder of the scanned trees takes long on a big tree, so the watcher is
    // built and started on a worker and installed when it comes back. Changes made before it
    // is installed go unseen, as did those made during the scan's own walk.
    const uint64_t generation = watchGeneration_;
    // An older set-up still winding down holds part of the share meanwhile.
    setUpOverlapped_ = setUpsInFlight_ > 0 || retiring_ > 0;
    ++setUpsInFlight_;
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    setUpAbandoned_ = abandoned;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [make = watcherMaker(generation, abandoned), roots = std::move(roots)] { return make(roots); },
        [generation](ScanCoordinator& alive, std::unique_ptr<FileSystemWatcher> watcher) {
            alive.installWatcher(generation, std::move(watcher));
        },
        [generation](ScanCoordinator& alive, const std::string& reason) {
            --alive.setUpsInFlight_;
            // A newer set-up may have been short of the watches this one held until now.
            alive.watchAgainIfShort();
            if (generation != alive.watchGeneration_ || alive.phase_ != Phase::done) return;
            alive.watchMissingRoots();
            alive.setFailure(Models::failureSentence("setting up live updates", reason) +
                             " The numbers are not kept up to date.");
        });
}

// Made on a worker: one watch per folder of the trees takes long on a big tree. Batches
// come back to the main thread while the watching they belong to is still current.
std::function<std::unique_ptr<FileSystemWatcher>(const std::vector<std::string>&)>
ScanCoordinator::watcherMaker(uint64_t generation, std::shared_ptr<std::atomic<bool>> abandoned) {
    QPointer<ScanCoordinator> self(this);
    return [self, generation, abandoned, startWatcher = services_.startWatcher](const std::vector<std::string>& roots) {
        auto watcher = std::make_unique<FileSystemWatcher>([self, generation](const std::vector<std::string>& batch) {
            Models::deliver(self, [batch, generation](ScanCoordinator& alive) {
                if (alive.watchGeneration_ == generation) alive.absorb(batch);
            });
        });
        watcher->setCancellation([abandoned] { return abandoned->load(); });
        watcher->setCountLater(true); // watching starts before the folders past the share are counted
        if (startWatcher) startWatcher(*watcher, roots);
        else watcher->start(roots);
        // Said like any other failed set-up, never shown as live.
        if (watcher->lackedThread())
            throw std::system_error(EAGAIN, std::generic_category(), "no thread could be started for it");
        return watcher;
    };
}

void ScanCoordinator::installWatcher(uint64_t generation, std::unique_ptr<FileSystemWatcher> watcher) {
    // A stop, a switch-off or a newer scan since the set-up began: this watcher is not wanted.
    --setUpsInFlight_;
    if (generation != watchGeneration_ || !liveUpdatesEnabled_ || phase_ != Phase::done) {
        retire(std::move(watcher));
        return;
    }
    setUpAbandoned_.reset();
    watcher_ = std::move(watcher);
    // Asked before the counts are taken: a count that ends in between is taken again later.
    const bool more = watcher_->stillCounting();
    bool counted = takeWatchCounts();
    if (!watcher_->isRunning() && watcher_->shortOfWatches()) counted = watchesRanOut_ = true;
    if (watcher_->isRunning() || counted) emit watchingChanged();
    if (more || stillCounting_) followCount();
    // A root removed between the tree and its watch: no event will tell, so it is measured
    // again now, which finds it gone.
    std::vector<std::string> gone;
    for (const auto& category : result_.categories)
        for (const auto& root : category.roots)
            if (FileManager::presence(root->path) == FileManager::Presence::absent) gone.push_back(root->path);
    if (!gone.empty()) absorb(gone);
    watchAgainIfShort();
    // After the trees': their watches come first from the share.
    if (generation == watchGeneration_) watchMissingRoots();
}

// A set-up that ran beside an older one winding down may have been refused watches that
// the older one gave back soon after: once every older one is back, it is done once more.
void ScanCoordinator::watchAgainIfShort() {
    if (!setUpOverlapped_ || setUpsInFlight_ != 0 || retiring_ != 0 || !watcher_) return;
    if (watcher_->isRunning() && !watcher_->stillCounting() && watcher_->unwatchedFolders() == 0) return;
    setUpOverlapped_ = false;
    startWatching();
}

// The folders past the share are still being counted: their count is taken now and then
// until it is complete.
void ScanCoordinator::followCount() {
    if (followingCount_) return; // one look at a time, for whichever watcher is current then
    followingCount_ = true;
    QTimer::singleShot(250, this, [this] {
        followingCount_ = false;
        if (!watcher_ && joinedWatchers_.empty()) return;
        const bool more = watchesStillCounting();
        if (takeWatchCounts()) emit watchingChanged();
        if (more || stillCounting_) followCount();
    });
}

void ScanCoordinator::absorb(const std::vector<std::string>& paths) {
    if (phase_ != Phase::done) return;
    // Folders made since may have been watched, or left out past the share (and are counted
    // beside the events), or gone; after dropped events everything was watched anew.
    const bool more = watchesStillCounting();
    if (takeWatchCounts()) emit watchingChanged();
    if (more || stillCounting_) followCount();
    // Every batch restarts the quiet period; processing follows 500 ms after the last.
    changes_.add(paths);
}

void ScanCoordinator::cancelLivePass() {
    // Still counted as in flight until its worker hands back: passes never overlap.
    if (livePass_) livePass_->cancel();
}

void ScanCoordinator::processPendingChanges() {
    if (livePass_) {
        // What gathered meanwhile waits for the pass in flight and goes into the next.
        passWanted_ = true;
        return;
    }
    passWanted_ = false;
    if (phase_ == Phase::done && heldBackByMoves()) return;
    const std::set<std::string> taken = changes_.take();
    if (taken.empty()) return;
    if (phase_ != Phase::done) return;
    auto directories = TreeUpdater::coalesce(std::vector<std::string>(taken.begin(), taken.end()), result_);
    if (directories.empty()) return;
    if (directories.size() > static_cast<size_t>(incrementalBudget)) {
        setHasPendingChanges(true);
        return;
    }

    // The pass works on its own copy of the result and of what is known of hard links;
    // the published tree is never touched, only replaced when the pass comes back.
    auto control = std::make_shared<ScanControl>();
    livePass_ = control;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [control, base = result_, inodes = treeInodes_, directories = std::move(directories),
         walk = services_.walk ? services_.walk : TreeUpdater::Walk(FileWalker::walkParallel),
         recommend = services_.recommend, begun = RemovalRun::movesBegun(), edits = treeEdits_]() mutable {
            LivePass pass;
            pass.movesBegun = begun;
            pass.treeEdits = edits;
            pass.directories = directories;
            pass.result = std::move(base);
            if (inodes) control->adoptInodes(*inodes);
            const MultiRootScan::WalkOptionsTable options(pass.result.scope); // once a pass
            const auto measured = TreeUpdater::remeasure(
                std::move(directories), pass.result, *control,
                [&options](const std::string& path) { return options.forPath(path); }, walk);
            if (control->cancelled()) return pass;
            pass.inodes = std::make_shared<const ScanControl::Inodes>(control->takeInodes());
            pass.spliced = !measured.empty();
            pass.changed = std::any_of(measured.begin(), measured.end(),
                                       [](const TreeUpdater::Remeasured& m) { return m.change != 0; });
            // A root gone from the disk leaves the tree, as a fresh scan leaves it, and is
            // looked out for: made again, it is measured whole. One inside a folder of
            // another category is told by that folder's change.
            for (const auto& root : rootsInside(pass.result, measured))
                if (FileManager::presence(root) == FileManager::Presence::absent)
                    pass.changed = pass.result.leaveRoot(root) || pass.changed;
            if (!pass.changed) return pass;
            pass.result.cleanupItems = recommend(pass.result);
            // Each disk read again: the scope's own is the root file system's for Whole Disk.
            if (pass.result.disks.disks.empty()) {
                pass.result.volume = VolumeProbe::stats(homeDirectory());
            } else {
                pass.result.disks = pass.result.disks.reread();
                pass.result.volume = pass.result.disks.disks.front().volume;
            }
            return pass;
        },
        [generation = scanGeneration_, insightsPath = insightsPath_](ScanCoordinator& self, LivePass pass) {
            self.finishLivePass(generation, insightsPath, std::move(pass));
        },
        [generation = scanGeneration_](ScanCoordinator& self, const std::string& reason) {
            self.failLivePass(generation, reason);
        });
}

// The tree could not be brought up to date in place: it is marked as behind the disk.
void ScanCoordinator::failLivePass(uint64_t generation, const std::string& reason) {
    // Its control holds a copy of the tables of hard-linked files: a whole disk's takes long to free.
    Models::releaseElsewhere(std::exchange(livePass_, nullptr));
    if (generation == scanGeneration_ && phase_ == Phase::done) {
        setFailure(Models::failureSentence("updating the numbers after a change on disk", reason));
        setHasPendingChanges(true);
    }
    if (passWanted_) processPendingChanges();
}

void ScanCoordinator::finishLivePass(uint64_t generation, const std::optional<std::string>& insightsPath,
                                     LivePass pass) {
    const bool cancelled = livePass_ && livePass_->cancelled();
    Models::releaseElsewhere(std::exchange(livePass_, nullptr));
    // A newer scan owns the result now: the pass's walks are dropped.
    const bool current = generation == scanGeneration_ && phase_ == Phase::done;
    // A move that began while it measured may have been seen in one folder and not yet in
    // another, and moves folded in meanwhile would be undone: measured again instead.
    const bool overtaken = pass.treeEdits != treeEdits_ || pass.movesBegun != RemovalRun::movesBegun() ||
                           RemovalRun::movesInFlight() > 0 || !folds_.empty();
    if (current && (cancelled || !pass.inodes || overtaken)) {
        // Called off with the tree still current: what it did not finish goes with the next
        // batch, so the tree does not stay behind.
        changes_.keep(pass.directories);
    } else if (current && pass.spliced) {
        applyLivePass(insightsPath, std::move(pass));
    }
    // What was not taken may be the last hold on a tree no longer shown, and on its tables
    // of hard-linked files: let go of on a worker.
    if (pass.inodes || !pass.result.categories.empty())
        Models::releaseElsewhere(std::make_shared<const LivePass>(std::move(pass)));
    if (passWanted_ || (current && overtaken)) processPendingChanges();
}

// While items are moving (from here, the tray panel or any other screen), a folder they
// leave and the Trash they enter cannot be measured at one moment: each would be counted
// twice or not at all. The changes wait, and are measured together once the moves end.
bool ScanCoordinator::heldBackByMoves() {
    if (RemovalRun::movesInFlight() == 0 && folds_.empty()) return false;
    if (!waitingForMoves_) {
        waitingForMoves_ = true;
        QTimer::singleShot(kMovesLookMs, this, [this] {
            waitingForMoves_ = false;
            processPendingChanges();
        });
    }
    return true;
}

void ScanCoordinator::applyLivePass(const std::optional<std::string>& insightsPath, LivePass pass) {
    Models::releaseElsewhere(std::exchange(treeInodes_, std::move(pass.inodes)));
    // Same sizes: the recommendations stand (those being worked out after a fold too);
    // new sizes bring their own.
    if (pass.changed) ++treeVersion_;
    else pass.result.cleanupItems = std::move(result_.cleanupItems);
    const bool missingChanged = pass.result.missingRoots != result_.missingRoots;
    publishResult(std::move(pass.result));
    followNewTree();
    if (missingChanged) watchMissingRoots();
    // Same sizes: the subtrees are replaced, nothing that depends on sizes is redone.
    if (!pass.changed) return;
    std::set<std::string> kept;
    for (const auto& item : result_.cleanupItems)
        if (selectedCleanupIDs_.count(item.id)) kept.insert(item.id);
    setSelectedCleanupIDs(std::move(kept));
    setLastLiveUpdate(now());
    int64_t total = 0;
    for (const auto& category : result_.categories)
        for (const auto& root : category.roots) total += root->size;
    if (setScannedBytes(total)) emit progressChanged();
    // Only while the page that asked is still showing: another folder has its own insights.
    if (insightsPath && insightsPath_ == insightsPath) {
        const std::set<std::string> excluded = insightsExcluded_;
        loadInsights(std::nullopt);
        loadInsights(insightsPath, excluded);
    }
}

// The page shown and the pages back and forward hold nodes of the tree just replaced: they
// move to the same folders in the new one, so they show the new sizes. A path with a folder
// no longer there is left as it was.
void ScanCoordinator::followNewTree() {
    auto follow = [this](const std::vector<ScanNodePtr>& path) -> std::optional<std::vector<ScanNodePtr>> {
        std::vector<ScanNodePtr> followed;
        followed.reserve(path.size());
        for (const auto& node : path) {
            ScanNodePtr now = result_.node(node->path);
            if (!now) return std::nullopt;
            followed.push_back(std::move(now));
        }
        return followed;
    };
    history_.followEach([&](std::vector<ScanNodePtr>& path) {
        if (auto followed = follow(path)) path = std::move(*followed);
    });
    if (auto followed = follow(drillPath_)) setDrillPath(std::move(*followed));
}

} // namespace sorvel
