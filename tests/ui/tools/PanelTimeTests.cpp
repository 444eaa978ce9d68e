// The panel over time: a relative time it shows is worked out again while it is shown, by
// the scheduler's clock, and "Sweep now" waits while the panel moves findings.
#include <gtest/gtest.h>

#include "platform/RunLock.h"
#include "support/LockHolder.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/RelativeDate.h"

using namespace sorvel;
using namespace sorvel::test;

// Opened as a window with nothing else changing: "Next sweep in …" follows the clock, an
// hour at a time and across the last minutes before the sweep.
TEST(SweepPanel, TheNextSweepShownRelativeToNowFollowsTheClockWhileShown) {
    UiContext ctx;
    Date clock = now();
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily;
    SweepSchedule::store(daily);
    SweepReceipt last;
    last.date = clock; // swept just now: the next is the hour tomorrow
    SweepReceipt::record(last);
    SweepScheduler::Dependencies deps;
    deps.clock = [&clock] { return clock; };
    deps.notifications = UserNotifications::none();
    deps.runner = [](const SweepSchedule&, SweepRun::Trigger) { return SweepRunner::Outcome{}; };
    SweepScheduler sweeper(deps);
    sweeper.start();
    ASSERT_TRUE(sweeper.nextRunDate());
    const Date next = *sweeper.nextRunDate();
    ui::MenuBarView panel(sweeper, {});
    panel.setRelativeRefresh(20);
    panel.show();
    for (const auto before : {std::chrono::hours(17) + std::chrono::minutes(45), std::chrono::hours(5) + std::chrono::minutes(1),
                              std::chrono::hours(0) + std::chrono::minutes(46), std::chrono::hours(0) + std::chrono::minutes(2)}) {
        if (next - before <= last.date) continue; // the hour is nearer than that today
        clock = next - before;
        const std::string expected = "Next sweep " + RelativeDate::full(next, clock);
        EXPECT_TRUE(waitUntil([&] { return textOf(&panel, "statusLine") == expected; })) << expected;
    }
    sweeper.stop();
}

// While the panel moves findings (here it waits for another Sorvel's sweep to let go of the
// sweep's lock), "Sweep now" cannot start a sweep that would come between.
TEST(SweepPanel, SweepNowWaitsWhileThePanelMoves) {
    UiContext ctx;
    auto list = std::vector<std::pair<std::string, int64_t>>{{ctx / "Library/Caches/c0", 100'000}};
    writeFileOfSize(list[0].first + "/blob", 100'000);
    list[0].second = independentTotal(list[0].first);
    auto sweeper = sweeperFinding(list);
    sweeper->run(SweepRun::Trigger::scheduled);
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
    ui::MenuBarView panel(*sweeper, {});
    makeDirs(RunLock::folderPath());
    LockHolder holder(RunLock::folderPath() + "/run-" + SweepClaim::kLockName + ".lock", LockHolder::How::waiting);
    ASSERT_TRUE(holder.holding());
    panel.flush();
    one<ui::Button>(&panel, "moveFindings")->click();
    ASSERT_TRUE(sweeper->isCleaning());
    panel.flush();
    EXPECT_FALSE(one<ui::Button>(&panel, "sweepNow")->isEnabled());
    sweeper->run(SweepRun::Trigger::manual);
    EXPECT_FALSE(sweeper->isRunning());
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isCleaning(); }, 20'000));
    panel.flush();
    EXPECT_TRUE(one<ui::Button>(&panel, "sweepNow")->isEnabled());
}
