#include "models/HistoryModel.h"

#include <cstdint>
#include <unordered_set>

#include "models/BackgroundWork.h"
#include "removal/CleanupPolicy.h"

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

HistoryModel::~HistoryModel() { handle_.close(); }

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
    runs_ = std::move(runs);
    emit runsChanged();
    emit changed();
}

void HistoryModel::toggle(const UUID& id) {
    if (!expanded_.erase(id)) expanded_.insert(id);
    emit expandedChanged();
    emit changed();
}

void HistoryModel::setRestoring(std::optional<UUID> id) {
    restoring_ = id;
    emit restoringChanged();
    emit changed();
}

void HistoryModel::restore(const SweepRun& run) {
    if (restoring_ || !run.hasDetail || run.moved.empty()) return;
    setRestoring(run.id);
    Models::runInBackground(Models::WorkPriority::userInitiated, [this, handle = handle_, run] {
        auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
        // `this` is touched only on the model's thread, where the handle delivers only
        // while the model exists.
        handle.post([this, run, outcomes = std::move(outcomes)]() mutable {
            finishRestore(std::move(run), std::move(outcomes));
        });
    });
}

void HistoryModel::finishRestore(SweepRun run, std::vector<RestoreOutcome> outcomes) {
    lastRestore_ = outcomes;
    emit lastRestoreChanged();

    // What came back leaves the run; what stayed can be tried again later.
    std::unordered_set<std::string> restored;
    for (const auto& outcome : outcomes)
        if (outcome.restored()) restored.insert(outcome.item.originalPath);
    std::vector<MovedItem> left;
    for (auto& item : run.moved)
        if (!restored.count(item.originalPath)) left.push_back(std::move(item));
    run.moved = std::move(left);
    run.receipt.movedCount = static_cast<int64_t>(run.moved.size());
    int64_t bytes = 0;
    for (const auto& item : run.moved) bytes = saturatingAdd(bytes, item.size);
    run.receipt.movedBytes = bytes;

    const bool saved = SweepHistory::update(run);
    setSaveError(saved ? std::nullopt : std::optional<std::string>(kRestoreNotSavedMessage));
    runs_ = SweepHistory::load();
    emit runsChanged();
    setRestoring(std::nullopt);
}

void HistoryModel::setSaveError(std::optional<std::string> error) {
    saveError_ = std::move(error);
    emit saveErrorChanged();
    emit changed();
}

void HistoryModel::clearHistory() {
    if (!SweepHistory::clear()) {
        setSaveError(kClearNotSavedMessage);
        return;
    }
    setSaveError(std::nullopt);
    runs_.clear();
    expanded_.clear();
    lastRestore_.clear();
    emit runsChanged();
    emit expandedChanged();
    emit lastRestoreChanged();
    emit changed();
}

} // namespace sorvel
