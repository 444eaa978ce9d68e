// When the scheduler sweeps and what next sweep time it shows: the due test from the last
// receipt, the hour that places only the displayed time, and arming and disarming.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <ctime>

#include "models/SweepSchedulerFixtures.h"
#include "platform/UserDefaults.h"

using namespace sorvel;
using Frequency = SweepSchedule::Frequency;
using Trigger = SweepRun::Trigger;

namespace {

struct UTC {
    test::ScopedEnv tz{"TZ", "UTC"};
    UTC() { tzset(); }
};

Date at(const char* text) { // "2026-12-07 10:10" in UTC
    std::tm parts{};
    strptime(text, "%Y-%m-%d %H:%M", &parts);
    return dateFromUnixSeconds(static_cast<int64_t>(timegm(&parts)));
}

SweepSchedule every(Frequency frequency, int hour = 3) {
    SweepSchedule s;
    s.frequency = frequency;
    s.hour = hour;
    return s;
}

Date hoursBefore(Date d, double hours) {
    return d - std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(hours * 3600));
}

} // namespace

TEST(SweepSchedulerDue, IntervalsCountFromTheLastReceipt) {
    UTC utc;
    const Date now = at("2026-12-07 10:10");
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::daily), std::nullopt, now));
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::weekly), std::nullopt, now));
    EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::off), std::nullopt, now));
    EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::off), hoursBefore(now, 1000), now));

    // Due once the hour shown (03:00) has come after the last receipt, not 24 hours on.
    EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::daily), at("2026-12-07 03:05"), now));
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::daily), at("2026-12-07 02:55"), now));
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::daily), hoursBefore(now, 23 + 59.0 / 60), now));
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::daily), hoursBefore(now, 24), now));
    EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::weekly), hoursBefore(now, 6 * 24), now));
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::weekly), hoursBefore(now, 7 * 24), now));
    EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::daily, 23), hoursBefore(now, 10), now));
    EXPECT_TRUE(SweepScheduler::isDue(every(Frequency::daily, 23), hoursBefore(now, 25), now));
    // A receipt from the future (a clock set back, a damaged store) is not due now, however
    // far off: the next sweep is the hour after now.
    for (double ahead : {0.001, 5.0, 24.0 * 365 * 30}) {
        EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::daily), hoursBefore(now, -ahead), now)) << ahead;
        EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::weekly), hoursBefore(now, -ahead), now)) << ahead;
        EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::off), hoursBefore(now, -ahead), now)) << ahead;
        EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily), hoursBefore(now, -ahead), now), at("2026-12-08 03:00"))
            << ahead;
    }
    EXPECT_FALSE(SweepScheduler::isDue(every(Frequency::daily), dateFromReferenceSeconds(1e300), now));
}

TEST(SweepSchedulerNextRun, TodaysHourOrTheNextOneAfterNowAndTheLastSweep) {
    UTC utc;
    const Date now = at("2026-12-07 10:10");
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 3), std::nullopt, now), at("2026-12-08 03:00"));
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 12), std::nullopt, now), at("2026-12-07 12:00"));
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::weekly, 3), std::nullopt, now), at("2026-12-14 03:00"));
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::weekly, 20), std::nullopt, now), at("2026-12-14 20:00"));

    // With a last sweep: the hour after it, the time the due test uses.
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 12), at("2026-12-07 09:00"), now),
              at("2026-12-07 12:00"));
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 12), at("2026-12-06 12:00"), now),
              at("2026-12-07 12:00")); // at the hour is not after it
    // A last sweep from the future: the hour after now.
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 3), at("2026-12-10 05:00"), now),
              at("2026-12-08 03:00"));
    // Weekly: the hour on the last sweep's weekday, a week on.
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::weekly, 3), at("2026-12-04 03:05"), now),
              at("2026-12-11 03:00"));
}

TEST(SweepSchedulerNextRun, NoneWhenOffOrNoTimeCanBeFormed) {
    UTC utc;
    const Date now = at("2026-12-07 10:10");
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::off), std::nullopt, now), std::nullopt);
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 24), std::nullopt, now), std::nullopt);
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, -1), std::nullopt, now), std::nullopt);
    // A stored date at the end of the calendar neither loops nor overflows: it is from the
    // future, and the next sweep is the hour after now.
    const Date farOff = dateFromReferenceSeconds(1e300);
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 3), farOff, now), at("2026-12-08 03:00"));
    EXPECT_EQ(SweepScheduler::nextRun(every(Frequency::daily, 3), dateFromReferenceSeconds(-1e300), now),
              std::nullopt);
}

TEST(SweepSchedulerArming, FirstStartWithoutAReceiptSweepsAtOnce) {
    UTC utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    rig.sweeps->receipt.date = rig.clock;
    SweepScheduler scheduler(rig.dependencies());
    EXPECT_EQ(rig.sweeps->calls(), 0u); // nothing before start
    scheduler.start();
    EXPECT_TRUE(scheduler.isRunning());
    EXPECT_TRUE(scheduler.isArmed());
    ASSERT_TRUE(test::sweepDone(scheduler));
    ASSERT_EQ(rig.sweeps->calls(), 1u);
    EXPECT_EQ(rig.sweeps->triggers[0], Trigger::scheduled);
    EXPECT_EQ(scheduler.lastReceipt(), rig.sweeps->receipt);
    EXPECT_EQ(scheduler.nextRunDate(), at("2026-12-08 03:00"));
}

TEST(SweepSchedulerArming, NotDueRefreshesTheNextTimeAndTheTimerSweepsOnceDue) {
    UTC utc;
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily, 3);
    rig.storeLastSweep(7 * 3600 + 5 * 60); // today 03:05
    SweepScheduler scheduler(rig.dependencies());
    scheduler.setTick(0.02);
    scheduler.start();
    EXPECT_FALSE(scheduler.isRunning());
    EXPECT_EQ(scheduler.nextRunDate(), at("2026-12-08 03:00"));
    // Several firings while not due start nothing, and leave the next time as it was.
    QSignalSpy refreshed(&scheduler, &SweepScheduler::nextRunDateChanged);
    const int reads = rig.clockReads.load();
    ASSERT_TRUE(test::waitUntil([&] { return rig.clockReads.load() >= reads + 6; }));
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    EXPECT_EQ(refreshed.count(), 0);

    rig.clock = at("2026-12-08 03:00"); // the hour has come again
    ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->finished.load() == 1; }));
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(rig.sweeps->triggers.at(0), Trigger::scheduled);
    scheduler.stop();
}

TEST(SweepSchedulerArming, WeeklySixDaysAgoIsNotDue) {
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::weekly);
    rig.storeLastSweep(6 * 86'400);
    SweepScheduler scheduler(rig.dependencies());
    scheduler.start();
    EXPECT_TRUE(scheduler.isArmed());
    EXPECT_FALSE(scheduler.isRunning());
    EXPECT_TRUE(scheduler.nextRunDate());
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.sweeps->calls(), 0u);
    scheduler.stop();
}

TEST(SweepSchedulerArming, OffNeverSweepsByItselfButSweepNowStillRuns) {
    test::SchedulerRig rig;
    SweepScheduler scheduler(rig.dependencies()); // nothing stored: the default schedule is off
    EXPECT_EQ(scheduler.schedule(), SweepSchedule::defaultSchedule());
    EXPECT_EQ(scheduler.nextRunDate(), std::nullopt);
    scheduler.start();
    EXPECT_FALSE(scheduler.isArmed());
    EXPECT_FALSE(scheduler.isRunning());
    EXPECT_EQ(scheduler.nextRunDate(), std::nullopt);

    scheduler.run(Trigger::manual);
    ASSERT_TRUE(test::sweepDone(scheduler));
    ASSERT_EQ(rig.sweeps->calls(), 1u);
    EXPECT_EQ(rig.sweeps->triggers[0], Trigger::manual);
    EXPECT_EQ(scheduler.nextRunDate(), std::nullopt);
}

TEST(SweepSchedulerArming, UnreadableStoredScheduleFallsBackToTheDefault) {
    test::SchedulerRig rig;
    UserDefaults::standard().set("SorvelSweepSchedule", {{"frequency", "hourly"}});
    SweepScheduler scheduler(rig.dependencies());
    EXPECT_EQ(scheduler.schedule(), SweepSchedule::defaultSchedule());
}

TEST(SweepSchedulerScheduleChange, AnEqualScheduleStoresNothingAndDoesNotRestart) {
    test::SchedulerRig rig;
    SweepScheduler scheduler(rig.dependencies());
    QSignalSpy changed(&scheduler, &SweepScheduler::changed);
    scheduler.setSchedule(SweepSchedule::defaultSchedule());
    EXPECT_EQ(changed.count(), 0);
    Models::waitForSettings();
    EXPECT_FALSE(UserDefaults::standard().value("SorvelSweepSchedule"));
}

TEST(SweepSchedulerScheduleChange, ANewScheduleIsStoredAndRestartsWithADueTest) {
    test::SchedulerRig rig;
    SweepScheduler scheduler(rig.dependencies());
    SweepSchedule daily = every(Frequency::daily, 6);
    daily.folders = {"~/Projects"};
    scheduler.setSchedule(daily);
    EXPECT_TRUE(scheduler.isArmed());
    // No last receipt, so due at once; the sweep waits for the new folder's check.
    EXPECT_FALSE(scheduler.isRunning());
    ASSERT_TRUE(test::waitUntil([&] { return scheduler.checkingFolders().empty(); }));
    EXPECT_EQ(test::storedSchedule(), daily);
    ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->finished.load() == 1; }));
    ASSERT_TRUE(test::sweepDone(scheduler));
    ASSERT_EQ(rig.sweeps->calls(), 1u);
    EXPECT_EQ(rig.sweeps->schedules[0], daily);

    SweepScheduler reopened(rig.dependencies());
    EXPECT_EQ(reopened.schedule(), daily);
    scheduler.stop();
}

TEST(SweepSchedulerScheduleChange, TurningOffDuringASweepDisarmsButTheSweepStillPublishes) {
    test::SchedulerRig rig;
    rig.storeSchedule(Frequency::daily);
    rig.sweeps->held = true;
    rig.sweeps->receipt.foundBytes = 7;
    SweepScheduler scheduler(rig.dependencies());
    scheduler.start();
    ASSERT_TRUE(scheduler.isRunning());
    ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->calls() == 1; }));

    SweepSchedule off = scheduler.schedule();
    off.frequency = Frequency::off;
    scheduler.setSchedule(off);
    EXPECT_FALSE(scheduler.isArmed());
    EXPECT_EQ(scheduler.nextRunDate(), std::nullopt);
    scheduler.run(Trigger::manual); // ignored: one sweep at a time
    EXPECT_TRUE(scheduler.isRunning());

    rig.sweeps->release();
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(scheduler.lastReceipt(), rig.sweeps->receipt);
    EXPECT_EQ(scheduler.nextRunDate(), std::nullopt);
    EXPECT_EQ(rig.sweeps->calls(), 1u);
}

TEST(SweepSchedulerScheduleChange, ASweepUsesTheScheduleAsItWasWhenItBegan) {
    test::SchedulerRig rig;
    rig.sweeps->held = true;
    SweepScheduler scheduler(rig.dependencies());
    SweepSchedule first = scheduler.schedule();
    first.action = SweepSchedule::Action::clean;
    scheduler.setSchedule(first);
    scheduler.run(Trigger::manual);
    ASSERT_TRUE(test::waitUntil([&] { return rig.sweeps->calls() == 1; }));
    SweepSchedule second = first;
    second.hour = 9;
    scheduler.setSchedule(second);
    rig.sweeps->release();
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(rig.sweeps->schedules.at(0), first);
}
