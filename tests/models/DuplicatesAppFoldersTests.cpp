// After a search of the home, the duplicates screen ticks no copy inside what an installed app
// keeps as its own (a snap's or a Flatpak app's profile) nor an emulator's disks: the move would
// refuse them, and they carry the guard's reason.
#include <gtest/gtest.h>

#include "analysis/DuplicateFixtures.h"
#include "models/DuplicatesModel.h"
#include "models/ToolFixtures.h"
#include "platform/LinuxPlaces.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(DuplicatesAppFolders, CopiesInAnInstalledAppsFolderOrAnEmulatorsDisksAreNotTicked) {
    ToolMachine machine;
    const std::string system = LinuxPlaces::systemRoot();
    ASSERT_FALSE(system.empty());
    makeDirs(system + "/snap/firefox");
    makeDirs(system + "/var/lib/flatpak/app/org.mozilla.firefox");
    struct Row {
        std::string copy;   // below the home, of one content with ~/kept.bin
        std::string refusal; // empty: ticked
    };
    const Row rows[] = {
        {"/snap/firefox/common/.mozilla/firefox/p/extensions/a.xpi", "protected location (~/snap/firefox/common/.mozilla)"},
        {"/.var/app/org.mozilla.firefox/.mozilla/firefox/p/extensions/a.xpi",
         "protected location (~/.var/app/org.mozilla.firefox/.mozilla)"},
        {"/.android/avd/Pixel.avd/userdata.img", "protected location (~/.android/avd)"},
        {"/snap/firefox/common/.cache/a.xpi", ""},
        {"/Downloads/a.xpi", ""},
    };
    const std::string content = patterned(kTwoMB, 'x');
    writeDated(machine.home("/kept.bin"), content, 1'400'000'000);
    for (const auto& row : rows) writeDated(machine.home(row.copy), content, 1'500'000'000);
    DuplicatesModel model;
    model.scan(std::nullopt);
    ASSERT_TRUE(waitFor([&] { return !model.isScanning(); }));
    ASSERT_EQ(model.report().groups.size(), 1u);
    std::set<std::string> ticked;
    std::map<std::string, std::string> refused;
    for (const auto& row : rows)
        if (row.refusal.empty()) ticked.insert(machine.home(row.copy));
        else refused.emplace(machine.home(row.copy), row.refusal);
    ticked.insert(machine.home("/kept.bin")); // a copy never moved is the one kept, so the oldest may go
    EXPECT_EQ(model.selectedPaths(), ticked);
    EXPECT_EQ(model.refusals(), refused);
}
