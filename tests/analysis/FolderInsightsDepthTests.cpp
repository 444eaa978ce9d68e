// Folder insights below the first level: folders reached from their parents, at any
// depth and whatever is put in place of a folder's path while it is being gone through.
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
    // 1,500 levels of 200-byte names: the deepest paths run to 300 KB.
    const std::string name(200, 'n');
    test::makeDirs(dir / "top");
    test::makeFolderChain(dir / "top", 1500, name, 5000, true);
    const int64_t one = test::allocatedSize(dir / ("top/" + name + "/f"));
    ASSERT_GT(one, 0);
    const FolderInsights insights = test::analyzeFully(dir.path());
    EXPECT_EQ(std::tuple(insights.fileCount, insights.totalBytes), std::tuple(int64_t(1500), 1500 * one));
    ASSERT_EQ(insights.largest.size(), 12u);
    // Equal sizes keep the order met: the first twelve levels from the top.
    std::string path = dir / "top";
    for (const FileEntry& file : insights.largest) {
        path += "/" + name;
        EXPECT_EQ(file.path, path + "/f");
    }
}

// While the walk is inside top/a, "a" is moved away and a link to a folder outside takes
// its name: a's subfolder "b" is still its own, never the one the link leads to.
TEST(FolderInsightsDepth, AFolderReplacedByALinkWhileItIsReadIsNotLeft) {
    test::TempDir dir;
    test::makeDirs(dir / "tree/top/a/b");
    test::writeFile(dir / "tree/top/a/b/inside", std::string(5000, 'i'));
    test::makeDirs(dir / "outside/b");
    for (const char* file : {"x", "y", "z"})
        test::writeFile(dir / ("outside/b/" + std::string(file)), std::string(9000, 'o'));
    std::atomic<int> calls = 0;
    // Asked before top, for "a", before a, for "b", then before b is opened: swap there.
    const auto swapAtFifth = [&] {
        if (++calls == 5) {
            EXPECT_EQ(std::rename((dir / "tree/top/a").c_str(), (dir / "moved-a").c_str()), 0);
            EXPECT_EQ(symlink((dir / "outside").c_str(), (dir / "tree/top/a").c_str()), 0);
        }
        return false;
    };
    const FolderInsights insights = InsightScanner::analyze(dir / "tree", swapAtFifth);
    EXPECT_GE(calls.load(), 5);
    EXPECT_EQ(std::tuple(insights.fileCount, insights.totalBytes),
              std::tuple(int64_t(1), int64_t(test::allocatedSize(dir / "moved-a/b/inside"))));
    ASSERT_EQ(insights.largest.size(), 1u);
    EXPECT_EQ(insights.largest[0].name, "inside");
}

// A file without an extension is code inside a bundle, however far below the bundle's
// name it lies, and wherever in the path that name is.
TEST(FolderInsightsDepth, FilesWithoutExtensionAreCodeAnywhereBelowABundle) {
    const std::vector<std::tuple<const char*, std::string, std::string, FileKind>> cases = {
        {"bundle deep in a walk", "root", "top/Thing.app/Contents/a/b/c", FileKind::binary},
        {"bundle named by the analysed path", "root/Kit.framework", "top/a/b", FileKind::binary},
        {"bundle named by a walk's first folder", "root", "Tool.bundle/a/b", FileKind::binary},
        {"no bundle anywhere", "root", "top/app/Contents/a/b", FileKind::other},
    };
    for (const auto& [what, analysed, below, kind] : cases) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        test::makeDirs(dir / analysed + "/" + below);
        test::writeFile(dir / analysed + "/" + below + "/tool", "plain");
        const FolderInsights insights = test::analyzeFully(dir / analysed);
        ASSERT_EQ(insights.kinds.size(), 1u);
        EXPECT_EQ(insights.kinds[0].key, kind);
    }
}
