// Measuring one folder again with the control of the first walk: hard-linked files
// counted inside the folder are counted again, those counted elsewhere are not.
#include <gtest/gtest.h>

#include <unistd.h>

#include "engine/FileWalker.h"
#include "engine/TreeUpdater.h"
#include "engine/TreeUpdaterFixtures.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

ScanNodePtr childNamed(const ScanNodePtr& node, const std::string& name) {
    for (const auto& c : node->children)
        if (c->name == name) return c;
    return nullptr;
}

} // namespace

TEST(HardLinkRewalk, WithoutReleaseARewalkLosesTheLinkedFile) {
    // What a plain shared control does: the second walk finds the file already counted.
    TempDir dir;
    writeFileOfSize(dir / "top/a/data", 65536);
    ASSERT_EQ(link((dir / "top/a/data").c_str(), (dir / "top/a/again").c_str()), 0);
    ScanControl control;
    auto first = FileWalker::walk(dir / "top/a", control);
    auto second = FileWalker::walk(dir / "top/a", control);
    EXPECT_GT(first->size, 0);
    EXPECT_EQ(second->size, 0);
}

TEST(HardLinkRewalk, ReleasedFolderCountsItsLinkedFilesAgain) {
    TempDir dir;
    writeFileOfSize(dir / "top/a/data", 65536);
    ASSERT_EQ(link((dir / "top/a/data").c_str(), (dir / "top/a/again").c_str()), 0);
    writeFileOfSize(dir / "top/b/other", 4096);
    ScanControl control;
    control.keepInodeOwners();
    auto root = FileWalker::walkParallel(dir / "top", control);
    const int64_t linked = allocatedSize(dir / "top/a/data");
    ASSERT_EQ(childNamed(root, "a")->size, linked);

    control.releaseInodes(dir / "top/a/"); // a trailing slash names the same folder
    auto again = FileWalker::walkParallel(dir / "top/a", control);
    EXPECT_EQ(again->size, linked);
    EXPECT_EQ(again->fileCount, 1);
}

TEST(HardLinkRewalk, FileCountedInAnotherFolderStaysCountedThere) {
    TempDir dir;
    writeFileOfSize(dir / "top/a/data", 65536);
    makeDirs(dir / "top/b");
    ASSERT_EQ(link((dir / "top/a/data").c_str(), (dir / "top/b/link").c_str()), 0);
    ScanControl control;
    control.keepInodeOwners();
    auto root = FileWalker::walk(dir / "top", control);
    ScanResult result = resultOf({categoryOf("w", {root})});
    const int64_t total = root->size;
    EXPECT_EQ(total, allocatedSize(dir / "top/a/data"));

    // Whichever folder counted the file, re-walking either one leaves the total alone.
    for (const char* folder : {"a", "b", "a", "b"}) {
        auto l = TreeUpdater::locate(dir / "top/" + folder, result);
        ASSERT_TRUE(l);
        control.releaseInodes(l->chain.back()->path);
        auto fresh = FileWalker::walkParallel(l->chain.back()->path, control);
        EXPECT_EQ(TreeUpdater::apply(fresh, *l, result), 0) << folder;
        EXPECT_EQ(result.categories[0].roots[0]->size, total) << folder;
    }
}

TEST(HardLinkRewalk, WithoutKeptOwnersNothingIsReleased) {
    TempDir dir;
    writeFileOfSize(dir / "a/data", 8192);
    ASSERT_EQ(link((dir / "a/data").c_str(), (dir / "a/again").c_str()), 0);
    ScanControl control;
    FileWalker::walk(dir / "a", control);
    control.releaseInodes(dir / "a");
    EXPECT_EQ(FileWalker::walk(dir / "a", control)->size, 0);
}

// The name the file was counted under goes: the folder holding its other name is the one
// to measure again, and no folder is named while the file is still counted.
TEST(HardLinkRewalk, AFileThatLostItsCountedNameNamesTheFolderOfItsOtherName) {
    TempDir dir;
    writeFileOfSize(dir / "top/a/data", 65536);
    makeDirs(dir / "top/b");
    ASSERT_EQ(link((dir / "top/a/data").c_str(), (dir / "top/b/again").c_str()), 0);
    ScanControl control;
    control.keepInodeOwners();
    ASSERT_GT(FileWalker::walk(dir / "top/a", control)->size, 0); // a counts the file
    ASSERT_EQ(FileWalker::walk(dir / "top/b", control)->size, 0);

    control.releaseInodes(dir / "top/a");
    EXPECT_GT(FileWalker::walk(dir / "top/a", control)->size, 0);
    EXPECT_TRUE(control.uncountedElsewhere(dir / "top/a").empty());

    ASSERT_EQ(unlink((dir / "top/a/data").c_str()), 0);
    control.releaseInodes(dir / "top/a");
    EXPECT_EQ(FileWalker::walk(dir / "top/a", control)->size, 0);
    EXPECT_EQ(control.uncountedElsewhere(dir / "top/a"), std::vector<std::string>{dir / "top/b"});
    control.releaseInodes(dir / "top/b");
    EXPECT_GT(FileWalker::walk(dir / "top/b", control)->size, 0);
    EXPECT_TRUE(control.uncountedElsewhere(dir / "top/b").empty());
}

// A root nested in a folder and measured on its own (left out of the folder's walk) keeps
// the files it counted when the folder is measured again: the total does not change.
TEST(HardLinkRewalk, MeasuringAFolderAgainLeavesTheFilesOfARootNestedInIt) {
    TempDir dir;
    writeFileOfSize(dir / "share/Trash/files/data", 65536);
    writeFileOfSize(dir / "share/own", 4096);
    makeDirs(dir / "other");
    ASSERT_EQ(link((dir / "share/Trash/files/data").c_str(), (dir / "other/again").c_str()), 0);
    FileWalker::Options outer;
    outer.excludedPaths = {dir / "share/Trash/files"};
    const auto optionsFor = [&](const std::string& path) {
        return path == dir / "share" ? outer : FileWalker::Options{};
    };
    ScanControl control;
    control.keepInodeOwners();
    ScanResult result = resultOf({categoryOf(
        "w", {FileWalker::walk(dir / "share/Trash/files", control), FileWalker::walk(dir / "share", control, outer),
              FileWalker::walk(dir / "other", control)})});
    const auto total = [&] {
        int64_t sum = 0;
        for (const auto& root : result.categories[0].roots) sum += root->size;
        return sum;
    };
    const int64_t before = total();
    ASSERT_EQ(before, allocatedSize(dir / "share/Trash/files/data") + allocatedSize(dir / "share/own"));

    for (const char* folder : {"share", "other"}) {
        TreeUpdater::remeasure({dir / folder}, result, control, optionsFor, FileWalker::walk);
        EXPECT_EQ(total(), before) << folder;
    }
}

TEST(HardLinkRewalk, AFileLeftNamedOnlyInARootNestedInTheFolderIsCountedThere) {
    TempDir dir;
    // Counted in share/A, whose path sorts before the Trash's; its other name is in the Trash.
    writeFileOfSize(dir / "share/A/data", 65536);
    makeDirs(dir / "share/Trash/files");
    ASSERT_EQ(link((dir / "share/A/data").c_str(), (dir / "share/Trash/files/data").c_str()), 0);
    FileWalker::Options outer;
    outer.excludedPaths = {dir / "share/Trash/files"};
    const auto optionsFor = [&](const std::string& path) {
        return path == dir / "share" ? outer : FileWalker::Options{};
    };
    ScanControl control;
    control.keepInodeOwners();
    ScanResult result = resultOf({categoryOf(
        "w", {FileWalker::walk(dir / "share", control, outer), FileWalker::walk(dir / "share/Trash/files", control)})});
    const auto total = [&] {
        int64_t sum = 0;
        for (const auto& root : result.categories[0].roots) sum += root->size;
        return sum;
    };
    const int64_t file = allocatedSize(dir / "share/A/data");
    ASSERT_LT(result.categories[0].roots[1]->size, file) << "counted in share/A, not in the Trash";

    ASSERT_EQ(::unlink((dir / "share/A/data").c_str()), 0); // the Trash's name is its only one now
    const int64_t before = total();
    TreeUpdater::remeasure({dir / "share"}, result, control, optionsFor, FileWalker::walk);
    EXPECT_EQ(total(), before) << "the file in the Trash is counted nowhere";
    EXPECT_GE(result.categories[0].roots[1]->size, file);
}
