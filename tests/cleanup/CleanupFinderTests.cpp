// The finder's filter and order, and the categories each rule needs.
#include <gtest/gtest.h>

#include "ResultBuilder.h"
#include "cleanup/CleanupFinder.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

std::vector<std::string> ids(const std::vector<CleanupItem> &items) {
    std::vector<std::string> out;
    for (const auto &i : items)
        out.push_back(i.id);
    return out;
}

} // namespace

TEST(CleanupFinder, EmptyResultGivesNothingEvenWithEvidenceOnDisk) {
    test::FakeHome home;
    test::writeFile(home / "Library/Developer/Xcode/DerivedData/App-x/info.plist", "<plist/>");
    test::makeDirs(home / "Library/Application Support/MobileSync/Backup/abc");
    EXPECT_TRUE(CleanupFinder::recommendations(ScanResult{}).empty());
}

TEST(CleanupFinder, SafeBeforeReviewThenLargestFirstWithRuleOrderOnTies) {
    test::FakeHome home;
    const std::string h = home.path();
    auto result =
        resultWith({node(h + "/Library/Caches", 0,
                         {node(h + "/Library/Caches/com.example.cache", 10'000'000),
                          node(h + "/Library/Caches/Firefox", 10'000'000)}),
                    node(h + "/Library/Logs", 0, {node(h + "/Library/Logs/Tool", 20'000'000)}),
                    node(h + "/Library/Application Support", 0,
                         {node(h + "/Library/Application Support/com.removed.app", 50'000'000'000)}),
                    node(h + "/.local/share/Trash/files", 0)});
    auto items = CleanupFinder::recommendations(result);
    // The leftover is far larger but is a review item; equal-size safe items keep rule order;
    // the empty Trash is dropped.
    EXPECT_EQ(ids(items), (std::vector<std::string>{"logs", "user-caches", "browser-caches", "leftovers"}));
}

TEST(CleanupFinder, TrashIsKeptWithItsReportedSize) {
    test::FakeHome home;
    auto result = resultWith({node(home.path() + "/.local/share/Trash/files", 1)});
    auto items = CleanupFinder::recommendations(result);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].id, "trash");
    EXPECT_EQ(items[0].size(), 1);
    EXPECT_TRUE(items[0].targets.empty());
}

TEST(CleanupFinder, TwoRunsMakeDistinctTargets) {
    test::FakeHome home;
    auto result = resultWith(
        {node(home.path() + "/Library/Caches", 0, {node(home.path() + "/Library/Caches/x.y.z", 6'000'000)})});
    auto a = CleanupFinder::recommendations(result);
    auto b = CleanupFinder::recommendations(result);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(a[0].targets[0].path, b[0].targets[0].path);
    EXPECT_NE(a[0].targets[0], b[0].targets[0]);
}

TEST(CleanupFinder, CategoriesForRuleIDs) {
    using SC = StorageCategory;
    EXPECT_EQ(CleanupFinder::categories({}), std::set<SC>{});
    EXPECT_EQ(CleanupFinder::categories({"user-caches", "browser-caches"}), std::set<SC>{SC::caches});
    EXPECT_EQ(CleanupFinder::categories({"developer"}), (std::set<SC>{SC::developer, SC::caches}));
    EXPECT_EQ(CleanupFinder::categories({"leftovers", "ios-backups"}),
              (std::set<SC>{SC::appSupport, SC::containers}));
    EXPECT_EQ(CleanupFinder::categories({"user-caches", "derived-data-live"}), std::nullopt);
    EXPECT_EQ(CleanupFinder::categories({"trash", "no-such-rule"}), std::nullopt);
}

// A withheld leftover item stays among the recommendations so that its reason is shown,
// yet nothing of it can be ticked, preselected or swept.
TEST(CleanupFinder, AWithheldItemIsListedButOffersNothing) {
    test::FakeHome home;
    const std::string h = home.path();
    const std::string support = h + "/Library/Application Support";
    for (const bool unread : {false, true}) {
        SCOPED_TRACE(unread ? "an app of unknown identity" : "every app read");
        auto result = resultWith({node(support, 0, {node(support + "/com.acme.Locked", 6'000'000)}),
                                  node(h + "/Library/Logs", 0, {node(h + "/Library/Logs/Tool", 2'000'000)})});
        if (unread)
            result.installedApps.unreadApps = {h + "/Applications/Locked.app"};
        const auto items = CleanupFinder::recommendations(result);
        ASSERT_EQ(ids(items), (std::vector<std::string>{"logs", "leftovers"}));
        const CleanupItem &leftovers = items[1];
        EXPECT_EQ(leftovers.withheld, unread);
        EXPECT_EQ(leftovers.isActionable(), !unread);
        EXPECT_FALSE(leftovers.isSafeToClean());
        EXPECT_EQ(leftovers.size(), unread ? 0 : 6'000'000);
        result.cleanupItems = items;
        EXPECT_EQ(result.reclaimable(), 2'000'000);
    }
}
