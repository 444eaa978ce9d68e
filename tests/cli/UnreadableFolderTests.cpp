// What the commands say when this user may not read what they measure, list or watch:
// the refusal with its count or its reason, never a plain zero.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/CommandAsUser.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

using Prepare = std::function<void(const std::string& home)>;

// Made by root: to the unprivileged user it belongs to another user.
Prepare locked(const std::string& folder, mode_t mode) {
    return [=](const std::string& home) {
        const std::string path = folder.empty() ? home : home + "/" + folder;
        test::writeFile(path + "/inside", "data");
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
    };
}

Prepare both(Prepare a, Prepare b) {
    return [=](const std::string& home) {
        a(home);
        b(home);
    };
}

struct Row {
    const char* name;
    std::vector<std::string> args;  // "~" stands for the fake home
    Prepare setUp;
    std::vector<std::string> words; // each somewhere in the output or the errors
    int status;
    int lines = 0;                  // read only the first lines (a watch runs on), 0: all
    std::vector<std::string> absent = {}; // none of them anywhere in the output or the errors
};

// A backup folder with one backup this user may read and one it may not.
Prepare backupsWithOneLocked(const std::string& folder) {
    return both([=](const std::string& home) { test::writeFileOfSize(home + "/" + folder + "/open-one/data", 8192); },
                locked(folder + "/locked-one", 0700));
}

const std::string kBackups = "Library/Application Support/MobileSync/Backup";

// A folder with a file, and a locked folder beside it.
Prepare readInPart(const std::string& folder) {
    return both([=](const std::string& h) { test::writeFileOfSize(h + "/" + folder + "/blob", 6'000'000); },
                locked(folder + "/locked", 0700));
}

// The same, the folder itself and the Trash's folder the user's: a move of it could go.
Prepare movableInPart(const std::string& folder) {
    return both(readInPart(folder), [=](const std::string& h) {
        test::makeDirs(h + "/.local/share");
        for (const std::string& path : {h + "/" + folder, h + "/.local/share"})
            ASSERT_EQ(test::runCommand({"/bin/chown", "65534:65534", path}).status, 0);
    });
}

} // namespace

TEST(UnreadableFolders, AreSaidWithTheirReasonNeverShownAsZero) {
    const Prepare mail = locked("Library/Mail", 0744), library = locked("Library", 0), home = locked("", 0);
    const Prepare chrome = both([](const std::string& h) { test::writeFileOfSize(h + "/Library/Caches/open/f", 4096); },
                              locked("Library/Caches/com.google.Chrome", 0744));
    const Prepare nothing = [](const std::string&) {};
    const std::string notCounted = "Not counted: 1 folder not readable by this user";
    const Row rows[] = {
        {"access", {"--access"}, mail, {"[BLOCKED] ~/Library/Mail", "blocked: 1"}, 0},
        {"insights", {"--insights", "~/Library/Mail"}, mail, {"Cannot read: ~/Library/Mail (Permission denied)"}, 1},
        {"insights partly", {"--insights", "~/Library/Caches"}, chrome, {notCounted}, 0},
        {"size", {"--size", "~/Library/Caches"}, chrome,
         {"\u2014      com.google.Chrome  (not readable by this user)\n", notCounted}, 0},
        {"size, past the kept depth", {"--size", "~/deep"}, locked("deep/1/2/3/4/5/6/7/8/9/10/11/12/locked", 0),
         {"\u2014      1  (not readable by this user)\n", notCounted}, 1},
        {"watch", {"--watch", "~/Library/Mail"}, mail, {"Cannot read: ", "/Library/Mail (Permission denied)"}, 1},
        {"watch closed", {"--watch", "~/Library"}, library, {"Cannot read: ", "/Library (Permission denied)"}, 1},
        {"watch partly", {"--watch", "~/Library/Caches"}, chrome, {"1 file  (1 folder not readable by this user)\n"},
         141, 2},
        {"plan, home", {"--plan"}, home, {"Cannot read: ~ (Permission denied)"}, 1},
        {"plan, library", {"--plan"}, library, {"Cannot read: ~/Library (Permission denied)"}, 1},
        {"plan partly", {"--plan"}, chrome, {"Not looked at: 1 folder not readable by this user"}, 0},
        {"xcode", {"--xcode"}, library, {"Cannot read: ~/Library (Permission denied)"}, 1},
        {"xcode partly", {"--xcode"},
         both([](const std::string& h) { test::makeDirs(h + "/Library/Developer/Xcode/DerivedData/App-abc"); },
              locked("Library/Developer/Xcode/iOS DeviceSupport", 0744)),
         {"Not looked at: ~/Library/Developer/Xcode/iOS DeviceSupport (not readable by this user)", notCounted,
          "DERIVED DATA \u2014 1 folder,"}, 0},
        {"apps", {"--apps"}, home, {"Cannot read: ~ (Permission denied)"}, 1},
        {"apps partly", {"--apps"},
         both([](const std::string& h) { test::makeDirs(h + "/Applications/Tool.app"); },
              locked("Library/Preferences", 0744)),
         {"1 app,", notCounted}, 0},
        {"report json", {"--report", "--json"}, chrome,
         {"\"unreadableFolders\" : 1,", "\"accessDenied\" : true", "\"partlyUnreadable\" : true"}, 0},
        {"report partly", {"--report"}, chrome, {"Caches & Temp", "(partly unreadable: 1 folder)\n"}, 0},
        {"report, library", {"--report"}, library, {"Cannot read: ~/Library (Permission denied)"}, 1},
        {"backups missing", {"--backups", "~/Gone"}, nothing, {"No such path: ~/Gone\n"}, 1},
        {"backups file", {"--backups", "~/f"}, [](const std::string& h) { test::writeFile(h + "/f", "x"); },
         {"Not a folder: ~/f\n"}, 1},
        {"backups fifo", {"--backups", "~/f"},
         [](const std::string& h) { ASSERT_EQ(mkfifo((h + "/f").c_str(), 0644), 0); }, {"Not a folder: ~/f\n"}, 1},
        {"backups locked", {"--backups", "~/Backup"}, locked("Backup", 0744),
         {"Cannot read: ~/Backup (Permission denied)"}, 1},
        // Not read is no figure: no 0 KB size, no verdict, no target, no "not signed in".
        {"apps, a locked bundle", {"--apps"}, locked("Applications/Locked.app", 0700),
         {"Locked" + std::string(28, ' ') + "not readable  ~/Applications/Locked.app  [admin]\n"}, 0},
        {"cloud, home closed", {"--cloud"}, home, {"  Account: could not be read\n"}, 0, 0, {"not signed in"}},
        {"backups, one locked", {"--backups", "~/Backup"}, backupsWithOneLocked("Backup"),
         {"\n  2 backups, ", " in the 1 this user may read\n",
          "  locked-one" + std::string(25, ' ') + "not readable by this user\n      locked-one\n\n"},
         0},
        {"report, a locked backup", {"--report"}, backupsWithOneLocked("Library/Application Support/MobileSync/Backup"),
         {"] iPhone & iPad backups", "/MobileSync/Backup/open-one\n",
          "\u2014  ~/Library/Application Support/MobileSync/Backup/locked-one  (not readable by this user)"},
         0, 0, {"KB  ~/Library/Application Support/MobileSync/Backup/locked-one"}},
        {"report json, a locked backup", {"--report", "--json"},
         backupsWithOneLocked("Library/Application Support/MobileSync/Backup"),
         {"\"id\" : \"ios-backups\"", "/MobileSync/Backup/open-one\"", "\"notReadablePaths\" : [\n"}, 0},
        {"backups, standard folder locked", {"--backups"}, locked("Library/Application Support/MobileSync/Backup", 0),
         {"Cannot read: ~/Library/Application Support/MobileSync/Backup (Permission denied)"}, 1},
        // Nothing read inside counts as locked; read in part is said beside the figure.
        {"apps, Contents locked", {"--apps"}, locked("Applications/Inner.app/Contents", 0700),
         {"Inner" + std::string(29, ' ') + "not readable  ~/Applications/Inner.app"}, 0, 0, {"KB   ~/Applications/Inner"}},
        {"apps, read in part", {"--apps"},
         both(readInPart("Applications/Board.app/Contents"), readInPart("Library/Application Support/Board")),
         {"~/Applications/Board.app  [admin]  (partly read)\n", "matches the app's name (partly read)\n"}, 0},
        {"xcode, a locked build folder", {"--xcode"},
         both([](const std::string& h) { test::makeDirs(h + "/Library/Developer/Xcode/DerivedData/App-abc"); },
              locked("Library/Developer/Xcode/DerivedData/Locked-xyz", 0700)),
         {"DERIVED DATA \u2014 1 folder, 0 whose project no longer exists; 1 more not readable by this user",
          "Locked-xyz" + std::string(26, ' ') + "not readable by this user"}, 0, 0, {"KB  Locked-xyz", "2 folders"}},
        {"backups, a record locked", {"--backups", "~/" + kBackups}, [](const std::string& h) {
             const std::string record = h + "/" + kBackups + "/second/Info.plist";
             for (const char* b : {"/first/data", "/second/data"}) test::writeFileOfSize(h + "/" + kBackups + b, 8192);
             test::writeFile(record, "<plist><dict><key>Device Name</key><string>P</string></dict></plist>");
             ASSERT_EQ(chmod(record.c_str(), 0600), 0);
         }, {"1 of them read only in part", "NOT JUDGED  (partly read)", "its records are not readable by this user"},
         0, 0, {"no device details recorded in this backup\n      second"}},
        // The newer backup's status record is locked: the other is not called the newest.
        {"backups, a later status locked", {"--backups", "~/" + kBackups}, [](const std::string& h) {
             auto info = [](const std::string& when) {
                 return "<plist><dict><key>Serial Number</key><string>S</string><key>Device Name</key><string>P</string>"
                        "<key>Last Backup Date</key><date>" + when + "</date></dict></plist>";
             };
             const std::string root = h + "/" + kBackups;
             test::writeFile(root + "/first/Info.plist", info("2026-01-01T00:00:00Z"));
             test::writeFile(root + "/first/Status.plist",
                             "<plist><dict><key>Date</key><date>2026-06-01T00:00:00Z</date></dict></plist>");
             test::writeFile(root + "/second/Info.plist", info("2026-03-01T00:00:00Z"));
             ASSERT_EQ(chmod((root + "/first/Status.plist").c_str(), 0600), 0);
         }, {"   NOT COMPARED\n", "not known to be the newest for this", "   NOT JUDGED  (partly read)\n",
             "  1 backup was not read whole and is not judged.\n", "  1 backup is not compared: "},
         0, 0, {"CURRENT", "the newest backup for this device \u00B7"}},
        {"report, every backup locked", {"--report"}, locked(kBackups + "/first", 0700),
         {"[review] iPhone & iPad backups \u2014 not readable by this user\n",
          "/MobileSync/Backup/first  (not readable by this user)\n",
          "App Support" + std::string(20, ' ') + "\u2014" + std::string(16, ' ') + "\u2014  (not readable by this user)\n"},
         0},
        // The category is read in part: its one "true" is its top entry's.
        {"report json, a locked folder among the top", {"--report", "--json"}, readInPart("Library/Caches"),
         {"\"notReadable\" : true,\n"}, 0},
        {"report, a cache read in part", {"--report"}, movableInPart("Library/Caches/com.example.app"),
         {"  ~/Library/Caches/com.example.app  (partly read)\n"}, 0},
        {"plan, a cache read in part", {"--plan"}, movableInPart("Library/Caches/com.example.app"),
         {"~/Library/Caches/com.example.app", "  (partly read)\n"}, 0},
        {"insights, largest beside a locked folder", {"--insights", "~/top"}, readInPart("top"),
         {"  LARGEST FILES  (of what this user could read)\n"}, 0},
        // Nothing under it read: said, and the status of a path that cannot be read.
        {"insights, a folder of locked folders", {"--insights", "~/top"}, locked("top/locked", 0700),
         {"  not readable by this user \u00B7 ", "Cannot read anything under ~/top (Permission denied)\n"}, 1, 0,
         {"0 files"}},
        {"size, a folder of locked folders", {"--size", "~/top"}, locked("top/locked", 0700),
         {"not readable by this user\n", "Cannot read anything under ~/top (Permission denied)\n"}, 1, 0,
         {"0 files"}},
        {"backups, every backup locked", {"--backups", "~/Backup"}, locked("Backup/only-one", 0700),
         {"1 backup, not readable by this user", "Cannot read anything under ~/Backup (Permission denied)\n"}, 1},
        {"backups, standard folder, every backup locked", {"--backups"}, locked(kBackups + "/only-one", 0700),
         {"Cannot read anything under ~/" + kBackups + " (Permission denied)\n"}, 1},
        {"watch, a folder of locked folders", {"--watch", "~/top"}, locked("top/locked", 0700),
         {"  not readable by this user  (1 folder not readable by this user)\n"}, 141, 2},
    };
    for (const Row& row : rows)
        test::expectCommandAsUser({row.name, row.args, row.setUp, row.words, row.absent, row.status, row.lines});
}
