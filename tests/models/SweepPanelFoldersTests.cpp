// What the panel offers of a sweep of added folders, it can move: the move runs under the
// policy the sweep ran under, and the guard's own checks still refuse a synced folder there.
#include <gtest/gtest.h>

#include "models/SweepSchedulerFixtures.h"
#include "platform/Path.h"

using namespace sorvel;
using Finding = SweepReceipt::Finding;

TEST(SweepPanelFolders, FoundItemsOfAnAddedFolderMoveAndASyncedOneStays) {
    const struct {
        const char* what;
        bool added; // the folder is still in the schedule
    } rows[] = {{"still added", true}, {"taken out of the schedule since", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::SchedulerRig rig;
        const std::string work = rig.home.h + "/Work";
        test::writeFile(work + "/Project/notes.txt", "mine");
        test::writeFile(work + "/Phone/IMG_0001.jpg", "photo");
        test::makeDirs(work + "/Phone/.stfolder");
        SweepSchedule schedule;
        schedule.action = SweepSchedule::Action::report;
        if (row.added) schedule.folders = {work};
        SweepSchedule::store(schedule);
        const Finding project{work + "/Project", test::independentTotal(work + "/Project")};
        const Finding phone{work + "/Phone", test::independentTotal(work + "/Phone")};
        SweepReceipt::record(std::vector<Finding>{project, phone});

        SweepScheduler scheduler(rig.dependencies());
        scheduler.cleanSelected();
        ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isCleaning(); }));
        EXPECT_EQ(test::exists(project.path + "/notes.txt"), !row.added);
        EXPECT_TRUE(test::exists(phone.path + "/IMG_0001.jpg"));
        const std::string note = scheduler.moveNote().value_or("");
        const std::string phoneSays = row.added ? "synced by Syncthing (~/Work/Phone); moving it to the Trash may "
                                                  "delete it on every device the folder syncs with"
                                                : "outside the folders Sorvel is allowed to touch";
        EXPECT_NE(note.find("\u201CPhone\u201D \u2014 " + phoneSays), std::string::npos) << note;
        if (!row.added) continue;
        // Put back knows the folder as the move did.
        const auto runs = SweepHistory::load();
        ASSERT_EQ(runs.size(), 1u);
        const auto roots = runs[0].allowedRoots.value_or(std::vector<std::string>{});
        EXPECT_NE(std::find(roots.begin(), roots.end(), work), roots.end());
    }
}
