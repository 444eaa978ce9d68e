// Xcode's build folders and device support: orphaned, live, superseded, and Xcode running.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/PlistFiles.h"
#include "cleanup/DeveloperEvidence.h"
#include "platform/FileManager.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

const std::vector<std::string> kNothingRunning;

// A size read whole: these tests are about what the records say.
Measured noSize(const std::string &) {
    return Measured::wholeRead(0);
}

void writeBuildFolder(const FakeHome &home, const std::string &folder, const std::string &workspace) {
    writeFile(home / ("Library/Developer/Xcode/DerivedData/" + folder + "/info.plist"),
              xmlPlist(key("WorkspacePath", text(workspace)) +
                       key("LastAccessedDate", date("2026-03-04T12:00:00Z"))));
}

std::vector<std::string> folderNames(const std::vector<DeveloperEvidence::DerivedDataEntry> &entries) {
    std::vector<std::string> out;
    for (const auto &e : entries)
        out.push_back(e.folderName);
    return out;
}

} // namespace

TEST(DerivedDataEvidence, NoFolderGivesEmptyLists) {
    FakeHome home;
    auto evidence = DeveloperInspector::inspect(noSize, kNothingRunning);
    EXPECT_TRUE(evidence.derivedData.empty());
    EXPECT_TRUE(evidence.orphanedDerivedData().empty());
    EXPECT_TRUE(evidence.liveDerivedData().empty());
    EXPECT_TRUE(evidence.deviceSupport.empty());
    EXPECT_FALSE(evidence.xcodeIsRunning);
}

TEST(DerivedDataEvidence, OrphanedLiveSharedAndUnrecorded) {
    FakeHome home;
    writeFile(home / "Projects/Live/Live.xcodeproj/project.pbxproj", "x");
    writeBuildFolder(home, "Live-aaa", home / "Projects/Live/Live.xcodeproj");
    writeBuildFolder(home, "Gone-bbb", home / "Projects/Gone/Gone.xcodeproj");
    writeBuildFolder(home, "ModuleCache.noindex", home / "Projects/Live/Live.xcodeproj");
    writeFile(home / "Library/Developer/Xcode/DerivedData/NoInfo-ccc/Build/x", "x");
    writeFile(home / "Library/Developer/Xcode/DerivedData/stray-file", "x");
    writeFile(home / "Library/Developer/Xcode/DerivedData/Bad-ddd/info.plist", "not a plist at all");

    auto sizes = [](const std::string &path) {
        return Measured::wholeRead(path.find("Live-aaa") != std::string::npos ? 9 : 1);
    };
    auto evidence = DeveloperInspector::inspect(sizes, kNothingRunning);
    ASSERT_EQ(evidence.derivedData.size(), 5u);
    EXPECT_EQ(evidence.derivedData[0].folderName, "Live-aaa"); // largest first
    EXPECT_EQ(evidence.derivedData[0].size, 9);
    ASSERT_TRUE(evidence.derivedData[0].lastAccessed.has_value());
    EXPECT_EQ(folderNames(evidence.liveDerivedData()), std::vector<std::string>{"Live-aaa"});
    auto orphaned = folderNames(evidence.orphanedDerivedData());
    std::sort(orphaned.begin(), orphaned.end());
    EXPECT_EQ(orphaned, (std::vector<std::string>{"Gone-bbb", "ModuleCache.noindex"}));
    for (const auto &e : evidence.derivedData) {
        if (e.folderName == "NoInfo-ccc" || e.folderName == "Bad-ddd") {
            EXPECT_FALSE(e.workspacePath.has_value());
            EXPECT_FALSE(e.lastAccessed.has_value());
            EXPECT_FALSE(e.projectMissing);
        }
    }
}

TEST(DerivedDataEvidence, UnreachableProjectIsNotMissing) {
    FakeHome home;
    makeDirs(home / "Private/Projects/App");
    chmod((home / "Private").c_str(), 0700); // owned by root: the unprivileged child cannot look inside
    writeBuildFolder(home, "App-aaa", home / "Private/Projects/App/App.xcodeproj");
    writeBuildFolder(home, "Gone-bbb", home / "Projects/Gone.xcodeproj");
    writeBuildFolder(home, "FileParent-ccc", home / "a-file/App.xcodeproj");
    writeFile(home / "a-file", "x");
    int status = runAsUnprivileged([] {
        auto evidence = DeveloperInspector::inspect(noSize, kNothingRunning);
        int result = 0;
        for (const auto &e : evidence.derivedData) {
            if (e.folderName == "App-aaa" && e.projectMissing)
                result |= 1;
            if (e.folderName == "Gone-bbb" && !e.projectMissing)
                result |= 2;
            if (e.folderName == "FileParent-ccc" && !e.projectMissing)
                result |= 4;
        }
        if (evidence.derivedData.size() != 3)
            result |= 8;
        if (evidence.liveDerivedData().size() != 1)
            result |= 16;
        return result;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(DeveloperInspector::isMissing(home / "a-file"));
    EXPECT_TRUE(DeveloperInspector::isMissing(home / "a-file/below"));
    EXPECT_TRUE(DeveloperInspector::isMissing(home / "nothing"));
}

// A record refused is not "no project": the folder is marked, a malformed one is not.
TEST(DerivedDataEvidence, ARefusedRecordIsMarkedAndJudgesNothing) {
    FakeHome home;
    writeBuildFolder(home, "Locked-aaa", home / "gone/A.xcodeproj");
    chmod((home / "Library/Developer/Xcode/DerivedData/Locked-aaa/info.plist").c_str(), 0600);
    writeFile(home / "Library/Developer/Xcode/DerivedData/Bad-bbb/info.plist", "<plist><dict><key>Wor");
    int status = runAsUnprivileged([] {
        auto evidence = DeveloperInspector::inspect(noSize, kNothingRunning);
        int result = evidence.derivedData.size() == 2 ? 0 : 1;
        for (const auto &e : evidence.derivedData) {
            const bool locked = e.folderName == "Locked-aaa";
            if (e.recordRefused != locked)
                result |= 2;
            if (locked && (e.projectMissing || e.workspacePath || e.reading != Reading::partial))
                result |= 4;
        }
        if (!evidence.orphanedDerivedData().empty() || !evidence.liveDerivedData().empty())
            result |= 8;
        return result;
    });
    EXPECT_EQ(status, 0);
}

TEST(DeviceSupportEvidence, SameVersionWordKeepsTheGreatestBuild) {
    FakeHome home;
    const std::string root = home / "Library/Developer/Xcode/iOS DeviceSupport";
    for (const char *name : {"16.4 (20E247)", "16.4 (20E252)", "17.0 (21A329)"})
        makeDirs(root + "/" + name);
    writeFile(root + "/17.0 (21A329) arm64e", "a plain file still counts");
    auto evidence = DeveloperInspector::inspect(noSize, kNothingRunning);
    ASSERT_EQ(evidence.deviceSupport.size(), 4u);
    std::map<std::string, bool> superseded;
    for (const auto &e : evidence.deviceSupport) {
        superseded[e.name] = e.superseded;
        EXPECT_TRUE(e.lastModified.has_value());
        EXPECT_EQ(e.path, root + "/" + e.name);
    }
    EXPECT_TRUE(superseded["16.4 (20E247)"]);
    EXPECT_FALSE(superseded["16.4 (20E252)"]);
    EXPECT_TRUE(superseded["17.0 (21A329)"]); // the longer name extends it and wins
    EXPECT_FALSE(superseded["17.0 (21A329) arm64e"]);
    EXPECT_EQ(evidence.supersededDeviceSupport().size(), 2u);
}

TEST(DeviceSupportEvidence, NumericComparisonAndVersionWords) {
    EXPECT_GT(DeveloperInspector::compareNumerically("16.10", "16.9"), 0);
    EXPECT_LT(DeveloperInspector::compareNumerically("16.4 (20E247)", "16.4 (20E252)"), 0);
    EXPECT_EQ(DeveloperInspector::compareNumerically("16.04", "16.4"), 0);
    EXPECT_GT(DeveloperInspector::compareNumerically("17.5 (21F79) arm64e", "17.5 (21F79)"), 0);
    EXPECT_LT(DeveloperInspector::compareNumerically("a", "b"), 0);
    EXPECT_EQ(DeveloperInspector::versionWord("17.5 (21F79) arm64e"), "17.5");
    EXPECT_EQ(DeveloperInspector::versionWord("  17.5  x"), "17.5");
    EXPECT_EQ(DeveloperInspector::versionWord("   "), "   ");
}

TEST(DeviceSupportEvidence, NumericallyEqualNamesKeepTheFirstListed) {
    FakeHome home;
    const std::string root = home / "Library/Developer/Xcode/iOS DeviceSupport";
    makeDirs(root + "/16.4 (020E1)");
    makeDirs(root + "/16.4 (20E1)");
    auto listing = FileManager::contentsOfDirectory(root);
    ASSERT_TRUE(listing.has_value());
    ASSERT_EQ(listing->size(), 2u);
    auto evidence = DeveloperInspector::inspect(noSize, kNothingRunning);
    ASSERT_EQ(evidence.deviceSupport.size(), 2u);
    for (const auto &e : evidence.deviceSupport)
        EXPECT_EQ(e.superseded, e.name != listing->front()) << e.name;
}

TEST(XcodeRunning, ExactBundleIdentifierOnly) {
    FakeHome home;
    EXPECT_TRUE(DeveloperInspector::inspect(noSize, {"com.example.x", "com.apple.dt.Xcode"}).xcodeIsRunning);
    EXPECT_FALSE(DeveloperInspector::inspect(noSize, {"com.apple.dt.xcode"}).xcodeIsRunning);
}
