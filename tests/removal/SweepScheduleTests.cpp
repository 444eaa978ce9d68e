// The sweep settings: their texts, and the stored form with its older key and defaults.
#include <gtest/gtest.h>

#include "removal/SweepSchedule.h"
#include "support/TestSupport.h"

using namespace sorvel;
using json = nlohmann::json;
using Rules = SweepSchedule::RuleSelection;

namespace {

std::optional<SweepSchedule> read(const char* text) { return SweepSchedule::fromJSON(json::parse(text)); }

} // namespace

TEST(SweepScheduleReading, EmptyObjectIsTheDefault) {
    auto s = read("{}");
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, SweepSchedule::defaultSchedule());
    EXPECT_TRUE(s->rules.isAllSafeRules());
    EXPECT_EQ(s->frequency, SweepSchedule::Frequency::off);
    EXPECT_EQ(s->hour, 3);
    EXPECT_EQ(s->action, SweepSchedule::Action::report);
    EXPECT_EQ(s->maximumBytesPerRun, 25'000'000'000);
    EXPECT_TRUE(s->folders.empty());
}

TEST(SweepScheduleReading, NullsTakeDefaults) {
    auto s = read(R"({"folders":null,"frequency":null,"hour":null,"action":null,"maximumBytesPerRun":null,"rules":null})");
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, SweepSchedule::defaultSchedule());
}

TEST(SweepScheduleReading, OlderIncludedRulesKey) {
    auto s = read(R"({"includedRules": ["logs", "trash"]})");
    ASSERT_TRUE(s);
    SweepSchedule expected;
    expected.rules = Rules::only({"logs", "trash"});
    EXPECT_EQ(*s, expected);

    auto empty = read(R"({"includedRules": []})");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->rules.isAllSafeRules());
}

TEST(SweepScheduleReading, RulesWinOverIncludedRules) {
    auto s = read(R"({"rules": {"only": []}, "includedRules": ["logs"]})");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->rules, Rules::only({}));
    EXPECT_FALSE(s->rules.isAllSafeRules());
}

TEST(SweepScheduleReading, AllIsNeverRead) {
    EXPECT_TRUE(read(R"({"rules": {"all": false}})")->rules.isAllSafeRules());
    EXPECT_TRUE(read(R"({"rules": {}})")->rules.isAllSafeRules());
    EXPECT_EQ(read(R"({"rules": {"only": ["logs", "logs"]}})")->rules, Rules::only({"logs"}));
}

TEST(SweepScheduleReading, WrongTypesOrUnknownTextsMakeItUnreadable) {
    for (const char* bad : {R"({"frequency": "hourly"})", R"({"frequency": 1})", R"({"action": "delete"})",
                            R"({"hour": "3"})", R"({"hour": 3.5})", R"({"folders": "~/Downloads"})",
                            R"({"folders": ["a", 2]})", R"({"maximumBytesPerRun": true})",
                            R"({"rules": {"only": "logs"}})", R"({"rules": []})", R"({"includedRules": "logs"})",
                            R"([])", R"("schedule")"}) {
        EXPECT_FALSE(read(bad)) << bad;
    }
}

// A value past its range is read as a wrong type is: the stored schedule is not used.
TEST(SweepScheduleReading, ValuesOutsideTheirRangeMakeItUnreadable) {
    struct Row {
        const char* stored;
        bool readable;
    };
    for (const Row& row : {Row{R"({"hour": 0})", true}, Row{R"({"hour": 23})", true}, Row{R"({"hour": 24})", false},
                           Row{R"({"hour": 99})", false}, Row{R"({"hour": -1})", false},
                           Row{R"({"hour": 4294967299})", false}, Row{R"({"maximumBytesPerRun": 0})", true},
                           Row{R"({"maximumBytesPerRun": -1})", false}}) {
        EXPECT_EQ(read(row.stored).has_value(), row.readable) << row.stored;
    }
}

TEST(SweepScheduleReading, StoredHourOutOfRangeLoadsTheDefault) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    for (const char* hour : {"99", "-1"}) {
        test::writeFile(home / ".config/sorvel/defaults.json",
                        std::string(R"({"SorvelSweepSchedule": {"frequency": "daily", "hour": )") + hour + "}}");
        const SweepSchedule loaded = SweepSchedule::loadStored();
        EXPECT_EQ(loaded, SweepSchedule::defaultSchedule()) << hour;
        EXPECT_EQ(loaded.summary(), "No automatic sweeps.") << hour;
    }
}

TEST(SweepScheduleReading, PartialKeepsWhatIsThere) {
    auto s = read(R"({"frequency": "weekly", "hour": 22, "unknown": {"x": 1}})");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->frequency, SweepSchedule::Frequency::weekly);
    EXPECT_EQ(s->hour, 22);
    EXPECT_EQ(s->action, SweepSchedule::Action::report);
}

TEST(SweepScheduleWriting, RoundTripsAndNeverWritesTheOlderKey) {
    SweepSchedule s;
    s.rules = Rules::only({"user-caches", "logs"});
    s.folders = {"~/Downloads/Installers", "/Volumes/Work/tmp"};
    s.frequency = SweepSchedule::Frequency::daily;
    s.hour = 7;
    s.action = SweepSchedule::Action::clean;
    s.maximumBytesPerRun = 1'000;
    const json written = s.toJSON();
    EXPECT_FALSE(written.contains("includedRules"));
    EXPECT_EQ(written["rules"], json::parse(R"({"only": ["logs", "user-caches"]})"));
    EXPECT_EQ(written["frequency"], "daily");
    EXPECT_EQ(written["action"], "clean");
    EXPECT_EQ(SweepSchedule::fromJSON(json::parse(written.dump())), s);

    const json all = SweepSchedule::defaultSchedule().toJSON();
    EXPECT_EQ(all["rules"], json::parse(R"({"all": true})"));
    EXPECT_EQ(all.size(), 6u);
    EXPECT_EQ(SweepSchedule::fromJSON(all), SweepSchedule::defaultSchedule());
}

// A folder whose name is not UTF-8 is kept with its exact bytes: a sweep must look at
// that folder, not at one whose name only reads the same.
TEST(SweepScheduleWriting, FolderNamesKeepTheirExactBytes) {
    SweepSchedule s;
    s.folders = {"/home/u/plain", "/home/u/caf\xe9", "/home/u/\xff"};
    const json written = s.toJSON();
    EXPECT_EQ(written["folders"][1], "/home/u/caf\uFFFD");
    EXPECT_TRUE(written["foldersBytes"][0].is_null());
    EXPECT_EQ(SweepSchedule::fromJSON(json::parse(written.dump())), s);

    json broken = written;
    broken["foldersBytes"].erase(0);
    EXPECT_EQ(SweepSchedule::fromJSON(broken), std::nullopt);
    broken = written;
    broken["foldersBytes"][1] = "%%%";
    EXPECT_EQ(SweepSchedule::fromJSON(broken), std::nullopt);
    json older = written;
    older.erase("foldersBytes"); // written before the bytes were kept: the text stands
    EXPECT_EQ(SweepSchedule::fromJSON(older)->folders[1], "/home/u/caf\uFFFD");
}

TEST(SweepScheduleWriting, StoredUnderItsKeyAndUnreadableFallsBack) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(SweepSchedule::loadStored(), SweepSchedule::defaultSchedule());
    SweepSchedule s;
    s.frequency = SweepSchedule::Frequency::weekly;
    ASSERT_TRUE(SweepSchedule::store(s));
    EXPECT_EQ(SweepSchedule::loadStored(), s);
    test::writeFile(home / ".config/sorvel/defaults.json", R"({"SorvelSweepSchedule": {"frequency": "monthly"}})");
    EXPECT_EQ(SweepSchedule::loadStored(), SweepSchedule::defaultSchedule());
}

TEST(SweepScheduleTexts, Summary) {
    SweepSchedule s;
    EXPECT_EQ(s.summary(), "No automatic sweeps.");
    s.frequency = SweepSchedule::Frequency::daily;
    s.hour = 7;
    EXPECT_EQ(s.summary(), "Sorvel will report what it finds, every day at 07:00.");
    s.frequency = SweepSchedule::Frequency::weekly;
    s.action = SweepSchedule::Action::clean;
    s.hour = 3;
    EXPECT_EQ(s.summary(), "Sorvel will move safe items to the Trash, once a week at 03:00.");
    s.hour = 25; // not range-checked
    EXPECT_EQ(s.summary(), "Sorvel will move safe items to the Trash, once a week at 25:00.");
}

TEST(SweepScheduleTexts, ScopeSummary) {
    SweepSchedule s;
    EXPECT_EQ(s.scopeSummary(), "every safe rule");
    s.folders = {"~/a"};
    EXPECT_EQ(s.scopeSummary(), "every safe rule and 1 folder you added");
    s.rules = Rules::only({"logs"});
    s.folders.clear();
    EXPECT_EQ(s.scopeSummary(), "1 rule");
    s.rules = Rules::only({"logs", "trash", "user-caches"});
    s.folders = {"~/a", "~/b"};
    EXPECT_EQ(s.scopeSummary(), "3 rules and 2 folders you added");
    s.rules = Rules::only({});
    s.folders = {"~/a", "~/b", "~/c"};
    EXPECT_EQ(s.scopeSummary(), "only the 3 folders you added");
    s.folders = {"~/a"};
    EXPECT_EQ(s.scopeSummary(), "only the 1 folder you added");
    s.folders.clear();
    EXPECT_EQ(s.scopeSummary(), "nothing \u2014 no rules are ticked and no folders added");
}

TEST(SweepScheduleEquality, RuleSelectionsAndFolderOrder) {
    EXPECT_EQ(Rules::allSafeRules(), Rules::allSafeRules());
    EXPECT_NE(Rules::allSafeRules(), Rules::only({}));
    EXPECT_NE(Rules::only({"logs"}), Rules::only({"trash"}));
    SweepSchedule a, b;
    a.folders = {"/x", "/y"};
    b.folders = {"/y", "/x"};
    EXPECT_NE(a, b);
}
