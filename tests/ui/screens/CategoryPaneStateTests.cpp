// What the category pane works out from the scan: rows, size, paths, Docker, limits.
#include <gtest/gtest.h>

#include "ui/screens/CategoryPaneState.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

ScanNodePtr folder(const std::string& path, int64_t size, int64_t files = 1) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = size;
    n->fileCount = files;
    return n;
}

CategoryResult category(const std::string& id, std::vector<ScanNodePtr> roots,
                        std::optional<StorageCategory> storage = StorageCategory::caches) {
    CategoryResult c;
    c.category.id = id;
    c.category.title = "Title " + id;
    c.category.blurb = "Blurb " + id;
    c.category.tint = Tint::violet();
    c.category.storage = storage;
    c.roots = std::move(roots);
    return c;
}

ScanResult resultWith(std::vector<CategoryResult> categories) {
    ScanResult r;
    r.categories = std::move(categories);
    return r;
}

ScanNodePtr withChildren(const std::string& path, size_t count) {
    auto root = folder(path, 0);
    for (size_t i = 0; i < count; ++i) {
        auto child = folder(path + "/c" + std::to_string(i), static_cast<int64_t>(1000 - i));
        root->children.push_back(child);
        root->size += child->size;
    }
    return root;
}

} // namespace

TEST(CategoryPaneDerived, OneRootListsItsChildrenAndExplainsTheRoot) {
    auto root = withChildren("/h/Library/Caches", 3);
    root->fileCount = 42;
    const auto s = CategoryPaneState::derive(resultWith({category("caches", {root})}), "caches", {}, false);
    ASSERT_NE(s.category, nullptr);
    EXPECT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(s.currentPath, "/h/Library/Caches");
    EXPECT_EQ(s.revealTarget, "/h/Library/Caches");
    EXPECT_EQ(s.levelSize, root->size);
    EXPECT_EQ(s.fileCount, 42);
    EXPECT_EQ(s.tint, Tint::violet());
    EXPECT_EQ(s.title(), "Title caches");
    EXPECT_FALSE(s.drilled);
}

TEST(CategoryPaneDerived, SeveralRootsListNonEmptyRootsAndRevealTheFirstWithoutAPath) {
    auto a = folder("/v/a", 300, 3), b = folder("/v/b", 0, 0), c = folder("/v/c", 500, 5);
    c->accessDenied = true;
    const auto s = CategoryPaneState::derive(resultWith({category("logs", {c, a, b})}), "logs", {}, false);
    ASSERT_EQ(s.rows.size(), 2u); // the empty root is left out
    EXPECT_EQ(CategoryPane::rowPath(s.rows[0]), "/v/c");
    EXPECT_FALSE(s.currentPath.has_value());
    EXPECT_EQ(s.revealTarget, "/v/c");
    EXPECT_EQ(s.levelSize, 800);
    EXPECT_EQ(s.fileCount, 8);
    EXPECT_TRUE(s.partiallyBlocked);
}

TEST(CategoryPaneDerived, UnknownCategoryShowsNothingAndFallsBackToSlate) {
    const auto s = CategoryPaneState::derive(resultWith({category("caches", {folder("/x", 5)})}), "nope", {}, true);
    EXPECT_EQ(s.category, nullptr);
    EXPECT_TRUE(s.rows.empty());
    EXPECT_FALSE(s.currentPath || s.revealTarget);
    EXPECT_EQ(s.levelSize, 0);
    EXPECT_EQ(s.tint, Tint::slate());
    EXPECT_EQ(s.title(), "");
    EXPECT_FALSE(s.showsDocker);
}

// The file count is the folder's shown, as "What's in here" counts; the access line the category's.
TEST(CategoryPaneDerived, DrilledLevelTakesTheLastNodeAndItsFileCount) {
    auto root = withChildren("/h/Caches", 2);
    root->fileCount = 9;
    root->accessDenied = true;
    auto inner = withChildren("/h/Caches/c0", 4);
    inner->fileCount = 3;
    const auto s = CategoryPaneState::derive(resultWith({category("caches", {root})}), "caches", {root, inner}, false);
    EXPECT_TRUE(s.drilled);
    EXPECT_EQ(s.rows.size(), 4u);
    EXPECT_EQ(s.currentPath, "/h/Caches/c0");
    EXPECT_EQ(s.revealTarget, "/h/Caches/c0");
    EXPECT_EQ(s.levelSize, inner->size);
    EXPECT_EQ(s.fileCount, 3);
    EXPECT_TRUE(s.partiallyBlocked);
}

TEST(CategoryPaneDerived, DockerShowsAtTheContainersLevelOrInsideDockersFolderOnlyWithTheTool) {
    auto containers = folder("/h/Library/Containers", 10);
    auto docker = folder("/h/Library/Containers/com.docker.docker", 5);
    auto other = folder("/h/Library/Containers/other", 5);
    const auto r = resultWith({category("containers", {containers}, StorageCategory::containers),
                               category("support", {folder("/h/Library/Application Support", 1)})});
    struct Case {
        std::string id;
        std::vector<ScanNodePtr> drill;
        bool tool;
        bool shows;
    } cases[] = {
        {"containers", {}, true, true},
        {"containers", {}, false, false},
        {"containers", {docker}, true, true},
        {"containers", {docker}, false, false},
        {"containers", {other}, true, false},
        {"support", {}, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CategoryPaneState::derive(r, c.id, c.drill, c.tool).showsDocker, c.shows)
            << c.id << " drilled " << c.drill.size() << " tool " << c.tool;
}

TEST(CategoryPaneLimits, RowsStopAt200WithALineForTheRest) {
    struct Case {
        size_t rows;
        size_t visible;
        std::optional<std::string> more;
    } cases[] = {{250, 200, "+ 50 smaller items"}, {200, 200, std::nullopt}, {201, 200, "+ 1 smaller item"},
                 {3, 3, std::nullopt}};
    for (const auto& c : cases) {
        const auto s = CategoryPaneState::derive(resultWith({category("x", {withChildren("/r", c.rows)})}), "x", {},
                                                 false);
        EXPECT_EQ(s.visibleRowCount(), c.visible) << c.rows;
        EXPECT_EQ(s.moreRowsText(), c.more) << c.rows;
    }
}

TEST(CategoryPaneLimits, TilesStopAt24AndFadeFromFullTo045) {
    const auto s = CategoryPaneState::derive(resultWith({category("x", {withChildren("/r", 30)})}), "x", {}, false);
    ASSERT_EQ(s.tileCount(), 24u);
    EXPECT_DOUBLE_EQ(CategoryPane::tileOpacity(0, 24), 1.0);
    EXPECT_NEAR(CategoryPane::tileOpacity(23, 24), 0.45, 1e-12);
    EXPECT_NEAR(CategoryPane::tileOpacity(1, 2), 0.45, 1e-12);
    EXPECT_DOUBLE_EQ(CategoryPane::tileOpacity(0, 1), 1.0);
    for (size_t i = 1; i < 24; ++i) EXPECT_LT(CategoryPane::tileOpacity(i, 24), CategoryPane::tileOpacity(i - 1, 24));
}

TEST(CategoryPaneRows, ShareBarAndTextAgainstTheLevel) {
    struct Case {
        int64_t size, total;
        double track, width;
        std::string text;
    } cases[] = {
        {25, 100, 200, 50, "25.0%"},
        {0, 1, 200, 2, "0.0%"},    // an empty level divides by 1
        {1, 1000, 200, 2, "0.1%"}, // a sliver still shows 2 points
        {300, 100, 200, 200, "300.0%"}, // a row past its level stays inside the track
        {1, 8, 1, 1, "12.5%"},     // a track narrower than the least width
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(CategoryPane::shareBarWidth(c.track, c.size, c.total), c.width) << c.size << "/" << c.total;
        EXPECT_EQ(CategoryPane::shareText(c.size, c.total), c.text);
    }
}

TEST(CategoryPaneRows, FoldersWithContentDrillEverythingElseReveals) {
    auto empty = folder("/a/empty", 0);
    auto withChild = folder("/a/full", 10);
    withChild->children.push_back(folder("/a/full/x", 10));
    auto withFiles = folder("/a/files", 10);
    withFiles->largestFiles.push_back(FileEntry{UUID::random(), "f", "/a/files/f", 10, std::nullopt});
    EXPECT_EQ(CategoryPane::openAction(BrowseRow::directory(empty)), CategoryPane::OpenAction::reveal);
    EXPECT_EQ(CategoryPane::openAction(BrowseRow::directory(withChild)), CategoryPane::OpenAction::drill);
    EXPECT_EQ(CategoryPane::openAction(BrowseRow::directory(withFiles)), CategoryPane::OpenAction::drill);
    EXPECT_EQ(CategoryPane::openAction(BrowseRow::file(withFiles->largestFiles[0])), CategoryPane::OpenAction::reveal);
}

// "Other Library" measures ~/Library without the folders other categories own; its insights
// used to walk all of ~/Library and reported files the category does not hold.
TEST(CategoryPaneDerived, InsightsLeaveOutWhatOtherCategoriesOwnBelowTheCurrentFolder) {
    auto root = withChildren("/h/Library", 2);
    auto c = category("otherLibrary", {root}, StorageCategory::otherLibrary);
    c.category.excludedPaths = {"/h/Library/Caches", "/h/Library/Logs", "/h/Library2/x", "/elsewhere"};
    const auto top = CategoryPaneState::derive(resultWith({c}), "otherLibrary", {}, false);
    EXPECT_EQ(top.excludedBelow, (std::set<std::string>{"/h/Library/Caches", "/h/Library/Logs"}));
    const auto drilled = CategoryPaneState::derive(resultWith({c}), "otherLibrary", {root->children[0]}, false);
    EXPECT_TRUE(drilled.excludedBelow.empty());
}

// Nothing read, refused itself or holding only refused folders: no figure, at the root or drilled.
TEST(CategoryPaneDerived, ALevelNothingOfWhichWasReadShowsNoFigure) {
    const auto holding = [](const std::string& path, std::vector<ScanNodePtr> children, int64_t files) {
        auto n = folder(path, 0, 0);
        n->directFileCount = std::max<int64_t>(files, 0);
        n->directFileSize = n->directFileCount * 4096;
        n->children = std::move(children);
        n->rollUpTotals();
        if (files < 0) n->markUnreadable(); // files < 0: refused itself
        return n;
    };
    const auto locked = [&](const std::string& path) { return holding(path, {}, -1); };
    const auto top = holding("/h/Caches", {locked("/h/Caches/l"), holding("/h/Caches/o", {}, 2)}, 0);
    const struct { const char* name; ScanNodePtr root; std::vector<ScanNodePtr> drill; bool nothingRead; } rows[] = {
        {"a root holding only a locked folder", holding("/h/Backup", {locked("/h/Backup/a")}, 0), {}, true},
        {"drilled into a locked folder", top, {top, top->children.back()}, true},
        {"drilled, only locked folders", top, {top, holding("/h/Caches/x", {locked("/h/Caches/x/l")}, 0)}, true},
        {"drilled, read in part", top, {top, holding("/h/Caches/y", {locked("/h/Caches/y/l")}, 1)}, false},
        {"a root read in part", top, {}, false},
    };
    for (const auto& row : rows) {
        const auto s = CategoryPaneState::derive(resultWith({category("caches", {row.root})}), "caches", row.drill, false);
        EXPECT_EQ(s.nothingRead, row.nothingRead) << row.name;
    }
}

// Roots of one category may share a name (each Flatpak app's "cache", the system's
// "/var/cache"): those rows show their paths; rows whose names differ keep their names.
TEST(CategoryPaneRows, NamesSharedByRowsShownTogetherBecomeTheirPaths) {
    struct Case {
        std::vector<std::string> paths;
        size_t count;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {{"/h/.cache", "/h/.var/app/org.a.A/cache", "/var/cache"}, 3,
         {".cache", "/h/.var/app/org.a.A/cache", "/var/cache"}},
        {{"/a/x", "/a/y", "/a/z"}, 3, {"x", "y", "z"}},
        {{"/a/cache", "/b/other", "/c/cache"}, 2, {"cache", "other"}}, // only the rows shown count
        {{"/a/cache", "/b/cache"}, 5, {"/a/cache", "/b/cache"}},
        {{}, 3, {}},
    };
    for (const auto& c : cases) {
        std::vector<BrowseRow> rows;
        for (const auto& path : c.paths) rows.push_back(BrowseRow::directory(folder(path, 1)));
        EXPECT_EQ(CategoryPane::rowNames(rows, c.count), c.names) << c.paths.size();
    }
}
