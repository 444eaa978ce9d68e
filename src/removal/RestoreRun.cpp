#include "removal/RestoreRun.h"

#include <algorithm>
#include <optional>
#include <string>

#include "removal/CrashedRuns.h"

namespace sorvel::RestoreRun {

Result putBack(const SweepRun& run, const std::vector<MovedItem>& items, const std::atomic<bool>* stop) {
    Result result;
    result.outcomes.reserve(items.size());
    const CleanupPolicy policy = RestoreExecutor::policyFor(run);
    size_t next = 0, batch = kFirstBatch;
    std::optional<std::string> held; // one wait on a held Trash for the whole put back
    while (next < items.size()) {
        const size_t end = std::min(items.size(), next + batch);
        const std::vector<MovedItem> chunk(items.begin() + static_cast<long>(next),
                                           items.begin() + static_cast<long>(end));
        auto outcomes = RestoreExecutor::run(chunk, policy, stop, held, CrashedRuns::recordsOf(run));
        std::vector<std::string> gone, back;
        for (const auto& outcome : outcomes) {
            const auto* refusal = outcome.refusal();
            if (outcome.restored() || (refusal && refusal->leavesTheRun())) gone.push_back(outcome.item.originalPath);
            // Back in its place, by this put back or one cut short before it was written down.
            if (outcome.restored() || (refusal && refusal->kind == RestoreGuard::Refusal::Kind::alreadyBack))
                back.push_back(outcome.item.originalPath);
        }
        for (auto& outcome : outcomes) result.outcomes.push_back(std::move(outcome));
        next = end;
        batch = std::min(batch * 2, kLargestBatch);
        // The last batch writes even when nothing left: the run's counts are made again
        // from what it lists.
        if (gone.empty() && next < items.size()) continue;
        const SaveStatus saved = SweepHistory::removeItems(run.id, gone, back);
        if (!saved && result.saved) result.saved = saved;
        if (saved.busy()) {
            // Another Sorvel holds the history: what came back is told as such next time.
            for (size_t i = next; i < items.size(); ++i) {
                RestoreOutcome outcome;
                outcome.item = items[i];
                outcome.result = RestoreOutcome::Failed{kHistoryBusyStopped};
                result.outcomes.push_back(std::move(outcome));
            }
            break;
        }
    }
    return result;
}

} // namespace sorvel::RestoreRun
