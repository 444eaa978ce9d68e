// The parallel walk: breadth-first expansion, then the frontier concurrently; the same
// tree as the sequential walk, and prompt, consistent results when cancelled.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/FileWalker.h"
#include "platform/Concurrency.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;

namespace {

size_t frontierTarget() { return 4 * static_cast<size_t>(activeProcessorCount()); }

} // namespace

TEST(FileWalkerParallel, ADirectoryOfFilesOnlyNeedsNoConcurrentPhase) {
    test::TempDir dir;
    for (int i = 0; i < 20; ++i) test::writeFileOfSize(dir / ("f" + std::to_string(i)), 5000);
    ASSERT_EQ(link((dir / "f0").c_str(), (dir / "f0-again").c_str()), 0);
    ScanControl control;
    auto root = FileWalker::walkParallel(dir.path(), control);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->size, test::independentTotal(dir.path()));
    EXPECT_EQ(root->fileCount, 20);
    EXPECT_EQ(root->directFileCount, 20);
    EXPECT_EQ(root->dirCount, 0);
}

TEST(FileWalkerParallel, TwoLevelsWithAWideSecondLevelWalkTheFrontierAtDepthTwo) {
    test::ScratchDir dir;
    const size_t wide = frontierTarget() / 2 + 4; // two parents: more than the target below them
    for (int a = 0; a < 2; ++a) {
        for (size_t b = 0; b < wide; ++b) {
            std::string base = dir / ("a" + std::to_string(a) + "/b" + std::to_string(b));
            test::writeFileOfSize(base + "/c/d/e/f", 100 + 4096 * b);
            test::writeFileOfSize(base + "/g", 10);
        }
    }
    // With a maximum depth of 3 the frontier (level 2) keeps children and level 3 does
    // not, exactly as in the recursive walk: the frontier ran at depth 2.
    FileWalker::Options options;
    options.maxNodeDepth = 3;
    ScanControl c1, c2;
    auto sequential = FileWalker::walk(dir.path(), c1, options);
    auto parallel = FileWalker::walkParallel(dir.path(), c2, options);
    test::expectSameTree(*sequential, *parallel);
    EXPECT_EQ(test::deepestNodeWithChildren(*parallel), 2);
    EXPECT_EQ(parallel->size, test::independentTotal(dir.path()));
    test::expectConsistent(*parallel);
    EXPECT_EQ(c2.progress().files, c1.progress().files);
}

TEST(FileWalkerParallel, ANarrowDeepTreeStopsExpandingAfterFourPasses) {
    test::TempDir dir;
    std::string path = dir.path();
    for (int i = 1; i <= 8; ++i) {
        path += "/l" + std::to_string(i);
        test::writeFileOfSize(path + "/f", 4096);
    }
    FileWalker::Options options;
    options.maxNodeDepth = 5; // frontier level 4 walked at depth 4 keeps children, level 5 none
    ScanControl c1, c2;
    auto sequential = FileWalker::walk(dir.path(), c1, options);
    auto parallel = FileWalker::walkParallel(dir.path(), c2, options);
    test::expectSameTree(*sequential, *parallel);
    EXPECT_EQ(test::deepestNodeWithChildren(*parallel), 4);
    EXPECT_EQ(parallel->fileCount, 8);
    EXPECT_EQ(parallel->dirCount, 8);
}

TEST(FileWalkerParallel, MatchesTheSequentialWalkOnAMixedTree) {
    test::ScratchDir dir;
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 7; ++b)
            for (int c = 0; c < 3; ++c)
                test::writeFileOfSize(dir / ("a" + std::to_string(a) + "/b" + std::to_string(b) + "/c" +
                                             std::to_string(c) + "/file"),
                                      1 + 1000 * (a * 21 + b * 3 + c));
    test::writeFileOfSize(dir / "top", 3000);
    ScanControl c1, c2;
    auto sequential = FileWalker::walk(dir.path(), c1);
    auto parallel = FileWalker::walkParallel(dir.path(), c2);
    test::expectSameTree(*sequential, *parallel);
    EXPECT_EQ(parallel->size, test::independentTotal(dir.path()));
}

TEST(FileWalkerParallel, HardLinksAcrossFrontierSubtreesCountOnce) {
    test::ScratchDir dir;
    for (int i = 0; i < 40; ++i) {
        std::string d = dir / ("d" + std::to_string(i));
        test::makeDirs(d + "/inner");
        if (i == 0) test::writeFileOfSize(d + "/inner/shared", 64000);
        else ASSERT_EQ(link((dir / "d0/inner/shared").c_str(), (d + "/inner/link").c_str()), 0);
    }
    ScanControl control;
    auto root = FileWalker::walkParallel(dir.path(), control);
    EXPECT_EQ(root->fileCount, 1);
    EXPECT_EQ(root->size, test::allocatedSize(dir / "d0/inner/shared"));
}

TEST(FileWalkerParallel, CancelledBeforeTheStartGivesTheRootWithZeroTotals) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "a/b/f", 4096);
    ScanControl control;
    control.cancel();
    auto parallel = FileWalker::walkParallel(dir.path(), control);
    ASSERT_TRUE(parallel);
    EXPECT_EQ(parallel->size, 0);
    EXPECT_EQ(parallel->fileCount, 0);
    auto sequential = FileWalker::walk(dir.path(), control);
    ASSERT_TRUE(sequential);
    EXPECT_EQ(sequential->size, 0);
    EXPECT_TRUE(sequential->children.empty());
}

TEST(FileWalkerParallel, CancelledMidWalkReturnsAConsistentPartialTree) {
    test::ScratchDir dir;
    for (int a = 0; a < 40; ++a)
        for (int b = 0; b < 40; ++b)
            test::writeFileOfSize(dir / ("a" + std::to_string(a) + "/b" + std::to_string(b) + "/f"), 10);
    const int64_t full = test::independentTotal(dir.path());
    for (int round = 0; round < 2; ++round) {
        ScanControl control;
        std::atomic<bool> stop{false};
        std::thread canceller([&] {
            while (!stop && control.progress().files < 50) std::this_thread::yield();
            control.cancel();
        });
        auto root = round == 0 ? FileWalker::walk(dir.path(), control) : FileWalker::walkParallel(dir.path(), control);
        stop = true;
        canceller.join();
        ASSERT_TRUE(root);
        EXPECT_LE(root->size, full);
        test::expectConsistent(*root);
    }
}

TEST(FileWalkerParallel, ManyWalksAtOnceShareOneControl) {
    test::ScratchDir dir;
    for (int r = 0; r < 6; ++r)
        for (int i = 0; i < 30; ++i)
            test::writeFileOfSize(dir / ("r" + std::to_string(r) + "/d" + std::to_string(i) + "/x/f"), 4096);
    ScanControl control;
    std::vector<ScanNodePtr> roots(6);
    concurrentPerform(6, [&](size_t r) { roots[r] = FileWalker::walkParallel(dir / ("r" + std::to_string(r)), control); });
    int64_t files = 0;
    for (const auto& root : roots) {
        ASSERT_TRUE(root);
        files += root->fileCount;
        test::expectConsistent(*root);
    }
    EXPECT_EQ(files, 180);
    EXPECT_EQ(control.progress().files, 180);
}
