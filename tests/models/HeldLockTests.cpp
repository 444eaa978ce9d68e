// What the window does while another Sorvel holds the history or the settings (stopped
// while it writes them): a move says why nothing moved, a settings save waits, says so and
// lands once let go. (The History page's tidy left for later: tests/ui/tools.)
#include <gtest/gtest.h>

#include <QObject>

#include <chrono>
#include <future>
#include <mutex>
#include <vector>

#include "analysis/DuplicateFixtures.h"
#include "models/DuplicatesModel.h"
#include "models/EventLoop.h"
#include "models/SettingsSaver.h"
#include "models/SweepModelsFixtures.h"
#include "models/ToolFixtures.h"
#include "removal/RemovalRun.h"
#include "support/LockHolder.h"

using namespace sorvel;
using namespace std::chrono_literals;
using How = test::LockHolder::How;

namespace {

std::string historyLock() { return SweepHistory::filePath() + ".lock"; }

} // namespace

TEST(HeldHistory, AMoveFromAScreenMovesNothingAndSaysWhy) {
    const test::ShortLockWait shortWait;
    test::ToolMachine machine;
    const std::string folder = machine.home("/Dups");
    const std::string content = test::patterned(test::kTwoMB, 'r');
    test::writeDated(folder + "/a.bin", content, 1'400'000'000);
    test::writeDated(folder + "/b.bin", content, 1'500'000'000);
    DuplicatesModel model;
    model.scan(folder);
    ASSERT_TRUE(test::waitFor([&] { return !model.isScanning(); }));
    ASSERT_EQ(model.selected().size(), 1u);
    ASSERT_TRUE(SweepHistory::store(SweepRun{}));
    test::LockHolder holder(historyLock(), How::stopped);
    ASSERT_TRUE(holder.holding());

    model.removeSelected();
    ASSERT_TRUE(test::waitFor([&] { return model.stage() == DuplicatesModel::Stage::done; }, 20'000));
    EXPECT_EQ(model.saveError(), std::string(RemovalRun::kHistoryBusyNothingMoved));
    ASSERT_EQ(model.outcomes().size(), 1u);
    EXPECT_FALSE(model.outcomes()[0].moved());
    EXPECT_TRUE(test::exists(folder + "/a.bin"));
    EXPECT_TRUE(test::exists(folder + "/b.bin"));
}

TEST(HeldSettings, ASaveWaitsSaysSoAndLandsOnceLetGo) {
    const test::ShortLockWait shortWait;
    for (const How how : {How::stopped, How::waiting}) {
        SCOPED_TRACE(test::name(how));
        test::ModelHome home;
        UserDefaults defaults = UserDefaults::standard();
        ASSERT_TRUE(defaults.set("SorvelAppearance", "light"));
        test::LockHolder holder(defaults.filePath() + ".lock", how);
        ASSERT_TRUE(holder.holding());
        QObject receiver;
        std::vector<SaveStatus> heard;
        Models::saveSetting(&receiver, defaults, "SorvelAppearance", "dark",
                            [&heard](QObject&, const SaveStatus& status) { heard.push_back(status); });
        ASSERT_TRUE(test::waitFor([&] { return !heard.empty(); }, 20'000));
        EXPECT_TRUE(heard[0].busy());
        EXPECT_TRUE(heard[0].retrying);
        EXPECT_EQ(defaults.string("SorvelAppearance"), "light");

        holder.release();
        ASSERT_TRUE(test::waitFor([&] { return heard.size() == 2; }, 20'000));
        EXPECT_TRUE(heard[1].saved());
        EXPECT_EQ(defaults.string("SorvelAppearance"), "dark");
    }
}

// Quitting while a save is still held off ends the tries: the quit is not held for ever,
// and the last word is that it was not saved.
TEST(HeldSettings, AWaitForTheSettingsGivesUpAHeldSave) {
    const test::ShortLockWait shortWait;
    test::ModelHome home;
    UserDefaults defaults = UserDefaults::standard();
    ASSERT_TRUE(defaults.set("SorvelAppearance", "light"));
    test::LockHolder holder(defaults.filePath() + ".lock", How::stopped);
    ASSERT_TRUE(holder.holding());
    std::vector<SaveStatus> heard;
    std::mutex m;
    Models::queueSave(defaults, "SorvelAppearance", "dark", [&](const SaveStatus& status) {
        const std::lock_guard lock(m);
        heard.push_back(status);
    });
    ASSERT_TRUE(test::waitFor([&] {
        const std::lock_guard lock(m);
        return !heard.empty();
    }, 20'000));
    const auto waited = test::within(
        [] {
            Models::waitForSettings();
            return true;
        },
        holder);
    ASSERT_TRUE(waited.has_value()) << "waited past its deadline";
    const std::lock_guard lock(m);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_TRUE(heard[1].busy());
    EXPECT_FALSE(heard[1].retrying);
    EXPECT_EQ(defaults.string("SorvelAppearance"), "light");
}

// Quitting with several saves queued behind settings another Sorvel holds: one wait for the
// lock in all, not one for each save; every save is told it was not saved.
TEST(HeldSettings, AQuitWithSavesQueuedBehindAHeldLockWaitsOnceInAll) {
    constexpr int kSaves = 8;
    const std::chrono::milliseconds before = UserDefaults::setLockWait(std::chrono::seconds(1));
    test::ModelHome home;
    UserDefaults defaults = UserDefaults::standard();
    ASSERT_TRUE(defaults.set("SorvelAppearance", "light"));
    test::LockHolder holder(defaults.filePath() + ".lock", How::stopped);
    ASSERT_TRUE(holder.holding());
    std::mutex m;
    std::vector<SaveStatus> last(kSaves);
    std::vector<int> told(kSaves, 0);
    for (int i = 0; i < kSaves; ++i)
        Models::queueSave(defaults, "SorvelKey" + std::to_string(i), i, [&, i](const SaveStatus& status) {
            const std::lock_guard lock(m);
            last[i] = status;
            ++told[i];
        });
    const auto start = std::chrono::steady_clock::now();
    const auto waited = test::within(
        [] {
            Models::waitForSettings();
            return true;
        },
        holder);
    const auto took = std::chrono::steady_clock::now() - start;
    UserDefaults::setLockWait(before);
    ASSERT_TRUE(waited.has_value()) << "waited past its deadline";
    // One wait is at most two of the lock's (the one under way, and the last try); a wait
    // for each save would be eight or more.
    EXPECT_LT(took, std::chrono::seconds(5));
    const std::lock_guard lock(m);
    for (int i = 0; i < kSaves; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(told[i], 1);
        EXPECT_TRUE(last[i].busy());
        EXPECT_FALSE(last[i].retrying);
    }
    EXPECT_FALSE(defaults.value("SorvelKey0"));
}
