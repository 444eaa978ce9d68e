// Moving ticked duplicate copies: into the Trash, recorded in the history, the kept copy
// left in place, and refusals counted.
#include <gtest/gtest.h>

#include "analysis/DuplicateFixtures.h"
#include "models/DuplicatesModel.h"
#include "models/ToolFixtures.h"
#include "removal/SweepHistory.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct ScannedCopies {
    ToolMachine machine;
    std::string folder = machine.home("/Dups");
    std::string kept = folder + "/a.bin";
    DuplicatesModel model;

    ScannedCopies() {
        const std::string content = patterned(kTwoMB, 'r');
        writeDated(kept, content, 1'400'000'000);
        writeDated(folder + "/b.bin", content, 1'500'000'000);
        writeDated(folder + "/deeper/c.bin", content, 1'600'000'000);
        model.scan(folder);
        EXPECT_TRUE(waitFor([&] { return !model.isScanning(); }));
    }
};

} // namespace

TEST(DuplicatesModelRemoval, NothingTickedChangesNothing) {
    ScannedCopies scanned;
    DuplicatesModel& model = scanned.model;
    for (const auto& group : model.report().groups)
        for (const auto& file : group.files)
            if (model.selectedPaths().count(file.path)) model.toggle(file, group);
    ASSERT_TRUE(model.selected().empty());
    model.removeSelected();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
    settle();
    EXPECT_TRUE(model.outcomes().empty());
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(DuplicatesModelRemoval, TickedCopiesGoToTheTrashAndTheKeptCopyStays) {
    ScannedCopies scanned;
    DuplicatesModel& model = scanned.model;
    ASSERT_EQ(model.selected().size(), 2u);
    const auto ticks = model.selectedPaths();
    const auto report = model.report().groups;
    const std::string keptContent = readFile(scanned.kept);

    model.removeSelected();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::working);
    ASSERT_TRUE(waitFor([&] { return model.stage() == DuplicatesModel::Stage::done; }));

    EXPECT_EQ(readFile(scanned.kept), keptContent);
    EXPECT_FALSE(exists(scanned.folder + "/b.bin"));
    EXPECT_FALSE(exists(scanned.folder + "/deeper/c.bin"));
    EXPECT_TRUE(exists(scanned.machine.home("/.local/share/Trash/files/b.bin")));
    EXPECT_TRUE(exists(scanned.machine.home("/.local/share/Trash/files/c.bin")));
    ASSERT_EQ(model.outcomes().size(), 2u);
    for (const auto& outcome : model.outcomes()) EXPECT_TRUE(outcome.moved()) << outcome.path;
    // The screen keeps showing what it scanned.
    EXPECT_EQ(model.selectedPaths(), ticks);
    EXPECT_EQ(model.report().groups, report);
    EXPECT_EQ(model.scannedRoot(), scanned.folder);

    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    const SweepRun& run = runs.front();
    EXPECT_EQ(run.scope, "duplicate copies you picked");
    EXPECT_EQ(run.trigger, SweepRun::Trigger::manual);
    EXPECT_TRUE(run.hasDetail);
    ASSERT_EQ(run.moved.size(), 2u);
    for (const auto& item : run.moved) {
        EXPECT_NE(item.originalPath, scanned.kept);
        EXPECT_TRUE(exists(item.trashPath)) << item.trashPath;
    }
    EXPECT_EQ(run.receipt.action, SweepSchedule::Action::clean);
    EXPECT_EQ(run.receipt.movedCount, 2);
    EXPECT_EQ(run.receipt.movedBytes, run.moved[0].size + run.moved[1].size);
    EXPECT_EQ(run.receipt.foundBytes, run.receipt.movedBytes);
    EXPECT_EQ(run.receipt.refusedCount, 0);
}

TEST(DuplicatesModelRemoval, ARunWhoseEveryTargetIsRefusedIsRecordedAsAReport) {
    ScannedCopies scanned;
    DuplicatesModel& model = scanned.model;
    ASSERT_EQ(model.selected().size(), 2u);
    // Both copies vanish before the move.
    ASSERT_EQ(::unlink((scanned.folder + "/b.bin").c_str()), 0);
    ASSERT_EQ(::unlink((scanned.folder + "/deeper/c.bin").c_str()), 0);

    model.removeSelected();
    ASSERT_TRUE(waitFor([&] { return model.stage() == DuplicatesModel::Stage::done; }));
    ASSERT_EQ(model.outcomes().size(), 2u);
    for (const auto& outcome : model.outcomes()) EXPECT_TRUE(outcome.refusal()) << outcome.path;
    EXPECT_TRUE(exists(scanned.kept));

    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope, "duplicate copies you picked");
    EXPECT_EQ(runs.front().trigger, SweepRun::Trigger::manual);
    EXPECT_EQ(runs.front().receipt.action, SweepSchedule::Action::report);
    EXPECT_EQ(runs.front().receipt.movedCount, 0);
    EXPECT_EQ(runs.front().receipt.movedBytes, 0);
    EXPECT_EQ(runs.front().receipt.foundBytes, 0);
    EXPECT_EQ(runs.front().receipt.refusedCount, 2);
    EXPECT_TRUE(runs.front().moved.empty());
}

TEST(DuplicatesModelRemoval, OnlyTheCopiesStillTickedMove) {
    ScannedCopies scanned;
    DuplicatesModel& model = scanned.model;
    const DuplicateGroup group = model.report().groups.front();
    const std::string untouched = scanned.folder + "/deeper/c.bin";
    for (const auto& file : group.files)
        if (file.path == untouched) model.toggle(file, group);
    ASSERT_EQ(model.selected().size(), 1u);

    model.removeSelected();
    ASSERT_TRUE(waitFor([&] { return model.stage() == DuplicatesModel::Stage::done; }));
    EXPECT_TRUE(exists(scanned.kept));
    EXPECT_TRUE(exists(untouched));
    EXPECT_FALSE(exists(scanned.folder + "/b.bin"));
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs.front().moved.size(), 1u);
    EXPECT_EQ(runs.front().moved.front().originalPath, scanned.folder + "/b.bin");
    EXPECT_EQ(runs.front().moved.front().trashPath, scanned.machine.home("/.local/share/Trash/files/b.bin"));
}

TEST(DuplicatesModelRemoval, CopiesMovedAfterTheModelIsGoneAreStillRecorded) {
    ScannedCopies scanned;
    auto model = std::make_unique<DuplicatesModel>();
    model->scan(scanned.folder);
    ASSERT_TRUE(waitFor([&] { return !model->isScanning(); }));
    ASSERT_EQ(model->selected().size(), 2u);
    model->removeSelected();
    model.reset(); // the window closes while the move runs
    ASSERT_TRUE(waitFor([&] { return !SweepHistory::load().empty() && SweepHistory::load()[0].finished; }));
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope, "duplicate copies you picked");
    for (const auto& item : runs.front().moved) EXPECT_TRUE(exists(item.trashPath)) << item.trashPath;
}

TEST(DuplicatesModelRemoval, TheMoveIsConfirmedFromTheResultsAndRunsOnce) {
    ScannedCopies scanned;
    DuplicatesModel& model = scanned.model;
    model.cancelConfirm(); // nothing to cancel
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
    model.confirm();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::confirming);
    model.cancelConfirm();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::results);
    model.confirm();

    model.removeSelected();
    ASSERT_EQ(model.stage(), DuplicatesModel::Stage::working);
    model.removeSelected(); // a second press while the first move runs
    model.confirm();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::working);
    ASSERT_TRUE(waitFor([&] { return model.stage() == DuplicatesModel::Stage::done; }));
    model.removeSelected(); // the moved copies are still ticked on the done page
    settle();
    EXPECT_EQ(model.stage(), DuplicatesModel::Stage::done);
    ASSERT_EQ(SweepHistory::load().size(), 1u);
    EXPECT_EQ(SweepHistory::load().front().moved.size(), 2u);
}
