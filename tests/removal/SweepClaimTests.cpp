// One sweep at a time on one home: several real processes that all judged the same sweep
// due, started together, run it once between them; a sweep by hand runs whatever the
// receipt; and the lock is let go however the sweep ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <vector>

#include "platform/RunLock.h"
#include "support/LockHolder.h"
#include "removal/SweepClaim.h"
#include "removal/SweepHistory.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Kind = SweepClaim::Result::Kind;

namespace {

const Date kJudgedBy = dateFromUnixSeconds(1'700'000'000);

std::string ranFile() { return std::string(std::getenv("HOME")) + "/ran"; }

// A sweep as the runner does it in the end: written down, and its receipt recorded.
SweepRunner::Outcome sweepOnce() {
    const int fd = ::open(ranFile().c_str(), O_WRONLY | O_APPEND | O_CREAT, 0600);
    if (fd >= 0) {
        (void)::write(fd, "x\n", 2);
        ::close(fd);
    }
    SweepReceipt receipt;
    receipt.date = now();
    SweepReceipt::record(receipt);
    return SweepRunner::Outcome{receipt, {}, std::nullopt};
}

int claimAndSweep() { return 10 + static_cast<int>(SweepClaim::run(true, kJudgedBy, sweepOnce).kind); }

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
};

std::string sweepLock() { return RunLock::folderPath() + "/run-" + std::string(SweepClaim::kLockName) + ".lock"; }


} // namespace

TEST(SweepClaim, OfSeveralProcessesOnOneHomeOneRunsTheDueSweep) {
    constexpr const char* kRole = "claimant";
    if (test::isRole(kRole)) test::endAs(claimAndSweep());
    constexpr int kProcesses = 6;
    Home home;
    SweepReceipt old;
    old.date = kJudgedBy;
    ASSERT_TRUE(SweepReceipt::record(old));
    std::vector<std::future<int>> processes;
    for (int i = 0; i < kProcesses; ++i)
        processes.push_back(std::async(std::launch::async, [] { return test::runTestInNewProcess(kRole, std::chrono::minutes(1)); }));
    int ran = 0;
    for (auto& process : processes) {
        const int status = process.get();
        EXPECT_TRUE(status == 10 + int(Kind::ran) || status == 10 + int(Kind::sweptElsewhere) ||
                    status == 10 + int(Kind::busy))
            << status;
        ran += status == 10 + int(Kind::ran);
    }
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(test::readFile(ranFile()), "x\n");
}

struct ClaimRow {
    const char* name;
    bool scheduled;
    std::optional<double> storedSecondsAfterJudged; // none: no receipt stored
    bool noReceiptJudged;
    Kind kind;
};

TEST(SweepClaim, AScheduledSweepReadsTheReceiptAgainUnderTheLock) {
    const ClaimRow rows[] = {
        {"the receipt it judged by", true, 0.0, false, Kind::ran},
        {"a newer receipt: another Sorvel swept", true, 60.0, false, Kind::sweptElsewhere},
        {"an older one: this process's own could not be written", true, -86'400.0, false, Kind::ran},
        {"judged with no receipt, one there now", true, 0.0, true, Kind::sweptElsewhere},
        {"none judged and none there", true, std::nullopt, true, Kind::ran},
        {"by hand, whatever the receipt", false, 60.0, false, Kind::ran},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Home home;
        if (row.storedSecondsAfterJudged) {
            SweepReceipt stored;
            stored.date = kJudgedBy + std::chrono::seconds(static_cast<int64_t>(*row.storedSecondsAfterJudged));
            ASSERT_TRUE(SweepReceipt::record(stored));
            ASSERT_TRUE(SweepReceipt::record(std::vector<SweepReceipt::Finding>{{"/x", 5}}));
        }
        int calls = 0;
        const auto result = SweepClaim::run(row.scheduled, row.noReceiptJudged ? std::nullopt : std::optional(kJudgedBy),
                                            [&] {
                                                ++calls;
                                                return SweepRunner::Outcome{};
                                            });
        EXPECT_EQ(result.kind, row.kind);
        EXPECT_EQ(calls, row.kind == Kind::ran ? 1 : 0);
        if (row.kind == Kind::sweptElsewhere) {
            ASSERT_TRUE(result.latest);
            EXPECT_EQ(result.latest, SweepReceipt::loadLast());
            EXPECT_EQ(result.latestFindings.size(), 1u);
        }
    }
}

// Another Sorvel in the middle of its sweep holds the lock: nothing runs here, and the
// wait for it has an end.
TEST(SweepClaim, ALockHeldElsewhereRunsNothingAndWaitsBriefly) {
    Home home;
    test::makeDirs(RunLock::folderPath());
    test::LockHolder holder(sweepLock(), test::LockHolder::How::waiting);
    ASSERT_TRUE(holder.holding());
    int calls = 0;
    auto claim = std::async(std::launch::async, [&] {
        return SweepClaim::run(false, std::nullopt, [&] {
            ++calls;
            return SweepRunner::Outcome{};
        });
    });
    const bool ended = claim.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!ended) holder.release(); // so the test fails rather than hangs
    const std::optional<SweepClaim::Result> result = claim.get();
    ASSERT_TRUE(ended) << "waited past its deadline";
    ASSERT_TRUE(result);
    EXPECT_EQ(result->kind, Kind::busy);
    EXPECT_EQ(calls, 0);
    holder.release();
    EXPECT_EQ(SweepClaim::run(false, std::nullopt, [] { return SweepRunner::Outcome{}; }).kind, Kind::ran);
}

// A scheduled sweep whose receipt could not be written (the settings held past their wait)
// still recorded its run: the history's last scheduled run counts as the receipt when it is
// the newer, so no later process runs the sweep again for it.
TEST(SweepClaim, AScheduledRunInTheHistoryCountsWhenItsReceiptWasNotWritten) {
    struct Row {
        const char* name;
        bool scheduled;
        SweepRun::Trigger recorded;
        double recordedSecondsAfterJudged;
        bool settingsReceipt;
        Kind kind;
    };
    const Row rows[] = {
        {"a newer scheduled run", true, SweepRun::Trigger::scheduled, 60, true, Kind::sweptElsewhere},
        {"a newer scheduled run and no receipt anywhere", true, SweepRun::Trigger::scheduled, 60, false, Kind::sweptElsewhere},
        {"the run of the receipt it judged by", true, SweepRun::Trigger::scheduled, 0, true, Kind::ran},
        {"an older scheduled run", true, SweepRun::Trigger::scheduled, -86'400, true, Kind::ran},
        {"a newer run by hand is no sweep of the schedule", true, SweepRun::Trigger::manual, 60, true, Kind::ran},
        {"a sweep by hand, whatever the history", false, SweepRun::Trigger::scheduled, 60, true, Kind::ran},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Home home;
        if (row.settingsReceipt) {
            SweepReceipt stored;
            stored.date = kJudgedBy;
            ASSERT_TRUE(SweepReceipt::record(stored));
        }
        SweepRun run;
        run.trigger = row.recorded;
        run.scope = "caches";
        run.receipt.date = kJudgedBy + std::chrono::seconds(static_cast<int64_t>(row.recordedSecondsAfterJudged));
        run.receipt.movedCount = 1;
        run.receipt.movedBytes = 7;
        run.moved = {MovedItem{"/home/x/.cache/a", "/trash/files/a", 7}};
        ASSERT_TRUE(SweepHistory::store(run));
        int calls = 0;
        const auto result = SweepClaim::run(row.scheduled, row.settingsReceipt ? std::optional(kJudgedBy) : std::nullopt,
                                            [&] {
                                                ++calls;
                                                return SweepRunner::Outcome{};
                                            });
        EXPECT_EQ(result.kind, row.kind);
        EXPECT_EQ(calls, row.kind == Kind::ran ? 1 : 0);
        if (row.kind == Kind::sweptElsewhere) {
            ASSERT_TRUE(result.latest);
            EXPECT_EQ(*result.latest, run.receipt);
            ASSERT_EQ(result.latestFindings.size(), 1u);
            EXPECT_EQ(result.latestFindings[0].path, "/home/x/.cache/a");
            EXPECT_EQ(result.latestFindings[0].trashPath, std::optional<std::string>("/trash/files/a"));
        }
    }
}

// A clock set back leaves a run dated ahead in the history; the sweep recorded after it is
// the last, whatever their dates: it does not stand in for every later sweep.
TEST(SweepClaim, TheLastRecordedScheduledRunCountsNotTheOneDatedLatest) {
    Home home;
    SweepRun ahead;
    ahead.trigger = SweepRun::Trigger::scheduled;
    ahead.receipt.date = kJudgedBy + std::chrono::hours(24 * 30);
    ASSERT_TRUE(SweepHistory::store(ahead));
    SweepRun since;
    since.trigger = SweepRun::Trigger::scheduled;
    since.receipt.date = kJudgedBy;
    ASSERT_TRUE(SweepHistory::store(since));
    SweepReceipt stored;
    stored.date = kJudgedBy;
    ASSERT_TRUE(SweepReceipt::record(stored));
    int calls = 0;
    const auto result = SweepClaim::run(true, kJudgedBy, [&] {
        ++calls;
        return SweepRunner::Outcome{};
    });
    EXPECT_EQ(result.kind, Kind::ran);
    EXPECT_EQ(calls, 1);
}

// The clock set back a day after a sweep: the sweep recorded since is the last, yet when the
// clock comes again to the hour the first one ran for, that run stands for it and nothing
// runs; any other hour runs. A run held off by a lock stands for no hour.
TEST(SweepClaim, AScheduledRunOfTheDueHourInTheHistoryStandsForItWhateverCameSince) {
    struct Row {
        const char* name;
        int64_t dueAfterHour; // seconds after the hour kJudgedBy is in
        bool heldOff;
        Kind kind;
    };
    const int64_t day = 86'400;
    const Row rows[] = {
        {"the hour the earlier run ran for", day, false, Kind::sweptElsewhere},
        {"the hour after it", 2 * day, false, Kind::ran},
        {"an hour no run stands for", -day, false, Kind::ran},
        {"an earlier run held off by a lock", day, true, Kind::ran},
    };
    struct Reload {
        ~Reload() { tzset(); } // after the zone's variable is put back
    } reload;
    const test::ScopedEnv tz{"TZ", "UTC"};
    tzset();
    const int64_t hourStart = unixSeconds(kJudgedBy) / 3600 * 3600;
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily;
    daily.hour = static_cast<int>(hourStart % day / 3600);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Home home;
        SweepRun first; // before the clock went back
        first.trigger = SweepRun::Trigger::scheduled;
        first.receipt.date = kJudgedBy + std::chrono::seconds(day);
        first.receipt.heldOff = row.heldOff;
        ASSERT_TRUE(SweepHistory::store(first));
        SweepRun since;
        since.trigger = SweepRun::Trigger::scheduled;
        since.receipt.date = kJudgedBy;
        ASSERT_TRUE(SweepHistory::store(since));
        ASSERT_TRUE(SweepReceipt::record(since.receipt));
        int calls = 0;
        const auto result = SweepClaim::run(
            true, kJudgedBy,
            [&] {
                ++calls;
                return SweepRunner::Outcome{};
            },
            SweepClaim::Due{daily, dateFromUnixSeconds(hourStart + row.dueAfterHour)});
        EXPECT_EQ(result.kind, row.kind);
        EXPECT_EQ(calls, row.kind == Kind::ran ? 1 : 0);
        if (row.kind == Kind::sweptElsewhere) {
            EXPECT_EQ(result.latest, first.receipt);
        }
    }
}
