// A folder opened and listed with something in it refused is read in part on every
// surface, whatever its bytes; "not readable" stays for what could not be opened and for
// what holds nothing but such folders. Run as an unprivileged user against folders root closed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/CommandAsUser.h"
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

using Row = test::CommandAsUser;

void run(const Row& row) { test::expectCommandAsUser(row); }

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
         {dash + "p  (" + kNotReadable + ")\n", "Not counted: 2 folders not readable by this user"}, {" KiB  p"}, 1},
        {"size of a folder of locked folders", {"--size", "~/" + kP}, onlyLocked, {kNotReadable + "\n"},
         {"0 bytes"}, 1},
        {"insights, empty beside locked", {"--insights", "~/" + kP}, emptyBeside,
         {"0 files (partly read) \u00B7 ", "Not counted: " + kOneFolder}, {"  " + kNotReadable + " \u00B7"}, 0},
        {"insights, a byte beside locked", {"--insights", "~/" + kP}, byteBeside,
         {"1 file (partly read) \u00B7 ", "Not counted: " + kOneFolder}, {"  " + kNotReadable + " \u00B7"}, 0},
        {"insights, only locked folders", {"--insights", "~/" + kP}, onlyLocked, {"  " + kNotReadable + " \u00B7 "},
         {"0 files", "partly read"}, 1},
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
