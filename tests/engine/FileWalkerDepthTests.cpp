// Deep trees: measured to the bottom with a stack that does not grow with the depth and
// a bounded number of descriptors, whatever the length of the deepest paths.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <tuple>

#include "engine/FileWalker.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;

namespace {

// At every level: a leaf folder "a" and "z" with a file each, and "m" going on down.
void makeComb(const std::string& folder, int depth) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        for (const char* leaf : {"a", "m", "z"}) ASSERT_EQ(mkdirat(fd, leaf, 0755), 0);
        for (const char* leaf : {"a/f", "z/f"}) {
            const int f = openat(fd, leaf, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_EQ(write(f, "x", 1), 1);
            close(f);
        }
        const int next = openat(fd, "m", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    close(fd);
}

} // namespace

TEST(FileWalkerDepth, DeepChainsAreMeasuredToTheBottom) {
    // Thousands of short levels; and fewer long names, whose deepest paths run to 80 KB.
    for (const auto& [depth, name] : {std::pair{3000, std::string("d")}, std::pair{400, std::string(200, 'n')}}) {
        test::ScratchDir dir;
        test::makeFolderChain(dir.path(), depth, name, 1, true);
        const int64_t one = test::allocatedSize(dir / (name + "/f"));
        ASSERT_GT(one, 0);
        for (bool parallel : {false, true}) {
            SCOPED_TRACE(std::to_string(depth) + (parallel ? " parallel" : ""));
            ScanControl control;
            auto root = parallel ? FileWalker::walkParallel(dir.path(), control) : FileWalker::walk(dir.path(), control);
            ASSERT_TRUE(root);
            EXPECT_EQ(std::tuple(root->fileCount, root->dirCount, root->size, control.progress().files),
                      std::tuple(int64_t(depth), int64_t(depth), depth * one, int64_t(depth)));
            EXPECT_FALSE(root->accessDenied);
            EXPECT_EQ(test::deepestNodeWithChildren(*root), 9); // maximum node depth 10
            test::expectConsistent(*root);
        }
    }
}

// 0 when the walk, plain and parallel, finds the counts and size; else which missed (in a
// child, so that an overflow fails the test instead of ending the program).
static int walkedBothWays(const std::string& folder, int64_t files, int64_t dirs, int64_t size) {
    for (bool parallel : {false, true}) {
        ScanControl control;
        auto root = parallel ? FileWalker::walkParallel(folder, control) : FileWalker::walk(folder, control);
        if (!root) return 1;
        if (root->fileCount != files || root->dirCount != dirs) return 2;
        if (root->size != size) return 3;
    }
    return 0;
}

TEST(FileWalkerDepth, ThirtyThousandLevelsOnASmallStack) {
    test::ScratchDir dir;
    test::writeFileOfSize(dir / "sample", 5000);
    test::makeDirs(dir / "chain");
    test::makeFolderChain(dir / "chain", 30000, "d", 5000);
    const int64_t one = test::allocatedSize(dir / "sample");
    const int status = test::runInChild(
        [&] { return test::runOnSmallStack([&] { return walkedBothWays(dir / "chain", 1, 30000, one); }); });
    EXPECT_EQ(status, 0) << "-1: crashed, 1: no node, 2: wrong counts, 3: the bottom file was not counted";
}

// Every level's leaves are walked after, or before, the way down: either way each level is
// needed again after its deeper levels were let go.
TEST(FileWalkerDepth, DescriptorsStayFewWhereEveryLevelBranches) {
    test::ScratchDir dir;
    makeComb(dir.path(), 1500);
    const int64_t one = test::allocatedSize(dir / "a/f");
    const int status = test::runInChild([&] {
        const struct rlimit few {40, 40};
        return setrlimit(RLIMIT_NOFILE, &few) != 0 ? 9 : walkedBothWays(dir.path(), 3000, 4500, 3000 * one);
    });
    EXPECT_EQ(status, 0) << "1: no node, 2: folders missed, 3: wrong size";
}
