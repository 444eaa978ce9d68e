// Another Sorvel holding the history (stopped while it writes it, or merely slow) holds no
// move or tidy for ever: a move that cannot record what it is about to move moves none of
// it and says why; a tidy is left for later with nothing lost; both go ahead once it lets go.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>

#include "removal/CrashedRuns.h"
#include "removal/RemovalRun.h"
#include "removal/SweepRunner.h"
#include "support/LockHolder.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"
#include "RunHome.h"

using namespace sorvel;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using How = test::LockHolder::How;
using PathSize = CleanupExecutor::PathSize;

namespace {

std::string historyLock() { return SweepHistory::filePath() + ".lock"; }

size_t inTrash(const test::RunHome& home) {
    return fs::exists(home.trash + "/files") ? std::distance(fs::directory_iterator(home.trash + "/files"), {}) : 0;
}

// The history file as the first write makes it, so the holder locks the file writers lock.
void makeHistory() {
    SweepRun seed;
    ASSERT_TRUE(SweepHistory::store(seed));
    ASSERT_TRUE(SweepHistory::forget(seed.id));
}

} // namespace

TEST(HistoryLock, AMoveThatCannotRecordItselfMovesNothingAndSaysWhy) {
    const test::ShortLockWait shortWait;
    for (const How how : {How::stopped, How::waiting}) {
        SCOPED_TRACE(test::name(how));
        test::RunHome home;
        makeHistory();
        const auto items = home.folders(3);
        bool moverCalled = false;
        auto request = home.request(items);
        request.mover = [&](auto&&...) {
            moverCalled = true;
            return std::vector<CleanupOutcome>{};
        };
        test::LockHolder holder(historyLock(), how);
        ASSERT_TRUE(holder.holding());
        const auto result = test::within([&] { return RemovalRun::moveAndRecord(std::move(request)); }, holder);
        ASSERT_TRUE(result.has_value()) << "waited past its deadline";
        EXPECT_FALSE(moverCalled);
        EXPECT_EQ(result->saveError, std::string(RemovalRun::kHistoryBusyNothingMoved));
        ASSERT_EQ(result->outcomes.size(), items.size());
        for (const auto& outcome : result->outcomes) {
            ASSERT_NE(outcome.failure(), nullptr) << outcome.path;
            EXPECT_EQ(*outcome.failure(), RemovalRun::kHistoryBusyNothingMoved);
        }
        for (const auto& item : items) EXPECT_TRUE(test::exists(item.path + "/f")) << item.path;
        EXPECT_EQ(inTrash(home), 0u);
        holder.release();
        EXPECT_TRUE(SweepHistory::load().empty()) << "no run of a move that never began";
        EXPECT_EQ(RemovalRun::moveAndRecord(home.request(items)).saveError, std::nullopt) << "once let go";
        EXPECT_EQ(inTrash(home), items.size());
    }
}

// Held after the first batch moved: the rest stays, and what moved is in the stored run,
// which the next tidy settles.
TEST(HistoryLock, AMoveHeldOffPartWayStopsAndKeepsWhatMovedRecorded) {
    const test::ShortLockWait shortWait;
    test::RunHome home;
    makeHistory();
    const auto items = home.folders(static_cast<int>(RemovalRun::kFirstBatch) + 4);
    std::optional<test::LockHolder> holder;
    auto request = home.request(items);
    int batches = 0;
    request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                        const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        ++batches;
        holder.emplace(historyLock(), How::stopped); // from now on, the history is held
        return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    auto future = std::async(std::launch::async, [&] { return RemovalRun::moveAndRecord(std::move(request)); });
    ASSERT_EQ(future.wait_for(30s), std::future_status::ready) << "waited past its deadline";
    const auto result = future.get();
    ASSERT_TRUE(holder && holder->holding());
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(result.saveError, std::string(RemovalRun::kHistoryBusyStopped));
    size_t moved = 0, stopped = 0;
    for (const auto& outcome : result.outcomes) {
        if (outcome.moved()) ++moved;
        else if (outcome.failure() && *outcome.failure() == RemovalRun::kHistoryBusyStopped) ++stopped;
    }
    EXPECT_EQ(moved, RemovalRun::kFirstBatch);
    EXPECT_EQ(stopped, items.size() - RemovalRun::kFirstBatch);
    EXPECT_EQ(inTrash(home), RemovalRun::kFirstBatch);
    holder->release();
    const auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].moved.size(), RemovalRun::kFirstBatch) << "every moved item recorded";
    CrashedRuns::tidy();
    const auto tidied = SweepHistory::load();
    ASSERT_EQ(tidied.size(), 1u);
    EXPECT_EQ(tidied[0].receipt.movedCount, static_cast<int64_t>(RemovalRun::kFirstBatch));
    for (const auto& item : tidied[0].moved) EXPECT_FALSE(item.isPending()) << item.originalPath;
}

TEST(HistoryLock, TheTidyIsLeftForLaterAndLosesNothing) {
    const test::ShortLockWait shortWait;
    for (const How how : {How::stopped, How::waiting}) {
        SCOPED_TRACE(test::name(how));
        test::RunHome home;
        const auto items = home.folders(2);
        SweepRun cut; // cut short: both recorded ahead, one moved
        cut.finished = false;
        for (const auto& item : items) cut.moved.push_back({item.path, "", 1, Trash::identityOf(item.path)});
        cut.recount();
        ASSERT_TRUE(test::moveToTrash(items[0].path).moved());
        ASSERT_TRUE(SweepHistory::store(cut));
        const auto before = SweepHistory::load();
        test::LockHolder holder(historyLock(), how);
        ASSERT_TRUE(holder.holding());
        const auto tidied = test::within([] { return CrashedRuns::tidy(); }, holder);
        ASSERT_TRUE(tidied.has_value()) << "waited past its deadline";
        EXPECT_TRUE(tidied->deferred);
        EXPECT_EQ(tidied->runsRewritten, 0);
        EXPECT_EQ(SweepHistory::load(), before) << "the record kept as it was";
        EXPECT_EQ(CrashedRuns::settled(before).at(0).receipt.movedCount, 1) << "read as it stands meanwhile";
        holder.release();
        const auto later = CrashedRuns::tidy();
        EXPECT_FALSE(later.deferred);
        EXPECT_EQ(later.runsRewritten, 1);
        const auto after = SweepHistory::load();
        ASSERT_EQ(after.size(), 1u);
        EXPECT_TRUE(after[0].receipt.cutShort);
        EXPECT_EQ(after[0].receipt.movedCount, 1);
    }
}

// A real clean sweep while another Sorvel holds the history: it moves nothing, and its
// receipt says why, is marked held off (tried again at the next check) and never reads
// "Nothing needed cleaning"; nothing counts as refused.
TEST(HistoryLock, ASweepHeldOffSaysWhyAndIsNotNothingNeededCleaning) {
    const test::ShortLockWait shortWait;
    test::RunHome home;
    makeHistory();
    const auto items = home.folders(3);
    SweepSchedule schedule;
    schedule.rules = SweepSchedule::RuleSelection::only({});
    schedule.folders = {home.work};
    schedule.action = SweepSchedule::Action::clean;
    test::LockHolder holder(historyLock(), How::stopped);
    ASSERT_TRUE(holder.holding());
    const auto outcome = test::within([&] { return SweepRunner::run(schedule, SweepRun::Trigger::scheduled); }, holder);
    ASSERT_TRUE(outcome.has_value()) << "waited past its deadline";
    const SweepReceipt& receipt = outcome->receipt;
    EXPECT_TRUE(receipt.heldOff);
    EXPECT_EQ(receipt.movedCount, 0);
    EXPECT_EQ(receipt.refusedCount, 0);
    ASSERT_TRUE(receipt.withheldReason);
    EXPECT_NE(receipt.withheldReason->find("Another Sorvel is writing the history"), std::string::npos);
    EXPECT_NE(receipt.headline(), "Nothing needed cleaning");
    EXPECT_EQ(SweepReceipt::loadLast(), receipt);
    EXPECT_EQ(inTrash(home), 0u);
    for (const auto& item : items) EXPECT_TRUE(test::exists(item.path + "/f")) << item.path;

    // Let go, the same sweep moves, and its receipt is an ordinary one again.
    holder.release();
    const SweepReceipt after = SweepRunner::run(schedule, SweepRun::Trigger::scheduled).receipt;
    EXPECT_FALSE(after.heldOff);
    EXPECT_EQ(after.movedCount, static_cast<int64_t>(items.size()));
}
