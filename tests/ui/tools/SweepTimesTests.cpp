// The next sweep the panel and Settings show is the one the scheduler will run, worked out
// by its own rule each time it is shown: never a countdown past the hour, nor an hour the
// history has a sweep of already. Why a sweep skipped something is said beside "Skipped".
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>

#include "platform/UserNotifications.h"
#include "tools/ToolPageTesting.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/SweepSettingsView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

Date dec(int day, int hour, int minute, int second = 0, int ms = 0) { // 2026, UTC
    std::tm t{second, minute, hour, day, 11, 126, 0, 0, 0, 0, nullptr};
    return dateFromUnixSeconds(timegm(&t)) + std::chrono::milliseconds(ms);
}

SweepRun scheduledRun(Date at) {
    SweepRun run;
    run.trigger = SweepRun::Trigger::scheduled;
    run.scope = "every safe rule";
    run.receipt.date = std::chrono::time_point_cast<std::chrono::microseconds>(at);
    return run;
}

} // namespace

TEST(SweepTimes, TheNextSweepShownIsTheOneThatRuns) {
    UiContext ctx;
    ScopedTimeZone utc("UTC");
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily;
    SweepSchedule::store(daily);
    for (int day : {7, 8, 9}) ASSERT_TRUE(SweepHistory::store(scheduledRun(dec(day, 3, 0, 5))));
    SweepReceipt last = scheduledRun(dec(9, 3, 0, 5)).receipt;
    last.refusedCount = 1;
    last.skippedReason = "Sorvel refused 1 item this sweep would have moved: \u201C~/.cache/x\u201D \u2014 it is in use.";
    SweepReceipt::record(last);
    Date clock = dec(10, 2, 59);
    std::atomic<int> sweeps{0};
    SweepScheduler sweeper({[&clock] { return clock; },
                            [&sweeps](const SweepSchedule&, SweepRun::Trigger) {
                                ++sweeps;
                                return SweepRunner::Outcome{};
                            },
                            UserNotifications::none(), {}, {}});
    sweeper.start(); // reads the history's sweeps; its next check is minutes away
    ui::MenuBarView panel(sweeper, {});
    ui::SweepSettingsView settings(ctx.coordinator(), sweeper, ctx.updates());
    for (auto* w : std::initializer_list<QWidget*>{&panel, &settings}) w->show();
    EXPECT_EQ(textOf(&panel, "skippedReason"), *last.skippedReason);
    const struct { const char* name; Date clock; const char* status; const char* line; } rows[] = {
        {"a minute before the hour", dec(10, 2, 59), "Next sweep in 1 minute", "Next sweep: Dec 10, 2026 at 3:00 AM."},
        {"under a second before it", dec(10, 2, 59, 59, 600), "Next sweep in 1 second",
         "Next sweep: Dec 10, 2026 at 3:00 AM."},
        {"27 seconds past it", dec(10, 3, 0, 27), "Next sweep shortly", "Next sweep: shortly."},
        {"set back two days to just before the hour", dec(8, 2, 59, 44), "Next sweep in 2 days",
         "Next sweep: Dec 10, 2026 at 3:00 AM."},
        {"then forward past it", dec(11, 9, 0), "Next sweep shortly", "Next sweep: shortly."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clock = row.clock;
        // Well within the half minute a stale text stayed.
        EXPECT_TRUE(waitUntil([&] { return textOf(&panel, "statusLine") == row.status; }, 2500))
            << textOf(&panel, "statusLine");
        EXPECT_TRUE(waitUntil([&] { return textOf(&settings, "nextSweep") == row.line; }, 2500))
            << textOf(&settings, "nextSweep");
    }
    EXPECT_EQ(sweeps.load(), 0);
    sweeper.stop();
}
