// The scheduler against other Sorvels and the clock: a receipt another Sorvel wrote since
// is taken rather than swept again, a sweep another Sorvel is running is left to it, a
// clock set back waits for the hour, and a sweep held off by a lock is tried again at the
// next check and told of once.
#include <gtest/gtest.h>


#include <ctime>

#include "models/SweepSchedulerFixtures.h"
#include "platform/RunLock.h"
#include "support/LockHolder.h"

using namespace sorvel;
using Frequency = SweepSchedule::Frequency;
using Trigger = SweepRun::Trigger;

// Two Sorvels on one home: this one read yesterday's receipt at its start, the other swept
// since. This one's due test still says due; read again under the lock, the newer receipt
// is taken, with its findings, and nothing is swept twice.
TEST(SweepSchedulerClaim, AReceiptAnotherSorvelWroteSinceIsTakenNotSweptAgain) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    rig.storeLastSweep(31 * 3600); // yesterday 03:10
    SweepScheduler scheduler(rig.dependencies());
    const SweepReceipt theirs = test::cleanReceiptAt(test::utcAt("2026-12-07 03:04"));
    ASSERT_TRUE(SweepReceipt::record(theirs));
    ASSERT_TRUE(SweepReceipt::record(std::vector<SweepReceipt::Finding>{{"/found/by/them", 42}}));

    scheduler.start();
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    EXPECT_EQ(scheduler.lastReceipt(), theirs);
    ASSERT_EQ(scheduler.findings().size(), 1u);
    EXPECT_EQ(scheduler.findings()[0].path, "/found/by/them");
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 03:00"));
    EXPECT_TRUE(rig.center->added.empty());
    scheduler.stop();
}

// A Sorvel swept at 03:04 but could not write its receipt (the settings held past their
// wait) and has ended since; its run is in the history. One started later that day, reading
// yesterday's receipt, takes that run as the last sweep and waits for tomorrow's hour.
TEST(SweepSchedulerClaim, ASweepWhoseReceiptWasNotWrittenIsNotRunAgainThatDay) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    rig.storeLastSweep(31 * 3600); // yesterday 03:10
    SweepRun ran;
    ran.trigger = Trigger::scheduled;
    ran.scope = "caches";
    ran.receipt = test::cleanReceiptAt(test::utcAt("2026-12-07 03:04"));
    ran.receipt.movedCount = 1;
    ran.receipt.movedBytes = 42;
    ran.moved = {MovedItem{"/moved/by/it", "/trash/files/it", 42}};
    ASSERT_TRUE(SweepHistory::store(ran));

    SweepScheduler scheduler(rig.dependencies());
    scheduler.start();
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    EXPECT_EQ(scheduler.lastReceipt(), ran.receipt);
    ASSERT_EQ(scheduler.findings().size(), 1u);
    EXPECT_EQ(scheduler.findings()[0].path, "/moved/by/it");
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 03:00"));
    EXPECT_TRUE(rig.center->added.empty());
    scheduler.stop();
}

// Another Sorvel is in the middle of the sweep (it holds the sweep's lock): a scheduled
// sweep here is left to it, without a word; one asked for by hand says why it did not start.
TEST(SweepSchedulerClaim, ASweepAnotherSorvelIsRunningIsLeftToIt) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    test::makeDirs(RunLock::folderPath());
    test::LockHolder holder(test::sweepLockPath(), test::LockHolder::How::waiting);
    ASSERT_TRUE(holder.holding());
    SweepScheduler scheduler(rig.dependencies());
    scheduler.start();
    ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isRunning(); }, 20'000));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    EXPECT_EQ(scheduler.failure(), std::nullopt);
    EXPECT_EQ(scheduler.lastReceipt(), std::nullopt);

    scheduler.run(Trigger::manual);
    ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isRunning(); }, 20'000));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    EXPECT_EQ(scheduler.failure(), std::string(SweepClaim::kAnotherSweeping));

    holder.release();
    scheduler.run(Trigger::manual);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(rig.sweeps->calls(), 1u);
    scheduler.stop();
}

// The clock set back three days: the last receipt is from its future. Nothing runs at once;
// the panel shows the next 03:00 from now, and the sweep runs when it comes.
TEST(SweepSchedulerClaim, AClockSetBackWaitsForTheHourItShows) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    rig.storeLastSweep(-3 * 86'400);
    rig.sweeps->receipt = test::cleanReceiptAt(test::utcAt("2026-12-08 03:01"));
    SweepScheduler scheduler(rig.dependencies());
    scheduler.setTick(0.02);
    scheduler.start();
    EXPECT_FALSE(scheduler.isRunning());
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 03:00"));
    const int reads = rig.clockReads.load();
    ASSERT_TRUE(test::waitUntil([&] { return rig.clockReads.load() >= reads + 6; }));
    EXPECT_EQ(rig.sweeps->calls(), 0u);

    rig.clock = test::utcAt("2026-12-08 03:00");
    ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->finished.load() == 1; }));
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(rig.sweeps->triggers.at(0), Trigger::scheduled);
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-09 03:00"));
    scheduler.stop();
}

// A sweep that moved nothing because the history stayed locked: its receipt says why and
// is not "Nothing needed cleaning"; the next check tries again, and only the first is told.
TEST(SweepSchedulerClaim, ASweepHeldOffByALockIsTriedAgainAtTheNextCheck) {
    test::UTCZone utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    rig.sweeps->receipt = test::cleanReceiptAt(rig.clock);
    rig.sweeps->receipt.heldOff = true;
    rig.sweeps->receipt.withheldReason = "Another Sorvel is writing the history.";
    SweepScheduler scheduler(rig.dependencies());
    scheduler.setTick(0.02);
    scheduler.start();
    ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->finished.load() >= 2; }));
    ASSERT_TRUE(scheduler.lastReceipt());
    EXPECT_NE(scheduler.lastReceipt()->headline(), "Nothing needed cleaning");
    EXPECT_EQ(rig.center->added.size(), 1u);

    // Once it moves, the next is at the hour again.
    {
        std::lock_guard lock(rig.sweeps->mutex);
        rig.sweeps->receipt = test::cleanReceiptAt(rig.clock);
    }
    ASSERT_TRUE(test::waitUntil([&] { return scheduler.lastReceipt() && !scheduler.lastReceipt()->heldOff; }));
    const size_t calls = rig.sweeps->calls();
    const int reads = rig.clockReads.load();
    ASSERT_TRUE(test::waitUntil([&] { return rig.clockReads.load() >= reads + 6; }));
    EXPECT_EQ(rig.sweeps->calls(), calls);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(scheduler.nextRunDate(), test::utcAt("2026-12-08 03:00"));
    scheduler.stop();
}
