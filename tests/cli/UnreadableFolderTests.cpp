// What the commands say when this user may not read what they measure, list or watch:
// the refusal with its count or its reason, never a plain zero.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// Made by root, so to the unprivileged user they belong to another user.
void lockedFolder(const std::string& path, mode_t mode) {
    test::writeFile(path + "/inside", "data");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

struct Row {
    const char* name;
    std::vector<std::string> args;               // "~" stands for the fake home
    std::function<void(const std::string&)> setUp; // given the fake home
    std::vector<std::string> words;              // each somewhere in the output or the errors
    int status;
    int lines = 0; // read only the first lines (a watch runs on), 0: all
};

} // namespace

TEST(UnreadableFolders, AreSaidWithTheirReasonNeverShownAsZero) {
    const auto mailLocked = [](const std::string& home) { lockedFolder(home + "/Library/Mail", 0744); };
    const auto libraryLocked = [](const std::string& home) { lockedFolder(home + "/Library", 0); };
    const auto homeLocked = [](const std::string& home) { lockedFolder(home, 0); };
    const auto chromeLocked = [](const std::string& home) {
        test::writeFileOfSize(home + "/Library/Caches/open/f", 4096);
        lockedFolder(home + "/Library/Caches/com.google.Chrome", 0744);
    };
    const Row rows[] = {
        {"access", {"--access"}, mailLocked, {"[BLOCKED] ~/Library/Mail", "blocked: 1"}, 0},
        {"insights", {"--insights", "~/Library/Mail"}, mailLocked, {"Cannot read: ", "Mail (Permission denied)"}, 1},
        {"insights partly",
         {"--insights", "~/Library/Caches"},
         chromeLocked,
         {"Not counted: 1 folder not readable by this user"},
         0},
        {"size",
         {"--size", "~/Library/Caches"},
         chromeLocked,
         {"KiB  com.google.Chrome  (not readable by this user)\n", "Not counted: 1 folder not readable"},
         0},
        {"size, past the kept depth",
         {"--size", "~/deep"},
         [](const std::string& home) { lockedFolder(home + "/deep/1/2/3/4/5/6/7/8/9/10/11/12/locked", 0); },
         {"KiB  1  (1 folder not readable by this user)\n", "Not counted: 1 folder not readable"},
         0},
        {"watch", {"--watch", "~/Library/Mail"}, mailLocked, {"Cannot read: ", "Mail (Permission denied)"}, 1},
        {"watch closed",
         {"--watch", "~/Library"},
         [](const std::string& home) { lockedFolder(home + "/Library", 0); },
         {"Cannot read: ", "Library (Permission denied)"},
         1},
        {"watch partly",
         {"--watch", "~/Library/Caches"},
         chromeLocked,
         {"files  (1 folder not readable by this user)\n"},
         141,
         2},
        {"plan, home", {"--plan"}, homeLocked, {"Cannot read: ~ (Permission denied)"}, 1},
        {"plan, library", {"--plan"}, libraryLocked, {"Cannot read: ~/Library (Permission denied)"}, 1},
        {"plan partly", {"--plan"}, chromeLocked, {"Not looked at: 1 folder not readable by this user"}, 0},
        {"xcode", {"--xcode"}, libraryLocked, {"Cannot read: ~/Library (Permission denied)"}, 1},
        {"xcode partly",
         {"--xcode"},
         [](const std::string& home) {
             test::makeDirs(home + "/Library/Developer/Xcode/DerivedData/App-abc");
             lockedFolder(home + "/Library/Developer/Xcode/iOS DeviceSupport", 0744);
         },
         {"Not looked at: ~/Library/Developer/Xcode/iOS DeviceSupport (not readable by this user)",
          "Not counted: 1 folder not readable", "DERIVED DATA \u2014 1 folders"},
         0},
        {"apps", {"--apps"}, homeLocked, {"Cannot read: ~ (Permission denied)"}, 1},
        {"apps partly",
         {"--apps"},
         [](const std::string& home) {
             test::makeDirs(home + "/Applications/Tool.app");
             lockedFolder(home + "/Library/Preferences", 0744);
         },
         {"1 apps", "Not counted: 1 folder not readable by this user"},
         0},
        {"report json",
         {"--report", "--json"},
         chromeLocked,
         {"\"unreadableFolders\" : 1,", "\"accessDenied\" : true", "\"partlyUnreadable\" : true"},
         0},
        {"report partly",
         {"--report"},
         chromeLocked,
         {"Caches & Temp", "(partly unreadable: 1 folder)\n"},
         0},
        {"report, library", {"--report"}, libraryLocked, {"Cannot read: ~/Library (Permission denied)"}, 1},
        {"backups missing", {"--backups", "~/Gone"}, [](const std::string&) {}, {"No such path: ~/Gone\n"}, 1},
        {"backups file",
         {"--backups", "~/file"},
         [](const std::string& home) { test::writeFile(home + "/file", "x"); },
         {"Not a folder: ~/file\n"},
         1},
        {"backups fifo",
         {"--backups", "~/fifo"},
         [](const std::string& home) { ASSERT_EQ(mkfifo((home + "/fifo").c_str(), 0644), 0); },
         {"Not a folder: ~/fifo\n"},
         1},
        {"backups locked",
         {"--backups", "~/Backup"},
         [](const std::string& home) { lockedFolder(home + "/Backup", 0744); },
         {"Cannot read: ~/Backup (Permission denied)"},
         1},
        {"backups, default folder locked",
         {"--backups"},
         [](const std::string& home) { lockedFolder(home + "/Library/Application Support/MobileSync/Backup", 0); },
         {"Cannot read: ~/Library/Application Support/MobileSync/Backup (Permission denied)"},
         1},
    };
    for (const Row& row : rows) {
        test::TempDir home;
        row.setUp(home.path());
        std::vector<std::string> command{"/bin/bash", "-c",
                                         "timeout 20 \"$0\" \"$@\" 2>&1 | head -n " +
                                             std::to_string(row.lines > 0 ? row.lines : 1000000) +
                                             "; exit \"${PIPESTATUS[0]}\"",
                                         SORVEL_BINARY};
        // Given as typed: the commands expand the tilde themselves.
        command.insert(command.end(), row.args.begin(), row.args.end());
        const std::map<std::string, std::string> env{{"HOME", home.path()},
                                                     {"XDG_DATA_HOME", home / ".local/share"},
                                                     {"XDG_CONFIG_HOME", home / ".config"}};
        std::string output;
        const int status = test::runAsUnprivileged([&] {
            const auto r = test::runCommand(command, env);
            for (const auto& word : row.words)
                if (r.out.find(word) == std::string::npos) {
                    std::fprintf(stderr, "%s: no \"%s\" in:\n%s\n", row.name, word.c_str(), r.out.c_str());
                    return 100;
                }
            if (r.status != row.status) std::fprintf(stderr, "%s: status %d\n%s\n", row.name, r.status, r.out.c_str());
            return r.status == row.status ? 0 : 101;
        });
        test::runCommand({"chmod", "-R", "u+rwX,go+rX", home.path()});
        EXPECT_EQ(status, 0) << row.name;
    }
}
