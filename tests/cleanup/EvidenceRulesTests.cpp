// The rules that rest on evidence: developer data, live derived data, leftovers, backups.
#include <gtest/gtest.h>

#include "ResultBuilder.h"
#include "cleanup/CleanupRules.h"
#include "engine/Bytes.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

const std::string kHome = "/home/someone";
const std::string kDerived = kHome + "/Library/Developer/Xcode/DerivedData";

DeveloperEvidence::DerivedDataEntry build(const std::string &folder, int64_t size,
                                          std::optional<std::string> workspace, bool missing,
                                          std::optional<Date> accessed = std::nullopt) {
    DeveloperEvidence::DerivedDataEntry e;
    e.path = kDerived + "/" + folder;
    e.folderName = folder;
    e.workspacePath = std::move(workspace);
    e.size = size;
    e.projectMissing = missing;
    e.lastAccessed = accessed;
    return e;
}

Date dayOf(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    return std::chrono::system_clock::from_time_t(timegm(&t));
}

} // namespace

TEST(DeveloperRule, OrphanThresholdAndCountsInDetail) {
    DeveloperEvidence evidence;
    evidence.derivedData = {build("App-abc", 1'000'000, "/gone/App.xcodeproj", true, dayOf(2026, 3, 4)),
                            build("Tiny-def", 999'999, "/gone/Tiny.xcworkspace", true),
                            build("Live-ghi", 80'000'000, "/here/Live.xcodeproj", false)};
    CleanupItem item = CleanupRules::developerJunk(resultWith({}), kHome, evidence);
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].name, "App-abc");
    EXPECT_EQ(item.targets[0].detail,
              "App.xcodeproj is no longer on disk, last opened " + mediumDate(dayOf(2026, 3, 4)));
    EXPECT_EQ(item.detail,
              "Checked against Xcode's own records. 2 of 3 derived-data folders belong to projects that "
              "no longer exist. The 1 still in use are left alone \u2014 they would only cost a rebuild.");
}

TEST(DeveloperRule, DetailForOneOrphanOfThree) {
    DeveloperEvidence evidence;
    evidence.derivedData = {build("A", 10, "/gone/A.xcodeproj", true),
                            build("B", 10, "/here/B.xcodeproj", false), build("C", 10, std::nullopt, false)};
    CleanupItem item = CleanupRules::developerJunk(resultWith({}), kHome, evidence);
    EXPECT_EQ(item.detail,
              "Checked against Xcode's own records. 1 of 3 derived-data folders belong to projects that "
              "no longer exist. The 2 still in use are left alone \u2014 they would only cost a rebuild.");
}

// A build folder whose project record is refused is neither gone nor in use: it is left out
// of both counts and said apart.
TEST(DeveloperRule, CountsLeaveOutFoldersWhoseRecordIsRefused) {
    auto refused = [](const std::string &folder) {
        auto e = build(folder, 10, std::nullopt, false);
        e.reading = Reading::partial;
        e.recordRefused = true;
        return e;
    };
    auto closed = build("Closed", 0, std::nullopt, false);
    closed.reading = Reading::none;
    const std::string head = "Checked against Xcode's own records.";
    const std::string inUse = " The 1 still in use are left alone \u2014 they would only cost a rebuild.";
    const struct {
        const char *name;
        std::vector<DeveloperEvidence::DerivedDataEntry> entries;
        std::string detail;
    } rows[] = {
        {"one refused", {build("A", 10, "/gone/A.xcodeproj", true), build("B", 10, "/here/B.xcodeproj", false), refused("R")},
         head + " 1 of 2 derived-data folders belong to projects that no longer exist." + inUse +
             " 1 more derived-data folder has its project record not readable by this user, so it is not judged."},
        {"two refused beside one not read", {build("B", 10, "/here/B.xcodeproj", false), refused("R"), refused("S"), closed},
         head + inUse +
             " 2 more derived-data folders have their project record not readable by this user, so they are not judged."
             " 1 more folder is not readable by this user and left out."},
        // A shared cache is orphaned whatever its record says.
        {"a shared cache's record refused", {refused("ModuleCache.noindex")},
         head + " 1 of 1 derived-data folders belong to projects that no longer exist."},
    };
    for (const auto &row : rows) {
        DeveloperEvidence evidence;
        evidence.derivedData = row.entries;
        EXPECT_EQ(CleanupRules::developerJunk(resultWith({}), kHome, evidence).detail, row.detail) << row.name;
    }
}

TEST(DeveloperRule, NoBuildFoldersStillListsFixedFoldersAndWarnsWhileXcodeRuns) {
    DeveloperEvidence evidence;
    evidence.xcodeIsRunning = true;
    auto result =
        resultWith({node(kHome + "/Library/Developer", 3'000'000,
                         {node(kHome + "/Library/Developer/Xcode", 1'000'000,
                               {node(kHome + "/Library/Developer/Xcode/Products", 1'000'000)}),
                          node(kHome + "/Library/Developer/CoreSimulator", 999'999,
                               {node(kHome + "/Library/Developer/CoreSimulator/Caches", 999'999)})})});
    CleanupItem item = CleanupRules::developerJunk(result, kHome, evidence);
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].name, "Products");
    EXPECT_EQ(item.targets[0].detail, "build products, recreated by the next build");
    EXPECT_EQ(item.detail,
              "Checked against Xcode's own records. Xcode is running; quit it first so it does not "
              "rewrite what you remove.");
}

TEST(DeveloperRule, SharedCacheIsNamedByItsFolder) {
    DeveloperEvidence evidence;
    evidence.derivedData = {build("ModuleCache.noindex", 2'000'000, std::nullopt, false)};
    DeveloperEvidence::DeviceSupportEntry old;
    old.path = kHome + "/Library/Developer/Xcode/iOS DeviceSupport/16.4 (20E247)";
    old.name = "16.4 (20E247)";
    old.size = 1'500'000;
    old.superseded = true;
    evidence.deviceSupport = {old};
    CleanupItem item = CleanupRules::developerJunk(resultWith({}), kHome, evidence);
    ASSERT_EQ(item.targets.size(), 2u);
    EXPECT_EQ(item.targets[0].detail, "ModuleCache.noindex is no longer on disk");
    EXPECT_EQ(item.targets[1].name, "16.4 (20E247)");
    EXPECT_EQ(item.targets[1].detail, "superseded by a newer build for the same device");
}

TEST(LiveDerivedDataRule, NeedsFiftyMillionBytes) {
    DeveloperEvidence evidence;
    evidence.derivedData = {build("Big-a", 50'000'000, "/here/Big.xcodeproj", false, dayOf(2026, 1, 2)),
                            build("Small-b", 49'999'999, "/here/Small.xcodeproj", false),
                            build("Never-c", 60'000'000, "/here/Never.xcworkspace", false)};
    CleanupItem item = CleanupRules::liveDerivedData(resultWith({}), kHome, evidence);
    ASSERT_EQ(item.targets.size(), 2u);
    EXPECT_EQ(item.targets[0].name, "Never.xcworkspace");
    EXPECT_EQ(item.targets[0].detail, "never opened");
    EXPECT_EQ(item.targets[1].name, "Big.xcodeproj");
    EXPECT_EQ(item.targets[1].detail, "last opened " + mediumDate(dayOf(2026, 1, 2)));
    EXPECT_EQ(item.risk, CleanupRisk::review);
}

TEST(LeftoversRule, ThresholdIdentifierShapeAndInstalledApps) {
    const std::string support = kHome + "/Library/Application Support";
    const std::string groups = kHome + "/Library/Group Containers";
    auto result = resultWith(
        {node(support, 0,
              {node(support + "/com.gone.app", 5'000'000), node(support + "/com.gone.smaller", 4'999'999),
               node(support + "/com.two", 9'000'000), node(support + "/com.has space.app", 9'000'000),
               node(support + "/com.has+plus.app", 9'000'000),
               node(support + "/com.installed.app", 9'000'000),
               node(support + "/org.\xC3\xA9t\xC3\xA9.app", 6'000'000)}),
         node(groups, 0,
              {node(groups + "/ABCDE12345.com.group.gone", 7'000'000),
               node(groups + "/group.com.short", 8'000'000)})});
    result.installedApps.bundleIdentifiers.insert("com.installed.app");
    CleanupItem item = CleanupRules::leftovers(result, kHome);
    std::vector<std::string> names;
    for (const auto &t : item.targets)
        names.push_back(t.name);
    EXPECT_EQ(names, (std::vector<std::string>{"ABCDE12345.com.group.gone", "org.\xC3\xA9t\xC3\xA9.app",
                                               "com.gone.app"}));
    EXPECT_EQ(item.targets[0].detail, "No installed app matches this identifier");
    EXPECT_EQ(item.category, StorageCategory::appSupport);
}

namespace {

DeviceBackup backup(const std::string &folder, int64_t size, std::optional<std::string> serial,
                    DeviceBackup::Verdict verdict) {
    DeviceBackup b;
    b.folderName = folder;
    b.path = kHome + "/Library/Application Support/MobileSync/Backup/" + folder;
    b.size = size;
    b.serialNumber = std::move(serial);
    b.verdict = std::move(verdict);
    return b;
}

ScanResult backupFolderOf(int64_t size) {
    return resultWith({node(kHome + "/Library/Application Support/MobileSync/Backup", size)});
}

} // namespace

TEST(BackupRule, OneBackupOfOneDevice) {
    auto b = backup("f1", 100, "SER", DeviceBackup::Verdict::current());
    b.deviceName = "Ann's iPhone";
    b.productType = "iPhone14,2";
    b.modelName = "iPhone 13 Pro";
    CleanupItem item = CleanupRules::iosBackups(backupFolderOf(5000), kHome, {b});
    EXPECT_EQ(item.detail,
              "1 backup of 1 device, read from each backup's own records. All of them are current.");
    EXPECT_EQ(item.size(), 5000); // the folder's size, not the targets'
    EXPECT_EQ(item.externalAction, "Remove with the backup program");
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].name, "Ann's iPhone");
    EXPECT_EQ(item.targets[0].detail,
              "iPhone 13 Pro \u2014 the newest backup for this device \u00B7 recently");
}

TEST(BackupRule, SupersededAndStaleSentencesAndDeviceCount) {
    auto a = backup("f1", 3'000'000, "SER", DeviceBackup::Verdict::superseded("Jan 1, 2026"));
    auto b = backup("f2", 2'000'000, "SER", DeviceBackup::Verdict::stale(400));
    auto c = backup("f3", 1'000'000, std::nullopt, DeviceBackup::Verdict::unknown());
    auto d = backup("f4", 500, std::nullopt, DeviceBackup::Verdict::unknown());
    CleanupItem item = CleanupRules::iosBackups(backupFolderOf(9'000'000), kHome, {a, b, c, d});
    EXPECT_EQ(item.detail, "4 backups of 3 devices, read from each backup's own records. " +
                               Bytes::format(3'000'000) +
                               " is superseded \u2014 a newer backup of the same device already exists. " +
                               Bytes::format(2'000'000) + " has not been backed up in over a year.");
    // The evidence order is kept; the rule does not sort.
    EXPECT_EQ(item.targets[0].name, "f1");
    EXPECT_EQ(item.targets[3].name, "f4");
}

TEST(BackupRule, NamesFallBackAfterAnEmptyDeviceName) {
    auto b = backup("folder", 10, std::nullopt, DeviceBackup::Verdict::unknown());
    b.deviceName = "";
    b.productType = "iPhone99,9";
    CleanupItem item = CleanupRules::iosBackups(backupFolderOf(10), kHome, {b});
    EXPECT_EQ(item.targets[0].name, "iPhone99,9");
    EXPECT_EQ(item.targets[0].detail, "iPhone99,9 \u2014 no device details recorded in this backup");
}

TEST(BackupRule, EmptyBackupFolderGivesAnEmptyItem) {
    auto b = backup("f1", 100, "SER", DeviceBackup::Verdict::current());
    CleanupItem item = CleanupRules::iosBackups(backupFolderOf(0), kHome, {b});
    EXPECT_TRUE(item.targets.empty());
    EXPECT_EQ(item.size(), 0);
    EXPECT_FALSE(item.externalAction.has_value());
}

TEST(BackupRule, DeviceCountUsesSerialThenFolder) {
    EXPECT_EQ(CleanupRules::deviceCount({backup("a", 1, "S", {}), backup("b", 1, "S", {})}), 1);
    EXPECT_EQ(CleanupRules::deviceCount({backup("a", 1, std::nullopt, {}), backup("b", 1, std::nullopt, {})}),
              2);
    EXPECT_EQ(CleanupRules::deviceCount({backup("a", 1, "", {}), backup("b", 1, "", {})}), 1);
    // One key space: a serial number equal to another backup's folder name is one device.
    EXPECT_EQ(CleanupRules::deviceCount({backup("a", 1, "b", {}), backup("b", 1, std::nullopt, {})}), 1);
}

// A backup this user may not read used to be a 0 KB target of the rule, "read from each
// backup's own records"; it is no target, and the detail says it was left out.
TEST(BackupRule, BackupsThisUserMayNotReadAreNoTargets) {
    auto closed = [](const std::string &folder) {
        auto b = backup(folder, 0, std::nullopt, DeviceBackup::Verdict::unknown());
        b.readable = false;
        return b;
    };
    // Beside a backup not read, none is known to be the newest of its device.
    const auto open = backup("open", 4000, "SER", DeviceBackup::Verdict::undecided());
    const std::string notCompared =
        " 1 backup is not compared: one that could not be read may be a newer backup of the same device.";
    const struct {
        std::vector<DeviceBackup> backups;
        size_t targets;
        std::string detail;
    } cases[] = {
        {{open, closed("c1")}, 1,
         "1 backup of 1 device, read from each backup's own records. 1 more backup is not readable by this user "
         "and left out." + notCompared},
        {{open, closed("c1"), closed("c2")}, 1,
         "1 backup of 1 device, read from each backup's own records. 2 more backups are not readable by this user "
         "and left out." + notCompared},
        // None read: no target, but the item names it, for reports to say.
        {{closed("c1")}, 0, "1 backup is not readable by this user."},
    };
    for (const auto &c : cases) {
        CleanupItem item = CleanupRules::iosBackups(backupFolderOf(5000), kHome, c.backups);
        ASSERT_EQ(item.targets.size(), c.targets) << c.detail;
        for (const auto &target : item.targets)
            EXPECT_EQ(target.name, "open");
        EXPECT_EQ(item.detail, c.detail);
        EXPECT_EQ(item.size(), c.targets == 0 ? 0 : 5000);
    }
}

// With an app of unknown identity installed, a folder no readable app matches may be that
// app's: the rule offers none, and says why, whatever the folders and the unread places.
TEST(LeftoversRule, AppsOfUnknownIdentityWithholdEveryClaim) {
    const std::string support = kHome + "/Library/Application Support";
    const std::string containers = kHome + "/Library/Containers";
    struct Case {
        const char *name;
        std::vector<std::string> unread;
        std::vector<ScanNodePtr> roots;
        size_t targets;
        bool withheld;
        std::string detail; // expected when withheld
    };
    const auto support1 = [&] {
        return node(support, 0, {node(support + "/com.acme.Locked", 6'000'000),
                                 node(support + "/com.installed.app", 9'000'000)});
    };
    const std::vector<Case> cases{
        {"all apps read: offered", {}, {support1()}, 1, false, ""},
        {"a locked bundle",
         {"/Applications/Locked.app"},
         {support1()},
         0,
         true,
         "Some apps could not be read (/Applications/Locked.app), so Sorvel can't tell which support folders belong "
         "to apps that are gone, and offers none for removal. 1 folder (" + Bytes::format(6'000'000) +
             ") that no readable app matches is left alone: it may belong to one of them."},
        {"an unlisted folder and a bundle, two candidates in two roots",
         {"/Applications", "/Applications/Odd.app"},
         {support1(), node(containers, 0, {node(containers + "/org.gone.tool", 7'000'000)})},
         0,
         true,
         "Some apps could not be read (/Applications and 1 more), so Sorvel can't tell which support folders belong "
         "to apps that are gone, and offers none for removal. 2 folders (" + Bytes::format(13'000'000) +
             ") that no readable app matches are left alone: each may belong to one of them."},
        {"nothing that looks left behind",
         {"/Applications/Locked.app"},
         {node(support, 0, {node(support + "/com.installed.app", 9'000'000)})},
         0,
         true,
         "Some apps could not be read (/Applications/Locked.app), so Sorvel can't tell which support folders belong "
         "to apps that are gone, and offers none for removal."},
        {"leftover folders not scanned: nothing to say", {"/Applications/Locked.app"}, {}, 0, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto result = resultWith(c.roots);
        result.installedApps.bundleIdentifiers.insert("com.installed.app");
        result.installedApps.unreadApps = c.unread;
        CleanupItem item = CleanupRules::leftovers(result, kHome);
        EXPECT_EQ(item.targets.size(), c.targets);
        EXPECT_EQ(item.withheld, c.withheld);
        EXPECT_FALSE(item.withheld && item.isActionable());
        if (c.withheld) {
            EXPECT_EQ(item.detail, c.detail);
        }
        for (const auto &t : item.targets)
            EXPECT_EQ(t.detail, "No installed app matches this identifier");
    }
}

// The summary counts and judges only the backups read whole, and says what it left out.
TEST(BackupRule, SummaryIsMadeOverTheBackupsReadWhole) {
    auto refused = [](const std::string &folder, std::optional<std::string> serial) {
        auto b = backup(folder, 1000, std::move(serial), DeviceBackup::Verdict::unknown());
        b.recordsRefused = true;
        return b;
    };
    auto malformed = backup("bad", 1000, std::nullopt, DeviceBackup::Verdict::unknown());
    malformed.recordsMalformed = true;
    auto partlyOld = backup("old", 3'000'000, "S", DeviceBackup::Verdict::superseded("Jan 1, 2026"));
    partlyOld.sizePartial = true;
    const auto undecided = backup("open", 2'000'000, "S", DeviceBackup::Verdict::undecided());
    const std::string head = " read from each backup's own records.";
    const std::string notCompared = " is not compared: one that could not be read may be a newer backup of the same device.";
    const struct {
        const char *name;
        std::vector<DeviceBackup> backups;
        std::string detail;
    } rows[] = {
        {"a newer one's records locked", {refused("locked", "S"), undecided},
         "1 backup of 1 device," + head + " 1 more backup has records that could not be read, so it is not judged. "
         "1 backup" + notCompared},
        {"every one current", {backup("a", 1, "S", DeviceBackup::Verdict::current()), backup("b", 1, "T", DeviceBackup::Verdict::current())},
         "2 backups of 2 devices," + head + " All of them are current."},
        {"current beside one without details",
         {backup("a", 1, "S", DeviceBackup::Verdict::current()), backup("b", 1, std::nullopt, DeviceBackup::Verdict::unknown())},
         "2 backups of 2 devices," + head + " 1 of them is current."},
        {"a superseded size read in part", {partlyOld, undecided, refused("locked", "S")},
         "2 backups of 1 device," + head + " 1 more backup has records that could not be read, so it is not judged. At least " +
             Bytes::format(3'000'000) + " is superseded \u2014 a newer backup of the same device already exists. 1 backup" +
             notCompared},
        {"none read whole", {refused("x", "S"), malformed},
         "2 backups have records that could not be read, so they are not judged."},
    };
    for (const auto &row : rows) {
        CleanupItem item = CleanupRules::iosBackups(backupFolderOf(9'000'000), kHome, row.backups);
        EXPECT_EQ(item.detail, row.detail) << row.name;
        EXPECT_EQ(item.targets.size(), row.backups.size()) << row.name; // each read one is still listed
    }
    CleanupItem item = CleanupRules::iosBackups(backupFolderOf(9'000'000), kHome, {refused("locked", "S"), undecided});
    EXPECT_EQ(item.targets[0].detail, "its records are not readable by this user, so it is not judged");
    EXPECT_EQ(item.targets[1].detail, "last backed up unknown \u2014 not known to be the newest for this device: a "
                                      "backup here that could not be read may be a newer one");
}
