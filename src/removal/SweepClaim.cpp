#include "removal/SweepClaim.h"

#include <cerrno>

#include "platform/RunLock.h"
#include "removal/SweepHistory.h"
#include "removal/SweepTiming.h"

namespace sorvel::SweepClaim {

namespace {

// The scheduled sweep the history recorded last (it lists the most recently recorded
// first): by the order of recording, not by date, so a run dated ahead by a clock since set
// back does not stand for every later one. Else, when the sweep time `due` is given, a
// scheduled run of any age that stands for it; such a run is taken only as that.
struct Recorded {
    std::optional<SweepRun> last;
    std::optional<SweepRun> ofDue;
};
Recorded scheduledRuns(const std::optional<Due>& due) {
    Recorded recorded;
    const auto loaded = SweepHistory::sharedRead();
    if (!loaded) return recorded;
    for (const auto& run : loaded->runs) {
        if (run.trigger != SweepRun::Trigger::scheduled) continue;
        if (!recorded.last) recorded.last = run;
        // A run held off by a lock moved nothing and is tried again: it stands for no time.
        if (due && !run.receipt.heldOff && SweepTiming::covers(due->schedule, run.receipt.date, due->time)) {
            recorded.ofDue = run;
            break;
        }
        if (!due) break;
    }
    return recorded;
}

std::vector<SweepReceipt::Finding> findingsOf(const SweepRun& run) {
    std::vector<SweepReceipt::Finding> findings;
    for (const auto& item : run.moved) {
        if (item.stayed) continue; // never moved: no finding of the sweep's
        findings.push_back(
            {item.originalPath, item.size, item.trashPath.empty() ? std::nullopt : std::optional(item.trashPath)});
    }
    return findings;
}

} // namespace

std::vector<Date> sweptTimes() {
    std::vector<Date> times;
    if (const auto loaded = SweepHistory::sharedRead())
        for (const auto& run : loaded->runs)
            if (run.trigger == SweepRun::Trigger::scheduled && !run.receipt.heldOff) times.push_back(run.receipt.date);
    return times;
}

Result run(bool scheduled, const std::optional<Date>& known, const std::function<SweepRunner::Outcome()>& sweep,
           const std::optional<Due>& due) {
    return run(scheduled, known, Schedules{}, [&](const SweepSchedule&) { return sweep(); }, due);
}

Result run(bool scheduled, const std::optional<Date>& known, const Schedules& schedules,
           const std::function<SweepRunner::Outcome(const SweepSchedule&)>& sweep, const std::optional<Due>& due) {
    Result result;
    const RunLock::Held lock(kLockName);
    // Where no lock can be kept (a file system without them), sweeps go ahead as before.
    if (!lock.held() && (lock.error() == EWOULDBLOCK || lock.error() == EAGAIN)) return result;
    SweepSchedule by = schedules.judged;
    if (schedules.stored) {
        // Read under the lock: another Sorvel's "Off" or "Report only" stored since holds.
        by = schedules.stored();
        if (!(by == schedules.judged)) result.schedule = by;
        if (scheduled && result.schedule) {
            result.kind = Result::Kind::rescheduled;
            return result;
        }
    }
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
        const Recorded recorded = scheduledRuns(due);
        if (recorded.last && (!latest || recorded.last->receipt.date > latest->date)) {
            latest = recorded.last->receipt;
            findings = findingsOf(*recorded.last);
            fromSettings = false;
        }
        bool newer = latest && (!known || latest->date > *known);
        // The time is one a sweep already stands for, the clock set back since: not again.
        if (!newer && recorded.ofDue) {
            latest = recorded.ofDue->receipt;
            findings = findingsOf(*recorded.ofDue);
            fromSettings = false;
            newer = true;
        }
        if (newer) {
            result.kind = Result::Kind::sweptElsewhere;
            result.latest = latest;
            result.latestFindings = fromSettings ? SweepReceipt::loadFindings() : std::move(findings);
            return result;
        }
    }
    result.kind = Result::Kind::ran;
    result.outcome = sweep(by);
    return result;
}

} // namespace sorvel::SweepClaim
