// Quitting while a sweep runs: within the bound the sweep completes and is recorded; past
// it the process ends, and the next start tidies the run, its receipt saying it was cut short.
#include <gtest/gtest.h>

#include "models/SweepScheduler.h"
#include "removal/CrashedRuns.h"
#include "support/TestSupport.h"
#include "ui/shell/SorvelApp.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace std::chrono_literals;

TEST(QuitDuringSweep, CompletesWithinTheBoundElseIsTidiedAsCutShortAtTheNextStart) {
    struct Case {
        const char* name;
        bool quitOnceMoving; // else at once, before the sweep has looked at anything
        std::chrono::milliseconds bound;
    };
    for (const Case c : {Case{"quit as the sweep starts", false, 2min}, //
                         Case{"the bound runs out mid-move", true, 0ms}}) {
        SCOPED_TRACE(c.name);
        const bool cutShort = c.bound == 0ms;
        test::FakeHome home;
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        const std::string work = home.path() + "/Work";
        constexpr int kItems = 400;
        for (int i = 0; i < kItems; ++i) test::writeFile(work + "/d" + std::to_string(i) + "/f", "x");
        const auto moved = [&] {
            int n = 0;
            for (int i = 0; i < kItems; ++i) n += !test::exists(work + "/d" + std::to_string(i));
            return n;
        };
        SweepSchedule schedule;
        schedule.rules = SweepSchedule::RuleSelection::only({});
        schedule.action = SweepSchedule::Action::clean;
        schedule.folders = {work};
        ASSERT_TRUE(SweepSchedule::store(schedule));

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
        const auto runs = SweepHistory::load();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].finished, !cutShort);
        for (const auto& receipt : {runs[0].receipt, *next.lastReceipt()}) {
            EXPECT_EQ(receipt.cutShort, cutShort);
            EXPECT_EQ(receipt.movedCount, n);
        }
    }
}
