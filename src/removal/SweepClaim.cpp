#include "removal/SweepClaim.h"

#include <cerrno>

#include "platform/RunLock.h"
#include "removal/SweepHistory.h"

namespace sorvel::SweepClaim {

namespace {

// The scheduled sweep the history recorded last (it lists the most recently recorded
// first): by the order of recording, not by date, so a run dated ahead by a clock since set
// back does not stand for every later one.
std::optional<SweepRun> lastScheduledRun() {
    const auto loaded = SweepHistory::sharedRead();
    if (!loaded) return std::nullopt;
    for (const auto& run : loaded->runs)
        if (run.trigger == SweepRun::Trigger::scheduled) return run;
    return std::nullopt;
}

} // namespace

Result run(bool scheduled, const std::optional<Date>& known, const std::function<SweepRunner::Outcome()>& sweep) {
    Result result;
    const RunLock::Held lock(kLockName);
    // Where no lock can be kept (a file system without them), sweeps go ahead as before.
    if (!lock.held() && (lock.error() == EWOULDBLOCK || lock.error() == EAGAIN)) return result;
    if (scheduled) {
        // Read from the disk, under the lock: a receipt written since the due test is newer
        // than the one it judged by. One older than it (this process's receipt could not be
        // written) changes nothing.
        std::optional<SweepReceipt> latest = SweepReceipt::loadLast();
        std::vector<SweepReceipt::Finding> findings;
        bool fromSettings = true;
        // A scheduled sweep whose receipt could not be written (the settings held past
        // their wait) is still in the history, its receipt with it: it ran, even if the
        // process that ran it has ended since.
        if (auto recorded = lastScheduledRun(); recorded && (!latest || recorded->receipt.date > latest->date)) {
            latest = recorded->receipt;
            for (const auto& item : recorded->moved)
                findings.push_back({item.originalPath, item.size,
                                    item.trashPath.empty() ? std::nullopt : std::optional(item.trashPath)});
            fromSettings = false;
        }
        if (latest && (!known || latest->date > *known)) {
            result.kind = Result::Kind::sweptElsewhere;
            result.latest = latest;
            result.latestFindings = fromSettings ? SweepReceipt::loadFindings() : std::move(findings);
            return result;
        }
    }
    result.kind = Result::Kind::ran;
    result.outcome = sweep();
    return result;
}

} // namespace sorvel::SweepClaim
