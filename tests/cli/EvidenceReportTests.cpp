// The printed forms of the backup, Xcode and iCloud evidence.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "cli/EvidenceCommands.h"
#include "engine/Bytes.h"

using namespace sorvel;
using Bytes::format;

namespace {

std::string padLeft(const std::string &s, size_t n) {
    return s.size() >= n ? s : std::string(n - s.size(), ' ') + s;
}

DeviceBackup backup(const std::string &folder, int64_t size, DeviceBackup::Verdict verdict) {
    DeviceBackup b;
    b.folderName = folder;
    b.path = "/b/" + folder;
    b.size = size;
    b.verdict = std::move(verdict);
    return b;
}

} // namespace

TEST(BackupsReport, NoBackups) {
    EXPECT_EQ(HeadlessReport::backupsReport({}),
              "\n  No local device backups on this computer.\n"
              "  (If you expected some, this user may not be able to read them.)\n\n");
}

TEST(BackupsReport, OneBackupSingularHeadingAndLayout) {
    auto b = backup("00008101-AAAA", 2'000'000, DeviceBackup::Verdict::current());
    b.deviceName = std::string(40, 'n');
    b.deviceName->replace(0, 7, "iPhone-");
    b.modelName = "iPhone 13 Pro";
    b.iosVersion = "17.5";
    std::string text = HeadlessReport::backupsReport({b});
    auto l = test::lines(text);
    ASSERT_GE(l.size(), 9u);
    EXPECT_EQ(l[0], "");
    EXPECT_EQ(l[1], "  1 backup, " + format(2'000'000) + " in total");
    EXPECT_EQ(l[2], "");
    EXPECT_EQ(l[3], "  \u2026" + std::string(33, 'n') + " " + padLeft(format(2'000'000), 10) + "   CURRENT");
    EXPECT_EQ(l[4], "      iPhone 13 Pro \u00B7 iOS 17.5");
    EXPECT_EQ(l[5], "      the newest backup for this device \u00B7 recently");
    EXPECT_EQ(l[6], "      00008101-AAAA");
    EXPECT_EQ(l[7], "");
    EXPECT_EQ(l[8], "  Nothing here is provably redundant.");
    EXPECT_EQ(l[9], "");
    EXPECT_EQ(l[10], "  Sorvel never removes backups: a backup is often the only copy of a");
    EXPECT_EQ(l.back(), "");
}

TEST(BackupsReport, SupersededTotalLeavesStaleOut) {
    auto a = backup("a", 3'000'000, DeviceBackup::Verdict::superseded("Jan 2, 2026"));
    auto b = backup("b", 2'000'000, DeviceBackup::Verdict::stale(400));
    b.deviceName = "";
    b.productType = "iPhone99,1";
    auto c = backup("c", 1'000'000, DeviceBackup::Verdict::unknown());
    std::string text = HeadlessReport::backupsReport({a, b, c});
    EXPECT_NE(text.find("\n  3 backups, " + format(6'000'000) + " in total\n"), std::string::npos);
    EXPECT_NE(text.find("LIKELY OLD DEVICE\n"), std::string::npos);
    EXPECT_NE(text.find("  iPhone99,1" + std::string(35 - 10, ' ')), std::string::npos);
    EXPECT_NE(text.find("   UNKNOWN\n"), std::string::npos);
    EXPECT_NE(
        text.find("\n  " + format(3'000'000) + " is superseded by a newer backup of the same device.\n"),
        std::string::npos);
    EXPECT_EQ(text.find("provably redundant"), std::string::npos);
}

// What could not be judged is labelled and said below the rows, never counted as current.
TEST(BackupsReport, BackupsNotReadWholeAreSaidAndNotCompared) {
    auto refused = backup("locked", 1'000'000, DeviceBackup::Verdict::unknown());
    refused.recordsRefused = true;
    auto malformed = backup("bad", 1'000'000, DeviceBackup::Verdict::unknown());
    malformed.recordsMalformed = true;
    auto closed = backup("closed", 0, DeviceBackup::Verdict::unknown());
    closed.readable = false;
    auto old = backup("old", 3'000'000, DeviceBackup::Verdict::superseded("Jan 2, 2026"));
    old.sizePartial = true;
    const auto open = backup("open", 2'000'000, DeviceBackup::Verdict::undecided());
    const std::string notCompared =
        " not compared: one that could not be read may be a newer\n  backup of the same device.\n";
    const struct {
        const char *name;
        std::vector<DeviceBackup> backups;
        std::vector<std::string> words;
        std::vector<std::string> absent;
    } rows[] = {
        {"a record locked", {refused, open},
         {"   NOT JUDGED  (partly read)\n", "   NOT COMPARED\n", "\n  1 backup was not read whole and is not judged.\n",
          "\n  1 backup is" + notCompared, "  Nothing here is provably redundant.\n"},
         {"CURRENT"}},
        {"a malformed record", {malformed, open}, {"   NOT JUDGED\n", "1 backup was not read whole"}, {"CURRENT"}},
        {"two not read, one superseded in part", {closed, refused, old, open},
         {"\n  2 backups were not read whole and are not judged.\n",
          "\n  " + format(3'000'000) + " is superseded by a newer backup of the same device.  (partly read)\n"},
         {"provably redundant"}},
        {"all read whole", {backup("a", 1, DeviceBackup::Verdict::current())}, {"   CURRENT\n"},
         {"not judged", "not compared"}},
    };
    for (const auto &row : rows) {
        const std::string text = HeadlessReport::backupsReport(row.backups);
        for (const auto &word : row.words)
            EXPECT_NE(text.find(word), std::string::npos) << row.name << ": no \"" << word << "\" in\n" << text;
        for (const auto &word : row.absent)
            EXPECT_EQ(text.find(word), std::string::npos) << row.name << ": \"" << word << "\" in\n" << text;
    }
}

namespace {

DeveloperEvidence::DerivedDataEntry entry(const std::string &name, int64_t size,
                                          std::optional<std::string> workspace, bool missing) {
    DeveloperEvidence::DerivedDataEntry e;
    e.folderName = name;
    e.path = "/dd/" + name;
    e.size = size;
    e.workspacePath = std::move(workspace);
    e.projectMissing = missing;
    return e;
}

} // namespace

TEST(XcodeReport, EmptyEvidence) {
    std::string rule;
    for (int i = 0; i < 74; ++i)
        rule += "\u2500";
    EXPECT_EQ(HeadlessReport::xcodeReport(DeveloperEvidence{}),
              "\n  Xcode caches\n  " + rule +
                  "\n  DERIVED DATA \u2014 0 folders, 0 whose project no longer exists\n"
                  "  Compiled objects, the source index behind autocomplete, module caches and build "
                  "logs.\n\n\n  " +
                  format(0) +
                  " belongs to projects that are gone.\n\n"
                  "  Lines marked \u00B7 are the ones Sorvel proposes removing.\n\n");
}

TEST(XcodeReport, RowsReasonsAndLimit) {
    DeveloperEvidence ev;
    ev.xcodeIsRunning = true;
    ev.derivedData.push_back(entry("ModuleCache.noindex", 9'000'000, "/gone/x.xcodeproj", true));
    ev.derivedData.push_back(entry("Gone-abc", 8'000'000, "/gone/y.xcodeproj", true));
    ev.derivedData.push_back(entry("Live-abc", 7'000'000, "/here/z.xcodeproj", false));
    ev.derivedData.push_back(entry("Plain-abc", 6'000'000, std::nullopt, false));
    for (int i = 0; i < 16; ++i)
        ev.derivedData.push_back(entry("More" + std::to_string(i), 10, std::nullopt, false));
    DeveloperEvidence::DeviceSupportEntry ds;
    ds.name = "16.4 (20E247)";
    ds.size = 100;
    ds.superseded = true;
    ev.deviceSupport = {ds};
    auto l = test::lines(HeadlessReport::xcodeReport(ev));
    EXPECT_EQ(l[3], "  Xcode is running \u2014 quit it before removing anything it may rewrite.");
    EXPECT_EQ(l[5], "  DERIVED DATA \u2014 20 folders, 2 whose project no longer exists");
    const std::string unknown = "unknown" + std::string(7, ' ');
    EXPECT_EQ(l[8], "  \u00B7 " + padLeft(format(9'000'000), 10) + "  ModuleCache.noindex" +
                        std::string(15, ' ') + "  " + unknown +
                        "shared Xcode cache \u2014 rebuilt on demand");
    EXPECT_EQ(l[9].substr(0, 4), "  \u00B7");
    EXPECT_NE(l[9].find("project no longer exists"), std::string::npos);
    EXPECT_NE(l[10].find("project still exists \u2014 deleting costs one rebuild"), std::string::npos);
    EXPECT_EQ(l[10].substr(0, 4), "    ");
    EXPECT_NE(l[11].find("no project recorded"), std::string::npos);
    EXPECT_EQ(l[22], "    \u2026 and 6 more");
    EXPECT_EQ(l[24], "  " + format(17'000'000) + " belongs to projects that are gone.");
    EXPECT_EQ(l[26], "  DEVICE SUPPORT \u2014 symbols copied off each device so crash logs can be read");
    EXPECT_EQ(l[27], "  \u00B7 " + padLeft(format(100), 10) + "  16.4 (20E247)" + std::string(34 - 13, ' ') +
                         "superseded by a newer build for this device");
}

TEST(XcodeReport, ExactlyFourteenHasNoRemainder) {
    DeveloperEvidence ev;
    for (int i = 0; i < 14; ++i)
        ev.derivedData.push_back(entry("F" + std::to_string(i), 1, std::nullopt, false));
    EXPECT_EQ(HeadlessReport::xcodeReport(ev).find("\u2026 and"), std::string::npos);
}

TEST(CloudReport, ServicesInOrderWithEvidence) {
    CloudStatus s;
    s.messages =
        CloudService{"Messages in iCloud", CloudState::on, false, {"Sentence one.", "Sentence two."}};
    s.photos = CloudService{"iCloud Photos", CloudState::unknown, false, {}};
    s.desktopAndDocuments = CloudService{"Desktop & Documents", CloudState::off, true, {"Read."}};
    auto l = test::lines(HeadlessReport::cloudReport(s));
    std::string rule;
    for (int i = 0; i < 68; ++i)
        rule += "\u2500";
    EXPECT_EQ(l[0], "");
    EXPECT_EQ(l[1], "  iCloud");
    EXPECT_EQ(l[2], "  " + rule);
    EXPECT_EQ(l[3], "  Account: not signed in");
    EXPECT_EQ(l[4], "");
    EXPECT_EQ(l[5], "  Messages in iCloud       On       inferred \u2014 verify before acting");
    EXPECT_EQ(l[6], "      \u00B7 Sentence one.");
    EXPECT_EQ(l[7], "      \u00B7 Sentence two.");
    EXPECT_EQ(l[8], "");
    EXPECT_EQ(l[9], "  iCloud Photos            Unknown  could not determine");
    EXPECT_EQ(l[10], "");
    EXPECT_EQ(l[11], "  Desktop & Documents      Off      no iCloud account on this computer"); // none to read

    EXPECT_EQ(l[12], "      \u00B7 Read.");
    EXPECT_EQ(l[14], "  Sorvel cannot read most iCloud switches directly. Where this says");
    EXPECT_EQ(l[15], "  \"inferred\", confirm under Settings \u2192 your name \u2192 iCloud on a device");
    EXPECT_EQ(l[16], "  signed in to your account before deleting anything.");
    EXPECT_EQ(l[17], "");
    EXPECT_EQ(l.size(), 18u);
    s.accountID = "someone@example.org";
    EXPECT_EQ(test::lines(HeadlessReport::cloudReport(s))[11],
              "  Desktop & Documents      Off      read from your iCloud settings");
}

TEST(CloudReport, LongEvidenceWrapsWithTheBulletAsItsFirstWord) {
    CloudStatus s;
    s.photos = CloudService{"iCloud Photos",
                            CloudState::unknown,
                            false,
                            {"Your iCloud account supports Photos, but whether the library on this Mac syncs is "
                             "only visible inside Photos \u2192 Settings \u2192 iCloud."}};
    auto l = test::lines(HeadlessReport::cloudReport(s));
    ASSERT_GE(l.size(), 12u);
    EXPECT_EQ(l[7], "  iCloud Photos            Unknown  could not determine");
    EXPECT_EQ(l[8], "      \u00B7 Your iCloud account supports Photos, but whether the library on");
    EXPECT_EQ(l[9], "      this Mac syncs is only visible inside Photos \u2192 Settings \u2192 iCloud.");
    EXPECT_EQ(l[10], "");
}

// A build folder whose record is refused is counted in neither verdict, and said in the heading.
TEST(XcodeReport, ARefusedRecordIsSaidInTheHeadingAndItsRow) {
    DeveloperEvidence ev;
    ev.derivedData.push_back(entry("Gone-abc", 8'000'000, "/gone/y.xcodeproj", true));
    ev.derivedData.back().reading = Reading::partial; // a folder inside it refused: the total is a lower bound
    auto refused = entry("Locked-abc", 7'000'000, std::nullopt, false);
    refused.reading = Reading::partial;
    refused.recordRefused = true;
    ev.derivedData.push_back(refused);
    const std::string text = HeadlessReport::xcodeReport(ev);
    for (const std::string &word : std::vector<std::string>{
         "DERIVED DATA \u2014 2 folders, 1 whose project no longer exists, 1 whose project record is not readable by "
          "this user\n",
          "project record not readable by this user  (partly read)\n",
          "\n  " + format(8'000'000) + " belongs to projects that are gone.  (partly read)\n"})
        EXPECT_NE(text.find(word), std::string::npos) << word << "\n" << text;
    ev.derivedData.front().reading = Reading::whole;
    EXPECT_NE(HeadlessReport::xcodeReport(ev).find("are gone.\n"), std::string::npos); // the refused record leaves the sum whole
}
