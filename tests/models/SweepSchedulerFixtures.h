#pragma once
// Stand-ins for the scheduler's surroundings: a clock the test moves, a sweep that
// answers with a prepared receipt (and can be held until the test lets it go), and a
// notification centre that records what it is given.
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "models/SettingsSaver.h"
#include "models/SweepModelsFixtures.h"
#include "platform/RunLock.h"
#include "platform/UserNotifications.h"
#include "models/SweepScheduler.h"
#include "removal/SweepClaim.h"

namespace sorvel::test {

struct RecordingCenter final : UserNotifications::Center {
    bool granted = true;
    std::vector<UserNotifications::Request> added;
    bool requestAuthorization() override { return granted; }
    bool add(const UserNotifications::Request& request) override {
        added.push_back(request);
        return true;
    }
};

/// Shared with the worker thread that runs the sweep, so it outlives the test body.
struct FakeSweeps {
    std::mutex mutex;
    std::condition_variable released;
    bool held = false;
    std::vector<SweepRun::Trigger> triggers;
    std::vector<SweepSchedule> schedules;
    SweepReceipt receipt;
    std::vector<CleanupOutcome> outcomes;
    std::optional<std::string> saveError;
    std::optional<std::string> raise; // the sweep throws this instead of answering
    std::atomic<int> finished{0};

    size_t calls() {
        std::lock_guard guard(mutex);
        return triggers.size();
    }
    void release() {
        std::lock_guard guard(mutex);
        held = false;
        released.notify_all();
    }
};

struct SchedulerRig {
    ModelHome home;
    Date clock = dateFromUnixSeconds(1'796'638'200); // Mon Dec 7 2026 10:10:00 UTC
    std::atomic<int> clockReads{0};                  // every look at the clock: the timer's firings show here
    std::shared_ptr<FakeSweeps> sweeps = std::make_shared<FakeSweeps>();
    std::shared_ptr<RecordingCenter> center = std::make_shared<RecordingCenter>();

    SweepScheduler::Dependencies dependencies() {
        SweepScheduler::Dependencies d;
        d.clock = [this] {
            ++clockReads;
            return clock;
        };
        d.runner = [sweeps = sweeps](const SweepSchedule& schedule, SweepRun::Trigger trigger) {
            std::unique_lock lock(sweeps->mutex);
            sweeps->triggers.push_back(trigger);
            sweeps->schedules.push_back(schedule);
            sweeps->released.wait(lock, [&] { return !sweeps->held; });
            if (sweeps->raise) throw std::runtime_error(*sweeps->raise);
            SweepRunner::Outcome out{sweeps->receipt, sweeps->outcomes, sweeps->saveError};
            ++sweeps->finished;
            return out;
        };
        d.notifications = center;
        return d;
    }

    static void storeSchedule(SweepSchedule::Frequency frequency, int hour = 3) {
        SweepSchedule s;
        s.frequency = frequency;
        s.hour = hour;
        SweepSchedule::store(s);
    }
    /// A last receipt dated `secondsAgo` before the rig's clock.
    void storeLastSweep(double secondsAgo) {
        SweepReceipt r;
        r.date = clock - std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(secondsAgo));
        SweepReceipt::record(r);
    }
};

/// The schedule on disk, once the writes asked for are done.
inline SweepSchedule storedSchedule() {
    Models::waitForSettings();
    return SweepSchedule::loadStored();
}

inline bool sweepDone(const SweepScheduler& scheduler) {
    return waitUntil([&] { return !scheduler.isRunning(); });
}

/// The zone is UTC for the test's length, and the process's zone is read again after it.
struct UTCZone {
    struct Reload {
        ~Reload() { tzset(); } // after the zone's variable is put back
    } reload;
    ScopedEnv tz{"TZ", "UTC"};
    UTCZone() { tzset(); }
};

/// "2026-12-07 10:10" or "2026-12-07 09:03:02", in UTC.
inline Date utcAt(const char* text) {
    std::tm parts{};
    if (!strptime(text, "%Y-%m-%d %H:%M:%S", &parts)) {
        parts = {};
        strptime(text, "%Y-%m-%d %H:%M", &parts);
    }
    return dateFromUnixSeconds(static_cast<int64_t>(timegm(&parts)));
}

/// A cleaning sweep's receipt dated `date`, that moved `moved` items of 1,000 bytes each.
inline SweepReceipt cleanReceiptAt(Date date, int64_t moved = 0) {
    SweepReceipt r;
    r.date = std::chrono::time_point_cast<std::chrono::microseconds>(date);
    r.action = SweepSchedule::Action::clean;
    r.movedCount = moved;
    r.movedBytes = moved * 1000;
    return r;
}

/// The lock a sweep runs under, as another Sorvel would hold it.
inline std::string sweepLockPath() {
    return RunLock::folderPath() + "/run-" + std::string(SweepClaim::kLockName) + ".lock";
}

} // namespace sorvel::test
