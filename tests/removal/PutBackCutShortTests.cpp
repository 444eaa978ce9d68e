// Put back keeps its counts and its bounds: a Trash held by a stopped Sorvel costs one wait,
// not one per item, and a quit gives up that wait; a put back cut short (killed, the
// history held) leaves listed only what is still in the Trash, and what came back is told
// as already back, never as gone.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>

#include "RunHome.h"
#include "platform/FileLock.h"
#include "platform/Trash.h"
#include "platform/TrashRecords.h"
#include "removal/RestoreRun.h"
#include "support/ChildProcess.h"
#include "support/LockHolder.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace std::chrono_literals;
using How = test::LockHolder::How;
using Refusal = RestoreGuard::Refusal;

namespace {

// A run of `count` folders, moved and recorded the way every screen does.
SweepRun movedRun(const test::RunHome& home, int count) {
    const auto result = RemovalRun::moveAndRecord(home.request(home.folders(count)));
    EXPECT_EQ(result.saveError, std::nullopt);
    return SweepHistory::load().at(0);
}

struct Tally {
    size_t back = 0, alreadyBack = 0, failed = 0;
    std::vector<std::string> failures;
};

Tally tally(const std::vector<RestoreOutcome>& outcomes) {
    Tally t;
    for (const auto& outcome : outcomes) {
        if (outcome.restored())
            ++t.back;
        else if (outcome.refusal() && *outcome.refusal() == Refusal::alreadyBack())
            ++t.alreadyBack;
        else if (outcome.failure())
            ++t.failed, t.failures.push_back(*outcome.failure());
        else
            ADD_FAILURE() << outcome.item.originalPath << ": " << outcome.refusal()->description();
    }
    return t;
}

// The put back on its own thread, given up (the holder let go) past the deadline.
std::optional<RestoreRun::Result> putBackWithin(const SweepRun& run, test::LockHolder& holder,
                                                const std::atomic<bool>* stop = nullptr) {
    return test::within([&] { return RestoreRun::putBack(run, run.moved, stop); }, holder);
}

} // namespace

// Each item would wait the whole bound on its own: 40 of them take one wait, then the rest
// fail at once with the reason.
TEST(PutBackHeldTrash, OneBoundedWaitThenTheRestFailsSayingSo) {
    test::RunHome home;
    const SweepRun run = movedRun(home, 40);
    const auto before = Trash::setMoveWaitBound(1s);
    test::LockHolder holder(home.trash + "/info", How::stopped);
    ASSERT_TRUE(holder.holding());
    const auto result = putBackWithin(run, holder); // 40 waits would pass its deadline
    Trash::setMoveWaitBound(before);
    ASSERT_TRUE(result.has_value()) << "waited past its deadline: one wait per item";
    const Tally t = tally(result->outcomes);
    EXPECT_EQ(t.failed, 40u);
    for (const auto& failure : t.failures)
        EXPECT_NE(failure.find("is held by another Sorvel process tidying it"), std::string::npos) << failure;
    holder.release();
    EXPECT_EQ(SweepHistory::load().at(0).moved.size(), 40u) << "still listed, to be put back later";
    EXPECT_EQ(tally(RestoreRun::putBack(run, run.moved).outcomes).back, 40u) << "once it lets go";
}

// One put back's batches share that one wait: a batch after it fails at once, even once
// the Trash is let go meanwhile.
TEST(PutBackHeldTrash, TheBatchesAfterTheWaitDoNotWaitAgain) {
    test::RunHome home;
    const SweepRun run = movedRun(home, 4);
    const auto before = Trash::setMoveWaitBound(100ms);
    std::optional<std::string> held;
    const std::vector<MovedItem> first(run.moved.begin(), run.moved.begin() + 2),
        rest(run.moved.begin() + 2, run.moved.end());
    {
        test::LockHolder holder(home.trash + "/info", How::stopped);
        ASSERT_TRUE(holder.holding());
        EXPECT_EQ(tally(RestoreExecutor::run(first, RestoreExecutor::policyFor(run), nullptr, held)).failed, 2u);
    }
    Trash::setMoveWaitBound(before);
    ASSERT_TRUE(held.has_value());
    const Tally t = tally(RestoreExecutor::run(rest, RestoreExecutor::policyFor(run), nullptr, held));
    EXPECT_EQ(t.failed, 2u);
    for (const auto& failure : t.failures) EXPECT_EQ(failure, *held);
    for (const auto& item : rest) EXPECT_TRUE(test::exists(item.trashPath + "/f")) << item.trashPath;
}

// A quit gives up the wait on a held Trash at once, whatever its bound; so does a stop
// asked for before the put back reaches an item.
TEST(PutBackHeldTrash, AStopEndsTheWaitAndLeavesTheRestListed) {
    test::RunHome home;
    const SweepRun run = movedRun(home, 3);
    const auto before = Trash::setMoveWaitBound(10min);
    test::LockHolder holder(home.trash + "/info", How::stopped);
    ASSERT_TRUE(holder.holding());
    std::atomic<bool> stop{true};
    const auto result = putBackWithin(run, holder, &stop);
    ASSERT_TRUE(result.has_value()) << "waited past its deadline";
    for (const auto& outcome : result->outcomes) {
        ASSERT_NE(outcome.failure(), nullptr);
        EXPECT_EQ(*outcome.failure(), RestoreExecutor::kStopped);
    }
    // The wait itself, already under way on a lock another process holds.
    std::string error;
    const auto folder = Trash::openHome(false, Trash::Use::moveInto, error);
    ASSERT_TRUE(folder) << error;
    const Trash::MovesLock waited(*folder, Trash::MovesLock::Mode::shared, &stop);
    EXPECT_TRUE(waited.stopped());
    EXPECT_FALSE(waited.held());
    Trash::setMoveWaitBound(before);
    EXPECT_EQ(SweepHistory::load().at(0).moved.size(), 3u);
}

// Cut short after its first batch, by a history another Sorvel holds or by a kill midway
// through an item: what came back leaves the run, or is told as already back next time.
TEST(PutBackCutShort, WhatCameBackIsRecordedAsBack) {
    const size_t kItems = RestoreRun::kFirstBatch + 24;
    enum class Cut { historyHeld, killed };
    for (const Cut cut : {Cut::historyHeld, Cut::killed}) {
        SCOPED_TRACE(cut == Cut::historyHeld ? "history held" : "killed");
        test::RunHome home;
        const SweepRun run = movedRun(home, static_cast<int>(kItems));
        // Back, but not yet written down, when the put back is cut.
        size_t backUnwritten = 0;
        if (cut == Cut::historyHeld) {
            const test::ShortLockWait shortWait;
            // Held once the first batch is back, before it is written down.
            std::optional<test::LockHolder> holder;
            int taken = 0;
            Trash::setPauseHook([&](Trash::Pause pause) {
                if (pause == Trash::Pause::afterTakingOut && ++taken == static_cast<int>(RestoreRun::kFirstBatch))
                    holder.emplace(SweepHistory::filePath() + ".lock", How::stopped);
            });
            const auto result = RestoreRun::putBack(run, run.moved);
            Trash::setPauseHook(nullptr);
            ASSERT_TRUE(holder && holder->holding());
            EXPECT_TRUE(result.saved.busy());
            const Tally t = tally(result.outcomes);
            EXPECT_EQ(t.back, RestoreRun::kFirstBatch);
            EXPECT_EQ(t.failed, kItems - RestoreRun::kFirstBatch);
            for (const auto& failure : t.failures) EXPECT_EQ(failure, RestoreRun::kHistoryBusyStopped);
            backUnwritten = RestoreRun::kFirstBatch;
        } else {
            // Killed with its second batch's fourth item out of the Trash, its record still there.
            const int status = test::runInChild([&] {
                int taken = 0;
                Trash::setPauseHook([&](Trash::Pause pause) {
                    if (pause == Trash::Pause::afterTakingOut &&
                        ++taken == static_cast<int>(RestoreRun::kFirstBatch) + 4)
                        ::raise(SIGKILL);
                });
                RestoreRun::putBack(run, run.moved);
                return 3; // never cut
            });
            ASSERT_EQ(status, -1);
            backUnwritten = 4;
            EXPECT_EQ(SweepHistory::load().at(0).moved.size(), kItems - RestoreRun::kFirstBatch)
                << "the first batch written down as back";
        }
        const SweepRun cutRun = SweepHistory::load().at(0);
        const auto again = RestoreRun::putBack(cutRun, cutRun.moved);
        EXPECT_TRUE(again.saved);
        const Tally t = tally(again.outcomes);
        EXPECT_EQ(t.alreadyBack, backUnwritten);
        EXPECT_EQ(t.back, cutRun.moved.size() - backUnwritten);
        EXPECT_EQ(t.failed, 0u);
        const SweepRun after = SweepHistory::load().at(0);
        EXPECT_TRUE(after.moved.empty());
        EXPECT_EQ(after.receipt.movedCount, 0);
        EXPECT_EQ(after.receipt.movedBytes, 0);
        for (size_t i = 0; i < kItems; ++i) EXPECT_TRUE(test::exists(home.work + "/d" + std::to_string(i) + "/f")) << i;
    }
}
