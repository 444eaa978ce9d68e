#include "removal/ManualRun.h"

#include "removal/SweepCoding.h"

namespace sorvel::ManualRun {

SweepRun make(const std::vector<CleanupOutcome>& outcomes, std::string scope,
              std::optional<std::vector<std::string>> allowedRoots) {
    SweepRun run;
    run.allowedRoots = std::move(allowedRoots);
    run.id = UUID::random();
    run.trigger = SweepRun::Trigger::manual;
    run.scope = std::move(scope);
    run.hasDetail = true;

    int64_t refused = 0;
    for (const auto& outcome : outcomes) {
        if (const auto* moved = std::get_if<CleanupOutcome::MovedToTrash>(&outcome.result)) {
            run.moved.push_back(MovedItem{outcome.path, moved->trashPath, outcome.size});
        } else if (outcome.refusal() || outcome.failure()) {
            ++refused;
        }
    }

    SweepReceipt& receipt = run.receipt;
    receipt.date = SweepCoding::sweepNow();
    receipt.action = run.moved.empty() ? SweepSchedule::Action::report : SweepSchedule::Action::clean;
    receipt.scannedBytes = 0;
    receipt.foundBytes = CleanupExecutor::freed(outcomes);
    receipt.movedBytes = 0;
    for (const auto& item : run.moved) receipt.movedBytes += item.size;
    receipt.movedCount = static_cast<int64_t>(run.moved.size());
    receipt.refusedCount = refused;
    receipt.withheldReason.reset();
    return run;
}

} // namespace sorvel::ManualRun
