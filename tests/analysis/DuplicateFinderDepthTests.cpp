// The duplicate finder's listing of trees whose deepest paths no system call could name.
#include <gtest/gtest.h>

#include "DuplicateFixtures.h"

using namespace sorvel;

TEST(DuplicateFinderDepth, CopiesAtTheBottomOfDeepChainsAreFoundByTheirFullPaths) {
    test::MemoryScratch scratch;
    test::TempDir dir;
    test::makeDirs(dir / "one");
    test::makeDirs(dir / "two");
    // 3,000 levels each: paths of 6 KB, and a listing that must go down and back up.
    test::makeFolderChain(dir / "one", 3000, "d", 5000);
    test::makeFolderChain(dir / "two", 3000, "d", 5000);
    test::makeFolderChain(dir / "two", 10, "e", 5000);
    DuplicateFinder::Options options;
    options.minimumSize = 1;
    const auto report = test::scanOne(dir.path(), options);
    EXPECT_EQ(report.filesScanned, 3);
    ASSERT_EQ(report.groups.size(), 1u);
    ASSERT_EQ(report.groups[0].files.size(), 3u);
    std::string chain;
    for (int i = 0; i < 3000; ++i) chain += "/d";
    std::string shortChain;
    for (int i = 0; i < 10; ++i) shortChain += "/e";
    std::vector<std::string> paths;
    for (const auto& file : report.groups[0].files) paths.push_back(file.path);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{dir / "one" + chain + "/f", dir / "two" + chain + "/f",
                                               dir / "two" + shortChain + "/f"}));
}
