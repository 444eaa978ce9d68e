// Dates in property lists are read whole or not at all: a date that cannot be one is said
// to be unreadable, never taken for 1970, and dates past 2038 or 2069 keep their year.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/PropertyList.h"
#include "support/PlistFiles.h"

using namespace sorvel;

namespace {

// The value under "When", parsed from `plist`.
PlistValue when(const std::string& plist) {
    const auto parsed = PropertyList::parse(plist);
    if (!parsed || !parsed->find("When")) return {};
    return *parsed->find("When");
}

// A binary list whose one date holds exactly `seconds` since 2001.
std::string binaryWithSeconds(double seconds) {
    std::string bytes = test::binaryPlist(test::xmlPlist(test::key("When", test::date("2001-01-01T00:00:00Z"))));
    const size_t at = bytes.find(std::string("\x33", 1) + std::string(8, '\0'));
    if (at == std::string::npos) return {};
    uint64_t bits = 0;
    std::memcpy(&bits, &seconds, sizeof bits);
    for (int i = 0; i < 8; ++i) bytes[at + 1 + i] = static_cast<char>(bits >> (56 - 8 * i));
    return bytes;
}

} // namespace

TEST(PlistDates, XMLDatesAreReadWholeOrSaidUnreadable) {
    const struct {
        const char* text;
        double unix; // NAN: unreadable
    } rows[] = {
        {"2020-01-02T03:04:05Z", 1577934245},
        {"\n  2020-01-02T03:04:05Z  ", 1577934245},
        {"2070-06-01T00:00:00Z", 3168806400},
        {"2200-01-01T00:00:00Z", 7258118400},
        {"2024-02-29T12:00:00Z", 1709208000},
        {"not a date", NAN},
        {"", NAN},
        {"2020/01/01", NAN},
        {"2020-01-02T03:04:05", NAN},
        {"2020-01-02 03:04:05Z", NAN},
        {"2020-13-01T00:00:00Z", NAN},
        {"2021-02-29T00:00:00Z", NAN},
        {"2020-04-31T00:00:00Z", NAN},
        {"2020-01-01T24:00:00Z", NAN},
        {"9999-01-01T00:00:00Z", NAN}, // beyond what a date holds here
    };
    for (const auto& row : rows) {
        const PlistValue value = when(test::xmlPlist(test::key("When", test::date(row.text))));
        if (std::isnan(row.unix)) {
            EXPECT_TRUE(value.isUnreadableDate()) << row.text;
            EXPECT_FALSE(value.date()) << row.text;
        } else {
            ASSERT_TRUE(value.date()) << row.text;
            EXPECT_EQ(unixSeconds(*value.date()), row.unix) << row.text;
        }
    }
}

TEST(PlistDates, BinaryDatesAreReadWholeOrSaidUnreadable) {
    const struct {
        const char* name;
        double seconds; // since 2001
        bool readable;
    } rows[] = {
        {"2020", 599627045.0, true},
        {"2070, past 32 bits", 2189980800.0, true},
        {"before 2001", -500000000.5, true},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), false},
        {"infinite", std::numeric_limits<double>::infinity(), false},
        {"minus infinite", -std::numeric_limits<double>::infinity(), false},
        {"out of range", 1e300, false},
    };
    for (const auto& row : rows) {
        const std::string bytes = binaryWithSeconds(row.seconds);
        ASSERT_FALSE(bytes.empty()) << row.name;
        const PlistValue value = when(bytes);
        if (!row.readable) {
            EXPECT_TRUE(value.isUnreadableDate()) << row.name;
            continue;
        }
        ASSERT_TRUE(value.date()) << row.name;
        EXPECT_DOUBLE_EQ(secondsSinceReferenceDate(*value.date()), row.seconds) << row.name;
    }
}

TEST(PlistDates, DatesInCommentsAndSeveralDatesPairWithTheirValues) {
    const std::string plist = test::xmlPlist("<!-- <date>1999-01-01T00:00:00Z</date> -->" +
                                             test::key("A", test::date("2030-01-01T00:00:00Z")) +
                                             test::key("When", test::date("month 13")) +
                                             test::key("C", "<array>" + test::date("2080-01-01T00:00:00Z") + "</array>"));
    const auto parsed = PropertyList::parse(plist);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->find("A") && parsed->find("A")->date());
    EXPECT_EQ(unixSeconds(*parsed->find("A")->date()), 1893456000);
    EXPECT_TRUE(parsed->find("When")->isUnreadableDate());
    const auto* list = parsed->find("C")->array();
    ASSERT_TRUE(list && list->size() == 1 && (*list)[0].date());
    EXPECT_EQ(unixSeconds(*(*list)[0].date()), 3471292800);
}
