#include "models/HistoryModel.h"

#include <cstdint>

#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "removal/CleanupPolicy.h"
#include "removal/RemovalRun.h"

namespace sorvel {
namespace {

// Stored counts come from a file anyone could edit; a sum must not overflow.
int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

} // namespace

HistoryModel::HistoryModel(QObject* parent) : QObject(parent), runs_(SweepHistory::load()) {}

HistoryModel::~HistoryModel() = default;

int64_t HistoryModel::totalMoved() const {
    int64_t total = 0;
    for (const auto& run : runs_) total = saturatingAdd(total, run.receipt.movedBytes);
    return total;
}

int64_t HistoryModel::totalCount() const {
    int64_t total = 0;
    for (const auto& run : runs_) total = saturatingAdd(total, run.receipt.movedCount);
    return total;
}

void HistoryModel::setRuns(std::vector<SweepRun> runs) {
    if (!Models::assignIfChanged(runs_, std::move(runs))) return;
    emit runsChanged();
    emit changed();
}

void HistoryModel::toggle(const UUID& id) {
    if (!expanded_.erase(id)) expanded_.insert(id);
    emit expandedChanged();
    emit changed();
}

void HistoryModel::setRestoring(std::optional<UUID> id) {
    if (!Models::assignIfChanged(restoring_, id)) return;
    emit restoringChanged();
    emit changed();
}

void HistoryModel::restore(const SweepRun& run) {
    // A run still moving rewrites its stored copy batch by batch: it is put back once done.
    if (restoring_ || !run.hasDetail || run.moved.empty() || RemovalRun::isMoving(run.id)) return;
    setRestoring(run.id);
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [run] {
            auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
            // What came back leaves the run as it is stored now, not as this copy shows it,
            // so nothing written meanwhile is lost; what stayed can be tried again later.
            std::vector<std::string> restored;
            for (const auto& outcome : outcomes)
                if (outcome.restored()) restored.push_back(outcome.item.originalPath);
            const bool saved = SweepHistory::removeItems(run.id, restored);
            return std::make_pair(std::move(outcomes), saved);
        },
        [](HistoryModel& model, std::pair<std::vector<RestoreOutcome>, bool> result) {
            model.finishRestore(std::move(result.first), result.second);
        });
}

void HistoryModel::finishRestore(std::vector<RestoreOutcome> outcomes, bool saved) {
    if (Models::assignIfChanged(lastRestore_, outcomes)) emit lastRestoreChanged();
    setSaveError(saved ? std::nullopt : std::optional<std::string>(kRestoreNotSavedMessage));
    if (Models::assignIfChanged(runs_, SweepHistory::load())) emit runsChanged();
    setRestoring(std::nullopt);
}

void HistoryModel::setSaveError(std::optional<std::string> error) {
    if (!Models::assignIfChanged(saveError_, std::move(error))) return;
    emit saveErrorChanged();
    emit changed();
}

void HistoryModel::clearHistory() {
    if (!SweepHistory::clear()) {
        setSaveError(kClearNotSavedMessage);
        return;
    }
    setSaveError(std::nullopt);
    const bool hadRuns = !runs_.empty(), hadExpanded = !expanded_.empty(), hadRestore = !lastRestore_.empty();
    runs_.clear();
    expanded_.clear();
    lastRestore_.clear();
    if (hadRuns) emit runsChanged();
    if (hadExpanded) emit expandedChanged();
    if (hadRestore) emit lastRestoreChanged();
    if (hadRuns || hadExpanded || hadRestore) emit changed();
}

} // namespace sorvel
