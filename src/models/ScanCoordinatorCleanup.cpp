// Cleanup runs from the main window: the ticked recommendations as targets, a dry run for
// the preview, a real move to the Trash on confirmation, and the record of every real run.
#include "models/ScanCoordinator.h"

#include <algorithm>
#include <variant>

#include "models/BackgroundWork.h"
#include "platform/Path.h"
#include "removal/CleanupPolicy.h"
#include "removal/RemovalRun.h"
#include "removal/SweepHistory.h"

namespace sorvel {

void ScanCoordinator::setCleanupProgress(CleanupProgress progress) {
    if (cleanupProgress_ == progress) return;
    cleanupProgress_ = progress;
    emit cleanupProgressChanged();
}

std::vector<CleanupItem> ScanCoordinator::selectedCleanupItems() const {
    std::vector<CleanupItem> items;
    for (const auto& item : result_.cleanupItems)
        if (selectedCleanupIDs_.count(item.id)) items.push_back(item);
    return items;
}

// Counted in place: a ticked rule may hold thousands of targets, not worth a copy.
int64_t ScanCoordinator::selectedCleanupSize() const {
    int64_t total = 0;
    for (const auto& item : result_.cleanupItems)
        if (selectedCleanupIDs_.count(item.id)) total += item.size();
    return total;
}

std::vector<CleanupExecutor::PathSize> ScanCoordinator::selectedTargets() const {
    std::vector<CleanupExecutor::PathSize> targets;
    for (const auto& item : selectedCleanupItems())
        for (const auto& target : item.targets) targets.push_back({target.path, target.size, target.shared});
    return targets;
}

// Reports arrive out of order from the executor's threads: done never moves backwards.
void ScanCoordinator::applyCleanupProgress(int done, int total) {
    setCleanupProgress({std::max(cleanupProgress_.done, done), total});
}

void ScanCoordinator::runCleanup(CleanupExecutor::Mode mode,
                                 std::optional<std::vector<CleanupExecutor::PathSize>> targets,
                                 OutcomesHandler done, FailureHandler failed) {
    std::vector<CleanupExecutor::PathSize> paths = targets ? std::move(*targets) : selectedTargets();
    const CloudStatus cloud = cloud_;
    // Thousands of paths take a while to normalise: their count comes from the worker.
    setCleanupProgress({0, 0});

    QPointer<ScanCoordinator> self(this);
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [self, run = services_.runCleanup, paths = std::move(paths), mode, cloud] {
            const int total = static_cast<int>(CleanupExecutor::normalize(paths).size());
            Models::deliver(self, [total](ScanCoordinator& alive) { alive.applyCleanupProgress(0, total); });
            CleanupExecutor::Progress report = [self](int d, int t) {
                Models::deliver(self, [d, t](ScanCoordinator& alive) { alive.applyCleanupProgress(d, t); });
            };
            return run(paths, mode, CleanupPolicy::standard(), cloud, report);
        },
        [done = std::move(done)](QObject&, Outcomes outcomes) {
            if (done) done(outcomes);
        },
        [failed = std::move(failed), mode](ScanCoordinator& alive, const std::string& reason) {
            const std::string sentence = Models::failureSentence(
                mode == CleanupExecutor::Mode::dryRun ? "checking what can be moved" : "the move to the Trash", reason);
            alive.setFailure(sentence);
            if (failed) failed(sentence);
        });
}

void ScanCoordinator::setCleanupSaveError(std::optional<std::string> error) {
    if (cleanupSaveError_ == error) return;
    cleanupSaveError_ = std::move(error);
    emit cleanupSaveErrorChanged();
}

void ScanCoordinator::performCleanup(std::optional<std::vector<CleanupExecutor::PathSize>> paths,
                                     OutcomesHandler done, FailureHandler failed) {
    const auto ticked = std::count_if(result_.cleanupItems.begin(), result_.cleanupItems.end(),
                                      [this](const CleanupItem& item) { return selectedCleanupIDs_.count(item.id) > 0; });
    RemovalRun::Request request;
    request.run.scope = paths ? std::string("items you picked")
                              : std::to_string(ticked) + " rule" + (ticked == 1 ? "" : "s") + " you reviewed";
    request.paths = paths ? std::move(*paths) : selectedTargets();
    // Claimed here, not on the worker: a sheet opened before the worker starts must not
    // offer these items again.
    request.claim = RemovalRun::claim(request.paths);
    request.policy = CleanupPolicy::standard();
    request.cloud = cloud_;
    setCleanupProgress({0, 0});
    QPointer<ScanCoordinator> self(this);
    request.onProgress = [self](int d, int t) {
        Models::deliver(self, [d, t](ScanCoordinator& alive) { alive.applyCleanupProgress(d, t); });
    };
    request.mover = [run = services_.runCleanup](const std::vector<CleanupExecutor::PathSize>& picked,
                                                  const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud,
                                                  const CleanupExecutor::Progress& progress) {
        return run(picked, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    // Moved and recorded on the worker, the run stored before the first move: the history
    // is the only way to put items back, whether or not the coordinator is still there.
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [self, request = std::move(request), hold = RemovalRun::holdInFlight()]() mutable {
            const int total = static_cast<int>(CleanupExecutor::normalize(request.paths).size());
            Models::deliver(self, [total](ScanCoordinator& alive) { alive.applyCleanupProgress(0, total); });
            return RemovalRun::moveAndRecord(std::move(request));
        },
        [done = std::move(done)](ScanCoordinator& alive, RemovalRun::Result result) {
            if (std::any_of(result.outcomes.begin(), result.outcomes.end(),
                            [](const CleanupOutcome& o) { return o.moved(); }))
                alive.setResultIsStale(true);
            alive.setCleanupSaveError(result.saveError);
            // Before anyone hears of the outcomes: the done page shows the figures without
            // the moved items from its first frame.
            QPointer<ScanCoordinator> still(&alive);
            MovedItems::Moves moves = MovedItems::of(result.outcomes);
            alive.foldMoves(std::move(moves),
                            [still, done = std::move(done), outcomes = std::move(result.outcomes)] {
                                if (!still) return;
                                emit still->trashChanged();
                                if (done) done(outcomes);
                            });
        },
        [failed = std::move(failed)](ScanCoordinator& alive, const std::string& reason) {
            // Some items may have moved before the stop: the numbers shown may be behind.
            alive.setResultIsStale(true);
            emit alive.trashChanged();
            const std::string sentence = Models::failureSentence("the move to the Trash", reason) +
                                         " What was moved is listed in the history.";
            alive.setFailure(sentence);
            if (failed) failed(sentence);
        });
}

} // namespace sorvel
