#include "removal/ManualRun.h"

#include "engine/Bytes.h"
#include "removal/SweepCoding.h"

namespace sorvel::ManualRun {

SweepReceipt receipt(const std::vector<CleanupOutcome>& outcomes) {
    SweepReceipt receipt;
    int64_t moved = 0, refused = 0;
    for (const auto& outcome : outcomes) {
        if (outcome.moved()) {
            ++moved;
            receipt.movedBytes = Bytes::saturatingAdd(receipt.movedBytes, outcome.freed());
            receipt.sharedBytes = Bytes::saturatingAdd(receipt.sharedBytes, outcome.size - outcome.freed());
        } else if (outcome.refusal() || outcome.failure()) {
            ++refused;
        }
    }
    receipt.date = SweepCoding::sweepNow();
    receipt.action = moved == 0 ? SweepSchedule::Action::report : SweepSchedule::Action::clean;
    receipt.scannedBytes = 0;
    receipt.foundBytes = CleanupExecutor::freed(outcomes);
    receipt.movedCount = moved;
    receipt.refusedCount = refused;
    receipt.withheldReason.reset();
    return receipt;
}

SweepRun make(const std::vector<CleanupOutcome>& outcomes, std::string scope,
              std::optional<std::vector<std::string>> allowedRoots) {
    SweepRun run;
    run.allowedRoots = std::move(allowedRoots);
    run.id = UUID::random();
    run.trigger = SweepRun::Trigger::manual;
    run.scope = std::move(scope);
    run.hasDetail = true;
    for (const auto& outcome : outcomes)
        if (const auto* moved = std::get_if<CleanupOutcome::MovedToTrash>(&outcome.result))
            run.moved.push_back(MovedItem{moved->placeOr(outcome.path), moved->trashPath, outcome.freed(), moved->identity});
    run.receipt = receipt(outcomes);
    return run;
}

} // namespace sorvel::ManualRun
