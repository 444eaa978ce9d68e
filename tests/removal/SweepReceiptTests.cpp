// Receipts and findings: the headline texts and the two stored values of the last sweep.
#include <gtest/gtest.h>

#include "engine/Bytes.h"
#include "platform/UserDefaults.h"
#include "removal/SweepReceipt.h"
#include "support/TestSupport.h"

using namespace sorvel;
using json = nlohmann::json;

namespace {

SweepReceipt sample() {
    SweepReceipt r;
    r.date = dateFromUnixSeconds(978'307'200 + 786'543'210) + std::chrono::milliseconds(250);
    r.action = SweepSchedule::Action::clean;
    r.scannedBytes = 9'000'000'000;
    r.foundBytes = 3'000'000;
    r.movedBytes = 2'500'000;
    r.movedCount = 4;
    r.refusedCount = 1;
    return r;
}

// A fake home whose defaults file lives in it.
struct Defaults {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    void setRaw(const std::string& key, const json& value) { UserDefaults::standard().set(key, value); }
};

} // namespace

TEST(SweepReceiptHeadline, ByActionAndCount) {
    SweepReceipt r = sample();
    EXPECT_EQ(r.headline(), "Moved " + Bytes::format(2'500'000) + " to the Trash");
    r.movedCount = 0;
    EXPECT_EQ(r.headline(), "Nothing needed cleaning"); // whatever movedBytes holds
    r.action = SweepSchedule::Action::report;
    EXPECT_EQ(r.headline(), "Found " + Bytes::format(3'000'000) + " that could be cleaned");
    r.foundBytes = 0;
    EXPECT_EQ(r.headline(), "Found " + Bytes::format(0) + " that could be cleaned");
    r.foundBytes = -5;
    EXPECT_EQ(r.headline(), "Found " + Bytes::format(0) + " that could be cleaned");
    r.withheldReason = "Something was withheld.";
    EXPECT_EQ(r.headline().find("withheld"), std::string::npos);
    r.cutShort = true; // whatever the action
    EXPECT_EQ(r.headline(), "Cut short before it finished");
}

TEST(SweepReceiptCoding, StoredForm) {
    const json j = sample().toJSON();
    EXPECT_DOUBLE_EQ(j["date"].get<double>(), 786'543'210.25);
    EXPECT_EQ(j["action"], "clean");
    EXPECT_TRUE(j["movedCount"].is_number_integer());
    EXPECT_FALSE(j.contains("withheldReason"));
    EXPECT_EQ(j.size(), 7u);
}

TEST(SweepReceiptCoding, RoundTripWithAndWithoutReason) {
    SweepReceipt r = sample();
    EXPECT_EQ(SweepReceipt::fromJSON(json::parse(r.toJSON().dump())), r);
    r.withheldReason = "Found 30 GB, more than the 25 GB limit.";
    EXPECT_EQ(SweepReceipt::fromJSON(json::parse(r.toJSON().dump())), r);
    r.cutShort = true; // its own key, which older readers pass over
    EXPECT_EQ(SweepReceipt::fromJSON(json::parse(r.toJSON().dump())), r);
    SweepReceipt fresh; // dated now, to the microsecond the stored form keeps
    EXPECT_EQ(SweepReceipt::fromJSON(json::parse(fresh.toJSON().dump())), fresh);
}

TEST(SweepReceiptCoding, MissingOrWrongRequiredKeysAreUnreadable) {
    const json good = sample().toJSON();
    for (const char* key : {"date", "action", "scannedBytes", "foundBytes", "movedBytes", "movedCount", "refusedCount"}) {
        json missing = good;
        missing.erase(key);
        EXPECT_FALSE(SweepReceipt::fromJSON(missing)) << key;
        json null = good;
        null[key] = nullptr;
        EXPECT_FALSE(SweepReceipt::fromJSON(null)) << key;
        json wrong = good;
        wrong[key] = "12";
        EXPECT_FALSE(SweepReceipt::fromJSON(wrong)) << key;
    }
    json unknownAction = good;
    unknownAction["action"] = "purge";
    EXPECT_FALSE(SweepReceipt::fromJSON(unknownAction));
    json reasonNull = good;
    reasonNull["withheldReason"] = nullptr;
    reasonNull["someNewKey"] = 1;
    EXPECT_EQ(SweepReceipt::fromJSON(reasonNull), sample());
    json reasonNumber = good;
    reasonNumber["withheldReason"] = 3;
    EXPECT_FALSE(SweepReceipt::fromJSON(reasonNumber));
    json fractional = good;
    fractional["movedBytes"] = 1.5;
    EXPECT_FALSE(SweepReceipt::fromJSON(fractional));
    json tooBig = good;
    tooBig["movedBytes"] = json::parse("18446744073709551615");
    EXPECT_FALSE(SweepReceipt::fromJSON(tooBig));
}

TEST(SweepReceiptCoding, ADatePastTheCalendarsEndReadsAsItsEnd) {
    json far = sample().toJSON();
    for (double seconds : {8.9e9, 8.3e9, 9.1e9, 1e12}) {
        far["date"] = seconds;
        const auto receipt = SweepReceipt::fromJSON(far);
        ASSERT_TRUE(receipt) << seconds;
        EXPECT_EQ(mediumDate(receipt->date), "Apr 11, 2262") << seconds;
    }
}

TEST(SweepReceiptStore, LastReceiptRoundTripAndFallbacks) {
    Defaults d;
    EXPECT_FALSE(SweepReceipt::loadLast());
    SweepReceipt::record(sample());
    EXPECT_EQ(SweepReceipt::loadLast(), sample());
    SweepReceipt second = sample();
    second.movedCount = 9;
    SweepReceipt::record(second);
    EXPECT_EQ(SweepReceipt::loadLast(), second);

    json noRefused = sample().toJSON();
    noRefused.erase("refusedCount");
    d.setRaw("SorvelLastSweep", noRefused);
    EXPECT_FALSE(SweepReceipt::loadLast());
}

TEST(SweepReceiptStore, FindingsRoundTripAndOneBadRecord) {
    Defaults d;
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
    const std::vector<SweepReceipt::Finding> findings{{"/home/u/Library/Caches/a", 10}, {"/home/u/Library/Logs/b", 0}};
    SweepReceipt::record(findings);
    EXPECT_EQ(SweepReceipt::loadFindings(), findings);
    SweepReceipt::record(std::vector<SweepReceipt::Finding>{});
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
    ASSERT_TRUE(UserDefaults::standard().value("SorvelLastFindings"));

    d.setRaw("SorvelLastFindings", json::parse(R"([{"path": "/a", "size": 1}, {"path": "/b"}])"));
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
    d.setRaw("SorvelLastFindings", json::parse(R"({"path": "/a", "size": 1})"));
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
}
