// A rule keeps its id, and says of what it offers what is true of it: Linux places get a
// title and an evidence line of their own, the other system's places keep theirs, and an
// item holding both says both.
#include <gtest/gtest.h>

#include "ResultBuilder.h"
#include "cleanup/CleanupRules.h"
#include "cleanup/LinuxRules.h"
#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

constexpr const char* kXcodeTitle = "Xcode caches nothing depends on";
constexpr const char* kXcodeHead = "Checked against Xcode's own records.";
constexpr const char* kLiveTitle = "Derived data for projects you still have";

struct Home {
    test::FakeHome home;
    test::ScopedEnv cache{"XDG_CACHE_HOME", std::nullopt};
    std::string h = home.path();

    // A developer folder holding one item of `bytes`.
    ScanNodePtr developerFolder(const std::string& folder, int64_t bytes) const {
        return node(folder, bytes, {node(folder + "/item", bytes)});
    }
};

DeveloperEvidence::DerivedDataEntry derived(const Home& home, const std::string& folder, int64_t size, bool gone) {
    DeveloperEvidence::DerivedDataEntry e;
    e.folderName = folder;
    e.path = home.h + "/Library/Developer/Xcode/DerivedData/" + folder;
    e.workspacePath = (gone ? "/gone/" : "/here/") + folder + ".xcodeproj";
    e.size = size;
    e.projectMissing = gone;
    return e;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

TEST(LinuxRuleTexts, TheDeveloperRuleSaysWhatItLookedAt) {
    Home home;
    const std::string pip = home.h + "/.cache/pip";
    const struct {
        const char* name;
        bool xcode; // Xcode's evidence holds a build folder
        bool linux; // a Linux developer folder is offered
        std::string title;
        std::string location;
    } rows[] = {
        {"Linux tools only", false, true, LinuxRules::kDeveloperTitle, "~/.cache/pip"},
        {"Xcode only", true, false, kXcodeTitle, "~/Library/Developer"},
        {"both", true, true, kXcodeTitle, "~/Library/Developer"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ScanNodePtr> roots;
        if (row.linux) roots.push_back(home.developerFolder(pip, 2'000'000));
        if (row.xcode) roots.push_back(node(home.h + "/Library/Developer", 2'000'000));
        DeveloperEvidence evidence;
        if (row.xcode) evidence.derivedData = {derived(home, "App-abc", 2'000'000, true)};
        const CleanupItem item = CleanupRules::developerJunk(resultWith(roots), home.h, evidence);
        EXPECT_EQ(item.id, "developer");
        EXPECT_EQ(item.title, row.title);
        EXPECT_EQ(item.locationLabel, row.location);
        EXPECT_EQ(item.detail.rfind(kXcodeHead, 0) == 0, row.xcode) << item.detail;
        EXPECT_EQ(endsWith(item.detail, LinuxRules::kDeveloperDetail), row.linux) << item.detail;
        EXPECT_EQ(item.targets.size(), size_t(row.xcode) + size_t(row.linux));
    }
}

// Go's module cache is read-only on disk: the live-build rule never offers it, so no text of
// that rule speaks for it, and on a home with no build folders the rule offers nothing.
TEST(LinuxRuleTexts, GoModulesAreNeverOfferedAsDerivedData) {
    Home home;
    const std::string modules = home.h + "/go/pkg/mod";
    const struct {
        const char* name;
        bool xcode;
        bool linux;
    } rows[] = {
        {"Go's modules only", false, true},
        {"a live build folder only", true, false},
        {"both", true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<ScanNodePtr> roots;
        if (row.linux) roots.push_back(home.developerFolder(modules, 3'000'000));
        DeveloperEvidence evidence;
        if (row.xcode) evidence.derivedData = {derived(home, "Live-ghi", 80'000'000, false)};
        const CleanupItem item = CleanupRules::liveDerivedData(resultWith(roots), home.h, evidence);
        EXPECT_EQ(item.id, "derived-data-live");
        EXPECT_EQ(item.title, kLiveTitle);
        EXPECT_EQ(item.targets.size(), size_t(row.xcode));
        for (const auto& target : item.targets) EXPECT_NE(target.path.rfind(modules, 0), 0u) << target.path;
    }
}

// The logs and leftover rules' evidence lines, by what the result holds.
TEST(LinuxRuleTexts, LogsAndLeftoversSayWhatTheyFound) {
    Home home;
    test::TempDir system;
    LinuxPlaces::ScopedSystemRoot root(system.path());
    const std::string crash = LinuxPlaces::crashFolders().front();
    const auto crashes = node(crash, 2'000'000);
    const auto libraryLogs = node(home.h + "/Library/Logs", 2'000'000, {node(home.h + "/Library/Logs/App", 2'000'000)});
    const struct {
        const char* name;
        std::vector<ScanNodePtr> roots;
        std::string detail;
    } logs[] = {
        {"crash reports only", {crashes}, LinuxRules::kLogsDetail},
        {"the other system's logs too", {crashes, libraryLogs}, "Old crash reports and unified system logs."},
        {"the other system's logs only", {libraryLogs}, "Old crash reports and unified system logs."},
    };
    for (const auto& row : logs) {
        const CleanupItem item = CleanupRules::logsAndDiagnostics(resultWith(row.roots), home.h);
        EXPECT_EQ(item.detail, row.detail) << row.name;
        EXPECT_EQ(item.title, "Logs & diagnostics") << row.name;
    }

    test::makeDirs(home.h + "/.var/app/com.example.Gone.App");
    const std::string gone = home.h + "/.var/app/com.example.Gone.App";
    const auto apps = node(home.h + "/.var/app", 6'000'000, {node(gone, 6'000'000)});
    const CleanupItem linux = CleanupRules::leftovers(resultWith({apps}), home.h);
    ASSERT_EQ(linux.targets.size(), 1u);
    EXPECT_EQ(linux.detail, LinuxRules::kLeftoversDetail);
    const auto support = node(home.h + "/Library/Application Support", 1);
    const CleanupItem both = CleanupRules::leftovers(resultWith({apps, support}), home.h);
    EXPECT_NE(both.detail.find("Support files whose app is no longer installed"), std::string::npos) << both.detail;
}
