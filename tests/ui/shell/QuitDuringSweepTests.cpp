// Quit mid-sweep: within the bound it completes; past it the next start tidies it, cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ranges>

#include "models/SweepScheduler.h"
#include "removal/CrashedRuns.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "ui/shell/SorvelApp.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace std::chrono_literals;
using test::exists;

namespace {

struct Case { const char* name; bool quitOnceMoving; std::chrono::milliseconds bound; }; // else quit at once
constexpr Case kCases[] = {{"quit as the sweep starts", false, 2min}, {"bound runs out mid-move", true, 0ms}};
constexpr int kItems = 400;

std::string item(int i) { return std::string(std::getenv("HOME")) + "/Work/d" + std::to_string(i); }

int moved() {
    return int(std::ranges::count_if(std::views::iota(0, kItems), [](int i) { return !exists(item(i)); }));
}

SweepScheduler::Dependencies quiet() {
    SweepScheduler::Dependencies d;
    d.notifications = UserNotifications::none();
    return d;
}

// The quitting process: a sweep, then the end of the window's process, within `bound`.
int sweepThenQuit(const Case& c) {
    SweepScheduler scheduler(quiet());
    scheduler.run(SweepRun::Trigger::manual);
    if (c.quitOnceMoving && !test::waitUntil([] { return moved() > 0; }, 30'000)) return 99;
    return ui::SorvelApp::finish(7, {c.bound, c.bound, c.bound}) + 1; // 8 once every wait ended
}

} // namespace

// The quitting process is a new one: the settings queue and the other threads this one
// has would be missing from a fork, and its end would wait on them for good.
TEST(QuitDuringSweep, CompletesWithinTheBoundElseIsTidiedAsCutShortAtTheNextStart) {
    for (const Case& c : kCases)
        if (test::isRole(c.name)) test::endAs(sweepThenQuit(c));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const bool cutShort = c.bound == 0ms;
        test::FakeHome home;
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        const std::string work = home.path() + "/Work";
        for (int i = 0; i < kItems; ++i) test::writeFile(item(i) + "/f", "x");
        ASSERT_TRUE(SweepSchedule::store({.rules = SweepSchedule::RuleSelection::only({}), .folders = {work},
                                          .action = SweepSchedule::Action::clean}));
        const int status = test::runTestInNewProcess(c.name, 3min);
        ASSERT_EQ(status, cutShort ? 7 : 8);
        CrashedRuns::tidy(); // as the next start does, and its scheduler
        SweepScheduler next(quiet());
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
        SweepReceipt told = *next.lastReceipt();
        EXPECT_EQ(told.runs, std::vector<UUID>{runs[0].id}); // named, so a put back there is told with it
        told.runs.clear();
        EXPECT_EQ(runs[0].receipt, told);
    }
}
