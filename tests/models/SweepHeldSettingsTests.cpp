// A real sweep while another Sorvel holds the settings (stopped while it writes them): the
// sweep waits for them once, moves and records its run in the history, says truly that
// only its receipt went unsaved, and does not sweep again the same day.
#include <gtest/gtest.h>

#include <ctime>

#include "models/SweepSchedulerFixtures.h"
#include "support/LockHolder.h"

using namespace sorvel;
using Frequency = SweepSchedule::Frequency;

TEST(SweepHeldSettings, ASweepWaitsOnceSaysItsRunIsInTheHistoryAndDoesNotRunAgainThatDay) {
    const test::ShortLockWait shortWait;
    test::SchedulerRig rig;
    rig.clock = now();
    const std::string work = rig.home.h + "/Work";
    constexpr int kItems = 3;
    for (int i = 0; i < kItems; ++i) test::writeFile(work + "/d" + std::to_string(i) + "/f", "x");
    // An hour half a day away, so the checks below never reach it.
    const std::time_t t = std::chrono::system_clock::to_time_t(rig.clock);
    std::tm local{};
    localtime_r(&t, &local);
    ASSERT_TRUE(SweepSchedule::store({.rules = SweepSchedule::RuleSelection::only({}),
                                      .folders = {work},
                                      .frequency = Frequency::daily,
                                      .hour = (local.tm_hour + 12) % 24,
                                      .action = SweepSchedule::Action::clean}));
    SweepScheduler::Dependencies deps;
    deps.clock = [&rig] {
        ++rig.clockReads;
        return rig.clock;
    };
    deps.notifications = rig.center;
    SweepScheduler scheduler(deps);
    test::LockHolder holder(UserDefaults::standard().filePath() + ".lock", test::LockHolder::How::stopped);
    ASSERT_TRUE(holder.holding());
    scheduler.setTick(0.02);
    scheduler.start();
    ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isRunning(); }, 60'000));

    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].moved.size(), static_cast<size_t>(kItems));
    ASSERT_TRUE(scheduler.saveError());
    EXPECT_EQ(scheduler.saveError()->find("could not save this run to its history"), std::string::npos)
        << *scheduler.saveError();
    EXPECT_NE(scheduler.saveError()->find("The run itself is in the history"), std::string::npos)
        << *scheduler.saveError();
    ASSERT_TRUE(scheduler.lastReceipt());
    EXPECT_EQ(scheduler.lastReceipt()->movedCount, kItems);

    // Checks later the same day sweep nothing more, though the receipt on disk is older.
    rig.clock += std::chrono::minutes(30);
    const int reads = rig.clockReads.load();
    ASSERT_TRUE(test::waitUntil([&] { return rig.clockReads.load() >= reads + 6; }));
    EXPECT_FALSE(scheduler.isRunning());
    EXPECT_EQ(SweepHistory::load().size(), 1u);
    scheduler.stop();
}
