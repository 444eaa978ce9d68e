// A quit does not wait out a put back held by a Trash another Sorvel keeps (stopped while
// it tidies it): asked to stop, the put back ends at once, and what it did not put back
// stays in the Trash and listed.
#include <gtest/gtest.h>

#include <chrono>

#include "models/HistoryModel.h"
#include "models/SweepModelsFixtures.h"
#include "platform/TrashRecords.h"
#include "support/LockHolder.h"

using namespace sorvel;
using namespace std::chrono_literals;

TEST(HistoryModelStop, AStoppedPutBackEndsWithoutWaitingOnAHeldTrash) {
    test::ModelHome home;
    std::vector<MovedItem> items;
    for (const char* name : {"a", "b", "c"}) items.push_back(home.trashed(std::string("Library/Caches/") + name));
    SweepRun run;
    run.scope = "items you picked";
    run.moved = items;
    run.recount();
    ASSERT_TRUE(SweepHistory::store(run));
    const auto before = Trash::setMoveWaitBound(10min); // as good as for ever, for this test
    test::LockHolder holder(home.h + "/.local/share/Trash/info", test::LockHolder::How::stopped);
    ASSERT_TRUE(holder.holding());

    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    model.restore(run);
    ASSERT_TRUE(model.isRestoring());
    model.stopRestoring();
    const bool ended = test::waitUntil([&] { return !model.isRestoring(); }, 20'000);
    if (!ended) holder.release(); // the wait ends, and the test with it
    ASSERT_TRUE(ended) << "the put back waited on the held Trash";
    Trash::setMoveWaitBound(before);

    ASSERT_EQ(model.lastRestore().size(), 3u);
    for (const auto& outcome : model.lastRestore()) {
        ASSERT_NE(outcome.failure(), nullptr) << outcome.item.originalPath;
        EXPECT_EQ(*outcome.failure(), RestoreExecutor::kStopped);
        EXPECT_TRUE(test::exists(outcome.item.trashPath + "/data.bin"));
    }
    ASSERT_EQ(model.runs().size(), 1u);
    EXPECT_EQ(model.runs()[0].moved, items) << "all still listed";
    model.stopRestoring(); // nothing running: nothing to stop, and the next put back goes ahead
    holder.release();
    model.restore(model.runs()[0]);
    ASSERT_TRUE(test::waitUntil([&] { return !model.isRestoring(); }));
    for (const auto& item : items) EXPECT_TRUE(test::exists(item.originalPath + "/data.bin")) << item.originalPath;
}
