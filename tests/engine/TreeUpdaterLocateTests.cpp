// Finding changed directories in the tree and reducing a batch to what must be re-walked.
#include <gtest/gtest.h>

#include "engine/TreeUpdater.h"
#include "engine/TreeUpdaterFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// /a with b (with c (with d)) and e; a second category rooted at /other.
struct Tree {
    ScanNodePtr a = dirNode("/a", 10, 1);
    ScanNodePtr b = addChild(a, "b", 20, 2);
    ScanNodePtr c = addChild(b, "c", 30, 3);
    ScanNodePtr d = addChild(c, "d", 40, 4);
    ScanNodePtr e = addChild(a, "e", 5, 1);
    ScanNodePtr other = dirNode("/other", 7, 1);
    ScanResult result;
    Tree() {
        rollUpAll(*a);
        result = resultOf({categoryOf("one", {a}), categoryOf("two", {other})});
    }
};

std::string locatedPath(const std::string& path, const ScanResult& r) {
    auto l = TreeUpdater::locate(path, r);
    return l ? l->chain.back()->path : std::string("<none>");
}

} // namespace

TEST(TreeUpdaterLocate, ChainRunsFromTheRootDownToTheDeepestScannedNode) {
    Tree t;
    auto l = TreeUpdater::locate("/a/b/c/d", t.result);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->categoryIndex, 0);
    EXPECT_EQ(l->rootIndex, 0);
    ASSERT_EQ(l->chain.size(), 4u);
    EXPECT_EQ(l->chain[0], t.a);
    EXPECT_EQ(l->chain[1], t.b);
    EXPECT_EQ(l->chain[2], t.c);
    EXPECT_EQ(l->chain[3], t.d);
}

TEST(TreeUpdaterLocate, RootItselfIsAChainOfOne) {
    Tree t;
    auto l = TreeUpdater::locate("/other", t.result);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->categoryIndex, 1);
    EXPECT_EQ(l->chain.size(), 1u);
    EXPECT_EQ(l->chain[0], t.other);
}

TEST(TreeUpdaterLocate, PathBelowAnUnscannedDirectoryStopsAtTheNearestScannedAncestor) {
    Tree t;
    // d is the deepest node kept (as when it sits at the maximum node depth).
    EXPECT_EQ(locatedPath("/a/b/c/d/x/y/z", t.result), "/a/b/c/d");
    // a directory that did not exist at the last walk
    EXPECT_EQ(locatedPath("/a/b/new", t.result), "/a/b");
}

TEST(TreeUpdaterLocate, TrailingAndDoubledSlashesDoNotMatter) {
    Tree t;
    EXPECT_EQ(locatedPath("/a/b/c/", t.result), "/a/b/c");
    EXPECT_EQ(locatedPath("/a/b//c///", t.result), "/a/b/c");
    EXPECT_EQ(locatedPath("/a///", t.result), "/a");
}

TEST(TreeUpdaterLocate, SiblingWhoseNameExtendsARootIsOutside) {
    Tree t;
    EXPECT_EQ(locatedPath("/ab", t.result), "<none>");
    EXPECT_EQ(locatedPath("/a-b/c", t.result), "<none>");
    EXPECT_EQ(locatedPath("/", t.result), "<none>");
}

TEST(TreeUpdaterLocate, FirstMatchingRootWinsWhenRootsNest) {
    auto lib = dirNode("/L");
    auto caches = addChild(lib, "Caches", 9, 1);
    auto cacheRoot = dirNode("/L/Caches", 9, 1);
    auto r = resultOf({categoryOf("caches", {cacheRoot}), categoryOf("other", {lib})});
    auto l = TreeUpdater::locate("/L/Caches/x", r);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->categoryIndex, 0);
    EXPECT_EQ(l->chain.back(), cacheRoot);
}

TEST(TreeUpdaterLocate, FirmlinkFormsFindEachOther) {
    auto log = dirNode("/private/var/log");
    auto x = addChild(log, "x", 1, 1);
    auto tmp = dirNode("/tmp");
    auto r = resultOf({categoryOf("logs", {log}), categoryOf("tmp", {tmp})});
    EXPECT_EQ(locatedPath("/var/log/x", r), "/private/var/log/x");
    EXPECT_EQ(locatedPath("/var/log/unscanned", r), "/private/var/log");
    EXPECT_EQ(locatedPath("/private/tmp/y", r), "/tmp");
    EXPECT_EQ(locatedPath("/etc/hosts", r), "<none>");
    EXPECT_EQ(locatedPath("/private/etc", r), "<none>");
}

TEST(TreeUpdaterLocate, FirmlinkAlternateForms) {
    EXPECT_EQ(TreeUpdater::firmlinkAlternate("/private/var/log"), "/var/log");
    EXPECT_EQ(TreeUpdater::firmlinkAlternate("/private/anything/else"), "/anything/else");
    EXPECT_EQ(TreeUpdater::firmlinkAlternate("/var"), "/private/var");
    EXPECT_EQ(TreeUpdater::firmlinkAlternate("/tmp/a"), "/private/tmp/a");
    EXPECT_EQ(TreeUpdater::firmlinkAlternate("/etc/x"), "/private/etc/x");
    EXPECT_FALSE(TreeUpdater::firmlinkAlternate("/variable"));
    EXPECT_FALSE(TreeUpdater::firmlinkAlternate("/private"));
    EXPECT_FALSE(TreeUpdater::firmlinkAlternate("/Users/me"));
}

TEST(TreeUpdaterLocate, SearchDoesNotTryTheOtherForm) {
    auto log = dirNode("/private/var/log");
    auto r = resultOf({categoryOf("logs", {log})});
    EXPECT_FALSE(TreeUpdater::search("/var/log", r));
    EXPECT_TRUE(TreeUpdater::search("/private/var/log", r));
}

TEST(TreeUpdaterCoalesce, NestedChangesReduceToTheOuterDirectory) {
    Tree t;
    auto kept = TreeUpdater::coalesce({"/a/b", "/a/b/c", "/a/b/c/"}, t.result);
    EXPECT_EQ(kept, (std::vector<std::string>{"/a/b"}));
}

TEST(TreeUpdaterCoalesce, ManyChangesUnderOneScannedDirectoryCountOnce) {
    Tree t;
    auto kept = TreeUpdater::coalesce({"/a/b/c/d/x", "/a/b/c/d/y/z", "/a/b/c/d"}, t.result);
    EXPECT_EQ(kept, (std::vector<std::string>{"/a/b/c/d"}));
}

TEST(TreeUpdaterCoalesce, ShorterFirstAndSiblingsKept) {
    Tree t;
    auto kept = TreeUpdater::coalesce({"/a/b/c/d", "/other/q", "/a/e"}, t.result);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0], "/a/e"); // 4 characters
    EXPECT_EQ(kept[1], "/other");
    EXPECT_EQ(kept[2], "/a/b/c/d");
}

TEST(TreeUpdaterCoalesce, OutsideEveryRootGivesNothing) {
    Tree t;
    EXPECT_TRUE(TreeUpdater::coalesce({}, t.result).empty());
    EXPECT_TRUE(TreeUpdater::coalesce({"/elsewhere", "/ab/c"}, t.result).empty());
}

TEST(TreeUpdaterCoalesce, NestedRootsBothKeptWhenNeitherHoldsTheOtherAsText) {
    // "/a/b" contains "/a/bc" only as a text prefix, not as a folder.
    auto ab = dirNode("/a/b");
    auto abc = dirNode("/a/bc");
    auto r = resultOf({categoryOf("x", {ab, abc})});
    auto kept = TreeUpdater::coalesce({"/a/bc/1", "/a/b/1"}, r);
    EXPECT_EQ(kept, (std::vector<std::string>{"/a/b", "/a/bc"}));
}

TEST(TreeUpdaterCoalesce, RootAtSlashHoldsEveryPath) {
    auto top = dirNode("/");
    auto usr = ScanNode::make("usr", "/usr");
    top->children.push_back(usr);
    auto r = resultOf({categoryOf("all", {top})});
    EXPECT_EQ(locatedPath("/usr/lib", r), "/usr");
    EXPECT_EQ(locatedPath("/opt", r), "/");
    EXPECT_EQ(TreeUpdater::coalesce({"/usr/lib", "/opt"}, r), (std::vector<std::string>{"/"}));
}

namespace {

// A root of its own inside a folder of another category, which that category's walk leaves
// out: a change there is measured by its own root even when the folder holding it changed too.
struct NestedRootCase {
    std::string name;
    std::vector<std::string> changed;
    std::vector<std::string> kept;
};

void PrintTo(const NestedRootCase& c, std::ostream* os) { *os << c.name; }

class TreeUpdaterCoalesceNested : public ::testing::TestWithParam<NestedRootCase> {};

TEST_P(TreeUpdaterCoalesceNested, ARootInsideAnotherRootsFolderIsMeasuredItself) {
    auto share = dirNode("/S");
    addChild(share, "own", 3, 1);
    auto trash = dirNode("/S/Trash/files", 5, 1);
    auto lib = dirNode("/L");
    auto caches = dirNode("/L/Caches", 9, 1);
    auto shareCategory = categoryOf("share", {share});
    shareCategory.category.excludedPaths = {"/S/Trash/files"};
    auto libCategory = categoryOf("library", {lib});
    libCategory.category.excludedPaths = {"/L/Caches"};
    // The outer folders' categories come first: their roots hold the nested paths as text.
    const auto r = resultOf({shareCategory, libCategory, categoryOf("trash", {trash}), categoryOf("caches", {caches})});
    EXPECT_EQ(TreeUpdater::coalesce(GetParam().changed, r), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, TreeUpdaterCoalesceNested,
    ::testing::Values(NestedRootCase{"OuterRootAndNestedRoot", {"/S", "/S/Trash/files"}, {"/S", "/S/Trash/files"}},
                      NestedRootCase{"BelowTheNestedRootFirst", {"/S/Trash/files/x", "/S"}, {"/S", "/S/Trash/files"}},
                      NestedRootCase{"FolderOnTheWayMade", {"/S/Trash", "/S/Trash/files"}, {"/S", "/S/Trash/files"}},
                      NestedRootCase{"SameRootStillOnce", {"/S/own", "/S", "/S/Trash/files/y"}, {"/S", "/S/Trash/files"}},
                      NestedRootCase{"TwoPairs", {"/L", "/L/Caches/a", "/S/own", "/S/Trash/files"},
                                     {"/L", "/S/own", "/L/Caches", "/S/Trash/files"}}),
    [](const auto& info) { return info.param.name; });

} // namespace
