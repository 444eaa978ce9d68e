// The history model after a run was cut short by a crash.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "models/HistoryModel.h"
#include "models/SweepModelsFixtures.h"
#include "platform/RunLock.h"
#include "platform/TrashInfo.h"
#include "support/LockHolder.h"
#include "support/MoveToTrash.h"

using namespace sorvel;

// Of three items recorded ahead of their moves, "moved" reached the Trash, "stayed" was never
// touched, "halfway" got Sorvel's record in the Trash but not its rename.
TEST(HistoryModelCrash, TheStartTidiesAndAPutBackTellsWhatNeverMoved) {
    test::ModelHome home;
    const std::string work = home.h + "/Library/Caches", info = home.h + "/.local/share/Trash/info/";
    SweepRun run;
    run.receipt.action = SweepSchedule::Action::clean;
    run.finished = false;
    for (const char* name : {"moved", "stayed", "halfway"}) {
        test::writeFile(work + "/" + name + "/data.bin", name);
        run.moved.push_back(MovedItem{work + "/" + name, "", 1'000, Trash::identityOf(work + "/" + name)});
    }
    run.receipt.movedCount = 3; // as written ahead of the moves
    run.receipt.movedBytes = 3'000;
    ASSERT_TRUE(test::moveToTrash(work + "/moved").moved());
    test::writeFile(info + "halfway.trashinfo", TrashInfo::sorvelText(work + "/halfway", std::time(nullptr)));
    test::writeFile(info + "theirs.trashinfo", TrashInfo::text(work + "/theirs", 0));
    ASSERT_TRUE(SweepHistory::store(run));

    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    EXPECT_FALSE(test::exists(info + "halfway.trashinfo"));
    EXPECT_TRUE(test::exists(info + "theirs.trashinfo")); // another program's
    ASSERT_EQ(model.runs().size(), 1u);
    ASSERT_EQ(model.runs()[0].moved.size(), 1u);
    EXPECT_EQ(model.runs()[0].moved[0].originalPath, work + "/moved");
    EXPECT_EQ(model.totalCount(), 1);
    EXPECT_EQ(model.totalMoved(), 1'000);

    model.restore(model.runs()[0]);
    ASSERT_TRUE(test::waitUntil([&] { return !model.restoring(); }));
    ASSERT_EQ(model.lastRestore().size(), 3u);
    EXPECT_TRUE(model.lastRestore()[0].restored());
    for (const auto& outcome : {model.lastRestore()[1], model.lastRestore()[2]})
        EXPECT_TRUE(outcome.refusal() && *outcome.refusal() == RestoreGuard::Refusal::stillInPlace());
    for (const char* name : {"moved", "stayed", "halfway"})
        EXPECT_EQ(test::readFile(work + "/" + name + "/data.bin"), name);
    const auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].moved.empty());
    EXPECT_EQ(stored[0].receipt.movedBytes, 0);
}

// A run another process still moves (it holds the run's lock) is left as stored by the
// start's tidy, shown as being moved and not put back; once that process is gone, the next
// load shows it as it stands.
TEST(HistoryModelCrash, ARunAnotherProcessMovesIsNeitherTidiedNorPutBack) {
    test::ModelHome home;
    const std::string work = home.h + "/Library/Caches";
    SweepRun run;
    run.receipt.action = SweepSchedule::Action::clean;
    run.finished = false;
    test::writeFile(work + "/stayed/data.bin", "x");
    run.moved.push_back(MovedItem{work + "/stayed", "", 1'000, Trash::identityOf(work + "/stayed")});
    run.recount();
    ASSERT_TRUE(SweepHistory::store(run));
    // The mover: another process holding the run's lock, which takes no lock of this one.
    test::makeDirs(RunLock::folderPath());
    test::LockHolder mover(RunLock::folderPath() + "/run-" + run.id.uuidString() + ".lock",
                           test::LockHolder::How::waiting);
    ASSERT_TRUE(mover.holding());

    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    ASSERT_EQ(model.runs().size(), 1u);
    EXPECT_EQ(model.runs()[0], SweepHistory::load().at(0));
    EXPECT_EQ(SweepHistory::load().at(0), run) << "not tidied";
    EXPECT_TRUE(model.isMoving(run.id));
    model.restore(model.runs()[0]);
    EXPECT_FALSE(model.restoring());

    mover.release(); // the mover ends
    model.reload();
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    EXPECT_FALSE(model.isMoving(run.id));
    ASSERT_EQ(model.runs().size(), 1u);
    EXPECT_EQ(model.runs()[0].receipt.movedCount, 0) << "what never moved is not counted";
}
