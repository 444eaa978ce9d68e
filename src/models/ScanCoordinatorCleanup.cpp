// Cleanup runs from the main window: the ticked recommendations as targets, a dry run for
// the preview, a real move to the Trash on confirmation, and the record of every real run.
#include "models/ScanCoordinator.h"

#include <QCoreApplication>

#include <algorithm>
#include <thread>

#include "models/Models.h"
#include "removal/CleanupPolicy.h"
#include "removal/ManualRun.h"
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

int64_t ScanCoordinator::selectedCleanupSize() const {
    int64_t total = 0;
    for (const auto& item : selectedCleanupItems()) total += item.size();
    return total;
}

std::vector<CleanupExecutor::PathSize> ScanCoordinator::selectedTargets() const {
    std::vector<CleanupExecutor::PathSize> targets;
    for (const auto& item : selectedCleanupItems())
        for (const auto& target : item.targets) targets.push_back({target.path, target.size});
    return targets;
}

// Reports arrive out of order from the executor's threads: done never moves backwards.
void ScanCoordinator::applyCleanupProgress(int done, int total) {
    setCleanupProgress({std::max(cleanupProgress_.done, done), total});
}

void ScanCoordinator::runCleanup(CleanupExecutor::Mode mode,
                                 std::optional<std::vector<CleanupExecutor::PathSize>> targets,
                                 OutcomesHandler done) {
    startCleanup(mode, std::move(targets), std::move(done), false);
}

void ScanCoordinator::startCleanup(CleanupExecutor::Mode mode,
                                   std::optional<std::vector<CleanupExecutor::PathSize>> targets,
                                   OutcomesHandler done, bool deliverWhenGone) {
    std::vector<CleanupExecutor::PathSize> paths = targets ? std::move(*targets) : selectedTargets();
    const CloudStatus cloud = cloud_;
    setCleanupProgress({0, static_cast<int>(CleanupExecutor::normalize(paths).size())});

    QPointer<ScanCoordinator> self(this);
    QObject* app = QCoreApplication::instance();
    auto run = services_.runCleanup;
    std::thread([self, app, run, paths = std::move(paths), mode, cloud, done = std::move(done), deliverWhenGone] {
        CleanupExecutor::Progress report = [self, app](int d, int t) {
            Models::onMainThread(app, [self, d, t] {
                if (self) self->applyCleanupProgress(d, t);
            });
        };
        Outcomes outcomes = run(paths, mode, CleanupPolicy::standard(), cloud, report);
        Models::onMainThread(app, [self, done, deliverWhenGone, outcomes = std::move(outcomes)] {
            if (done && (self || deliverWhenGone)) done(outcomes);
        });
    }).detach();
}

void ScanCoordinator::setCleanupSaveError(std::optional<std::string> error) {
    if (cleanupSaveError_ == error) return;
    cleanupSaveError_ = std::move(error);
    emit cleanupSaveErrorChanged();
}

void ScanCoordinator::performCleanup(std::optional<std::vector<CleanupExecutor::PathSize>> paths,
                                     OutcomesHandler done) {
    const bool picked = paths.has_value();
    const size_t ticked = selectedCleanupItems().size();
    QPointer<ScanCoordinator> self(this);
    // Items that went to the Trash are recorded even when the coordinator is gone by then:
    // the history is the only way to put them back.
    auto record = [self, picked, ticked, done](const Outcomes& outcomes) {
        if (self && std::any_of(outcomes.begin(), outcomes.end(), [](const CleanupOutcome& o) { return o.moved(); }))
            self->setResultIsStale(true);
        const size_t n = self ? self->selectedCleanupItems().size() : ticked;
        std::string scope = picked ? std::string("items you picked")
                                   : std::to_string(n) + " rule" + (n == 1 ? "" : "s") + " you reviewed";

        const SweepRun run = ManualRun::make(outcomes, std::move(scope));
        const bool saved = SweepHistory::record(run).has_value();
        if (self)
            self->setCleanupSaveError(SweepHistory::notSavedMessage(saved));
        if (self && done) done(outcomes);
    };
    startCleanup(CleanupExecutor::Mode::moveToTrash, std::move(paths), std::move(record), true);
}

} // namespace sorvel
