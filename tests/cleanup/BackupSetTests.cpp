// Judging backups against each other only over those read whole: one whose records this
// user may not read (or that are no property list) is not judged, and no backup it might
// be newer than is called the newest or old.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "cleanup/BackupEvidence.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

const Date kNow = utcDate("2026-06-10T00:00:00Z");

struct Backup {
    std::string folder;
    std::string serial;             // empty: none
    std::string infoDate;           // Info.plist's date, empty: none
    std::string statusDate;         // Status.plist's date, empty: no Status.plist
    std::string locked;             // "Info.plist", "Manifest.plist", "Status.plist", "folder" or ""
    std::string malformed = {};     // a record that is no property list, or ""
    bool anonymous = false;         // Info.plist names no device
};

void write(const std::string &root, const Backup &b) {
    const std::string dir = root + "/" + b.folder;
    std::string info = key("Device Name", text("Phone"));
    if (!b.anonymous)
        info += key("Product Type", text("iPhone14,2"));
    if (!b.serial.empty())
        info += key("Serial Number", text(b.serial));
    if (!b.infoDate.empty())
        info += key("Last Backup Date", date(b.infoDate));
    writeFile(dir + "/Info.plist", xmlPlist(info));
    writeFile(dir + "/Manifest.plist", xmlPlist(key("IsEncrypted", "<false/>")));
    if (!b.statusDate.empty())
        writeFile(dir + "/Status.plist", xmlPlist(key("Date", date(b.statusDate))));
    if (!b.malformed.empty())
        writeFile(dir + "/" + b.malformed, "<plist><dict><key>Date</key><da");
    if (b.locked == "folder")
        chmod(dir.c_str(), 0700);
    else if (!b.locked.empty())
        chmod((dir + "/" + b.locked).c_str(), 0600);
}

const std::string kRefused = "its records are not readable by this user, so it is not judged";
const std::string kMalformed = "a record of it could not be read as a property list, so it is not judged";
std::string undecided(const std::string &iso) {
    return "last backed up " + mediumDate(utcDate(iso)) +
           " \u2014 not known to be the newest for this device: a backup here that could not be read may be a "
           "newer one";
}
std::string superseded(const std::string &iso) {
    return "superseded \u2014 this same device was backed up again on " + mediumDate(utcDate(iso));
}
std::string current(const std::string &iso) { return "the newest backup for this device \u00B7 " + mediumDate(utcDate(iso)); }

} // namespace

TEST(BackupSet, OnlyBackupsReadWholeAreCompared) {
    const struct Row {
        const char *name;
        std::vector<Backup> backups;
        std::map<std::string, std::string> evidence; // folder -> its evidence text
    } rows[] = {
        {"a later Status.plist locked",
         {{"locked", "S", "2026-01-01T00:00:00Z", "2026-06-01T00:00:00Z", "Status.plist"},
          {"open", "S", "2026-03-01T00:00:00Z", "", ""}},
         {{"locked", kRefused}, {"open", undecided("2026-03-01T00:00:00Z")}}},
        {"Info.plist locked: any device",
         {{"locked", "S", "2026-01-01T00:00:00Z", "", "Info.plist"},
          {"one", "S", "2026-03-01T00:00:00Z", "", ""},
          {"other", "T", "2026-03-02T00:00:00Z", "", ""}},
         {{"locked", kRefused}, {"one", undecided("2026-03-01T00:00:00Z")}, {"other", undecided("2026-03-02T00:00:00Z")}}},
        {"a locked backup folder: any device",
         {{"locked", "S", "2026-01-01T00:00:00Z", "", "folder"}, {"open", "T", "2026-03-01T00:00:00Z", "", ""}},
         {{"locked", "not readable by this user"}, {"open", undecided("2026-03-01T00:00:00Z")}}},
        {"Manifest.plist locked: only its own device",
         {{"locked", "S", "2026-01-01T00:00:00Z", "", "Manifest.plist"},
          {"same", "S", "2026-03-01T00:00:00Z", "", ""},
          {"other", "T", "2026-03-01T00:00:00Z", "", ""}},
         {{"locked", kRefused}, {"same", undecided("2026-03-01T00:00:00Z")}, {"other", current("2026-03-01T00:00:00Z")}}},
        {"a newer backup read whole still supersedes",
         {{"locked", "S", "2026-01-01T00:00:00Z", "2026-06-01T00:00:00Z", "Status.plist"},
          {"old", "S", "2026-01-01T00:00:00Z", "", ""},
          {"new", "S", "2026-03-01T00:00:00Z", "", ""}},
         {{"locked", kRefused}, {"old", superseded("2026-03-01T00:00:00Z")}, {"new", undecided("2026-03-01T00:00:00Z")}}},
        {"a stale one is not called old either",
         {{"locked", "S", "2024-01-01T00:00:00Z", "2024-06-01T00:00:00Z", "Status.plist"},
          {"open", "S", "2024-03-01T00:00:00Z", "", ""}},
         {{"locked", kRefused}, {"open", undecided("2024-03-01T00:00:00Z")}}},
        {"a malformed Status.plist",
         {{"bad", "S", "2026-01-01T00:00:00Z", "", "", "Status.plist"}, {"open", "S", "2026-03-01T00:00:00Z", "", ""}},
         {{"bad", kMalformed}, {"open", undecided("2026-03-01T00:00:00Z")}}},
        {"a malformed Info.plist",
         {{"bad", "", "", "", "", "Info.plist"}, {"open", "T", "2026-03-01T00:00:00Z", "", ""}},
         {{"bad", kMalformed}, {"open", undecided("2026-03-01T00:00:00Z")}}},
        {"a record refused in a backup that names no device",
         {{"nameless", "", "2026-01-01T00:00:00Z", "2026-06-01T00:00:00Z", "Status.plist", "", true},
          {"open", "S", "2026-03-01T00:00:00Z", "", ""}},
         {{"nameless", kRefused}, {"open", current("2026-03-01T00:00:00Z")}}},
        {"all read whole",
         {{"old", "S", "2026-01-01T00:00:00Z", "", ""}, {"new", "S", "2026-01-01T00:00:00Z", "2026-03-01T00:00:00Z", ""}},
         {{"old", superseded("2026-03-01T00:00:00Z")}, {"new", current("2026-03-01T00:00:00Z")}}},
    };
    for (const Row &row : rows) {
        TempDir dir;
        const std::string root = dir / "Backup";
        makeDirs(root);
        for (const Backup &b : row.backups)
            write(root, b);
        const int status = runAsUnprivileged([&] {
            auto list = BackupInspector::inspect([](const std::string &) { return Measured::wholeRead(4096); }, kNow, root,
                                                 std::set<std::string>{"unpaired"});
            int bad = list.size() == row.evidence.size() ? 0 : 1;
            for (const auto &b : list) {
                // Judged here without a pairing record: "current" takes the unpaired wording.
                const std::string got = b.evidence(mediumDate);
                auto want = row.evidence.find(b.folderName);
                if (want == row.evidence.end() || got != want->second) {
                    std::fprintf(stderr, "%s: %s reads \"%s\"\n", row.name, b.folderName.c_str(), got.c_str());
                    bad = 1;
                }
            }
            return bad;
        });
        runCommand({"chmod", "-R", "u+rwX,go+rX", dir.path()});
        EXPECT_EQ(status, 0) << row.name;
    }
}

// A record that is there but fails to open is not absent: only one that does not exist is.
TEST(BackupSet, ARecordThatFailsToOpenIsNotAbsent) {
    const std::string loop = std::string("a record of it could not be read (") + std::strerror(ELOOP) +
                             "), so it is not judged";
    const struct Row {
        const char *name;
        const char *record;                 // replaced by a symbolic link
        std::string target;                 // where the link points; "" for itself
        std::map<std::string, std::string> evidence;
    } rows[] = {
        {"Info.plist a link to itself", "Info.plist", "",
         {{"failing", loop}, {"older", undecided("2026-03-01T00:00:00Z")}}},
        {"Status.plist a link to itself", "Status.plist", "",
         {{"failing", loop}, {"older", undecided("2026-03-01T00:00:00Z")}}},
        {"Info.plist a link into a refused folder", "Info.plist", "closed/Info.plist",
         {{"failing", kRefused}, {"older", undecided("2026-03-01T00:00:00Z")}}},
        {"Info.plist a link to nothing: absent", "Info.plist", "nowhere/Info.plist",
         {{"failing", "no device details recorded in this backup"}, {"older", current("2026-03-01T00:00:00Z")}}},
        {"Status.plist a link to nothing: absent", "Status.plist", "nowhere/Status.plist",
         {{"failing", current("2026-05-01T00:00:00Z")}, {"older", superseded("2026-05-01T00:00:00Z")}}},
    };
    for (const Row &row : rows) {
        TempDir dir;
        const std::string root = dir / "Backup";
        makeDirs(root);
        write(root, {"failing", "S", "2026-05-01T00:00:00Z", "2026-05-01T00:00:00Z", ""});
        write(root, {"older", "S", "2026-03-01T00:00:00Z", "", ""});
        writeFile(dir / "closed/Info.plist", xmlPlist(key("Device Name", text("Phone"))));
        ASSERT_EQ(chmod((dir / "closed").c_str(), 0700), 0);
        const std::string record = root + "/failing/" + row.record;
        std::remove(record.c_str());
        ASSERT_EQ(symlink(row.target.empty() ? record.c_str() : (dir / row.target).c_str(), record.c_str()), 0);
        const int status = runAsUnprivileged([&] {
            auto list = BackupInspector::inspect([](const std::string &) { return Measured::wholeRead(4096); }, kNow, root,
                                                 std::set<std::string>{"unpaired"});
            int bad = list.size() == row.evidence.size() ? 0 : 1;
            for (const auto &b : list) {
                const std::string got = b.evidence(mediumDate);
                auto want = row.evidence.find(b.folderName);
                if (want == row.evidence.end() || got != want->second) {
                    std::fprintf(stderr, "%s: %s reads \"%s\"\n", row.name, b.folderName.c_str(), got.c_str());
                    bad = 1;
                }
            }
            return bad;
        });
        runCommand({"chmod", "-R", "u+rwX,go+rX", dir.path()});
        EXPECT_EQ(status, 0) << row.name;
    }
}

// The pure judging: a backup not read whole takes no part and blocks only what it may be.
TEST(BackupSet, JudgingWithoutTheFileSystem) {
    auto dated = [](const std::string &folder, const std::string &serial, const std::string &iso) {
        DeviceBackup b;
        b.folderName = folder;
        b.serialNumber = serial;
        b.lastBackup = utcDate(iso);
        return b;
    };
    auto closed = dated("closed", "", "2026-01-01T00:00:00Z");
    closed.readable = false;
    auto partly = dated("partly", "S", "2026-02-01T00:00:00Z");
    partly.sizePartial = true; // its size is a lower bound, its records were read whole
    std::vector<DeviceBackup> list{dated("a", "S", "2026-01-01T00:00:00Z"), partly};
    BackupInspector::judge(list, kNow);
    EXPECT_EQ(list[0].verdict.kind, DeviceBackup::Verdict::Kind::superseded);
    EXPECT_EQ(list[1].verdict, DeviceBackup::Verdict::current());

    list.push_back(closed);
    BackupInspector::judge(list, kNow);
    EXPECT_EQ(list[0].verdict.kind, DeviceBackup::Verdict::Kind::superseded);
    EXPECT_EQ(list[1].verdict, DeviceBackup::Verdict::undecided());
    EXPECT_EQ(list[2].verdict, DeviceBackup::Verdict::unknown());
    EXPECT_EQ(list[2].evidence(mediumDate), "not readable by this user");
}
