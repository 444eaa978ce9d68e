// The history model after a run was cut short by a crash: its start removes the records
// of nothing a halfway move left in the Trash, it shows what really moved, and putting the
// run back tells the items that never moved as still in their places.
#include <gtest/gtest.h>

#include "models/HistoryModel.h"
#include "models/SweepModelsFixtures.h"
#include "platform/TrashInfo.h"
#include "support/MoveToTrash.h"

using namespace sorvel;
using Refusal = RestoreGuard::Refusal;

namespace {

// The state a kill leaves: three items recorded ahead of their moves; "moved" reached the
// Trash, "stayed" was never touched, "halfway" got its record but not its rename.
struct Crashed {
    test::ModelHome home;
    std::string work = home.h + "/Library/Caches";
    std::string info = home.h + "/.local/share/Trash/info/";
    std::string phantom = info + "halfway.trashinfo";
    std::string theirs = info + "theirs.trashinfo";
    SweepRun run;

    Crashed() {
        run.scope = "items you picked";
        run.receipt.action = SweepSchedule::Action::clean;
        run.finished = false;
        for (const char* name : {"moved", "stayed", "halfway"}) {
            const std::string path = work + "/" + name;
            test::writeFile(path + "/data.bin", name);
            run.moved.push_back(MovedItem{path, "", 1'000, Trash::identityOf(path)});
        }
        run.receipt.movedCount = 3; // as written ahead of the moves
        run.receipt.movedBytes = 3'000;
        EXPECT_TRUE(test::moveToTrash(work + "/moved").moved());
        test::writeFile(phantom, TrashInfo::sorvelText(work + "/halfway", std::time(nullptr)));
        test::writeFile(theirs, TrashInfo::text(work + "/theirs", 0));
        EXPECT_TRUE(SweepHistory::store(run));
    }
};

} // namespace

TEST(HistoryModelCrash, TheStartRemovesRecordsOfNothingAndShowsWhatMoved) {
    Crashed crashed;
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    EXPECT_FALSE(test::exists(crashed.phantom));
    EXPECT_TRUE(test::exists(crashed.theirs)); // another program's
    EXPECT_TRUE(test::exists(crashed.info + "moved.trashinfo"));

    ASSERT_EQ(model.runs().size(), 1u);
    const SweepRun& shown = model.runs()[0];
    ASSERT_EQ(shown.moved.size(), 1u);
    EXPECT_EQ(shown.moved[0].originalPath, crashed.work + "/moved");
    EXPECT_EQ(shown.receipt.movedCount, 1);
    EXPECT_EQ(shown.receipt.movedBytes, 1'000);
    EXPECT_EQ(model.totalMoved(), 1'000);
    EXPECT_FALSE(shown.finished);
}

TEST(HistoryModelCrash, PuttingBackTellsItemsNeverMovedAndTakesThemOut) {
    Crashed crashed;
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    ASSERT_EQ(model.runs().size(), 1u);
    model.restore(model.runs()[0]);
    ASSERT_TRUE(test::waitUntil([&] { return !model.restoring(); }));

    const auto& outcomes = model.lastRestore();
    ASSERT_EQ(outcomes.size(), 3u);
    for (const auto& outcome : outcomes) {
        if (outcome.item.originalPath == crashed.work + "/moved") {
            EXPECT_TRUE(outcome.restored());
        } else {
            ASSERT_TRUE(outcome.refusal()) << outcome.item.originalPath;
            EXPECT_EQ(*outcome.refusal(), Refusal::stillInPlace()) << outcome.item.originalPath;
        }
    }
    EXPECT_EQ(RestoreExecutor::restoredBytes(outcomes), 1'000);
    for (const char* name : {"moved", "stayed", "halfway"})
        EXPECT_EQ(test::readFile(crashed.work + "/" + name + "/data.bin"), name);

    const auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].moved.empty());
    EXPECT_EQ(stored[0].receipt.movedCount, 0);
    EXPECT_EQ(stored[0].receipt.movedBytes, 0);
    ASSERT_EQ(model.runs().size(), 1u);
    EXPECT_TRUE(model.runs()[0].moved.empty());
}
