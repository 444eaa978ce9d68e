#include <gtest/gtest.h>

#include "engine/ScanResult.h"

using namespace sorvel;

namespace {

ScanNodePtr node(const std::string& path, int64_t size) {
    auto slash = path.find_last_of('/');
    auto n = ScanNode::make(path.substr(slash + 1), path);
    n->size = size;
    return n;
}

ScanNodePtr child(const ScanNodePtr& parent, const std::string& name, int64_t size) {
    auto c = node(parent->path + "/" + name, size);
    parent->children.push_back(c);
    return c;
}

CategoryResult category(const std::string& id, std::vector<ScanNodePtr> roots) {
    DisplayCategory d;
    d.id = id;
    d.title = id;
    return CategoryResult{d, std::move(roots)};
}

CleanupItem item(CleanupRisk risk, std::optional<int64_t> reported, std::vector<int64_t> targets) {
    CleanupItem i;
    i.id = "x";
    i.risk = risk;
    i.reportedSize = reported;
    for (auto s : targets) i.targets.push_back(CleanupTarget{UUID::random(), "t", "/t", s, std::nullopt});
    return i;
}

} // namespace

TEST(CategoryBrowsing, OneRootOpensOntoItsContentsEvenWhenEmpty) {
    auto root = node("/a", 0);
    auto c = category("c", {root});
    EXPECT_TRUE(c.browsableRows().empty());
    auto inner = child(root, "x", 5);
    auto rows = c.browsableRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].node(), inner);
}

TEST(CategoryBrowsing, SeveralRootsShowTheNonEmptyOnesLargestFirst) {
    auto small = node("/s", 3), empty = node("/e", 0), big = node("/b", 9);
    auto rows = category("c", {small, empty, big}).browsableRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].node(), big);
    EXPECT_EQ(rows[1].node(), small);
    EXPECT_TRUE(category("c", {}).browsableRows().empty());
    EXPECT_EQ(category("c", {small, big}).total(), 12);
}

TEST(NodeLookup, FindsNodesBelowRootsIgnoringTrailingSlashes) {
    auto root = node("/r/lib", 10);
    auto a = child(root, "a", 6);
    auto b = child(a, "b", 1);
    ScanResult result;
    result.categories.push_back(category("c", {root}));
    EXPECT_EQ(result.node("/r/lib"), root);
    EXPECT_EQ(result.node("/r/lib///"), root);
    EXPECT_EQ(result.node("/r/lib/a/b"), b);
    EXPECT_EQ(result.node("/r/lib/a/b/"), b);
    EXPECT_EQ(result.node("/r/lib/a//b"), b);
    EXPECT_EQ(result.node("/r/lib/A"), nullptr);
    EXPECT_EQ(result.node("/r/libx"), nullptr);
    EXPECT_EQ(result.node("/r"), nullptr);
}

TEST(NodeLookup, FallsThroughToLaterRootsAndCategories) {
    auto outer = node("/home/Library", 10);
    child(outer, "Prefs", 1);
    auto caches = node("/home/Library/Caches", 4);
    auto app = child(caches, "app", 4);
    ScanResult result;
    result.categories.push_back(category("otherLibrary", {outer}));
    result.categories.push_back(category("caches", {caches}));
    EXPECT_EQ(result.node("/home/Library/Caches/app"), app);
    EXPECT_EQ(result.node("/home/Library/Caches"), caches);
    EXPECT_EQ(ScanResult{}.node("/home"), nullptr);
}

TEST(CategoryLookup, FirstMatchWins) {
    ScanResult result;
    result.categories.push_back(category("a", {node("/1", 1)}));
    result.categories.push_back(category("a", {node("/2", 2)}));
    ASSERT_NE(result.category("a"), nullptr);
    EXPECT_EQ(result.category("a")->roots[0]->path, "/1");
    EXPECT_EQ(result.category("b"), nullptr);
}

TEST(Reclaimable, CountsOnlySafeItems) {
    ScanResult result;
    EXPECT_EQ(result.reclaimable(), 0);
    result.cleanupItems.push_back(item(CleanupRisk::safe, 100, {}));
    result.cleanupItems.push_back(item(CleanupRisk::review, 1000, {}));
    EXPECT_EQ(result.reclaimable(), 100);
    result.cleanupItems.push_back(item(CleanupRisk::safe, std::nullopt, {7, 8}));
    EXPECT_EQ(result.reclaimable(), 115);
}

TEST(SortedCategories, LargestTotalFirstKeepingOrderOnTies) {
    ScanResult result;
    result.categories.push_back(category("first", {node("/1", 5)}));
    result.categories.push_back(category("second", {node("/2", 4), node("/3", 5)}));
    result.categories.push_back(category("third", {node("/4", 5)}));
    auto sorted = result.sortedCategories();
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(sorted[0].id(), "second");
    EXPECT_EQ(sorted[1].id(), "first");
    EXPECT_EQ(sorted[2].id(), "third");
    EXPECT_EQ(result.categories[0].id(), "first");
}
