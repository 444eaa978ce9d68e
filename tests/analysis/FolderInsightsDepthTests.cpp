#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <tuple>

#include "InsightsFixtures.h"

using namespace sorvel;

TEST(FolderInsightsDepth, ChainsLongerThanAnyPathAreCountedToTheBottom) {
    test::MemoryScratch scratch;
    test::TempDir dir;
    const std::string name(200, 'n'); // 1,500 levels: the deepest paths run to 300 KB
    test::makeDirs(dir / "top");
    test::makeFolderChain(dir / "top", 1500, name, 5000, true);
    const int64_t one = test::allocatedSize(dir / ("top/" + name + "/f"));
    const FolderInsights insights = test::analyzeFully(dir.path());
    EXPECT_EQ(std::tuple(insights.fileCount, insights.totalBytes), std::tuple(int64_t(1500), 1500 * one));
}

// Inside top/a, "a" is swapped for a link to "outside": a's "b" stays its own.
TEST(FolderInsightsDepth, AFolderReplacedByALinkWhileItIsReadIsNotLeft) {
    test::TempDir dir;
    test::writeFile(dir / "tree/top/a/b/inside", std::string(5000, 'i'));
    for (const char* file : {"x", "y", "z"}) test::writeFile(dir / "outside/b/" + file, std::string(9000, 'o'));
    std::atomic<int> calls = 0;
    // Asked before top, for "a", before a, for "b", then before b is opened: swap there.
    const FolderInsights insights = InsightScanner::analyze(dir / "tree", [&] {
        if (++calls == 5) {
            EXPECT_EQ(std::rename((dir / "tree/top/a").c_str(), (dir / "moved-a").c_str()), 0);
            EXPECT_EQ(symlink((dir / "outside").c_str(), (dir / "tree/top/a").c_str()), 0);
        }
        return false;
    });
    EXPECT_GE(calls.load(), 5);
    EXPECT_EQ(std::tuple(insights.fileCount, insights.totalBytes),
              std::tuple(int64_t(1), int64_t(test::allocatedSize(dir / "moved-a/b/inside"))));
}

