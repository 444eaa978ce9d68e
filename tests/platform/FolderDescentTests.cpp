// Going down a tree by descriptors: few of them open at any depth, the right folder
// reached again on the way back up, and never a different folder taken for one let go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/FolderDescent.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

using Identity = std::pair<dev_t, ino_t>;

Identity identityOf(int fd) {
    struct stat st {};
    EXPECT_EQ(fstat(fd, &st), 0);
    return {st.st_dev, st.st_ino};
}

Identity identityAt(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return {st.st_dev, st.st_ino};
}

} // namespace

TEST(FolderDescent, DownAndBackUpWithFewDescriptorsReachesEveryFolder) {
    test::TempDir dir;
    // A chain of 200 "d", each level with a sibling folder "s".
    std::vector<Identity> chain, siblings;
    std::string path = dir.path();
    for (int i = 0; i < 200; ++i) {
        test::makeDirs(path + "/s");
        siblings.push_back(identityAt(path + "/s"));
        path += "/d";
        test::makeDirs(path);
        chain.push_back(identityAt(path));
    }
    FolderDescent descent(4);
    ASSERT_GE(descent.start(dir.path()), 0);
    for (int i = 0; i < 200; ++i) {
        const int fd = descent.enter("d");
        ASSERT_GE(fd, 0) << i;
        EXPECT_EQ(identityOf(fd), chain[i]);
        EXPECT_LE(descent.heldDescriptors(), 4u);
    }
    EXPECT_EQ(descent.depth(), 200u);
    EXPECT_EQ(descent.path(), path);
    // Back up: every level's sibling is entered from the level let go on the way down.
    for (int i = 199; i >= 0; --i) {
        descent.leave();
        const int fd = descent.enter("s");
        ASSERT_GE(fd, 0) << i;
        EXPECT_EQ(identityOf(fd), siblings[i]) << i;
        EXPECT_LE(descent.heldDescriptors(), 5u);
        descent.leave();
    }
    EXPECT_EQ(descent.depth(), 0u);
    EXPECT_EQ(descent.path(), dir.path());
}

TEST(FolderDescent, AFolderWhoseChildMovedAwayIsReachedByItsNames) {
    test::TempDir dir;
    test::makeDirs(dir / "a/b/c/d/e");
    test::makeDirs(dir / "a/b/c/x");
    FolderDescent descent(3);
    ASSERT_GE(descent.start(dir.path()), 0);
    for (const char* name : {"a", "b", "c", "d", "e"}) ASSERT_GE(descent.enter(name), 0);
    // d's ".." no longer leads to c.
    ASSERT_EQ(std::rename((dir / "a/b/c/d").c_str(), (dir / "moved").c_str()), 0);
    descent.leave();
    descent.leave();
    EXPECT_EQ(descent.path(), dir / "a/b/c");
    const int fd = descent.enter("x");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(identityOf(fd), identityAt(dir / "a/b/c/x"));
}

TEST(FolderDescent, AFolderReplacedMeanwhileIsNeverTakenForTheOneLetGo) {
    test::TempDir dir;
    test::makeDirs(dir / "a/b/c/d/e");
    FolderDescent descent(3);
    ASSERT_GE(descent.start(dir.path()), 0);
    for (const char* name : {"a", "b", "c", "d", "e"}) ASSERT_GE(descent.enter(name), 0);
    // c's descriptor was let go; c is replaced by another folder of that name holding x.
    ASSERT_EQ(std::rename((dir / "a/b/c/d").c_str(), (dir / "d-moved").c_str()), 0);
    ASSERT_EQ(std::rename((dir / "a/b/c").c_str(), (dir / "c-old").c_str()), 0);
    test::makeDirs(dir / "a/b/c/x");
    descent.leave();
    descent.leave();
    EXPECT_EQ(descent.enter("x"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(descent.enter("x"), -1); // and stays lost
}

TEST(FolderDescent, NamesThatAreNotOneFolderDownAreRefused) {
    test::TempDir dir;
    test::makeDirs(dir / "a/b");
    ASSERT_EQ(symlink("a", (dir / "link").c_str()), 0);
    FolderDescent descent;
    ASSERT_GE(descent.start(dir.path()), 0);
    for (const char* name : {"", ".", "..", "a/b"}) {
        EXPECT_EQ(descent.enter(name), -1) << name;
        EXPECT_EQ(errno, EINVAL) << name;
    }
    EXPECT_EQ(descent.enter("link"), -1); // a link is not followed
    EXPECT_EQ(descent.enter("missing"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(descent.path(), dir.path());
    EXPECT_EQ(descent.depth(), 0u);
    EXPECT_EQ(FolderDescent().start(dir / "link"), -1);
}
