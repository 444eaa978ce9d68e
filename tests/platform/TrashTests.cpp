// Moving into ~/.Trash: by rename only, never over an existing item, never through a
// link or into someone else's Trash.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Trash.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(Trash, IsCreatedPrivateWhenMissing) {
    test::FakeHome home;
    test::writeFile(home / "Library/Caches/x", "x");
    const auto moved = Trash::moveItem(home / "Library/Caches/x");
    ASSERT_TRUE(moved.moved()) << moved.error;
    EXPECT_EQ(*moved.trashPath, home / ".Trash/x");
    struct stat st;
    ASSERT_EQ(::lstat((home / ".Trash").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST(Trash, TakenNamesGetANumberAndTheOldItemStaysByteIdentical) {
    test::FakeHome home;
    test::writeFile(home / ".Trash/report.txt", "old report");
    test::writeFile(home / ".Trash/report.txt 2", "older copy");
    test::writeFile(home / "a/report.txt", "new one");
    test::writeFile(home / "b/report.txt", "newer one");
    const auto first = Trash::moveItem(home / "a/report.txt");
    const auto second = Trash::moveItem(home / "b/report.txt");
    ASSERT_TRUE(first.moved()) << first.error;
    ASSERT_TRUE(second.moved()) << second.error;
    EXPECT_EQ(*first.trashPath, home / ".Trash/report.txt 3");
    EXPECT_EQ(*second.trashPath, home / ".Trash/report.txt 4");
    EXPECT_EQ(test::readFile(home / ".Trash/report.txt"), "old report");
    EXPECT_EQ(test::readFile(home / ".Trash/report.txt 2"), "older copy");
    EXPECT_EQ(test::readFile(home / ".Trash/report.txt 3"), "new one");
}

TEST(Trash, ALinkedTrashIsRefused) {
    test::FakeHome home;
    test::TempDir elsewhere;
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (home / ".Trash").c_str()), 0);
    test::writeFile(home / "item", "x");
    const auto moved = Trash::moveItem(home / "item");
    EXPECT_FALSE(moved.moved());
    EXPECT_EQ(moved.error, "The Trash (~/.Trash) is a symbolic link, so nothing is moved into it.");
    EXPECT_TRUE(test::exists(home / "item"));
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

TEST(Trash, AFileNamedLikeTheTrashIsRefused) {
    test::FakeHome home;
    test::writeFile(home / ".Trash", "not a folder");
    test::writeFile(home / "item", "x");
    const auto moved = Trash::moveItem(home / "item");
    EXPECT_EQ(moved.error, "The Trash (~/.Trash) is not a folder, so nothing is moved into it.");
    EXPECT_EQ(test::readFile(home / ".Trash"), "not a folder");
}

TEST(Trash, SomeoneElsesTrashIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the Trash away";
    test::FakeHome home;
    test::makeDirs(home / ".Trash");
    ASSERT_EQ(::chown((home / ".Trash").c_str(), 65534, 65534), 0);
    test::writeFile(home / "item", "x");
    const auto moved = Trash::moveItem(home / "item");
    EXPECT_EQ(moved.error, "The Trash (~/.Trash) belongs to another user, so nothing is moved into it.");
    EXPECT_TRUE(test::exists(home / "item"));
}

TEST(Trash, ALinkAboveTheItemStopsTheMove) {
    test::FakeHome home;
    test::TempDir elsewhere;
    test::writeFile(elsewhere / "keep/precious", "x");
    ASSERT_EQ(::symlink((elsewhere / "keep").c_str(), (home / "via").c_str()), 0);
    const auto moved = Trash::moveItem(home / "via/precious");
    EXPECT_FALSE(moved.moved());
    EXPECT_NE(moved.error.find("symbolic link"), std::string::npos) << moved.error;
    EXPECT_TRUE(test::exists(elsewhere / "keep/precious"));
}

TEST(Trash, OnlyStandardisedAbsolutePathsAreMoved) {
    test::FakeHome home;
    test::writeFile(home / "a/b", "x");
    EXPECT_FALSE(Trash::moveItem(home / "a/../a/b").moved());
    EXPECT_FALSE(Trash::moveItem("a/b").moved());
    EXPECT_FALSE(Trash::moveItem("/").moved());
    EXPECT_TRUE(test::exists(home / "a/b"));
}

TEST(Trash, FoldersAreOpenedWithoutFollowingLinks) {
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

TEST(Trash, ANameWithANulByteMovesNothing) {
    // The system call would stop at the NUL and move "keep" instead.
    test::FakeHome home;
    test::writeFile(home / "dir/keep", "x");
    const int dir = Trash::openFolderNoFollow(home / "dir");
    ASSERT_GE(dir, 0);
    const auto moved = Trash::moveEntry(dir, std::string("keep\0other", 10));
    ::close(dir);
    EXPECT_FALSE(moved.moved());
    EXPECT_EQ(test::readFile(home / "dir/keep"), "x");
}
