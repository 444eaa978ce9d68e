// What a walk counts: allocated bytes of regular files, hard links once per control,
// never symbolic links or a directory's own blocks; what it keeps per node.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/FileWalker.h"
#include "platform/Path.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;

using test::child;

TEST(FileWalkerTotals, AFileStartPathIsOneFileNode) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "one.bin", 20000);
    ScanControl control;
    auto node = FileWalker::walk(dir / "one.bin", control);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->name, "one.bin");
    EXPECT_EQ(node->size, test::allocatedSize(dir / "one.bin"));
    EXPECT_EQ(node->directFileSize, node->size);
    EXPECT_EQ(node->fileCount, 1);
    EXPECT_EQ(node->directFileCount, 1);
    EXPECT_TRUE(node->modified.has_value());
    EXPECT_EQ(control.progress().files, 0); // a file start path adds no progress

    auto parallel = FileWalker::walkParallel(dir / "one.bin", control);
    ASSERT_TRUE(parallel);
    EXPECT_EQ(parallel->size, node->size);
}

TEST(FileWalkerTotals, ASymbolicLinkStartPathIsMeasuredAsTheLinkItself) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "target/big", 100000);
    ASSERT_EQ(symlink("target", (dir / "link").c_str()), 0);
    ScanControl control;
    auto node = FileWalker::walk(dir / "link", control);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->size, test::allocatedSize(dir / "link"));
    EXPECT_LT(node->size, 100000);
    EXPECT_TRUE(node->children.empty());
}

TEST(FileWalkerTotals, AMissingStartPathYieldsNothing) {
    ScanControl control;
    EXPECT_FALSE(FileWalker::walk("/nonexistent/sorvel/path", control));
    EXPECT_FALSE(FileWalker::walkParallel("/nonexistent/sorvel/path", control));
}

TEST(FileWalkerTotals, CountsAllocatedBytesOfFilesOnly) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "a/f1", 5000);
    test::writeFileOfSize(dir / "a/b/f2", 70000);
    test::writeFileOfSize(dir / "c/f3", 1);
    test::makeDirs(dir / "empty");
    ASSERT_EQ(symlink("/usr", (dir / "a/usr-link").c_str()), 0);
    ASSERT_EQ(symlink("../a", (dir / "c/loop").c_str()), 0);
    ScanControl control;
    auto root = FileWalker::walk(dir.path(), control);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->size, test::independentTotal(dir.path()));
    EXPECT_EQ(root->fileCount, 3);
    EXPECT_EQ(root->dirCount, 4);
    EXPECT_EQ(root->directFileCount, 0);
    EXPECT_EQ(child(*root, "empty")->size, 0);
    test::expectConsistent(*root);
    // Largest first.
    EXPECT_EQ(root->children[0]->name, "a");
    EXPECT_EQ(control.progress().files, 3);
    EXPECT_EQ(control.progress().bytes, root->size);
}

TEST(FileWalkerTotals, HardLinkedFilesCountOncePerControl) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "x/original", 50000);
    test::makeDirs(dir / "y");
    ASSERT_EQ(link((dir / "x/original").c_str(), (dir / "y/copy").c_str()), 0);
    test::writeFileOfSize(dir / "other/original2", 50000);
    test::makeDirs(dir / "other2");
    ASSERT_EQ(link((dir / "other/original2").c_str(), (dir / "other2/copy2").c_str()), 0);
    const int64_t one = test::allocatedSize(dir / "x/original");

    ScanControl control;
    auto root = FileWalker::walk(dir.path(), control);
    EXPECT_EQ(root->size, 2 * one);
    EXPECT_EQ(root->fileCount, 2);
    EXPECT_EQ(root->size, test::independentTotal(dir.path()));

    // Two roots of one scan share the control: the link in the second root is known.
    ScanControl shared;
    auto first = FileWalker::walk(dir / "x", shared);
    auto second = FileWalker::walk(dir / "y", shared);
    EXPECT_EQ(first->size, one);
    EXPECT_EQ(second->size, 0);
    EXPECT_EQ(second->fileCount, 0);

    // A new control counts it again.
    ScanControl fresh;
    EXPECT_EQ(FileWalker::walk(dir / "y", fresh)->size, one);
}

TEST(FileWalkerTotals, LargeFileThresholdIsInclusive) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "edge", 12000);
    const int64_t size = test::allocatedSize(dir / "edge");
    FileWalker::Options options;
    options.largeFileThreshold = size;
    ScanControl c1;
    auto at = FileWalker::walk(dir.path(), c1, options);
    ASSERT_EQ(at->largestFiles.size(), 1u);
    EXPECT_EQ(at->largestFiles[0].name, "edge");
    EXPECT_EQ(at->largestFiles[0].path, dir / "edge");
    EXPECT_EQ(at->largestFiles[0].size, size);
    EXPECT_TRUE(at->largestFiles[0].modified.has_value());

    options.largeFileThreshold = size + 1;
    ScanControl c2;
    EXPECT_TRUE(FileWalker::walk(dir.path(), c2, options)->largestFiles.empty());
}

TEST(FileWalkerTotals, KeepsTheLargestFilesFirstListedFirstAmongEquals) {
    test::TempDir dir;
    for (int i = 0; i < 10; ++i) test::writeFileOfSize(dir / ("same" + std::to_string(i)), 8192);
    test::writeFileOfSize(dir / "bigger", 40000);
    std::vector<std::string> listing; // the order the directory lists its names in
    DIR* d = opendir(dir.path().c_str());
    while (auto* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.rfind("same", 0) == 0) listing.push_back(n);
    }
    closedir(d);

    FileWalker::Options options;
    options.largeFileThreshold = 1;
    options.largestFilesPerDirectory = 8;
    ScanControl control;
    auto root = FileWalker::walk(dir.path(), control, options);
    ASSERT_EQ(root->largestFiles.size(), 8u);
    EXPECT_EQ(root->largestFiles[0].name, "bigger");
    for (size_t i = 1; i < 8; ++i) EXPECT_EQ(root->largestFiles[i].name, listing[i - 1]);

    options.largestFilesPerDirectory = 0;
    ScanControl c2;
    EXPECT_TRUE(FileWalker::walk(dir.path(), c2, options)->largestFiles.empty());
}

TEST(FileWalkerTotals, NodesAtMaximumDepthKeepTotalsButNoChildren) {
    test::TempDir dir;
    std::string path = dir.path();
    for (int i = 0; i < 6; ++i) {
        path += "/d" + std::to_string(i);
        test::writeFileOfSize(path + "/f", 4096);
    }
    FileWalker::Options options;
    options.maxNodeDepth = 2;
    ScanControl control;
    auto root = FileWalker::walk(dir.path(), control, options);
    EXPECT_EQ(test::deepestNodeWithChildren(*root), 1);
    const ScanNode* atDepth2 = root->children[0]->children[0].get();
    EXPECT_TRUE(atDepth2->children.empty());
    EXPECT_EQ(atDepth2->fileCount, 5); // its own file and those of d2 to d5
    EXPECT_EQ(atDepth2->dirCount, 4);
    EXPECT_EQ(root->size, test::independentTotal(dir.path()));
    EXPECT_EQ(root->dirCount, 6);
}

TEST(FileWalkerTotals, SkippedNamesAndExcludedPathsAreLeftOut) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "keep/f", 4096);
    test::writeFileOfSize(dir / ".fseventsd/f", 4096);
    test::writeFileOfSize(dir / "keep/.Spotlight-V100", 4096); // a file of a skipped name
    test::writeFileOfSize(dir / "excluded/f", 4096);
    test::writeFileOfSize(dir / "excluded-sibling/f", 4096);
    FileWalker::Options options;
    options.excludedPaths = {dir / "excluded"};
    ScanControl control;
    auto root = FileWalker::walk(dir.path(), control, options);
    EXPECT_EQ(root->fileCount, 2);
    EXPECT_TRUE(child(*root, "keep"));
    EXPECT_TRUE(child(*root, "excluded-sibling")); // exact paths only
    EXPECT_FALSE(child(*root, "excluded"));
    EXPECT_FALSE(child(*root, ".fseventsd"));
}

TEST(FileWalkerTotals, AStartPathEndingInSlashJoinsWithoutDoubling) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "sub/f", 4096);
    FileWalker::Options options;
    options.excludedPaths = {dir / "sub"}; // matches only when the join is clean
    ScanControl control;
    auto root = FileWalker::walk(dir.path() + "/", control);
    ASSERT_EQ(root->children.size(), 1u);
    EXPECT_EQ(root->children[0]->path, dir / "sub");
    EXPECT_EQ(root->name, lastPathComponent(dir.path()));
    ScanControl c2;
    EXPECT_EQ(FileWalker::walk(dir.path() + "/", c2, options)->fileCount, 0);
}

TEST(FileWalkerTotals, DirectoriesOnAnotherDeviceAreSkippedWhenStayingOnDevice) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "local/f", 4096);
    test::makeDirs(dir / "mnt");
    if (test::runCommand({"/bin/mount", "-t", "tmpfs", "none", dir / "mnt"}).status != 0)
        GTEST_SKIP() << "cannot mount a file system here";
    struct Unmount {
        std::string path;
        ~Unmount() { test::runCommand({"/bin/umount", path}); }
    } unmount{dir / "mnt"};
    test::writeFileOfSize(dir / "mnt/remote", 100000);

    ScanControl c1;
    auto stay = FileWalker::walk(dir.path(), c1);
    EXPECT_FALSE(child(*stay, "mnt"));
    EXPECT_EQ(stay->fileCount, 1);
    ScanControl c2;
    EXPECT_FALSE(child(*FileWalker::walkParallel(dir.path(), c2), "mnt"));

    FileWalker::Options roam;
    roam.stayOnDevice = false;
    ScanControl c3;
    auto all = FileWalker::walk(dir.path(), c3, roam);
    ASSERT_TRUE(child(*all, "mnt"));
    EXPECT_EQ(all->fileCount, 2);
}
