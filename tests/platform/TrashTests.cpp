// Moving into the desktop's Trash: a record a file manager reads, by rename only, never
// over an existing item, never through a link or into a Trash others can change; and
// putting items back.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <tuple>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "platform/TrashInfo.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

std::string trashOf(const test::FakeHome& home) { return home / ".local/share/Trash"; }

std::string infoLine(const std::string& infoText, const std::string& key) {
    for (const auto& line : test::lines(infoText))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "<missing " + key + ">";
}

mode_t modeOf(const std::string& path) {
    struct stat st{};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

} // namespace

TEST(TrashMove, RecordsWhatAFileManagerReads) {
    struct Case {
        std::string name;
        std::string encoded; // the name as Path= spells it
    };
    const std::vector<Case> cases = {
        {"plain-file_1.txt", "plain-file_1.txt"},
        {"two words", "two%20words"},
        {"na\xC3\xAFve caf\xC3\xA9", "na%C3%AFve%20caf%C3%A9"},
        {"odd\xFF\x01#%?bytes", "odd%FF%01%23%25%3Fbytes"},
        {"~tilde.", "~tilde."},
    };
    test::FakeHome home;
    for (const auto& c : cases) {
        test::writeFile(home / ("Caches/" + c.name), "bytes of " + c.name);
        const auto before = std::time(nullptr);
        const auto moved = test::moveToTrash(home / ("Caches/" + c.name));
        ASSERT_TRUE(moved.moved()) << moved.error;
        EXPECT_EQ(*moved.trashPath, trashOf(home) + "/files/" + c.name);
        EXPECT_EQ(test::readFile(*moved.trashPath), "bytes of " + c.name);
        EXPECT_FALSE(test::exists(home / ("Caches/" + c.name)));

        const std::string info = test::readFile(trashOf(home) + "/info/" + c.name + ".trashinfo");
        EXPECT_EQ(test::lines(info).front(), "[Trash Info]");
        EXPECT_EQ(infoLine(info, "Path"), TrashInfo::encodePath(home.path()) + "/Caches/" + c.encoded);
        const std::string date = infoLine(info, "DeletionDate");
        ASSERT_TRUE(std::regex_match(date, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)"))) << date;
        std::tm parsed{};
        ASSERT_NE(::strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &parsed), nullptr);
        parsed.tm_isdst = -1;
        const auto when = std::mktime(&parsed); // read back as local time
        EXPECT_GE(when, before);
        EXPECT_LE(when, std::time(nullptr));
    }
    for (const char* folder : {"", "/files", "/info"}) {
        EXPECT_TRUE(S_ISDIR(modeOf(trashOf(home) + folder))) << folder;
        EXPECT_EQ(modeOf(trashOf(home) + folder) & 07777, 0700u) << folder;
    }
}

TEST(TrashMove, DeletionDateIsLocalTime) {
    const std::vector<std::tuple<const char*, std::time_t, const char*>> cases = {
        {"Asia/Kolkata", 0, "1970-01-01T05:30:00"},
        {"UTC", 1'700'000'000, "2023-11-14T22:13:20"},
        {"America/New_York", 1'700'000'000, "2023-11-14T17:13:20"},
    };
    for (const auto& [zone, when, expected] : cases) {
        test::ScopedEnv env("TZ", std::string(zone));
        ::tzset();
        EXPECT_EQ(TrashInfo::deletionDate(when), expected) << zone;
    }
    ::tzset();
}

TEST(TrashMove, FollowsXdgDataHomeWhenItIsAbsolute) {
    test::FakeHome home;
    test::TempDir data;
    test::writeFile(home / "item", "x");
    test::writeFile(home / "other", "y");
    {
        test::ScopedEnv env("XDG_DATA_HOME", data.path() + "/");
        EXPECT_EQ(Trash::directory(), data / "Trash");
        const auto moved = test::moveToTrash(home / "item");
        ASSERT_TRUE(moved.moved()) << moved.error;
        EXPECT_EQ(*moved.trashPath, data / "Trash/files/item");
    }
    test::ScopedEnv relative("XDG_DATA_HOME", std::string("relative/data"));
    EXPECT_EQ(Trash::directory(), trashOf(home));
    EXPECT_TRUE(test::moveToTrash(home / "other").moved());
}

TEST(TrashMove, TakenNamesGetANumberAndTheOldItemStaysByteIdentical) {
    test::FakeHome home;
    const std::string trash = trashOf(home);
    test::writeFile(trash + "/files/report.txt", "old report");
    test::writeFile(trash + "/info/report.txt.trashinfo", "[Trash Info]\nPath=/old\n");
    test::writeFile(trash + "/info/report.txt 2.trashinfo", "a record whose item is gone");
    test::writeFile(trash + "/files/report.txt 3", "an item without a record");
    ::chmod(trash.c_str(), 0700);
    test::writeFile(home / "a/report.txt", "new one");
    test::writeFile(home / "b/report.txt", "newer one");
    const auto first = test::moveToTrash(home / "a/report.txt");
    const auto second = test::moveToTrash(home / "b/report.txt");
    ASSERT_TRUE(first.moved()) << first.error;
    ASSERT_TRUE(second.moved()) << second.error;
    EXPECT_EQ(*first.trashPath, trash + "/files/report.txt 4");
    EXPECT_EQ(*second.trashPath, trash + "/files/report.txt 5");
    EXPECT_EQ(test::readFile(trash + "/files/report.txt"), "old report");
    EXPECT_EQ(test::readFile(trash + "/info/report.txt 2.trashinfo"), "a record whose item is gone");
    EXPECT_EQ(test::readFile(trash + "/files/report.txt 3"), "an item without a record");
    EXPECT_EQ(test::readFile(trash + "/files/report.txt 4"), "new one");
    // The clash with the unrecorded item left no stray record behind.
    EXPECT_FALSE(test::exists(trash + "/info/report.txt 3.trashinfo"));
    EXPECT_EQ(infoLine(test::readFile(trash + "/info/report.txt 5.trashinfo"), "Path"), home / "b/report.txt");
}

TEST(TrashMove, UnsafeTrashFoldersAreRefused) {
    struct Case {
        const char* what;
        std::function<void(const std::string& trash, const std::string& elsewhere)> arrange;
        std::string error; // after "The Trash (~/.local/share/"
    };
    const std::vector<Case> cases = {
        {"trash is a link", [](auto& t, auto& e) { fs::create_directories(fs::path(t).parent_path()), fs::create_directory_symlink(e, t); },
         "Trash) is a symbolic link, so nothing is moved into it."},
        {"info is a link", [](auto& t, auto& e) { test::makeDirs(t + "/files"), fs::create_directory_symlink(e, t + "/info"); },
         "Trash/info) is a symbolic link, so nothing is moved into it."},
        {"files is a link", [](auto& t, auto& e) { test::makeDirs(t + "/info"), fs::create_directory_symlink(e, t + "/files"); },
         "Trash/files) is a symbolic link, so nothing is moved into it."},
        {"trash is a file", [](auto& t, auto&) { test::writeFile(t, "not a folder"); },
         "Trash) is not a folder, so nothing is moved into it."},
        {"trash writable by others", [](auto& t, auto&) { test::makeDirs(t), ::chmod(t.c_str(), 0777); },
         "Trash) can be changed by other users, so nothing is moved into it."},
        {"info writable by the group", [](auto& t, auto&) { test::makeDirs(t + "/info"), ::chmod((t + "/info").c_str(), 0770); },
         "Trash/info) can be changed by other users, so nothing is moved into it."},
    };
    for (const auto& c : cases) {
        test::FakeHome home;
        test::TempDir elsewhere;
        c.arrange(trashOf(home), elsewhere.path());
        test::writeFile(home / "item", "x");
        const auto moved = test::moveToTrash(home / "item");
        EXPECT_FALSE(moved.moved()) << c.what;
        EXPECT_EQ(moved.error, "The Trash (~/.local/share/" + c.error) << c.what;
        EXPECT_EQ(test::readFile(home / "item"), "x") << c.what;
        EXPECT_TRUE(fs::is_empty(elsewhere.path())) << c.what;
    }
}

TEST(TrashMove, SomeoneElsesTrashIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the Trash away";
    test::FakeHome home;
    test::makeDirs(trashOf(home));
    ASSERT_EQ(::chown(trashOf(home).c_str(), 65534, 65534), 0);
    test::writeFile(home / "item", "x");
    const auto moved = test::moveToTrash(home / "item");
    EXPECT_EQ(moved.error, "The Trash (~/.local/share/Trash) belongs to another user, so nothing is moved into it.");
    EXPECT_TRUE(test::exists(home / "item"));
}

TEST(TrashMove, AFailedMoveLeavesNoRecord) {
    // A folder that holds the Trash cannot go into it: the rename fails after the name
    // was reserved, and the reservation goes with it.
    test::FakeHome home;
    test::writeFile(home / ".local/keep", "x");
    const auto moved = test::moveToTrash(home / ".local");
    EXPECT_FALSE(moved.moved());
    EXPECT_EQ(test::readFile(home / ".local/keep"), "x");
    EXPECT_TRUE(fs::is_empty(trashOf(home) + "/info"));
    EXPECT_TRUE(fs::is_empty(trashOf(home) + "/files"));
}

TEST(TrashMove, AnItemOnAnotherFileSystemUsesThatFileSystemsTrash) {
    struct statfs shm{};
    struct stat shmStat{};
    test::FakeHome home;
    struct stat homeStat{};
    ::stat(home.path().c_str(), &homeStat);
    if (::statfs("/dev/shm", &shm) != 0 || shm.f_type != 0x01021994 /* tmpfs */ ||
        ::stat("/dev/shm", &shmStat) != 0 || shmStat.st_dev == homeStat.st_dev)
        GTEST_SKIP() << "/dev/shm is not a tmpfs on another device than the temporary home";
    const std::string uid = std::to_string(::geteuid());
    const std::string own = "/dev/shm/.Trash-" + uid;

    char pattern[] = "/dev/shm/sorvel-trash-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string name = lastPathComponent(folder);
    test::writeFile(folder + "/item", "on tmpfs");
    struct stat before{};
    ::stat((folder + "/item").c_str(), &before);

    const auto moved = test::moveToTrash(folder + "/item");
    if (moved.moved()) {
        EXPECT_EQ(moved.trashPath->rfind(own + "/files/item", 0), 0u) << *moved.trashPath;
        struct stat after{};
        ASSERT_EQ(::stat(moved.trashPath->c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino); // renamed, not copied
        EXPECT_EQ(after.st_dev, before.st_dev);
        EXPECT_EQ(modeOf(own) & 07777, 0700u);
        const std::string infoName = lastPathComponent(*moved.trashPath) + ".trashinfo";
        const std::string info = test::readFile(own + "/info/" + infoName);
        EXPECT_EQ(infoLine(info, "Path"), name + "/item"); // relative to the top folder
        EXPECT_TRUE(Trash::isInsideTrash(*moved.trashPath));
        const auto where = Trash::locate(*moved.trashPath);
        ASSERT_TRUE(where);
        EXPECT_EQ(where->topdir, "/dev/shm");

        // And back again, by rename, with its record gone.
        const int parent = Trash::openFolderNoFollow(folder);
        ASSERT_GE(parent, 0);
        const auto back = Trash::restoreEntry(*where, parent, "item");
        ::close(parent);
        EXPECT_TRUE(back.restored) << back.error << " " << back.code;
        EXPECT_EQ(test::readFile(folder + "/item"), "on tmpfs");
        EXPECT_FALSE(test::exists(own + "/info/" + infoName));
    } else {
        EXPECT_NE(moved.error.find("another file system"), std::string::npos) << moved.error;
        EXPECT_EQ(test::readFile(folder + "/item"), "on tmpfs");
    }
    // Never a copy in the home trash.
    EXPECT_FALSE(test::exists(trashOf(home) + "/files/item"));
    fs::remove_all(folder);
    // The file system's Trash itself stays: another test may be using it at the same time.
}

TEST(TrashRestore, PutsTheItemBackAndDropsItsRecordButNeverOverwrites) {
    test::FakeHome home;
    test::writeFile(home / "docs/a.txt", "first");
    const auto moved = test::moveToTrash(home / "docs/a.txt");
    ASSERT_TRUE(moved.moved()) << moved.error;
    const auto where = Trash::locate(*moved.trashPath);
    ASSERT_TRUE(where);
    EXPECT_EQ(where->name, "a.txt");
    EXPECT_TRUE(where->topdir.empty());

    FileDescriptor docs(Trash::openFolderNoFollow(home / "docs"));
    test::writeFile(home / "docs/a.txt", "a new one");
    const auto refused = Trash::restoreEntry(*where, docs.get(), "a.txt");
    EXPECT_FALSE(refused.restored);
    EXPECT_EQ(refused.code, EEXIST);
    EXPECT_EQ(test::readFile(home / "docs/a.txt"), "a new one");
    EXPECT_TRUE(test::exists(trashOf(home) + "/info/a.txt.trashinfo"));

    fs::remove(home / "docs/a.txt");
    const auto back = Trash::restoreEntry(*where, docs.get(), "a.txt");
    EXPECT_TRUE(back.restored);
    EXPECT_EQ(test::readFile(home / "docs/a.txt"), "first");
    EXPECT_FALSE(test::exists(trashOf(home) + "/info/a.txt.trashinfo"));
    EXPECT_FALSE(test::exists(*moved.trashPath));
}

TEST(TrashPlaces, WhatCountsAsInsideATrash) {
    test::FakeHome home;
    const std::string trash = trashOf(home);
    const std::string uid = std::to_string(::geteuid());
    const std::vector<std::pair<std::string, bool>> cases = {
        {trash, true},
        {trash + "/files/x", true},
        {trash + "/info/x.trashinfo", true},
        {trash + "/../Trash/files/x", true},
        {home / ".local/share", false},
        {home / ".local/share/Trash2/x", false},
        {home / "Trash/files/x", false},
        {"/.Trash-" + uid + "/files/x", true}, // at the top of the root file system
        {"/.Trash-1000", true},
        {"/.Trash/" + uid + "/files/x", true},
        {"/.Trash-x/files/y", false},
        {home / (".Trash-" + uid + "/files/x"), false}, // not at the top of a file system
        {"relative/.Trash-0", false},
    };
    for (const auto& [path, inside] : cases) EXPECT_EQ(Trash::isInsideTrash(path), inside) << path;
}

TEST(TrashPlaces, OnlyItemsDirectlyInATrashAreLocated) {
    test::FakeHome home;
    const std::string trash = trashOf(home);
    const std::string uid = std::to_string(::geteuid());
    struct Case {
        std::string path;
        std::optional<std::pair<std::string, std::string>> found; // topdir, name
    };
    const std::vector<Case> cases = {
        {trash + "/files/a b", std::pair<std::string, std::string>{"", "a b"}},
        {trash + "/files/sub/item", std::nullopt},
        {trash + "/files", std::nullopt},
        {trash + "/info/a.trashinfo", std::nullopt},
        {trash + "/files/..", std::nullopt},
        {home / ".Trash/item", std::nullopt},
        {"/.Trash-" + uid + "/files/x", std::pair<std::string, std::string>{"/", "x"}},
        {"/.Trash/" + uid + "/files/x", std::pair<std::string, std::string>{"/", "x"}},
        {"/.Trash-99999/files/x", std::nullopt},           // someone else's
        {home / (".Trash-" + uid + "/files/x"), std::nullopt}, // not at the top of a file system
        {"Trash", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto where = Trash::locate(c.path);
        ASSERT_EQ(where.has_value(), c.found.has_value()) << c.path;
        if (where) {
            EXPECT_EQ(where->topdir, c.found->first) << c.path;
            EXPECT_EQ(where->name, c.found->second) << c.path;
        }
    }
}

TEST(TrashMove, OnlyStandardisedAbsolutePathsAreMoved) {
    test::FakeHome home;
    test::writeFile(home / "a/b", "x");
    const FileDescriptor parent(Trash::openFolderNoFollow(home / "a"));
    ASSERT_TRUE(parent.valid());
    EXPECT_FALSE(Trash::moveEntry(parent.get(), home / "a/../a", "b").moved());
    EXPECT_FALSE(Trash::moveEntry(parent.get(), "a", "b").moved());
    EXPECT_FALSE(Trash::moveEntry(parent.get(), home / "a", "..").moved());
    EXPECT_TRUE(test::exists(home / "a/b"));
}

TEST(TrashMove, FoldersAreOpenedWithoutFollowingLinks) {
    test::TempDir dir;
    test::makeDirs(dir / "real/sub");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    const int good = Trash::openFolderNoFollow(dir / "real/sub");
    EXPECT_GE(good, 0);
    if (good >= 0) ::close(good);
    errno = 0;
    EXPECT_EQ(Trash::openFolderNoFollow(dir / "link/sub"), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(Trash::openFolderNoFollow("relative/path"), -1);
}

TEST(TrashMove, ANameWithANulByteMovesNothing) {
    // The system call would stop at the NUL and move "keep" instead.
    test::FakeHome home;
    test::writeFile(home / "dir/keep", "x");
    const int dir = Trash::openFolderNoFollow(home / "dir");
    ASSERT_GE(dir, 0);
    const auto moved = Trash::moveEntry(dir, home / "dir", std::string("keep\0other", 10));
    ::close(dir);
    EXPECT_FALSE(moved.moved());
    EXPECT_EQ(test::readFile(home / "dir/keep"), "x");
}

// The record's Path= reads back as the exact bytes it was written from; a malformed one
// names nothing, so a restore refuses rather than guess.
TEST(TrashInfoRecord, PathReadsBackExactlyOrNotAtAll) {
    const std::string odd = std::string("/home/u/W\xFFrk/50% done \xE2\x9C\x93.txt");
    EXPECT_EQ(TrashInfo::recordedPath(TrashInfo::sorvelText(odd, 0)), odd);
    EXPECT_TRUE(TrashInfo::isSorvels(TrashInfo::sorvelText(odd, 0)));
    EXPECT_FALSE(TrashInfo::isSorvels(TrashInfo::text(odd, 0)));
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"[Trash Info]\r\nPath=/a%20b\r\n", "/a b"},
        {"[Trash Info]\nDeletionDate=2026-01-01T00:00:00\n", std::nullopt},
        {"[Trash Info]\nPath=/a%G1\n", std::nullopt},
        {"[Trash Info]\nPath=/a%2\n", std::nullopt},
        {"[Trash Info]\nPath=/a%00b\n", std::nullopt},
    };
    for (const auto& [text, path] : cases) EXPECT_EQ(TrashInfo::recordedPath(text), path) << text;
}
