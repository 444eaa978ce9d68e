// Own folders added through the scheduler: one that holds the home folder is refused with
// a sentence the settings window shows, and never stored.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "models/SweepSchedulerFixtures.h"
#include "platform/Path.h"

using namespace sorvel;

TEST(SweepSchedulerFolders, AddingAFolderThatHoldsTheHomeIsRefusedAndNothingIsStored) {
    test::SchedulerRig rig;
    const std::string h = rig.home.h;
    test::makeDirs(h + "/Projects");
    SweepScheduler scheduler(rig.dependencies());
    QSignalSpy refusals(&scheduler, &SweepScheduler::folderRefusalChanged);

    for (const std::string& folder : {h, std::string("/"), deletingLastPathComponent(h), std::string("~/")}) {
        const auto reason = scheduler.addFolder(folder);
        ASSERT_TRUE(reason.has_value()) << folder;
        EXPECT_NE(reason->find("so Sorvel can't sweep it"), std::string::npos) << *reason;
        EXPECT_EQ(scheduler.folderRefusal(), reason);
        EXPECT_TRUE(scheduler.schedule().folders.empty()) << folder;
    }
    EXPECT_TRUE(test::storedSchedule().folders.empty());
    EXPECT_GE(refusals.count(), 1);

    // A folder inside the home is added once, stored, and clears the message.
    EXPECT_EQ(scheduler.addFolder(h + "/Projects"), std::nullopt);
    EXPECT_EQ(scheduler.addFolder(h + "/Projects"), std::nullopt);
    EXPECT_EQ(scheduler.folderRefusal(), std::nullopt);
    EXPECT_EQ(scheduler.schedule().folders, std::vector<std::string>{h + "/Projects"});
    EXPECT_EQ(test::storedSchedule().folders, std::vector<std::string>{h + "/Projects"});
    scheduler.stop();
}

TEST(SweepSchedulerFolders, AScheduleSetWithSuchAFolderKeepsTheOthersAndSaysWhy) {
    test::SchedulerRig rig;
    const std::string h = rig.home.h;
    SweepScheduler scheduler(rig.dependencies());
    SweepSchedule wanted;
    wanted.folders = {h + "/Projects", h, h + "/Downloads/Installers"};
    scheduler.setSchedule(wanted);
    EXPECT_EQ(scheduler.schedule().folders,
              (std::vector<std::string>{h + "/Projects", h + "/Downloads/Installers"}));
    EXPECT_EQ(test::storedSchedule().folders, scheduler.schedule().folders);
    ASSERT_TRUE(scheduler.folderRefusal().has_value());
    EXPECT_EQ(*scheduler.folderRefusal(),
              "\u201C" + h + "\u201D is your home folder, so Sorvel can't sweep it. Add a folder inside it instead.");
    scheduler.stop();
}

TEST(SweepSchedulerFolders, AFolderHoldingProtectedPlacesIsRefusedWhenAdded) {
    test::SchedulerRig rig;
    const std::string h = rig.home.h;
    test::makeDirs(h + "/Library/Preferences");
    SweepScheduler scheduler(rig.dependencies());
    const auto reason = scheduler.addFolder(h + "/Library");
    ASSERT_TRUE(reason.has_value());
    EXPECT_EQ(*reason, "\u201C~/Library\u201D is your Library folder, so Sorvel can't sweep it. Add a folder inside it "
                       "instead.");
    EXPECT_EQ(scheduler.folderRefusal(), reason);
    EXPECT_TRUE(scheduler.schedule().folders.empty());
    EXPECT_TRUE(test::storedSchedule().folders.empty());
    scheduler.stop();
}
