// A folder opened and listed with something in it refused is read in part on every
// surface, whatever its bytes; "not readable" stays for what could not be opened and for
// what holds nothing but such folders. Run as an unprivileged user against folders root closed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/TestSupport.h"

using namespace sorvel;

namespace {

using Prepare = std::function<void(const std::string& home)>;

// Made by root and closed: the unprivileged user may not open it.
void lock(const std::string& path, mode_t mode = 0700) {
    test::writeFile(path + "/inside", "data");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

const std::string kP = "Library/Caches/p";

// The cache folder p with an empty folder beside one this user may not open.
void emptyBeside(const std::string& h) {
    test::makeDirs(h + "/" + kP + "/empty");
    lock(h + "/" + kP + "/locked");
}

// The same with one readable byte.
void byteBeside(const std::string& h) {
    test::writeFile(h + "/" + kP + "/byte", "x");
    lock(h + "/" + kP + "/locked");
}

// p holds nothing but folders this user may not open.
void onlyLocked(const std::string& h) {
    lock(h + "/" + kP + "/a");
    lock(h + "/" + kP + "/b");
}

void libraryLocked(const std::string& h) { lock(h + "/Library", 0); }

struct Row {
    const char* name;
    std::vector<std::string> args; // "~" stands for the fake home
    Prepare setUp;
    std::vector<std::string> words;  // each somewhere in the output or the errors
    std::vector<std::string> absent; // none of them anywhere
    int status;
    int lines = 0; // read only the first lines (a watch runs on), 0: all
};

void run(const Row& row) {
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

const std::string kNotReadable = "not readable by this user";
const std::string kOneFolder = "1 folder not readable by this user";

} // namespace

TEST(ReadInPart, TheReportSaysReadInPartWhateverTheBytes) {
    const std::string category = "Caches & Temp";
    const Row rows[] = {
        {"text, empty beside locked", {"--report"}, emptyBeside, {category, "(partly unreadable: 1 folder)\n"},
         {"(" + kNotReadable + ")"}, 0},
        {"text, a byte beside locked", {"--report"}, byteBeside, {category, "(partly unreadable: 1 folder)\n"},
         {"(" + kNotReadable + ")"}, 0},
        {"text, only locked folders", {"--report"}, onlyLocked,
         {category + std::string(7 + 11, ' ') + "\u2014" + std::string(16, ' ') + "\u2014  (" + kNotReadable + ")\n"},
         {"partly unreadable"}, 0},
        {"json, empty beside locked", {"--report", "--json"}, emptyBeside,
         // The category and its folder p alike.
         {"\"notReadable\" : false", "\"partlyUnreadable\" : true,\n          \"path\" : \"", "/" + kP + "\""},
         {"\"notReadable\" : true"}, 0},
        {"json, a byte beside locked", {"--report", "--json"}, byteBeside,
         {"\"notReadable\" : false", "\"partlyUnreadable\" : true"}, {"\"notReadable\" : true"}, 0},
        {"json, only locked folders", {"--report", "--json"}, onlyLocked,
         {"\"notReadable\" : true", "\"partlyUnreadable\" : false"}, {"\"partlyUnreadable\" : true"}, 0},
    };
    for (const Row& row : rows) run(row);
}

TEST(ReadInPart, FolderCommandsSayReadInPartWhateverTheBytes) {
    const std::string dash = std::string(11, ' ') + "\u2014      ";
    const Row rows[] = {
        {"size, empty beside locked", {"--size", "~/Library/Caches"}, emptyBeside,
         {" KiB  p  (" + kOneFolder + ")\n", "Not counted: " + kOneFolder}, {"p  (" + kNotReadable + ")"}, 0},
        {"size, a byte beside locked", {"--size", "~/Library/Caches"}, byteBeside,
         {" KiB  p  (" + kOneFolder + ")\n"}, {"p  (" + kNotReadable + ")"}, 0},
        {"size, only locked folders", {"--size", "~/Library/Caches"}, onlyLocked,
         {dash + "p  (" + kNotReadable + ")\n", "Not counted: 2 folders not readable by this user"}, {" KiB  p"}, 0},
        {"size of a folder of locked folders", {"--size", "~/" + kP}, onlyLocked, {kNotReadable + "\n"},
         {"0 bytes"}, 0},
        {"insights, empty beside locked", {"--insights", "~/" + kP}, emptyBeside,
         {"0 files (partly read) \u00B7 ", "Not counted: " + kOneFolder}, {"  " + kNotReadable + " \u00B7"}, 0},
        {"insights, a byte beside locked", {"--insights", "~/" + kP}, byteBeside,
         {"1 file (partly read) \u00B7 ", "Not counted: " + kOneFolder}, {"  " + kNotReadable + " \u00B7"}, 0},
        {"insights, only locked folders", {"--insights", "~/" + kP}, onlyLocked, {"  " + kNotReadable + " \u00B7 "},
         {"0 files", "partly read"}, 0},
        {"watch, empty beside locked", {"--watch", "~/" + kP}, emptyBeside, {"0 files  (" + kOneFolder + ")\n"},
         {"  " + kNotReadable + "  ("}, 141, 2},
        {"watch, a byte beside locked", {"--watch", "~/" + kP}, byteBeside, {"1 file  (" + kOneFolder + ")\n"},
         {"  " + kNotReadable + "  ("}, 141, 2},
        {"watch, only locked folders", {"--watch", "~/" + kP}, onlyLocked,
         {"  " + kNotReadable + "  (2 folders not readable by this user)\n"}, {"0 files"}, 141, 2},
    };
    for (const Row& row : rows) run(row);
}

TEST(ReadInPart, ProgressLinesGiveNoFigureForARootNotRead) {
    const std::string dash = std::string(10, ' ') + "\u2014";
    const Row rows[] = {
        // Every root under a closed ~/Library: the report's words, never "0 KB".
        {"library locked", {"--report", "--progress"}, libraryLocked,
         {"] " + dash + "  ~/Library/Caches  (" + kNotReadable + ")\n"}, {"0 KB  ~/Library", "Zero KB  ~/Library"},
         1},
        {"library locked, json", {"--report", "--json", "--progress"}, libraryLocked,
         {"] " + dash + "  ~/Library/Caches  (" + kNotReadable + ")\n"}, {"0 KB  ~/Library", "Zero KB  ~/Library"},
         1},
        {"empty beside locked", {"--report", "--progress"}, emptyBeside, {"  ~/Library/Caches  (partly read)\n"},
         {"~/Library/Caches  (" + kNotReadable + ")"}, 0},
        {"a byte beside locked", {"--report", "--progress"}, byteBeside, {"  ~/Library/Caches  (partly read)\n"},
         {"~/Library/Caches  (" + kNotReadable + ")"}, 0},
        {"only locked folders", {"--report", "--progress"}, onlyLocked,
         {"] " + dash + "  ~/Library/Caches  (" + kNotReadable + ")\n"}, {}, 0},
    };
    for (const Row& row : rows) run(row);
}
