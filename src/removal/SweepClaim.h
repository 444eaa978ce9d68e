#pragma once
// One sweep at a time on one home, whatever the number of Sorvels: a sweep runs only under
// a lock of its own in the settings folder (a run lock, let go by the kernel when its
// process ends), and a scheduled one reads the last receipt again under it, so a sweep
// another Sorvel has run since it was judged due is not run twice.
#include <functional>
#include <optional>

#include "platform/Date.h"
#include "removal/SweepReceipt.h"
#include "removal/SweepRunner.h"

namespace sorvel::SweepClaim {

/// The run lock's name for sweeps.
inline constexpr const char* kLockName = "sweep";

/// Why a sweep asked for by hand did not start.
inline constexpr const char* kAnotherSweeping =
    "Another Sorvel is sweeping this home right now, so this sweep did not start. Try again once it has finished.";

struct Result {
    enum class Kind {
        ran,            // this process ran the sweep: `outcome`
        sweptElsewhere, // another Sorvel swept since the receipt `known`: `latest`
        busy,           // another Sorvel is sweeping now (its lock past a short wait)
        rescheduled,    // the schedule stored now is not the one a scheduled sweep was judged by: `schedule`
    };
    Kind kind = Kind::busy;
    std::optional<SweepRunner::Outcome> outcome;
    std::optional<SweepReceipt> latest;
    std::vector<SweepReceipt::Finding> latestFindings; // with `latest`
    /// The schedule as stored now, when it is not the one the sweep was judged by.
    std::optional<SweepSchedule> schedule;
};

/// The sweep time a scheduled sweep is run for, by the schedule that places it.
struct Due {
    SweepSchedule schedule;
    Date time;
};

/// Takes the sweep lock (waiting a moment at most), then, for a scheduled sweep, reads the
/// last receipt again: one dated after `known` (the receipt the sweep was judged due by;
/// none when there was none) means another Sorvel swept meanwhile, and nothing runs. The
/// last scheduled run of the history counts as a receipt when it is the newer: a sweep whose
/// receipt could not be written still ran. So does any scheduled run of the history that
/// stands for the sweep time `due` (one made before the clock was set back).
/// Otherwise runs `sweep` while holding the lock. A sweep by hand runs whatever the receipt.
Result run(bool scheduled, const std::optional<Date>& known, const std::function<SweepRunner::Outcome()>& sweep,
           const std::optional<Due>& due = std::nullopt);

/// When the scheduled sweeps the history records were made, newest first; those held off by
/// a lock stand for no sweep time and are left out.
std::vector<Date> sweptTimes();

/// The schedule a sweep was judged by, and how to read the one stored now.
struct Schedules {
    SweepSchedule judged;
    std::function<SweepSchedule()> stored;
};
/// As above, the schedule read again first under the lock: another Sorvel may have changed
/// it since. A scheduled sweep judged by another does not run and comes back `rescheduled`,
/// to be judged again; one asked for by hand runs by the schedule stored now.
Result run(bool scheduled, const std::optional<Date>& known, const Schedules& schedules,
           const std::function<SweepRunner::Outcome(const SweepSchedule&)>& sweep,
           const std::optional<Due>& due = std::nullopt);

} // namespace sorvel::SweepClaim
