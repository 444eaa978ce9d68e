// Going down a tree by descriptors: few of them open at any depth, the right folder
// reached again on the way back up, and never a different folder taken for one let go.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FolderDescent.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::pair<dev_t, ino_t> identity(int fd, const std::string& path = "") {
    struct stat st {};
    EXPECT_EQ(path.empty() ? fstat(fd, &st) : stat(path.c_str(), &st), 0) << path;
    return {st.st_dev, st.st_ino};
}

} // namespace

TEST(FolderDescent, DownAndBackUpWithFewDescriptorsReachesEveryFolder) {
    test::TempDir dir;
    // A chain of 200 "d", each level with a sibling folder "s".
    std::vector<std::pair<dev_t, ino_t>> chain, siblings;
    std::string path = dir.path();
    for (int i = 0; i < 200; ++i) {
        test::makeDirs(path + "/s");
        siblings.push_back(identity(-1, path + "/s"));
        test::makeDirs(path += "/d");
        chain.push_back(identity(-1, path));
    }
    FolderDescent descent(4);
    ASSERT_GE(descent.start(dir.path()), 0);
    for (int i = 0; i < 200; ++i) {
        const int fd = descent.enter("d");
        ASSERT_GE(fd, 0) << i;
        EXPECT_EQ(identity(fd), chain[i]);
        EXPECT_LE(descent.heldDescriptors(), 4u);
    }
    EXPECT_EQ(descent.depth(), 200u);
    EXPECT_EQ(descent.path(), path);
    for (int i = 199; i >= 0; --i) { // each sibling entered from a level let go on the way down
        descent.leave();
        const int fd = descent.enter("s");
        ASSERT_GE(fd, 0) << i;
        EXPECT_EQ(identity(fd), siblings[i]) << i;
        EXPECT_LE(descent.heldDescriptors(), 5u);
        descent.leave();
    }
    EXPECT_EQ(descent.path(), dir.path());
}

// Deep in a/b/c/d/e with c's descriptor let go, the tree changes; back in c, "x" is entered.
TEST(FolderDescent, AFolderLetGoIsReachedAgainByItsNamesOrNotAtAll) {
    const std::vector<std::tuple<const char*, std::function<void(const test::TempDir&)>, bool>> cases = {
        {"d moved away, so its \"..\" no longer leads to c",
         [](const test::TempDir& dir) {
             ASSERT_EQ(std::rename((dir / "a/b/c/d").c_str(), (dir / "moved").c_str()), 0);
         },
         true},
        {"c replaced by another folder of that name, also holding x",
         [](const test::TempDir& dir) {
             ASSERT_EQ(std::rename((dir / "a/b/c/d").c_str(), (dir / "d-moved").c_str()), 0);
             ASSERT_EQ(std::rename((dir / "a/b/c").c_str(), (dir / "c-old").c_str()), 0);
             test::makeDirs(dir / "a/b/c/x");
         },
         false},
    };
    for (const auto& [what, change, reached] : cases) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        test::makeDirs(dir / "a/b/c/d/e");
        test::makeDirs(dir / "a/b/c/x");
        FolderDescent descent(3);
        ASSERT_GE(descent.start(dir.path()), 0);
        for (const char* name : {"a", "b", "c", "d", "e"}) ASSERT_GE(descent.enter(name), 0);
        ASSERT_NO_FATAL_FAILURE(change(dir));
        descent.leave();
        descent.leave();
        EXPECT_EQ(descent.path(), dir / "a/b/c");
        const int fd = descent.enter("x");
        if (reached) {
            ASSERT_GE(fd, 0);
            EXPECT_EQ(identity(fd), identity(-1, dir / "a/b/c/x"));
        } else {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(errno, ENOENT);
            EXPECT_EQ(descent.enter("x"), -1); // and stays lost
        }
    }
}

// The last name given is entered first, subtree by subtree; a folder that cannot be opened is
// reported and passed over; a refusal to open more ends the walk; each folder is left once.
TEST(FolderDescent, DepthFirstGoesThroughSubtreesInTurnAndStopsWhenTold) {
    test::TempDir dir;
    for (const char* folder : {"a/x", "a/y", "b", "c"}) test::makeDirs(dir / folder);
    for (const auto& [allowed, expected, complete] :
         {std::tuple(99, "/ c -c b -b !gone a a/x -a/x a/y -a/y -a -/", true),
          std::tuple(3, "/ c -c b -b -/", false)}) {
        FolderDescent descent(2);
        std::string seen;
        int opens = 0;
        const size_t top = dir.path().size() + 1;
        const auto relative = [&] { return descent.path().substr(std::min(descent.path().size(), top)); };
        const bool result = descent.depthFirst(
            dir.path(),
            [&](int fd, std::vector<std::string>& subfolders) {
                EXPECT_EQ(identity(fd), identity(-1, descent.path()));
                seen += seen.empty() ? "/" : " " + relative();
                if (relative().empty()) subfolders = {"a", "gone", "b", "c"}; // "gone" is not there
                if (relative() == "a") subfolders = {"y", "x"};
            },
            [&] { return ++opens <= allowed; },
            [&](const std::string& name) { seen += " !" + name + (errno == ENOENT ? "" : "?"); },
            [&] { seen += " -" + (relative().empty() ? "/" : relative()); });
        EXPECT_EQ(std::pair(seen, result), std::pair(std::string(expected), complete));
    }
}

// Only a name one folder down is entered, never through a link.
TEST(FolderDescent, NamesThatAreNotOneFolderDownAreRefused) {
    test::TempDir dir;
    test::makeDirs(dir / "a/b");
    ASSERT_EQ(symlink("a", (dir / "link").c_str()), 0);
    FolderDescent descent;
    ASSERT_GE(descent.start(dir.path()), 0);
    const std::pair<const char*, int> cases[] = {{"", EINVAL}, {".", EINVAL}, {"..", EINVAL}, {"a/b", EINVAL},
                                                 {"missing", ENOENT}};
    for (const auto& [name, error] : cases) {
        EXPECT_EQ(descent.enter(name), -1) << name;
        EXPECT_EQ(errno, error) << name;
    }
    EXPECT_EQ(descent.enter("link"), -1);
    EXPECT_EQ(descent.depth(), 0u);
    EXPECT_EQ(FolderDescent().start(dir / "link"), -1);
}
