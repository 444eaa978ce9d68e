// Splicing a re-walked node into the tree: what moves, what every ancestor's totals
// become, the size change reported to the caller, and the old tree left as it was.
#include <gtest/gtest.h>

#include "engine/FileWalker.h"
#include "engine/TreeUpdater.h"
#include "engine/TreeUpdaterFixtures.h"
#include "engine/WalkerTestTree.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Tree {
    ScanNodePtr a = dirNode("/a", 10, 1);
    ScanNodePtr b = addChild(a, "b", 20, 2);
    ScanNodePtr c = addChild(b, "c", 300, 3);
    ScanNodePtr f = addChild(b, "f", 100, 1);
    ScanNodePtr e = addChild(a, "e", 200, 1);
    ScanNodePtr second = dirNode("/second", 1000, 1);
    ScanResult result;
    Tree() {
        rollUpAll(*a);
        result = resultOf({categoryOf("one", {second, a})});
    }
};

ScanNodePtr replacementFor(const ScanNodePtr& old, int64_t ownBytes, int64_t ownFiles) {
    return dirNode(old->path, ownBytes, ownFiles);
}

} // namespace

TEST(TreeUpdaterApply, RemovingAChildShrinksEveryAncestor) {
    Tree t;
    ASSERT_EQ(t.a->size, 630);
    ASSERT_EQ(t.a->fileCount, 8);
    ASSERT_EQ(t.a->dirCount, 4);
    auto l = TreeUpdater::locate("/a/b/c", t.result);
    ASSERT_TRUE(l);
    EXPECT_EQ(TreeUpdater::apply(nullptr, *l, t.result), -300);
    const auto a = t.result.node("/a"), b = t.result.node("/a/b");
    EXPECT_EQ(b->size, 120);
    EXPECT_EQ(b->fileCount, 3);
    EXPECT_EQ(b->dirCount, 1);
    EXPECT_EQ(a->size, 330);
    EXPECT_EQ(a->fileCount, 5);
    EXPECT_EQ(a->dirCount, 3);
    // b (120) fell below e (200): the root's children are ordered largest first again
    ASSERT_EQ(a->children.size(), 2u);
    EXPECT_EQ(a->children[0], t.e);
    EXPECT_EQ(a->children[1], b);
    expectConsistent(*a);
}

// Whoever still holds the tree from before (a screen, the back stack) sees it unchanged;
// the changed ancestors are copies that keep who they are.
TEST(TreeUpdaterApply, TheTreeFromBeforeIsLeftAsItWas) {
    Tree t;
    const ScanResult before = t.result;
    auto l = TreeUpdater::locate("/a/b/c", t.result);
    ASSERT_TRUE(l);
    TreeUpdater::apply(nullptr, *l, t.result);
    EXPECT_EQ(t.a->size, 630);
    EXPECT_EQ(t.b->size, 420);
    EXPECT_EQ(t.b->children.size(), 2u);
    EXPECT_EQ(before.node("/a/b/c"), t.c);
    EXPECT_EQ(before.categories[0].roots[1], t.a);
    expectConsistent(*t.a);
    const auto a = t.result.node("/a"), b = t.result.node("/a/b");
    EXPECT_NE(a, t.a);
    EXPECT_EQ(a->id, t.a->id);
    EXPECT_EQ(b->id, t.b->id);
    EXPECT_EQ(t.result.node("/a/e"), t.e); // untouched branches are shared
    EXPECT_EQ(t.result.node("/second"), t.second);
}

TEST(TreeUpdaterApply, ReplacementTakesTheOldNodesPlaceAndTheOldObjectKeepsItsState) {
    Tree t;
    auto l = TreeUpdater::locate("/a/b/f", t.result);
    ASSERT_TRUE(l);
    auto fresh = replacementFor(t.f, 1000, 4);
    EXPECT_EQ(TreeUpdater::apply(fresh, *l, t.result), 900);
    const auto a = t.result.node("/a"), b = t.result.node("/a/b");
    EXPECT_EQ(b->children[0], fresh); // now the largest child
    EXPECT_EQ(t.f->size, 100);        // the detached node is untouched
    EXPECT_EQ(a->size, 1530);
    EXPECT_EQ(a->fileCount, 11);
    EXPECT_EQ(a->children[0], b);
    expectConsistent(*a);
}

TEST(TreeUpdaterApply, AncestorsKeepTheirOwnFilesAndDates) {
    Tree t;
    t.b->largestFiles.push_back(FileEntry{});
    t.b->accessDenied = true;
    auto l = TreeUpdater::locate("/a/b/c", t.result);
    TreeUpdater::apply(replacementFor(t.c, 5, 1), *l, t.result);
    const auto b = t.result.node("/a/b");
    EXPECT_EQ(b->directFileSize, 20);
    EXPECT_EQ(b->directFileCount, 2);
    EXPECT_EQ(b->largestFiles.size(), 1u);
    EXPECT_TRUE(b->accessDenied);
}

TEST(TreeUpdaterApply, NewDirectoryIsAppendedToTheNearestScannedAncestor) {
    Tree t;
    // The event names b/new, located at b; the caller re-walks b itself. Splicing a
    // node for a path that b does not hold appends it.
    TreeUpdater::Location l;
    l.categoryIndex = 0;
    l.rootIndex = 1;
    l.chain = {t.a, t.b, dirNode("/a/b/new")};
    auto fresh = dirNode("/a/b/new", 50, 2);
    EXPECT_EQ(TreeUpdater::apply(fresh, l, t.result), 50);
    EXPECT_EQ(t.result.node("/a/b")->children.size(), 3u);
    EXPECT_EQ(t.result.node("/a")->size, 680);
    expectConsistent(*t.result.node("/a"));
}

TEST(TreeUpdaterApply, MissingChildWithoutReplacementChangesNoChildren) {
    Tree t;
    TreeUpdater::Location l;
    l.categoryIndex = 0;
    l.rootIndex = 1;
    auto ghost = dirNode("/a/b/ghost", 70, 1);
    l.chain = {t.a, t.b, ghost};
    EXPECT_EQ(TreeUpdater::apply(nullptr, l, t.result), -70);
    EXPECT_EQ(t.result.node("/a/b")->children.size(), 2u);
    EXPECT_EQ(t.result.node("/a")->size, 630);
}

TEST(TreeUpdaterApply, RootWithoutReplacementStaysListedEmptyAndInPlace) {
    Tree t;
    auto l = TreeUpdater::locate("/second", t.result);
    ASSERT_TRUE(l);
    EXPECT_EQ(TreeUpdater::apply(nullptr, *l, t.result), -1000);
    const auto& roots = t.result.categories[0].roots;
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0]->path, "/second");
    EXPECT_EQ(roots[0]->name, "second");
    EXPECT_EQ(roots[0]->size, 0);
    EXPECT_EQ(roots[0]->fileCount, 0);
    EXPECT_NE(roots[0], t.second);
    EXPECT_EQ(t.result.categories[0].total(), 630);
}

TEST(TreeUpdaterApply, RootReplacementDoesNotReorderTheRoots) {
    Tree t;
    auto l = TreeUpdater::locate("/a", t.result);
    ASSERT_TRUE(l);
    auto fresh = replacementFor(t.a, 5000, 1);
    EXPECT_EQ(TreeUpdater::apply(fresh, *l, t.result), 5000 - 630);
    const auto& roots = t.result.categories[0].roots;
    EXPECT_EQ(roots[0], t.second);
    EXPECT_EQ(roots[1], fresh); // larger now, but still second
}

TEST(TreeUpdaterApply, SameSizeReplacementReportsNoChangeEvenWithOtherCounts) {
    Tree t;
    auto l = TreeUpdater::locate("/a/b/c", t.result);
    auto fresh = replacementFor(t.c, 300, 99);
    EXPECT_EQ(TreeUpdater::apply(fresh, *l, t.result), 0);
    EXPECT_EQ(t.result.node("/a/b")->children[0], fresh);
    EXPECT_EQ(t.result.node("/a")->fileCount, 8 - 3 + 99);
}

TEST(TreeUpdaterApply, EqualSizedChildrenKeepTheirOrder) {
    auto root = dirNode("/r");
    auto x = addChild(root, "x", 10, 1);
    auto y = addChild(root, "y", 10, 1);
    auto z = addChild(root, "z", 5, 1);
    rollUpAll(*root);
    auto r = resultOf({categoryOf("c", {root})});
    auto l = TreeUpdater::locate("/r/z", r);
    TreeUpdater::apply(dirNode("/r/z", 10, 1), *l, r);
    const auto now = r.node("/r");
    ASSERT_EQ(now->children.size(), 3u);
    EXPECT_EQ(now->children[0], x);
    EXPECT_EQ(now->children[1], y);
    EXPECT_EQ(now->children[2]->name, "z");
}

// A real tree changed on disk: re-walking the located node and splicing it gives the same
// totals as walking the whole tree afresh.
TEST(TreeUpdaterApply, SplicedTreeMatchesAFreshWalk) {
    TempDir dir;
    writeFileOfSize(dir / "top/one/a.bin", 8192);
    writeFileOfSize(dir / "top/one/deep/b.bin", 4096);
    writeFileOfSize(dir / "top/two/c.bin", 4096);
    ScanControl control;
    auto root = FileWalker::walkParallel(dir / "top", control);
    ASSERT_TRUE(root);
    ScanResult result = resultOf({categoryOf("w", {root})});

    writeFileOfSize(dir / "top/one/deep/more.bin", 65536);
    auto kept = TreeUpdater::coalesce({dir / "top/one/deep", dir / "top/one/deep/"}, result);
    ASSERT_EQ(kept.size(), 1u);
    auto l = TreeUpdater::locate(kept[0], result);
    ASSERT_TRUE(l);
    ScanControl again;
    auto fresh = FileWalker::walkParallel(l->chain.back()->path, again);
    const int64_t change = TreeUpdater::apply(fresh, *l, result);
    EXPECT_EQ(change, allocatedSize(dir / "top/one/deep/more.bin"));

    ScanControl whole;
    auto expected = FileWalker::walkParallel(dir / "top", whole);
    const auto& now = result.categories[0].roots[0];
    EXPECT_EQ(now->size, expected->size);
    EXPECT_EQ(now->fileCount, expected->fileCount);
    EXPECT_EQ(now->dirCount, expected->dirCount);
    expectConsistent(*now);
}
