// Storage trends: one snapshot per scope and day, the stored form, series, baselines and changes.
#include <gtest/gtest.h>

#include "analysis/StorageTrends.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

constexpr int64_t kDay = 86'400;
// 2027-01-15 12:00:00 UTC.
constexpr int64_t kNoon = 1'800'014'400;

struct TrendsHome {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
};

ScanResult resultWith(ScanScope scope, std::vector<std::pair<std::string, std::vector<int64_t>>> categories) {
    ScanResult result;
    result.scope = scope;
    result.volume.totalCapacity = 500'000'000'000;
    result.volume.availableCapacity = 120'000'000'000;
    for (auto& [id, sizes] : categories) {
        CategoryResult category;
        category.category.id = id;
        category.category.title = id + " title";
        for (int64_t size : sizes) {
            auto node = ScanNode::make(id, "/x/" + id);
            node->size = size;
            category.roots.push_back(node);
        }
        result.categories.push_back(std::move(category));
    }
    return result;
}

Date at(int64_t unixSeconds) { return dateFromUnixSeconds(unixSeconds); }

StorageSnapshot snapshot(int64_t unixSeconds, std::map<std::string, int64_t> categories,
                         std::string scope = "System Data") {
    StorageSnapshot s;
    s.date = at(unixSeconds);
    s.scope = std::move(scope);
    s.categories = std::move(categories);
    s.freeBytes = 1;
    s.totalBytes = 2;
    return s;
}

const Calendar kUTC = Calendar::fixedOffset(0);

} // namespace

TEST(StorageTrendsRecord, AResultWithoutBytesOrCategoriesRecordsNothing) {
    TrendsHome env;
    EXPECT_TRUE(StorageTrends::record(resultWith(ScanScope::systemData, {}), at(kNoon), kUTC).empty());
    EXPECT_TRUE(StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {0, 0}}, {"logs", {}}}),
                                      at(kNoon), kUTC)
                    .empty());
    EXPECT_FALSE(UserDefaults::standard().value(StorageTrends::kDefaultsKey).has_value());
}

TEST(StorageTrendsRecord, TheSnapshotSumsRootsPerCategoryAndTakesTheVolumeFigures) {
    TrendsHome env;
    auto history = StorageTrends::record(
        resultWith(ScanScope::wholeDisk, {{"Users", {700, 300}}, {"opt", {5}}, {"empty", {}}}), at(kNoon), kUTC);
    ASSERT_EQ(history.size(), 1u);
    const StorageSnapshot& s = history[0];
    EXPECT_EQ(s.scope, "Whole Disk");
    EXPECT_EQ(s.date, at(kNoon));
    EXPECT_EQ(s.categories, (std::map<std::string, int64_t>{{"Users", 1000}, {"opt", 5}, {"empty", 0}}));
    EXPECT_EQ(s.scannedTotal(), 1005);
    EXPECT_EQ(s.freeBytes, 120'000'000'000);
    EXPECT_EQ(s.totalBytes, 500'000'000'000);
    EXPECT_EQ(StorageTrends::load(), history);
}

TEST(StorageTrendsRecord, OneSnapshotPerScopeAndDayTheLastOneWins) {
    TrendsHome env;
    StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {100}}}), at(kNoon - 3 * 3600), kUTC);
    StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {250}}}), at(kNoon + 3 * 3600), kUTC);
    auto history = StorageTrends::record(resultWith(ScanScope::wholeDisk, {{"Users", {9}}}), at(kNoon), kUTC);
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].scope, "Whole Disk");
    EXPECT_EQ(history[1].scope, "System Data");
    EXPECT_EQ(history[1].categories.at("caches"), 250);
    EXPECT_EQ(history[1].date, at(kNoon + 3 * 3600));
    EXPECT_EQ(StorageTrends::load(), history);
}

TEST(StorageTrendsRecord, MidnightOfTheGivenCalendarSeparatesDays) {
    TrendsHome env;
    const int64_t beforeMidnight = kNoon + 11 * 3600 + 1800; // 23:30 UTC
    const int64_t afterMidnight = kNoon + 12 * 3600 + 1800;  // 00:30 UTC the next day
    StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {1}}}), at(beforeMidnight), kUTC);
    auto utc = StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {2}}}), at(afterMidnight), kUTC);
    EXPECT_EQ(utc.size(), 2u);

    // One hour west of UTC both times fall on the same local day.
    const Calendar west = Calendar::fixedOffset(-3600);
    auto local = StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {3}}}), at(afterMidnight + 60), west);
    ASSERT_EQ(local.size(), 1u);
    EXPECT_EQ(local[0].categories.at("caches"), 3);
}

TEST(StorageTrendsRecord, TheHistoryKeepsTheNewest365) {
    TrendsHome env;
    nlohmann::json stored = nlohmann::json::array();
    for (int i = 0; i < 365; ++i) stored.push_back(snapshot(kNoon - (400 - i) * kDay, {{"caches", i + 1}}).toJSON());
    ASSERT_TRUE(UserDefaults::standard().set(StorageTrends::kDefaultsKey, stored));
    auto history = StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {5}}}), at(kNoon), kUTC);
    ASSERT_EQ(history.size(), 365u);
    EXPECT_EQ(history.front().date, at(kNoon - 399 * kDay)); // the oldest is gone
    EXPECT_EQ(history.back().date, at(kNoon));
    EXPECT_EQ(StorageTrends::load().size(), 365u);
}

TEST(StorageTrendsStore, DatesAreSecondsSince2001AndBytesKeyedByCategory) {
    TrendsHome env;
    StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {42}}}), at(kNoon), kUTC);
    auto stored = UserDefaults::standard().value(StorageTrends::kDefaultsKey);
    ASSERT_TRUE(stored && stored->is_array() && stored->size() == 1);
    const auto& s = (*stored)[0];
    EXPECT_TRUE(s["date"].is_number_float());
    EXPECT_DOUBLE_EQ(s["date"].get<double>(), static_cast<double>(kNoon) - 978'307'200.0);
    EXPECT_EQ(s["scope"], "System Data");
    EXPECT_EQ(s["categories"], nlohmann::json({{"caches", 42}}));
    EXPECT_EQ(s["freeBytes"], 120'000'000'000);
    EXPECT_EQ(s["totalBytes"], 500'000'000'000);
}

TEST(StorageTrendsStore, ABadRecordMakesTheWholeHistoryEmptyAndTheNextRecordingReplacesIt) {
    TrendsHome env;
    nlohmann::json good = snapshot(kNoon - 2 * kDay, {{"caches", 1}}).toJSON();
    nlohmann::json missing = snapshot(kNoon - kDay, {{"caches", 2}}).toJSON();
    missing.erase("freeBytes");
    ASSERT_TRUE(UserDefaults::standard().set(StorageTrends::kDefaultsKey, nlohmann::json::array({good, missing})));
    EXPECT_TRUE(StorageTrends::load().empty());

    for (auto bad : {nlohmann::json("text"), nlohmann::json::object(), nlohmann::json::array({good, 7}),
                     nlohmann::json::array({[&] {
                         auto j = good;
                         j["categories"]["caches"] = "many";
                         return j;
                     }()}),
                     nlohmann::json::array({[&] {
                         auto j = good;
                         j["totalBytes"] = 18446744073709551615ull; // beyond signed 64 bits
                         return j;
                     }()})}) {
        ASSERT_TRUE(UserDefaults::standard().set(StorageTrends::kDefaultsKey, bad));
        EXPECT_TRUE(StorageTrends::load().empty()) << bad.dump();
    }

    auto history = StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {5}}}), at(kNoon), kUTC);
    EXPECT_EQ(history.size(), 1u);
    EXPECT_EQ(StorageTrends::load().size(), 1u);
}

TEST(StorageTrendsStore, UnknownKeysAreIgnoredAndLoadingSortsByDate) {
    TrendsHome env;
    auto later = snapshot(kNoon, {{"a", 1}}).toJSON();
    later["note"] = "from a newer version";
    auto earlier = snapshot(kNoon - kDay, {{"a", 2}}).toJSON();
    ASSERT_TRUE(UserDefaults::standard().set(StorageTrends::kDefaultsKey, nlohmann::json::array({later, earlier})));
    auto history = StorageTrends::load();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].date, at(kNoon - kDay));
    EXPECT_EQ(history[1].date, at(kNoon));
}

TEST(StorageTrendsQueries, SeriesKeepsOneScopeInOrder) {
    std::vector<StorageSnapshot> history = {snapshot(1, {}, "System Data"), snapshot(2, {}, "Whole Disk"),
                                            snapshot(3, {}, "System Data")};
    auto system = StorageTrends::series("System Data", history);
    ASSERT_EQ(system.size(), 2u);
    EXPECT_EQ(system[0].date, at(1));
    EXPECT_EQ(system[1].date, at(3));
    EXPECT_TRUE(StorageTrends::series("system data", history).empty());
}

TEST(StorageTrendsQueries, TheBaselineIsTheNewestSnapshotAtOrBeforeTheCutOff) {
    const std::vector<StorageSnapshot> series = {snapshot(kNoon - 8 * kDay, {}), snapshot(kNoon - 6 * kDay, {}),
                                                 snapshot(kNoon - kDay, {})};
    auto base = StorageTrends::baseline(7, series, at(kNoon));
    ASSERT_TRUE(base.has_value());
    EXPECT_EQ(base->date, at(kNoon - 8 * kDay));
    EXPECT_EQ(StorageTrends::baseline(6, series, at(kNoon))->date, at(kNoon - 6 * kDay)); // exactly at the cut-off
    EXPECT_FALSE(StorageTrends::baseline(9, series, at(kNoon)).has_value());
    EXPECT_FALSE(StorageTrends::baseline(7, {}, at(kNoon)).has_value());
}

TEST(StorageTrendsQueries, ChangesCoverBothSidesLargestFirstWithoutUnchangedOnes) {
    auto from = snapshot(0, {{"caches", 1000}, {"logs", 50}, {"gone", 300}, {"same", 7}});
    auto to = snapshot(kDay, {{"caches", 400}, {"logs", 60}, {"new", 2000}, {"same", 7}});
    auto changes = StorageTrends::changes(from, to, [](const std::string& id) { return "T:" + id; });
    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0], (TrendChange{"new", "T:new", 0, 2000}));
    EXPECT_EQ(changes[1], (TrendChange{"caches", "T:caches", 1000, 400}));
    EXPECT_EQ(changes[2], (TrendChange{"gone", "T:gone", 300, 0}));
    EXPECT_EQ(changes[3], (TrendChange{"logs", "T:logs", 50, 60}));
}

TEST(StorageTrendsQueries, ExtremeStoredFiguresNeitherOverflowNorMisorder) {
    const int64_t max = std::numeric_limits<int64_t>::max();
    const int64_t min = std::numeric_limits<int64_t>::min();
    auto from = snapshot(0, {{"a", min}, {"b", 0}});
    auto to = snapshot(kDay, {{"a", max}, {"b", 1}});
    auto changes = StorageTrends::changes(from, to, [](const std::string& id) { return id; });
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].id, "a");
    EXPECT_EQ(snapshot(0, {{"a", max}, {"b", max}}).scannedTotal(), max);
}

TEST(StorageTrendsQueries, AnyNumberOfDaysGivesASensibleBaseline) {
    const std::vector<StorageSnapshot> series = {snapshot(kNoon - 8 * kDay, {}), snapshot(kNoon - kDay, {})};
    EXPECT_FALSE(StorageTrends::baseline(std::numeric_limits<int>::max(), series, at(kNoon)).has_value());
    // Days in the future put the cut-off ahead of now: the newest snapshot.
    auto ahead = StorageTrends::baseline(std::numeric_limits<int>::min(), series, at(kNoon));
    ASSERT_TRUE(ahead.has_value());
    EXPECT_EQ(ahead->date, at(kNoon - kDay));
    EXPECT_EQ(StorageTrends::baseline(0, series, at(kNoon))->date, at(kNoon - kDay));
}

// A recording that cannot be stored says so, with the system's reason; one that can, says
// it was saved.
TEST(StorageTrendsStore, AFailedSaveIsReportedWithItsReason) {
    TrendsHome home;
    SaveStatus saved = SaveStatus::failed(EIO);
    StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {5}}}), at(kNoon), kUTC, &saved);
    EXPECT_TRUE(saved);
    test::UnwritableSettings broken;
    const auto history =
        StorageTrends::record(resultWith(ScanScope::systemData, {{"caches", {6}}}), at(kNoon + 86'400), kUTC, &saved);
    EXPECT_EQ(saved.error, ENOTDIR);
    EXPECT_EQ(history.size(), 1u); // what would have been stored is still handed back
}

// A category not read is stored as not read, not as 0 bytes that would show as a change.
TEST(StorageTrendsUnread, ACategoryNotReadRecordsNoBytesAndGivesNoChange) {
    TrendsHome home;
    ScanResult result = resultWith(ScanScope::systemData, {{"caches", {500}}, {"mail", {0}}});
    result.categories[1].roots.front()->markUnreadable();
    const auto history = StorageTrends::record(result, at(kNoon), kUTC);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].categories, (std::map<std::string, int64_t>{{"caches", 500}}));
    EXPECT_EQ(history[0].unread, std::set<std::string>{"mail"});
    EXPECT_EQ(StorageTrends::load(), history); // stored and read back alike
    const auto was = snapshot(0, {{"caches", 100}, {"mail", 2000}});
    for (const auto& [from, to] : {std::pair{was, history[0]}, std::pair{history[0], was}}) {
        const auto changes = StorageTrends::changes(from, to, nullptr);
        ASSERT_EQ(changes.size(), 1u) << (from == was ? "not read now" : "not read then");
        EXPECT_EQ(changes[0].id, "caches");
    }
}

// A category read in part is stored with its lower-bound bytes and marked, read back alike,
// and gives no change against either side.
TEST(StorageTrendsUnread, ACategoryReadInPartIsMarkedAndGivesNoChange) {
    TrendsHome home;
    ScanResult result = resultWith(ScanScope::systemData, {{"caches", {500}}, {"logs", {700}}, {"mail", {300}}});
    result.categories[1].roots.front()->unreadableFolders = 1; // a folder inside refused, files read
    result.categories[1].roots.front()->fileCount = 3;
    result.categories[2].roots.front()->markCut();              // a walk cut short
    const auto history = StorageTrends::record(result, at(kNoon), kUTC);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].readInPart, (std::set<std::string>{"logs", "mail"}));
    EXPECT_EQ(history[0].categories.at("logs"), 700);
    EXPECT_EQ(StorageTrends::load(), history);
    const auto was = snapshot(0, {{"caches", 100}, {"logs", 2000}, {"mail", 10}});
    for (const auto& [from, to] : {std::pair{was, history[0]}, std::pair{history[0], was}}) {
        const auto changes = StorageTrends::changes(from, to, nullptr);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_EQ(changes[0].id, "caches");
    }
}
