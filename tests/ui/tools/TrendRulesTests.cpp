// The trends card: which snapshot is the baseline for 7, 30 and 90 days, the sign,
// colour and equal rules of figures and rows, percentages, and the title fallback.
#include <gtest/gtest.h>

#include "ui/tools/TrendRules.h"

using namespace sorvel;
using namespace sorvel::TrendRules;

namespace {

const Date kNow = dateFromUnixSeconds(1'800'000'000);

StorageSnapshot snapshot(double daysAgo, std::map<std::string, int64_t> categories, int64_t free = 100,
                         std::string scope = "System Data") {
    return StorageSnapshot{kNow - std::chrono::seconds(static_cast<int64_t>(daysAgo * 86400)), std::move(scope),
                           std::move(categories), free, 1000};
}

ScanResult resultKnowing(std::string id, std::string title) {
    ScanResult result;
    CategoryResult category;
    category.category.id = std::move(id);
    category.category.title = std::move(title);
    result.categories.push_back(category);
    return result;
}

} // namespace

TEST(TrendCard, FewerThanTwoSnapshotsOfTheScopeShowTheFirstMeasurementPanel) {
    const ScanResult result;
    EXPECT_FALSE(card(result, {}, 30, kNow).body);
    EXPECT_FALSE(card(result, {snapshot(1, {{"a", 1}})}, 30, kNow).body);
    // The other scope's snapshots never count.
    EXPECT_FALSE(card(result, {snapshot(5, {{"a", 1}}, 1, "Whole Disk"), snapshot(1, {{"a", 1}})}, 30, kNow).body);
}

TEST(TrendCard, TheBaselineIsTheNewestSnapshotAsOldAsThePeriodElseTheOldest) {
    const ScanResult result;
    const std::vector<StorageSnapshot> trends{snapshot(40, {{"a", 40}}), snapshot(20, {{"a", 20}}),
                                              snapshot(1, {{"a", 1}})};
    const std::pair<int, int64_t> table[] = {{90, 40}, {30, 40}, {7, 20}};
    for (const auto& [days, was] : table) {
        const auto c = card(result, trends, days, kNow);
        ASSERT_TRUE(c.body);
        EXPECT_EQ(c.body->measured.was, was) << days;
        EXPECT_EQ(c.body->measured.now, 1);
    }
    // Two snapshots a day apart: none is 7 days old, so the older one stands in.
    const auto young = card(result, {snapshot(2, {{"a", 5}}), snapshot(1, {{"a", 7}})}, 7, kNow);
    ASSERT_TRUE(young.body);
    EXPECT_EQ(young.body->measured.was, 5);
    EXPECT_NE(young.body->comparison.find(" \u00B7 only 2 measurements so far"), std::string::npos);
    EXPECT_EQ(card(result, trends, 7, kNow).body->comparison.find("only"), std::string::npos);
}

TEST(TrendCard, ALatestOlderThanThePeriodIsComparedWithItself) {
    const auto c = card(ScanResult(), {snapshot(50, {{"a", 5}}), snapshot(40, {{"a", 7}})}, 30, kNow);
    ASSERT_TRUE(c.body);
    EXPECT_EQ(change(c.body->measured), 0);
    EXPECT_TRUE(c.body->changes.empty());
    EXPECT_EQ(figureAmount(0), "0 KB"); // no minus before nothing
    EXPECT_EQ(rowAmount(0), "0 KB");
    EXPECT_EQ(symbol(0), "equal");
    EXPECT_EQ(figureTone(0, false), Tone::neutral);
}

TEST(TrendCard, AtMostSixChangesAndUnknownCategoriesKeepTheirIdentifier) {
    std::map<std::string, int64_t> before, after;
    for (int i = 0; i < 9; ++i) {
        before["c" + std::to_string(i)] = 100;
        after["c" + std::to_string(i)] = 100 + (i + 1) * 10;
    }
    const auto c = card(resultKnowing("c8", "Caches"), {snapshot(40, before), snapshot(1, after)}, 30, kNow);
    ASSERT_TRUE(c.body);
    ASSERT_EQ(c.body->changes.size(), 6u);
    EXPECT_EQ(c.body->changes[0].title, "Caches");
    EXPECT_EQ(c.body->changes[1].title, "c7");
}

// Before the session's first scan the result names no category: the card still shows
// names, not the identifiers the snapshots key by.
TEST(TrendCard, BeforeAnyScanCategoriesReadAsTheirNames) {
    const std::pair<std::string, std::string> table[] = {
        {"trash", "Trash"}, {"caches", "Caches & Temp"}, {"appSupport", "App Support"},
        {"otherLibrary", "Other Library"}, {"disk:/usr", "usr"}, {"disk:/", "/"}, {"c7", "c7"},
    };
    for (const auto& [id, title] : table) {
        const auto c = card(ScanResult(), {snapshot(40, {{id, 100}}), snapshot(1, {{id, 300}})}, 30, kNow);
        ASSERT_TRUE(c.body && c.body->changes.size() == 1u) << id;
        EXPECT_EQ(c.body->changes[0].title, title) << id;
    }
}

TEST(TrendFigures, SignSymbolAndColourFollowTheChangeAndWhetherItIsInverted) {
    const int64_t grew = 1'500'000'000;
    EXPECT_EQ(symbol(grew), "arrow.up.right");
    EXPECT_EQ(figureAmount(grew), "+1.5 GB");
    EXPECT_EQ(figureTone(grew, false), Tone::bad);  // the total grew
    EXPECT_EQ(figureTone(-grew, true), Tone::bad);  // free space shrank
    EXPECT_EQ(figureTone(grew, true), Tone::good);  // free space grew
    EXPECT_EQ(figureTone(-grew, false), Tone::good);
    EXPECT_EQ(symbol(-grew), "arrow.down.right");
    EXPECT_EQ(figureAmount(-grew), "\u22121.5 GB");
    EXPECT_EQ(figureAmount(INT64_MIN).rfind("\u2212", 0), 0u);
}

TEST(TrendRows, PercentOnlyWithABaselineAndTheRowsOwnSignRule) {
    EXPECT_FALSE(percent(0, 500));
    EXPECT_EQ(percent(1000, 500), "-50%");
    EXPECT_EQ(percent(1000, 1500), "+50%");
    EXPECT_EQ(rowAmount(-500'000'000), "\u2212500 MB");
    EXPECT_EQ(rowAmount(2'000'000), "+2 MB");
    EXPECT_EQ(rowTone(-1), Tone::good);
    EXPECT_EQ(rowTone(0), Tone::good);
    EXPECT_EQ(rowTone(1), Tone::bad);
}

// A category either side did not read is in neither total and has no row.
TEST(TrendCard, ACategoryNotReadOnEitherSideIsNoChange) {
    auto unreadNow = snapshot(1, {{"a", 50}}), unreadThen = snapshot(8, {{"a", 40}});
    unreadNow.unread = unreadThen.unread = {"mail"};
    for (const auto& trends : {std::vector{snapshot(8, {{"a", 40}, {"mail", 900}}), unreadNow},
                               std::vector{unreadThen, snapshot(1, {{"a", 50}, {"mail", 900}})}}) {
        const auto c = card(ScanResult{}, trends, 7, kNow);
        ASSERT_TRUE(c.body);
        EXPECT_EQ(c.body->measured.was, 40);
        EXPECT_EQ(c.body->measured.now, 50);
        ASSERT_EQ(c.body->changes.size(), 1u);
        EXPECT_EQ(c.body->changes[0].id, "a");
    }
}

// A category either side did not read whole (not read, or read in part) is in neither total,
// has no row, and the comparison names it.
TEST(TrendCard, CategoriesNotReadWholeAreLeftOutAndNamed) {
    const ScanResult result = resultKnowing("mail", "Mail & Messages");
    const struct {
        const char* name;
        std::set<std::string> unreadThen, partThen, unreadNow, partNow;
    } rows[] = {
        {"read in part now", {}, {}, {}, {"mail"}},
        {"read in part then", {}, {"mail"}, {}, {}},
        {"not read then, in part now", {"mail"}, {}, {}, {"mail"}},
    };
    for (const auto& row : rows) {
        auto then = snapshot(8, {{"a", 40}, {"mail", 900}}), now = snapshot(1, {{"a", 50}, {"mail", 300}});
        then.unread = row.unreadThen;
        then.readInPart = row.partThen;
        now.unread = row.unreadNow;
        now.readInPart = row.partNow;
        const auto c = card(result, {then, now}, 7, kNow);
        ASSERT_TRUE(c.body) << row.name;
        EXPECT_EQ(c.body->measured.was, 40) << row.name;
        EXPECT_EQ(c.body->measured.now, 50) << row.name;
        ASSERT_EQ(c.body->changes.size(), 1u) << row.name;
        EXPECT_EQ(c.body->changes[0].id, "a") << row.name;
        EXPECT_NE(c.body->comparison.find(" \u00B7 left out, not read whole: Mail & Messages"), std::string::npos)
            << row.name << ": " << c.body->comparison;
    }
    const auto whole = card(result, {snapshot(8, {{"a", 40}}), snapshot(1, {{"a", 50}})}, 7, kNow);
    EXPECT_EQ(whole.body->comparison.find("left out"), std::string::npos);
}

// A snapshot whose volume no one could read is kept with no capacity: beside another, its
// free space is no figure at all, never a change to or from 0 bytes free.
TEST(TrendCard, FreeSpaceIsComparedOnlyBetweenVolumesBothMeasured) {
    struct Case {
        int64_t wasTotal, nowTotal;
        bool compared;
    };
    for (const Case c : {Case{1000, 1000, true}, Case{0, 1000, false}, Case{1000, 0, false}, Case{0, 0, false}}) {
        StorageSnapshot was = snapshot(10, {{"a", 5}}, 400);
        StorageSnapshot now = snapshot(1, {{"a", 7}}, c.nowTotal > 0 ? 300 : 0);
        was.totalBytes = c.wasTotal;
        now.totalBytes = c.nowTotal;
        if (c.wasTotal == 0) was.freeBytes = 0;
        const auto built = card(ScanResult(), {was, now}, 7, kNow);
        ASSERT_TRUE(built.body);
        EXPECT_EQ(built.body->free.has_value(), c.compared) << c.wasTotal << " " << c.nowTotal;
        if (c.compared) {
            EXPECT_EQ(change(*built.body->free), -100);
        }
        EXPECT_EQ(built.body->measured.now, 7) << "the measured figure stands either way";
    }
}
