// Folder insights below the first level, at any depth and with folders swapped mid-walk.
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
    ASSERT_EQ(insights.largest.size(), 12u);
    EXPECT_EQ(insights.largest[1].path, dir / ("top/" + name + "/" + name + "/f")); // equal sizes keep walk order
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

// A file without an extension is code anywhere below a bundle's name, wherever that name is.
TEST(FolderInsightsDepth, FilesWithoutExtensionAreCodeAnywhereBelowABundle) {
    const std::tuple<const char*, const char*, FileKind> cases[] = {
        {"root", "top/Thing.app/Contents/a/b/c", FileKind::binary},
        {"root/Kit.framework", "top/a/b", FileKind::binary},
        {"root", "Tool.bundle/a/b", FileKind::binary},
        {"root", "top/app/Contents/a/b", FileKind::other},
    };
    for (const auto& [analysed, below, kind] : cases) {
        test::TempDir dir;
        test::writeFile(dir / analysed + "/" + below + "/tool", "plain");
        const FolderInsights insights = test::analyzeFully(dir / analysed);
        ASSERT_EQ(insights.kinds.size(), 1u) << below;
        EXPECT_EQ(insights.kinds[0].key, kind) << analysed << "/" << below;
    }
}
