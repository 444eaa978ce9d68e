// The duplicate finder's listing of trees whose deepest paths no system call could name.
#include <gtest/gtest.h>

#include "DuplicateFixtures.h"

using namespace sorvel;

TEST(DuplicateFinderDepth, CopiesAtTheBottomOfDeepChainsAreFoundByTheirFullPaths) {
    test::MemoryScratch scratch;
    test::TempDir dir;
    // 3,000 levels each: paths of 6 KB, and a listing that must go down and back up.
    const std::pair<std::string, int> chains[] = {{"one/d", 3000}, {"two/d", 3000}, {"two/e", 10}};
    std::vector<std::string> expected;
    for (const auto& [start, depth] : chains) {
        const std::string top = dir / start.substr(0, 3), name = start.substr(4);
        test::makeDirs(top);
        test::makeFolderChain(top, depth, name, 5000);
        std::string path = top;
        for (int i = 0; i < depth; ++i) path += "/" + name;
        expected.push_back(path + "/f");
    }
    DuplicateFinder::Options options;
    options.minimumSize = 1;
    const auto report = test::scanOne(dir.path(), options);
    EXPECT_EQ(report.filesScanned, 3);
    ASSERT_EQ(report.groups.size(), 1u);
    std::vector<std::string> paths;
    for (const auto& file : report.groups[0].files) paths.push_back(file.path);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, expected);
}
