// Two sessions on one home: a sweep runs by the schedule stored when it starts, each
// session shows the schedule the other stored, and a change in one writes only what changed.
#include <gtest/gtest.h>

#include "models/SweepSchedulerFixtures.h"

using namespace sorvel;
using Frequency = SweepSchedule::Frequency;
using Action = SweepSchedule::Action;

// Session A, made before session B's change, starts once the hour has come.
TEST(SweepScheduleShared, EachSessionSweepsByTheScheduleAsStoredNow) {
    using Change = void (*)(SweepSchedule&);
    const struct {
        const char* name;
        Change theirs, ours; // pressed in B (none: B adds a folder), then in A before it looked again
        SweepSchedule::Frequency frequency; // stored and shown in A after both
        Action action;
        int hour;
    } rows[] = {
        {"Report only there", [](SweepSchedule& s) { s.action = Action::report; }, nullptr, Frequency::daily,
         Action::report, 3},
        {"Off there", [](SweepSchedule& s) { s.frequency = Frequency::off; }, nullptr, Frequency::off, Action::clean, 3},
        {"Weekly here after Report only there", [](SweepSchedule& s) { s.action = Action::report; },
         [](SweepSchedule& s) { s.frequency = Frequency::weekly; }, Frequency::weekly, Action::report, 3},
        {"an hour here after a folder there", nullptr, [](SweepSchedule& s) { s.hour = 5; }, Frequency::daily,
         Action::clean, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::UTCZone utc;
        test::SchedulerRig rig;
        SweepSchedule expected;
        expected.frequency = Frequency::daily, expected.action = Action::clean;
        SweepSchedule::store(expected);
        SweepReceipt::record(test::cleanReceiptAt(test::utcAt("2026-12-07 00:10")));
        rig.clock = test::utcAt("2026-12-07 02:50"); // B, not due, never sweeps
        rig.sweeps->receipt = test::cleanReceiptAt(test::utcAt("2026-12-07 03:00:31"));
        SweepScheduler a(rig.dependencies()), b(rig.dependencies());
        SweepSchedule theirs = b.schedule();
        if (row.theirs) row.theirs(theirs), b.setSchedule(theirs);
        else test::makeDirs(rig.home.h + "/Projects"), b.addFolder(rig.home.h + "/Projects");
        ASSERT_TRUE(test::waitUntil([&] { return b.checkingFolders().empty(); }));
        b.stop();
        Models::waitForSettings();

        rig.clock = test::utcAt("2026-12-07 03:00:30");
        a.setTick(0.02);
        SweepSchedule ours = a.schedule();
        if (row.ours) row.ours(ours), a.setSchedule(ours);
        else a.start();
        expected.frequency = row.frequency, expected.action = row.action, expected.hour = row.hour;
        if (!row.theirs) expected.folders = {rig.home.h + "/Projects"};
        EXPECT_EQ(test::storedSchedule(), expected);
        EXPECT_TRUE(test::waitUntil([&] { return a.schedule() == expected; }));
        const int reads = rig.clockReads.load();
        const bool off = row.frequency == Frequency::off; // no check reads the clock
        ASSERT_TRUE(test::waitUntil([&] { return (off || rig.clockReads.load() >= reads + 6) && !a.isRunning(); }));
        const bool due = row.frequency == Frequency::daily && row.hour == 3;
        ASSERT_EQ(rig.sweeps->calls(), due ? 1u : 0u);
        if (due) {
            EXPECT_EQ(rig.sweeps->schedules.at(0).action, row.action);
        }
        EXPECT_EQ(a.nextSweep().at.has_value(), row.frequency != Frequency::off);
        a.stop();
    }
}
