// Every command, given something this user may not read, shows no figure for it: the words
// "not readable by this user" (or "notReadable" in JSON) where a size, count or verdict
// would stand, and a mark beside a figure read only in part.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

using Prepare = std::function<void(const std::string& home)>;

// Made by root and closed: to the unprivileged user it is another user's.
void close(const std::string& path, mode_t mode) { ASSERT_EQ(chmod(path.c_str(), mode), 0); }

// A folder whose one entry is a folder this user may not open.
Prepare holdingOnlyALockedFolder(const std::string& folder) {
    return [=](const std::string& home) {
        test::writeFile(home + "/" + folder + "/locked/inside", "data");
        close(home + "/" + folder + "/locked", 0700);
    };
}

const std::string kBackups = "Library/Application Support/MobileSync/Backup";

Prepare backups(bool lockFirst, bool lockRecordOfSecond) {
    return [=](const std::string& home) {
        const std::string root = home + "/" + kBackups;
        test::writeFileOfSize(root + "/first/data", 8192);
        test::writeFileOfSize(root + "/second/data", 8192);
        test::writeFile(root + "/second/Info.plist",
                        test::xmlPlist(test::key("Device Name", test::text("Phone")) +
                                       test::key("Serial Number", test::text("S1"))));
        if (lockFirst) close(root + "/first", 0700);
        if (lockRecordOfSecond) close(root + "/second/Info.plist", 0600);
    };
}

struct Row {
    const char* name;
    std::vector<std::string> args; // "~" stands for the fake home
    Prepare setUp;
    std::vector<std::string> words;  // each in the output
    std::vector<std::string> absent = {}; // none of them in the output
    int status = 0;
    int lines = 0; // read only the first lines (a watch runs on), 0: all
};

} // namespace

TEST(UnreadFigures, EveryCommandSaysWhatItDidNotReadInsteadOfAFigure) {
    const std::string apps = "~/Applications/";
    const Row rows[] = {
        {"apps, Contents locked", {"--apps"},
         [](const std::string& h) {
             test::writeFileOfSize(h + "/Applications/Inner.app/Contents/MacOS/inner", 4096);
             close(h + "/Applications/Inner.app/Contents", 0700);
         },
         {"Inner" + std::string(29, ' ') + "not readable  " + apps + "Inner.app"}, {"0 KB   " + apps + "Inner.app"}},
        {"apps, a bundle and a leftover read in part", {"--apps"},
         [](const std::string& h) {
             test::writeFileOfSize(h + "/Applications/Drawing Board.app/Contents/MacOS/board", 64'000);
             holdingOnlyALockedFolder("Applications/Drawing Board.app/Contents/Resources")(h);
             test::writeFileOfSize(h + "/Library/Application Support/Drawing Board/settings", 4096);
             holdingOnlyALockedFolder("Library/Application Support/Drawing Board")(h);
         },
         {apps + "Drawing Board.app  [admin]  (partly read)\n", "matches the app's name (partly read)\n"}},
        {"xcode, a locked build folder", {"--xcode"},
         [](const std::string& h) {
             const std::string derived = h + "/Library/Developer/Xcode/DerivedData";
             test::makeDirs(derived + "/App-abc");
             test::writeFile(derived + "/Locked-xyz/info.plist", "x");
             close(derived + "/Locked-xyz", 0700);
         },
         {"DERIVED DATA \u2014 1 folder, 0 whose project no longer exists; 1 more not readable by this user",
          "Locked-xyz" + std::string(26, ' ') + "not readable by this user"},
         {"0 KB  Locked-xyz", "2 folders"}},
        {"backups, a record locked", {"--backups", "~/" + kBackups}, backups(false, true),
         {"1 of them read only in part", "NOT JUDGED  (partly read)", "its records are not readable by this user"},
         {"no device details recorded in this backup\n      second"}},
        {"report, a locked backup", {"--report"}, backups(true, false),
         {"/MobileSync/Backup/first  (not readable by this user)\n"}},
        {"report, every backup locked", {"--report"},
         [](const std::string& h) {
             backups(true, false)(h);
             std::filesystem::remove_all(h + "/" + kBackups + "/second");
         },
         {"[review] iPhone & iPad backups \u2014 not readable by this user\n",
          "/MobileSync/Backup/first  (not readable by this user)\n"}},
        // The category was read in part: the one "true" is its top entry's.
        {"report json, a locked folder among the top", {"--report", "--json"},
         [](const std::string& h) {
             holdingOnlyALockedFolder("Library/Caches")(h);
             test::writeFileOfSize(h + "/Library/Caches/open/f", 4096);
         },
         {"\"notReadable\" : true,\n"}},
        {"report json, a locked backup", {"--report", "--json"}, backups(true, false),
         {"\"notReadablePaths\" : [\n", "/MobileSync/Backup/first\""}},
        {"report, a cache read in part", {"--report"},
         [](const std::string& h) {
             test::writeFileOfSize(h + "/Library/Caches/com.example.app/blob", 6'000'000);
             holdingOnlyALockedFolder("Library/Caches/com.example.app")(h);
         },
         {"  ~/Library/Caches/com.example.app  (partly read)\n"}},
        {"plan, a cache read in part", {"--plan"},
         [](const std::string& h) {
             test::writeFileOfSize(h + "/Library/Caches/com.example.app/blob", 6'000'000);
             holdingOnlyALockedFolder("Library/Caches/com.example.app")(h);
         },
         {"~/Library/Caches/com.example.app", "  (partly read)\n"}},
        {"size, a folder of locked folders", {"--size", "~/top"}, holdingOnlyALockedFolder("top/holder"),
         {std::string(13, ' ') + "\u2014      holder  (not readable by this user)\n"}, {"0 KiB  holder"}},
        {"insights, a folder of locked folders", {"--insights", "~/top"}, holdingOnlyALockedFolder("top"),
         {"  not readable by this user \u00B7 "}, {"0 files"}},
        {"watch, a folder of locked folders", {"--watch", "~/top"}, holdingOnlyALockedFolder("top"),
         {"  not readable by this user  (1 folder not readable by this user)\n"}, {"0 files"}, 141, 2},
    };
    for (const Row& row : rows) {
        test::TempDir dir;
        row.setUp(dir.path());
        std::vector<std::string> command{"/bin/bash", "-c",
                                         "timeout 20 \"$0\" \"$@\" 2>&1 | head -n " +
                                             std::to_string(row.lines > 0 ? row.lines : 1000000) +
                                             "; exit \"${PIPESTATUS[0]}\"",
                                         SORVEL_BINARY};
        command.insert(command.end(), row.args.begin(), row.args.end());
        const std::map<std::string, std::string> env{
            {"HOME", dir.path()}, {"XDG_DATA_HOME", dir / ".local/share"}, {"XDG_CONFIG_HOME", dir / ".config"}};
        const int status = test::runAsUnprivileged([&] {
            const auto r = test::runCommand(command, env);
            for (const auto& word : row.words)
                if (r.out.find(word) == std::string::npos) {
                    std::fprintf(stderr, "%s: no \"%s\" in:\n%s\n", row.name, word.c_str(), r.out.c_str());
                    return 100;
                }
            for (const auto& word : row.absent)
                if (r.out.find(word) != std::string::npos) {
                    std::fprintf(stderr, "%s: \"%s\" in:\n%s\n", row.name, word.c_str(), r.out.c_str());
                    return 102;
                }
            if (r.status != row.status) std::fprintf(stderr, "%s: status %d\n%s\n", row.name, r.status, r.out.c_str());
            return r.status == row.status ? 0 : 101;
        });
        test::runCommand({"chmod", "-R", "u+rwX,go+rX", dir.path()});
        EXPECT_EQ(status, 0) << row.name;
    }
}
