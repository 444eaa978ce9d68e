// `--backups`, `--xcode` and `--cloud` end to end on fake homes.
#include <gtest/gtest.h>

#include "support/PlistFiles.h"
#include "engine/Bytes.h"
#include "platform/Date.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

std::map<std::string, std::string> envFor(const FakeHome &home) {
    return {{"HOME", home.path()}};
}

bool contains(const std::string &text, const std::string &piece) {
    return text.find(piece) != std::string::npos;
}

std::string isoDaysAgo(int days) {
    std::time_t t = std::time(nullptr) - static_cast<std::time_t>(days) * 86400;
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    return buffer;
}

void writeBackup(const std::string &folder, const std::string &info, bool binary) {
    writeFile(folder + "/Info.plist", binary ? binaryPlist(xmlPlist(info)) : xmlPlist(info));
}

} // namespace

TEST(BackupsCommand, ReadsXMLAndBinaryBackupsAndJudgesThem) {
    FakeHome home;
    const std::string root = home / "Library/Application Support/MobileSync/Backup";
    writeBackup(root + "/old-one",
                key("Device Name", text("Ann's iPhone")) + key("Product Type", text("iPhone14,2")) +
                    key("Serial Number", text("SER1")) + key("Last Backup Date", date(isoDaysAgo(100))),
                false);
    writeFileOfSize(root + "/old-one/data", 3'000'000);
    writeBackup(root + "/new-one",
                key("Device Name", text("Ann's iPhone")) + key("Product Type", text("iPhone14,2")) +
                    key("Product Version", text("17.5")) + key("Serial Number", text("SER1")) +
                    key("Last Backup Date", date(isoDaysAgo(2))),
                true);
    makeDirs(root + "/empty-one");
    writeFile(root + "/stray-file", "x");

    auto r = runSorvel({"--backups"}, envFor(home));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(contains(r.out, "\n  3 backups, ")) << r.out;
    EXPECT_TRUE(contains(r.out,
                         "   SUPERSEDED\n      iPhone 13 Pro\n      superseded \u2014 this same device was "
                         "backed up again on "))
        << r.out;
    EXPECT_TRUE(contains(r.out, "   CURRENT\n      iPhone 13 Pro \u00B7 iOS 17.5\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "  empty-one" + std::string(26, ' '))) << r.out;
    EXPECT_TRUE(
        contains(r.out, "   UNKNOWN\n      no device details recorded in this backup\n      empty-one\n"));
    EXPECT_TRUE(contains(r.out, " is superseded by a newer backup of the same device.\n"));
    EXPECT_TRUE(contains(r.out, "  Sorvel never removes backups:"));
    // The superseded backup is the largest, so it is listed first.
    EXPECT_LT(r.out.find("old-one"), r.out.find("new-one"));
}

TEST(BackupsCommand, RootArgumentWithTildeAndNothingThere) {
    FakeHome home;
    writeBackup(home / "elsewhere/b1", key("Display Name", text("Tablet")), false);
    auto r = runSorvel({"--backups", "~/elsewhere"}, envFor(home));
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "\n  1 backup, ")) << r.out;
    EXPECT_TRUE(contains(r.out, "  Tablet ")) << r.out;
    EXPECT_TRUE(contains(r.out, "  Nothing here is provably redundant.\n\n")) << r.out;

    r = runSorvel({"--backups"}, envFor(home));
    EXPECT_EQ(r.out, "\n  No local device backups on this computer.\n"
                     "  (If you expected some, this user may not be able to read them.)\n\n");
}

TEST(XcodeCommand, LiveMissingAndSharedBuildFolders) {
    FakeHome home;
    const std::string derived = home / "Library/Developer/Xcode/DerivedData";
    writeFile(home / "Code/Live/Live.xcodeproj/project.pbxproj", "x");
    auto info = [](const std::string &workspace) {
        return xmlPlist(key("WorkspacePath", text(workspace)) +
                        key("LastAccessedDate", date("2026-03-04T12:00:00Z")));
    };
    writeFile(derived + "/Live-abc/info.plist", info(home / "Code/Live/Live.xcodeproj"));
    writeFileOfSize(derived + "/Live-abc/Build/obj", 3'000'000);
    writeFile(derived + "/Gone-def/info.plist", binaryPlist(info(home / "Code/Gone/Gone.xcworkspace")));
    writeFileOfSize(derived + "/Gone-def/Build/obj", 2'000'000);
    writeFileOfSize(derived + "/ModuleCache.noindex/x", 1'000'000);
    makeDirs(home / "Library/Developer/Xcode/iOS DeviceSupport/16.4 (20E247)");
    makeDirs(home / "Library/Developer/Xcode/iOS DeviceSupport/16.4 (20E252)");

    auto r = runSorvel({"--xcode"}, envFor(home));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Measuring\u2026\n");
    EXPECT_TRUE(contains(r.out, "  DERIVED DATA \u2014 3 folders, 2 whose project no longer exists\n"))
        << r.out;
    const std::string when = mediumDate(dateFromUnixSeconds(1772625600)); // 2026-03-04 12:00 UTC
    EXPECT_TRUE(contains(r.out, "  Live-abc" + std::string(26, ' ') + "  " + when)) << r.out;
    EXPECT_TRUE(contains(r.out, "project still exists \u2014 deleting costs one rebuild\n"));
    EXPECT_TRUE(contains(r.out, "project no longer exists\n"));
    EXPECT_TRUE(contains(r.out, "  ModuleCache.noindex" + std::string(15, ' ') +
                                    "  unknown       shared Xcode cache"));
    EXPECT_TRUE(contains(r.out, "  \u00B7 ")); // the missing project's mark
    EXPECT_TRUE(contains(r.out, "  DEVICE SUPPORT \u2014"));
    EXPECT_TRUE(contains(r.out, "16.4 (20E247)" + std::string(21, ' ') +
                                    "superseded by a newer build for this device"));
    EXPECT_TRUE(contains(r.out, "16.4 (20E252)" + std::string(21, ' ') + "newest build for this device"));
    EXPECT_TRUE(contains(r.out, "\n  Lines marked \u00B7 are the ones Sorvel proposes removing.\n\n"));
    // The gone project and the shared cache make up the orphaned total.
    const auto goneLine = r.out.find(" belongs to projects that are gone.");
    ASSERT_NE(goneLine, std::string::npos);
}

TEST(CloudCommand, AccountListOnAFakeHome) {
    FakeHome home;
    auto r = runSorvel({"--cloud"}, envFor(home));
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "  Account: not signed in\n"));
    EXPECT_LT(r.out.find("Messages in iCloud"), r.out.find("iCloud Photos"));
    EXPECT_LT(r.out.find("iCloud Photos"), r.out.find("Desktop & Documents"));

    writeFile(home / "Library/Preferences/MobileMeAccounts.plist",
              binaryPlist(xmlPlist(key(
                  "Accounts",
                  "<array><dict>" + key("AccountID", text("ann@example.com")) +
                      key("Services",
                          "<array><dict>" + key("ServiceID", text("com.apple.Dataclass.CloudDesktop")) +
                              key("status", text("active")) + "</dict><dict>" +
                              key("ServiceID", text("com.apple.Dataclass.Messages")) + "</dict></array>") +
                      "</dict></array>"))));
    writeFile(home / "Library/Messages/Sync/sync.db", std::string(5000, 'x'));
    r = runSorvel({"--cloud"}, envFor(home));
    ASSERT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "  Account: ann@example.com\n")) << r.out;
    EXPECT_TRUE(
        contains(r.out, "  Messages in iCloud       On       inferred \u2014 verify before acting\n"));
    EXPECT_TRUE(contains(r.out, "\n      \u00B7 Messages keeps a " + Bytes::format(5000)));
    EXPECT_TRUE(
        contains(r.out, "  iCloud Photos            Off      inferred \u2014 verify before acting\n"));
    EXPECT_TRUE(contains(r.out, "  Desktop & Documents      On       read from your iCloud settings\n"));
    EXPECT_TRUE(contains(r.out, "  Sorvel cannot read most iCloud switches directly."));
}
