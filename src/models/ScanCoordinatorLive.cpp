// Live updates of a finished scan: watch the scanned roots, gather changed directories
// until the reports have been quiet for 500 ms, re-walk them off the main thread and splice
// the new subtrees into the published tree. Too large a batch only asks for a rescan.
#include "models/ScanCoordinator.h"

#include "engine/VolumeProbe.h"
#include "models/BackgroundWork.h"
#include "platform/Path.h"

namespace sorvel {

namespace {

std::string strippingTrailingSlashes(std::string path) {
    while (path.size() >= 2 && path.back() == '/') path.pop_back();
    return path;
}

std::optional<TreeUpdater::Location> place(const std::string& path, const ScanResult& result) {
    if (auto hit = TreeUpdater::search(path, result)) return hit;
    if (auto other = TreeUpdater::firmlinkAlternate(path)) return TreeUpdater::search(*other, result);
    return std::nullopt;
}

} // namespace

void ScanCoordinator::setLiveUpdatesEnabled(bool enabled) {
    if (liveUpdatesEnabled_ == enabled) return;
    liveUpdatesEnabled_ = enabled;
    emit liveUpdatesEnabledChanged();
    if (enabled) startWatching();
    else stopWatching();
}

void ScanCoordinator::stopWatching() {
    // Also turns away a set-up still in flight: it comes back under an older number.
    ++watchGeneration_;
    if (!watcher_) return;
    const bool was = watcher_->isRunning();
    watcher_->stop();
    watcher_.reset();
    if (was) emit watchingChanged();
}

void ScanCoordinator::startWatching() {
    stopWatching();
    if (!liveUpdatesEnabled_) return;
    if (result_.categories.empty()) return;
    std::vector<std::string> roots;
    for (const auto& category : result_.categories)
        for (const auto& root : category.roots) roots.push_back(root->path);
    if (roots.empty()) return;
    // One watch per folder of the scanned trees takes long on a big tree, so the watcher is
    // built and started on a worker and installed when it comes back. Changes made before it
    // is installed go unseen, as did those made during the scan's own walk.
    const uint64_t generation = watchGeneration_;
    QPointer<ScanCoordinator> self(this);
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [self, generation, roots = std::move(roots), startWatcher = services_.startWatcher] {
            auto watcher = std::make_unique<FileSystemWatcher>([self, generation](const std::vector<std::string>& batch) {
                Models::deliver(self, [batch, generation](ScanCoordinator& alive) {
                    if (alive.watchGeneration_ == generation) alive.absorb(batch);
                });
            });
            if (startWatcher) startWatcher(*watcher, roots);
            else watcher->start(roots);
            return watcher;
        },
        [generation](ScanCoordinator& alive, std::unique_ptr<FileSystemWatcher> watcher) {
            alive.installWatcher(generation, std::move(watcher));
        });
}

void ScanCoordinator::installWatcher(uint64_t generation, std::unique_ptr<FileSystemWatcher> watcher) {
    // A stop, a switch-off or a newer scan since the set-up began: this watcher is not wanted.
    if (generation != watchGeneration_ || !liveUpdatesEnabled_ || phase_ != Phase::done) {
        watcher->stop();
        return;
    }
    watcher_ = std::move(watcher);
    if (watcher_->isRunning()) emit watchingChanged();
}

void ScanCoordinator::absorb(const std::vector<std::string>& paths) {
    if (phase_ != Phase::done) return;
    // Every batch restarts the quiet period; processing follows 500 ms after the last.
    changes_.add(paths);
}

void ScanCoordinator::cancelLivePass() {}

void ScanCoordinator::processPendingChanges() {
    const std::set<std::string> taken = changes_.take();
    if (taken.empty()) return;
    if (phase_ != Phase::done) return;
    const auto directories = TreeUpdater::coalesce(std::vector<std::string>(taken.begin(), taken.end()), result_);
    if (directories.empty()) return;
    if (directories.size() > static_cast<size_t>(incrementalBudget)) {
        setHasPendingChanges(true);
        return;
    }
    std::vector<TreeUpdater::Location> locations;
    for (const auto& directory : directories)
        if (auto hit = place(strippingTrailingSlashes(directory), result_)) locations.push_back(std::move(*hit));

    const ScanScope scope = result_.scope;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [scope, locations = std::move(locations), walk = services_.walk] {
            ScanControl control;
            std::vector<std::pair<TreeUpdater::Location, ScanNodePtr>> walked;
            for (const auto& location : locations) {
                const std::string& path = location.chain.back()->path;
                walked.emplace_back(location, walk(path, control, walkOptions(path, scope)));
            }
            return walked;
        },
        [scope, insightsPath = insightsPath_](ScanCoordinator& self, auto walked) {
            self.finishLivePass(scope, insightsPath, std::move(walked));
        });
}

void ScanCoordinator::finishLivePass(ScanScope, std::optional<std::string> insightsPath,
                                     std::vector<std::pair<TreeUpdater::Location, ScanNodePtr>> walked) {
    // A scan started meanwhile wins: its tree is not the one these walks measured.
    if (phase_ != Phase::done) return;
    ScanResult updated = result_;
    bool spliced = false;
    bool changed = false;
    for (auto& [location, replacement] : walked) {
        const std::string path = strippingTrailingSlashes(location.chain.back()->path);
        auto fresh = place(path, updated);
        if (!fresh || fresh->chain.back()->path != location.chain.back()->path) continue;
        spliced = true;
        if (TreeUpdater::apply(replacement, *fresh, updated) != 0) changed = true;
    }
    if (!changed) {
        // Same sizes: the subtrees are replaced, nothing that depends on sizes is redone.
        if (spliced) publishResult(std::move(updated));
        return;
    }
    updated.cleanupItems = services_.recommend(updated);
    std::set<std::string> kept;
    for (const auto& item : updated.cleanupItems)
        if (selectedCleanupIDs_.count(item.id)) kept.insert(item.id);
    updated.volume = VolumeProbe::stats(homeDirectory());
    publishResult(std::move(updated));
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

} // namespace sorvel
