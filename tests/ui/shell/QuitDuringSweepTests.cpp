// Quit mid-sweep: within the bound it completes; past it the next start tidies it, cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <ranges>

#include "models/SweepScheduler.h"
#include "removal/CrashedRuns.h"
#include "support/TestSupport.h"
#include "ui/shell/SorvelApp.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace std::chrono_literals;
using test::exists;

TEST(QuitDuringSweep, CompletesWithinTheBoundElseIsTidiedAsCutShortAtTheNextStart) {
    struct Case { const char* name; bool quitOnceMoving; std::chrono::milliseconds bound; }; // else quit at once
    for (const Case c : {Case{"quit as the sweep starts", false, 2min}, Case{"bound runs out mid-move", true, 0ms}}) {
        SCOPED_TRACE(c.name);
        const bool cutShort = c.bound == 0ms;
        test::FakeHome home;
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        const std::string work = home.path() + "/Work";
        constexpr int kItems = 400;
        const auto item = [&](int i) { return work + "/d" + std::to_string(i); };
        for (int i = 0; i < kItems; ++i) test::writeFile(item(i) + "/f", "x");
        const auto moved = [&] {
            return int(std::ranges::count_if(std::views::iota(0, kItems), [&](int i) { return !exists(item(i)); }));
        };
        ASSERT_TRUE(SweepSchedule::store({.rules = SweepSchedule::RuleSelection::only({}), .folders = {work},
                                          .action = SweepSchedule::Action::clean}));
        SweepScheduler::Dependencies quiet;
        quiet.notifications = UserNotifications::none();
        const int status = test::runInChild([&] {
            SweepScheduler scheduler(quiet);
            scheduler.run(SweepRun::Trigger::manual);
            if (c.quitOnceMoving && !test::waitUntil([&] { return moved() > 0; }, 30'000)) return 99;
            return ui::SorvelApp::finish(7, {c.bound, c.bound, c.bound}) + 1; // 8 once every wait ended
        });
        ASSERT_EQ(status, cutShort ? 7 : 8);
        CrashedRuns::tidy(); // as the next start does, and its scheduler
        SweepScheduler next(quiet);
        next.start();
        const int n = moved();
        EXPECT_EQ(n < kItems, cutShort) << n << " of " << kItems << " moved";
        ASSERT_TRUE(test::waitUntil([&] { return next.lastReceipt() && next.lastReceipt()->movedCount == n; }));
        EXPECT_EQ(SweepReceipt::loadLast(), next.lastReceipt());
        EXPECT_EQ(next.findings().size(), static_cast<size_t>(n));
        EXPECT_EQ(next.lastReceipt()->cutShort, cutShort);
        const auto runs = SweepHistory::load();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].finished, !cutShort);
        EXPECT_EQ(runs[0].receipt, *next.lastReceipt());
    }
}
