// The scheduler driven as the window drives it: a clock that steps forward and back, a
// sweep whose receipt is dated seconds after the check that started it, other Sorvels on the
// same home sweeping, cut short or holding the sweep's lock while the panel moves findings.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <future>
#include <vector>

#include "engine/Bytes.h"
#include "models/SweepSchedulerFixtures.h"
#include "platform/RunLock.h"
#include "removal/RemovalRun.h"
#include "support/ChildProcess.h"
#include "support/LockHolder.h"

using namespace sorvel;
using Frequency = SweepSchedule::Frequency;
using Finding = SweepReceipt::Finding;

namespace {

// Lets the repeating check run a few times at the clock as it now reads.
void letChecksRun(test::SchedulerRig& rig) {
    const int reads = rig.clockReads.load();
    ASSERT_TRUE(test::waitUntil([&] { return rig.clockReads.load() >= reads + 6; }));
}

struct ClockRow {
    const char* name;
    std::vector<const char*> steps; // the clock after the 09:03 sweep, in turn
};

} // namespace

// A daily 09:00 sweep runs at the 09:03 check; its scan takes two seconds, so its receipt is
// dated 09:03:02. However the clock then moves, the 09:00 it stands for is not run again,
// and the next sweep shown is tomorrow's; tomorrow's does run.
TEST(SweepSchedulerClock, EachDueSweepRunsOnceWhateverTheClockDoes) {
    const ClockRow rows[] = {
        {"set back an hour at once, then through the hour again",
         {"2026-12-07 08:03:05", "2026-12-07 08:59:59", "2026-12-07 09:00:00", "2026-12-07 09:03:00",
          "2026-12-07 09:03:01"}},
        {"set back an hour fifty minutes on", {"2026-12-07 09:53:00", "2026-12-07 08:53:00", "2026-12-07 09:00:00"}},
        {"back to the second of the check, before the receipt", {"2026-12-07 09:03:00"}},
        {"forward, then back before the hour", {"2026-12-07 15:00:00", "2026-12-07 08:30:00", "2026-12-07 09:00:00"}},
        {"forward an hour", {"2026-12-07 10:03:00"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::UTCZone utc;
        test::SchedulerRig rig;
        rig.storeSchedule(Frequency::daily, 9);
        SweepReceipt::record(test::cleanReceiptAt(test::utcAt("2026-12-06 09:03:00")));
        rig.clock = test::utcAt("2026-12-07 09:03:00");
        rig.sweeps->receipt = test::cleanReceiptAt(test::utcAt("2026-12-07 09:03:02"), 2);
        SweepScheduler scheduler(rig.dependencies());
        scheduler.setTick(0.02);
        scheduler.start();
        ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->finished.load() == 1; }));
        ASSERT_TRUE(test::sweepDone(scheduler));
        for (const char* step : row.steps) {
            SCOPED_TRACE(step);
            rig.clock = test::utcAt(step);
            letChecksRun(rig);
            EXPECT_EQ(rig.sweeps->calls(), 1u);
            EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 09:00:00"));
            ASSERT_TRUE(scheduler.lastReceipt());
            EXPECT_EQ(scheduler.lastReceipt()->headline(), "Moved 2 KB to the Trash");
        }
        rig.clock = test::utcAt("2026-12-08 09:00:00");
        EXPECT_TRUE(test::waitUntil([&] { return rig.sweeps->calls() == 2; }));
        ASSERT_TRUE(test::sweepDone(scheduler));
        scheduler.stop();
    }
}

// The sweep ran at 09:03:02; the clock was set back an hour and the panel then moved a
// finding at 08:10, dating the receipt anew. The move is no sweep: 09:00 is still done.
TEST(SweepSchedulerClock, AMoveFromThePanelAfterTheClockWentBackDoesNotMakeTheHourDueAgain) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 9);
    SweepReceipt moved = test::cleanReceiptAt(test::utcAt("2026-12-07 08:10:00"), 3);
    moved.sweptAt = test::utcAt("2026-12-07 09:03:02");
    SweepReceipt::record(moved);
    rig.clock = test::utcAt("2026-12-07 08:15:00");
    SweepScheduler scheduler(rig.dependencies());
    scheduler.setTick(0.02);
    scheduler.start();
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 09:00:00"));
    rig.clock = test::utcAt("2026-12-07 09:00:00");
    letChecksRun(rig);
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    scheduler.stop();
}

// Another Sorvel is sweeping the due 09:00 (it holds the sweep's lock): this one leaves it to
// it and shows tomorrow's hour, never the check at which it looks again.
TEST(SweepSchedulerClock, TheSessionThatLosesTheRaceShowsTheNextHourNotItsRetry) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 9);
    SweepReceipt::record(test::cleanReceiptAt(test::utcAt("2026-12-06 09:03:00")));
    rig.clock = test::utcAt("2026-12-07 09:03:00");
    test::makeDirs(RunLock::folderPath());
    test::LockHolder holder(test::sweepLockPath(), test::LockHolder::How::waiting);
    ASSERT_TRUE(holder.holding());
    SweepScheduler scheduler(rig.dependencies());
    scheduler.start();
    ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isRunning(); }, 20'000));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 09:00:00"));
    scheduler.stop();
}

namespace {

constexpr const char* kCutShortRole = "sweep-killed-mid-move";
constexpr int kKilled = 9;
constexpr int kItems = static_cast<int>(RemovalRun::kFirstBatch) * 3;
const char* const kSweptAt = "2026-12-07 09:02:00";

// Another Sorvel's scheduled sweep, its receipt kept ahead as cut short, killed once its
// first batch has reached the Trash.
int sweepThenDie() {
    const std::string work = std::string(std::getenv("HOME")) + "/Work";
    const SweepReceipt ahead = [] {
        SweepReceipt r = test::cleanReceiptAt(test::utcAt(kSweptAt));
        r.foundBytes = 34'900'000;
        r.cutShort = true;
        return r;
    }();
    SweepReceipt::record(ahead);
    RemovalRun::Request request;
    request.policy = CleanupPolicy::standard().allowing({work});
    request.run.trigger = SweepRun::Trigger::scheduled;
    request.run.scope = "1 folder you added";
    request.run.allowedRoots = request.policy.allowedRoots;
    for (int i = 0; i < kItems; ++i) {
        const std::string path = work + "/d" + std::to_string(i);
        request.paths.push_back({path, test::independentTotal(path)});
    }
    request.receipt = [ahead](const std::vector<CleanupOutcome>& outcomes) {
        SweepReceipt r = ahead;
        r.cutShort = false;
        for (const auto& o : outcomes)
            if (o.moved()) ++r.movedCount, r.movedBytes += o.size;
        return r;
    };
    bool first = true;
    request.mover = [&first](const std::vector<CleanupExecutor::PathSize>& chunk, const CleanupPolicy& policy,
                             const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        if (!first) test::endAs(kKilled); // its items written ahead, none moved
        first = false;
        return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    RemovalRun::moveAndRecord(std::move(request));
    return 0; // never killed: the test fails on the status
}

} // namespace

// This session finds, at its 09:03 check, the receipt of another Sorvel's sweep that was
// killed mid-move. Its mover is gone, so the session shows what that sweep moved, with
// the moved items, not "Cut short before it finished" and 0 KB moved.
TEST(SweepSchedulerClock, AnotherSessionsSweepCutShortIsShownAsWhatItMoved) {
    if (test::isRole(kCutShortRole)) test::endAs(sweepThenDie());
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 9);
    SweepReceipt::record(test::cleanReceiptAt(test::utcAt("2026-12-06 09:03:00")));
    for (int i = 0; i < kItems; ++i) test::writeFile(rig.home.h + "/Work/d" + std::to_string(i) + "/f", "x");
    rig.clock = test::utcAt("2026-12-07 08:50:00");
    SweepScheduler scheduler(rig.dependencies());
    scheduler.setTick(0.02);
    scheduler.start();
    ASSERT_EQ(test::runTestInNewProcess(kCutShortRole, std::chrono::minutes(2)), kKilled);
    int inTrash = 0;
    for (const auto& entry : std::filesystem::directory_iterator(rig.home.h + "/.local/share/Trash/files"))
        inTrash += entry.is_directory();
    ASSERT_EQ(inTrash, static_cast<int>(RemovalRun::kFirstBatch));
    const int64_t each = test::independentTotal(rig.home.h + "/Work/d" + std::to_string(kItems - 1));

    rig.clock = test::utcAt("2026-12-07 09:03:00");
    ASSERT_TRUE(test::waitUntil([&] { return scheduler.lastReceipt() && scheduler.lastReceipt()->date == test::utcAt(kSweptAt); }));
    EXPECT_TRUE(test::waitUntil([&] { return scheduler.lastReceipt()->movedCount == inTrash; }));
    EXPECT_EQ(scheduler.lastReceipt()->movedBytes, inTrash * each);
    EXPECT_EQ(scheduler.lastReceipt()->headline(), "Moved " + Bytes::format(inTrash * each) +
                                                       " to the Trash before it was cut short");
    size_t moved = 0;
    for (const auto& f : scheduler.findings()) moved += f.moved();
    EXPECT_EQ(moved, static_cast<size_t>(inTrash));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    scheduler.stop();
}

namespace {

constexpr const char* kSweepRole = "sweep-holding-the-lock";

std::string marker(const char* name) { return std::string(std::getenv("HOME")) + "/" + name; }
std::string cachedFinding() { return std::string(std::getenv("HOME")) + "/Library/Caches/com.example.picked"; }

// Another Sorvel's sweep: under the sweep's lock, it writes its receipt and findings (the
// item the panel picked found again) once told to, then ends.
int sweepWhenTold() {
    const RunLock::Held lock(SweepClaim::kLockName);
    if (!lock.held()) return 3;
    test::writeFile(marker("held"), "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!test::exists(marker("go")))
        if (std::chrono::steady_clock::now() > deadline) return 4;
    SweepReceipt r;
    r.date = now();
    r.action = SweepSchedule::Action::clean;
    r.scannedBytes = 777;
    r.movedCount = 5;
    SweepReceipt::record(r);
    SweepReceipt::record(std::vector<Finding>{{marker("new"), 4096},
                                              {cachedFinding(), test::independentTotal(cachedFinding())}});
    return 0;
}

} // namespace

// A sweep and a move from the panel never come between each other. While another Sorvel
// sweeps, the panel moves nothing and writes nothing, and says why; a move asked for while
// a sweep saves waits for it and adds to that sweep's receipt and findings, not the older.
TEST(SweepSchedulerClock, ASweepAndAPanelMoveNeverInterleave) {
    if (test::isRole(kSweepRole)) test::endAs(sweepWhenTold());
    test::SchedulerRig rig;
    const std::string cached = cachedFinding();
    test::writeFileOfSize(cached + "/blob", 100'000);
    SweepReceipt older;
    older.action = SweepSchedule::Action::clean;
    older.scannedBytes = 111;
    older.movedCount = 1;
    SweepReceipt::record(older);
    SweepReceipt::record(std::vector<Finding>{{cached, test::independentTotal(cached)}});
    SweepScheduler scheduler(rig.dependencies());

    {
        test::makeDirs(RunLock::folderPath());
        test::LockHolder holder(test::sweepLockPath(), test::LockHolder::How::waiting);
        ASSERT_TRUE(holder.holding());
        scheduler.cleanSelected();
        ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isCleaning(); }, 20'000));
        EXPECT_TRUE(test::exists(cached + "/blob"));
        EXPECT_EQ(scheduler.failure(), std::string(SweepScheduler::kSweepingNothingMoved));
        EXPECT_EQ(SweepReceipt::loadLast(), older);
        EXPECT_TRUE(SweepHistory::load().empty());
    }

    auto child = std::async(std::launch::async,
                            [] { return test::runTestInNewProcess(kSweepRole, std::chrono::minutes(1)); });
    ASSERT_TRUE(test::waitUntil([&] { return test::exists(marker("held")); }, 20'000));
    ASSERT_EQ(scheduler.selectedPaths().count(cached), 1u);
    scheduler.cleanSelected();
    test::writeFile(marker("go"), "");
    ASSERT_EQ(child.get(), 0);
    ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isCleaning(); }, 20'000));
    EXPECT_FALSE(test::exists(cached + "/blob"));
    EXPECT_EQ(scheduler.failure(), std::nullopt);
    const auto stored = SweepReceipt::loadLast();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->scannedBytes, 777) << "the newer sweep's receipt, not the older one's";
    EXPECT_EQ(stored->movedCount, 5 + 1);
    EXPECT_EQ(SweepReceipt::loadFindings(), (std::vector<Finding>{{marker("new"), 4096}}));
}
