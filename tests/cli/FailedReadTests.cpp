// Reads that failed in ways other than a refused folder: a record that is there but will not
// open, a folder of apps that will not list. Each is said; none passes for absent or for 0.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/AppsCommand.h"
#include "cli/CommandAsUser.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

using Prepare = std::function<void(const std::string& home)>;

const std::string kBackups = "Library/Application Support/MobileSync/Backup";

std::string info(const std::string& when) {
    return "<plist><dict><key>Serial Number</key><string>S</string><key>Device Name</key><string>P</string>"
           "<key>Last Backup Date</key><date>" + when + "</date></dict></plist>";
}

// Two backups of one device; the newer one's Info.plist is replaced by a link to `target`
// ("" for the link itself).
Prepare newerRecordLinked(const std::string& target) {
    return [=](const std::string& h) {
        const std::string root = h + "/" + kBackups;
        test::writeFile(root + "/older/Info.plist", info("2026-01-01T00:00:00Z"));
        test::writeFile(root + "/newer/Status.plist",
                        "<plist><dict><key>Date</key><date>2026-03-01T00:00:00Z</date></dict></plist>");
        test::writeFile(h + "/closed/Info.plist", info("2026-03-01T00:00:00Z"));
        ASSERT_EQ(chmod((h + "/closed").c_str(), 0700), 0);
        const std::string record = root + "/newer/Info.plist";
        ASSERT_EQ(symlink(target.empty() ? record.c_str() : (h + "/" + target).c_str(), record.c_str()), 0);
    };
}

// An apps folder this user may not list, with an app in it, beside a readable Library.
void appsFolderClosed(const std::string& h) {
    test::writeFile(h + "/Applications/Hidden.app/Contents/Info.plist", "<plist><dict/></plist>");
    test::makeDirs(h + "/Library/Caches");
    ASSERT_EQ(chmod((h + "/Applications").c_str(), 0700), 0);
}

} // namespace

TEST(FailedReads, CommandsSayWhatDidNotOpen) {
    const std::vector<test::CommandAsUser> rows{
        {"backups, the newer Info.plist a link loop", {"--backups", "~/" + kBackups}, newerRecordLinked(""),
         {"   NOT JUDGED\n", "a record of it could not be read (Too many levels of symbolic\n      links), so it is not judged\n",
          "  1 backup was not read whole and is not judged.\n", "   NOT COMPARED\n"},
         {"CURRENT", "no device details recorded", "the newest backup for this device"}, 0},
        {"backups, the newer Info.plist a link into a refused folder", {"--backups", "~/" + kBackups},
         newerRecordLinked("closed/Info.plist"),
         {"NOT JUDGED", "its records are not readable by this user", "  1 backup was not read whole"},
         {"CURRENT", "no device details recorded"}, 0},
        {"backups, a link to nothing is an absent record", {"--backups", "~/" + kBackups},
         newerRecordLinked("nowhere/Info.plist"), {"no device details recorded", "CURRENT"}, {"NOT JUDGED"}, 0},
        {"apps, the apps folder not listable", {"--apps"}, appsFolderClosed,
         {"\n  The apps folder ~/Applications could not be read by this user: the apps\n  in it are not counted.\n"
          "  0 apps in the folders read, 0 listed, 0 needing an administrator to remove\n",
          "  0 apps in the folders read, 0 listed, 0 needing an administrator to remove\n",
          " sits outside the bundles of the apps read.\n"},
         {"0 apps, ", "sits outside the app bundles themselves."}, 0},
    };
    for (const auto& row : rows) test::expectCommandAsUser(row);
}

TEST(FailedReads, AppsReportCountsOnlyTheFoldersRead) {
    InstalledApp unread;
    unread.name = "Unread";
    unread.bundlePath = "/opt/apps/Unread.app";
    unread.identityUnread = true;
    unread.removability = InstalledApp::Removability::removable();
    const struct Row {
        const char* name;
        std::vector<InstalledApp> apps;
        std::vector<std::string> unreadApps;
        std::string heading;                 // the first line with a count
        std::string note;                    // the line before it, "" for none
        const char* total;                   // the end of the total's sentence
    } rows[] = {
        {"all read", {}, {}, "  0 apps, 0 listed, 0 needing an administrator to remove", "",
         " sits outside the app bundles themselves."},
        {"an unread bundle is no unlisted folder", {unread}, {unread.bundlePath},
         "  1 app, 1 listed, 0 needing an administrator to remove", "", " sits outside the app bundles themselves."},
        {"one folder", {unread}, {unread.bundlePath, "/srv/Applications"},
         "  1 app in the folders read, 1 listed, 0 needing an administrator to remove",
         "  The apps folder /srv/Applications could not be read by this user: the",
         " sits outside the bundles of the apps read."},
        {"three folders", {}, {"/a", "/b", "/c"},
         "  0 apps in the folders read, 0 listed, 0 needing an administrator to remove",
         "  The apps folders /a, /b and /c could not be read by this user: the apps",
         " sits outside the bundles of the apps read."},
    };
    for (const Row& row : rows) {
        const auto out = test::lines(HeadlessReport::appsReport(row.apps, 0, row.unreadApps));
        size_t heading = 0;
        while (heading < out.size() && out[heading] != row.heading) ++heading;
        ASSERT_LT(heading, out.size()) << row.name;
        EXPECT_EQ(heading == 0 ? std::string() : out[0], row.note) << row.name;
        const std::string total = Bytes::format(0) + row.total;
        EXPECT_TRUE(std::any_of(out.begin(), out.end(), [&](const std::string& l) { return l == "  " + total; }))
            << row.name;
    }
}
