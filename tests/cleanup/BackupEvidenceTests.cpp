// Reading device backups from their property lists and judging which are dead weight.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/PlistFiles.h"
#include "cleanup/BackupEvidence.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// A size read whole: these tests are about what the records say.
Measured noSize(const std::string &) {
    return Measured::wholeRead(0);
}

DeviceBackup dated(const std::string &folder, std::optional<std::string> serial, std::optional<Date> when) {
    DeviceBackup b;
    b.folderName = folder;
    b.path = "/b/" + folder;
    b.serialNumber = std::move(serial);
    b.lastBackup = when;
    return b;
}

} // namespace

TEST(BackupReading, ReadsInfoManifestAndStatusFromXML) {
    TempDir dir;
    const std::string b = dir / "abc123";
    writeFile(b + "/Info.plist",
              xmlPlist(key("Device Name", text("Ann's iPhone")) + key("Product Type", text("iPhone14,2")) +
                       key("Product Version", text("17.5")) + key("Serial Number", text("F2LX")) +
                       key("Phone Number", text("+1 555")) +
                       key("Last Backup Date", date("2026-01-02T03:04:05Z")) +
                       key("Installed Applications", "<array>" + text("a") + text("b") + "</array>")));
    writeFile(b + "/Manifest.plist",
              xmlPlist(key("IsEncrypted", "<true/>") + key("Date", date("2026-05-01T00:00:00Z"))));
    writeFile(b + "/Status.plist", xmlPlist(key("Date", date("2026-02-01T00:00:00Z"))));

    DeviceBackup backup = BackupInspector::read(b, "abc123");
    EXPECT_EQ(backup.deviceName, "Ann's iPhone");
    EXPECT_EQ(backup.productType, "iPhone14,2");
    EXPECT_EQ(backup.modelName, "iPhone 13 Pro");
    EXPECT_EQ(backup.iosVersion, "17.5");
    EXPECT_EQ(backup.serialNumber, "F2LX");
    EXPECT_EQ(backup.phoneNumber, "+1 555");
    EXPECT_TRUE(backup.isEncrypted);
    EXPECT_EQ(backup.appCount, 2);
    // Status is later than Info and wins; Manifest's date is ignored since Info had one.
    EXPECT_EQ(backup.lastBackup, utcDate("2026-02-01T00:00:00Z"));
    EXPECT_EQ(backup.hardwareSummary(), "iPhone 13 Pro \u00B7 iOS 17.5 \u00B7 encrypted \u00B7 2 apps");
    EXPECT_EQ(backup.verdict, DeviceBackup::Verdict::unknown());
    EXPECT_EQ(backup.size, 0);
}

TEST(BackupReading, ReadsBinaryPlistsAndFallsBackBetweenKeys) {
    TempDir dir;
    const std::string b = dir / "f";
    writeFile(b + "/Info.plist",
              binaryPlist(xmlPlist(
                  key("Device Name", "<integer>7</integer>") + key("Display Name", text("iPad")) +
                  key("Product Type", text("iPad99,1")) +
                  key("Installed Applications", "<array>" + text("a") + "<integer>1</integer></array>"))));
    writeFile(b + "/Manifest.plist", binaryPlist(xmlPlist(key("Date", date("2025-07-01T00:00:00Z")))));
    writeFile(b + "/Status.plist", binaryPlist(xmlPlist(key("Date", date("2025-06-01T00:00:00Z")))));
    DeviceBackup backup = BackupInspector::read(b, "f");
    EXPECT_EQ(backup.deviceName, "iPad"); // a number under "Device Name" counts as absent
    EXPECT_EQ(backup.productType, "iPad99,1");
    EXPECT_FALSE(backup.modelName.has_value());
    EXPECT_FALSE(backup.appCount.has_value()); // not a list of texts
    EXPECT_FALSE(backup.isEncrypted);
    EXPECT_EQ(backup.lastBackup, utcDate("2025-07-01T00:00:00Z")); // Manifest used, earlier Status ignored
    EXPECT_EQ(backup.hardwareSummary(), "iPad99,1");
}

TEST(BackupReading, BadPlistsLeaveFieldsAbsentWithoutBlocking) {
    TempDir dir;
    const std::string b = dir / "bad";
    writeFile(b + "/Info.plist", xmlPlist(key("Device Name", text("Phone"))).substr(0, 120)); // truncated
    writeFile(b + "/Manifest.plist", std::string("bplist00\x01\x02\x03garbage", 18));
    makeDirs(b);
    ASSERT_EQ(mkfifo((b + "/Status.plist").c_str(), 0644), 0); // a reader that opened it would wait forever
    DeviceBackup backup = BackupInspector::read(b, "bad");
    EXPECT_FALSE(backup.deviceName.has_value());
    EXPECT_FALSE(backup.lastBackup.has_value());
    EXPECT_FALSE(backup.isEncrypted);

    const std::string huge = dir / "huge";
    writeFile(huge + "/Info.plist", xmlPlist(key("Device Name", text("Big")) + "<!--" +
                                             std::string(40u * 1024 * 1024, ' ') + "-->"));
    EXPECT_FALSE(BackupInspector::read(huge, "huge").deviceName.has_value());
}

TEST(BackupInspection, MissingRootIsEmptyAndPlainFilesAreIgnored) {
    TempDir dir;
    EXPECT_TRUE(BackupInspector::inspect(noSize, now(), dir / "missing", std::set<std::string>{}).empty());
    writeFile(dir / "root/stray.txt", "x");
    makeDirs(dir / "root/one");
    auto list = BackupInspector::inspect(noSize, now(), dir / "root", std::set<std::string>{});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].folderName, "one");
    EXPECT_EQ(list[0].path, dir / "root/one");
    EXPECT_EQ(list[0].verdict, DeviceBackup::Verdict::unknown());
    EXPECT_EQ(list[0].evidence(mediumDate), "no device details recorded in this backup");
}

TEST(BackupInspection, DefaultRootIsUnderTheHome) {
    FakeHome home;
    writeFile(home / "Library/Application Support/MobileSync/Backup/dev1/Info.plist",
              xmlPlist(key("Device Name", text("Phone"))));
    auto list = BackupInspector::inspect(noSize, now(), std::nullopt, std::set<std::string>{});
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].deviceName, "Phone");
}

TEST(BackupInspection, SortsBySizeStablyAndMarksPairing) {
    TempDir dir;
    for (const char *name : {"AAA", "bbb", "ccc"})
        makeDirs(dir / (std::string("root/") + name));
    writeFile(dir / "root/ccc/Info.plist", xmlPlist(key("Serial Number", text("SERIALX"))));
    auto sizes = [](const std::string &path) { return Measured::wholeRead(path.back() == 'b' ? 5 : 9); };
    auto list = BackupInspector::inspect(sizes, now(), dir / "root", std::set<std::string>{"aaa", "serialx"});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].folderName, "bbb");
    EXPECT_NE(list[0].folderName, "bbb");
    for (const auto &b : list)
        EXPECT_EQ(b.isPaired, b.folderName != "bbb") << b.folderName;
}

TEST(BackupInspection, PairingRecordsAreReadFromTheFolder) {
    TempDir dir;
    writeFile(dir / "lockdown/00008101-ABCDEF.plist", "");
    writeFile(dir / "lockdown/SystemConfiguration.plist", "");
    writeFile(dir / "lockdown/notes.PLIST", "");
    auto paired = BackupInspector::pairedDevices(dir / "lockdown");
    ASSERT_TRUE(paired.has_value());
    EXPECT_EQ(*paired, (std::set<std::string>{"00008101-abcdef", "systemconfiguration"}));
    EXPECT_FALSE(BackupInspector::pairedDevices(dir / "absent").has_value());
}

// Without a paired set the inspector reads the records where they are kept.
TEST(BackupInspection, ReadsThePairingRecordsFolder) {
    TempDir dir;
    for (const char *name : {"AAA", "bbb"})
        makeDirs(dir / (std::string("root/") + name));
    writeFile(dir / "lockdown/aaa.plist", "");
    BackupInspector::setPairingRecordsFolder(dir / "lockdown");
    auto list = BackupInspector::inspect(noSize, now(), dir / "root");
    BackupInspector::setPairingRecordsFolder("/var/lib/lockdown");
    ASSERT_EQ(list.size(), 2u);
    for (const auto &b : list)
        EXPECT_EQ(b.isPaired, b.folderName == "AAA") << b.folderName; // by folder name, in any case
}

TEST(BackupJudging, NewestOfADeviceWinsAndEqualDatesKeepTheFirst) {
    Date now = utcDate("2026-06-01T00:00:00Z");
    std::vector<DeviceBackup> list{
        dated("old", "S1", utcDate("2026-01-01T00:00:00Z")), dated("new", "S1", utcDate("2026-05-01T00:00:00Z")),
        dated("tieA", "S2", utcDate("2026-04-01T00:00:00Z")), dated("tieB", "S2", utcDate("2026-04-01T00:00:00Z"))};
    BackupInspector::judge(list, now);
    EXPECT_EQ(list[0].verdict, DeviceBackup::Verdict::superseded(mediumDate(utcDate("2026-05-01T00:00:00Z"))));
    EXPECT_EQ(list[1].verdict, DeviceBackup::Verdict::current());
    EXPECT_EQ(list[2].verdict, DeviceBackup::Verdict::current());
    EXPECT_EQ(list[3].verdict.kind, DeviceBackup::Verdict::Kind::superseded);
    EXPECT_EQ(list[0].evidence(mediumDate), "superseded \u2014 this same device was backed up again on " +
                                                mediumDate(utcDate("2026-05-01T00:00:00Z")));
}

TEST(BackupJudging, AgeBoundaryAndFutureDates) {
    Date now = utcDate("2026-06-01T00:00:00Z");
    using namespace std::chrono;
    std::vector<DeviceBackup> list{dated("a", "A", now - hours(365 * 24 + 23)),
                                   dated("b", "B", now - hours(366 * 24)), dated("c", "C", now + hours(48))};
    BackupInspector::judge(list, now);
    EXPECT_EQ(list[0].verdict, DeviceBackup::Verdict::current());
    EXPECT_EQ(list[1].verdict, DeviceBackup::Verdict::stale(366));
    EXPECT_EQ(list[2].verdict, DeviceBackup::Verdict::current());
}

TEST(BackupJudging, IdentityFallsBackToNameAndProduct) {
    Date now = utcDate("2026-06-01T00:00:00Z");
    auto a = dated("a", "", utcDate("2026-01-01T00:00:00Z"));
    a.deviceName = "Phone";
    a.productType = "iPhone14,2";
    auto b = dated("b", std::nullopt, utcDate("2026-03-01T00:00:00Z"));
    b.deviceName = "Phone";
    b.productType = "iPhone14,2";
    auto c = dated("c", std::nullopt, utcDate("2026-03-01T00:00:00Z"));
    c.deviceName = "Phone";                 // no product type: no identity
    auto d = dated("d", "S", std::nullopt); // identity but no date
    auto e = dated("e", "S", utcDate("2020-01-01T00:00:00Z"));
    std::vector<DeviceBackup> list{a, b, c, d, e};
    BackupInspector::judge(list, now);
    EXPECT_EQ(list[0].verdict.kind, DeviceBackup::Verdict::Kind::superseded);
    EXPECT_EQ(list[1].verdict, DeviceBackup::Verdict::current());
    EXPECT_EQ(list[2].verdict, DeviceBackup::Verdict::unknown());
    EXPECT_EQ(list[3].verdict, DeviceBackup::Verdict::unknown());
    EXPECT_EQ(list[4].verdict.kind, DeviceBackup::Verdict::Kind::stale); // judged alone
}

TEST(BackupEvidenceText, StaleAndCurrentWithPairing) {
    auto b = dated("x", "S", utcDate("2024-06-01T12:00:00Z"));
    b.verdict = DeviceBackup::Verdict::stale(731);
    auto fmt = [](Date) { return std::string("DATE"); };
    EXPECT_EQ(b.evidence(fmt), "last backed up DATE \u2014 2.0 years ago");
    b.isPaired = false;
    EXPECT_EQ(b.evidence(fmt),
              "last backed up DATE \u2014 2.0 years ago, and no pairing record for it remains on "
              "this computer");
    b.verdict = DeviceBackup::Verdict::current();
    EXPECT_EQ(b.evidence(fmt), "the newest backup for this device \u00B7 DATE");
    b.isPaired = true;
    EXPECT_EQ(b.evidence(fmt), "the current backup for a device still paired with this computer \u00B7 DATE");
    b.lastBackup.reset();
    EXPECT_EQ(b.evidence(fmt), "the current backup for a device still paired with this computer \u00B7 recently");
}

TEST(AppleDeviceNames, TableHasEveryIdentifier) {
    EXPECT_EQ(AppleDevices::names().size(), 63u);
    EXPECT_EQ(AppleDevices::names().at("iPad13,19"), "iPad (10th generation)");
    EXPECT_EQ(AppleDevices::names().count("iphone14,2"), 0u);
}

// Two backups of one device, the second's date written as given in the record named.
TEST(BackupJudging, ADateThatCannotBeReadLeavesItsBackupUnjudgedAndJudgesNoOther) {
    const struct {
        const char *name;
        const char *record; // where the bad date stands
        const char *key;
        std::string value;  // the date as the record holds it
    } rows[] = {
        {"not a date", "Info.plist", "Last Backup Date", date("yesterday")},
        {"the wrong form", "Info.plist", "Last Backup Date", date("2026/01/01")},
        {"month 13", "Info.plist", "Last Backup Date", date("2026-13-01T00:00:00Z")},
        {"an empty date", "Info.plist", "Last Backup Date", "<date/>"},
        {"a bad status date", "Status.plist", "Date", date("2026-02-30T00:00:00Z")},
        {"a bad manifest date", "Manifest.plist", "Date", date("not even close")},
    };
    for (const auto &row : rows) {
        TempDir dir;
        const auto info = [](const std::string &extra) {
            return xmlPlist(key("Serial Number", text("S1")) + key("Device Name", text("Phone")) + extra);
        };
        writeFile(dir / "root/good/Info.plist", info(key("Last Backup Date", date("2020-01-01T00:00:00Z"))));
        const std::string bad = dir / "root/bad/";
        writeFile(bad + "Info.plist",
                  info(std::string(row.record) == "Info.plist" ? key(row.key, row.value)
                                                                : key("Last Backup Date", date("2019-01-01T00:00:00Z"))));
        if (std::string(row.record) != "Info.plist")
            writeFile(bad + row.record, xmlPlist(key(row.key, row.value)));
        const auto list = BackupInspector::inspect(noSize, utcDate("2026-06-01T00:00:00Z"), dir / "root",
                                                   std::set<std::string>{});
        ASSERT_EQ(list.size(), 2u) << row.name;
        for (const auto &b : list) {
            if (b.folderName == "bad") {
                EXPECT_FALSE(b.judgeable()) << row.name;
                EXPECT_EQ(b.verdict, DeviceBackup::Verdict::unknown()) << row.name;
                EXPECT_NE(b.evidence(mediumDate).find("could not be read as a date"), std::string::npos)
                    << row.name << ": " << b.evidence(mediumDate);
            } else {
                // The unreadable one may be the newer: the other is neither superseded nor old.
                EXPECT_EQ(b.verdict, DeviceBackup::Verdict::undecided()) << row.name;
            }
        }
    }
}

TEST(BackupJudging, DatesFrom2070OnKeepTheirYear) {
    TempDir dir;
    writeFile(dir / "b/Info.plist",
              xmlPlist(key("Serial Number", text("S")) + key("Last Backup Date", date("2071-03-04T00:00:00Z"))));
    writeFile(dir / "c/Info.plist", binaryPlist(xmlPlist(key("Serial Number", text("T")) +
                                                         key("Last Backup Date", date("2099-12-31T00:00:00Z")))));
    const DeviceBackup b = BackupInspector::read(dir / "b", "b"), c = BackupInspector::read(dir / "c", "c");
    ASSERT_TRUE(b.lastBackup && c.lastBackup);
    EXPECT_EQ(*b.lastBackup, utcDate("2071-03-04T00:00:00Z"));
    EXPECT_NE(mediumDate(*b.lastBackup).find("2071"), std::string::npos) << mediumDate(*b.lastBackup);
    EXPECT_EQ(*c.lastBackup, utcDate("2099-12-31T00:00:00Z"));
}
