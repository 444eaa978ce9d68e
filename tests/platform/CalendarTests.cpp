// Calendar days: fixed offsets, dates before 1970 and the local zone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/Calendar.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(CalendarDays, AFixedOffsetMovesMidnight) {
    const Date lateUTC = dateFromUnixSeconds(86'400 * 100 - 60);  // 23:59 UTC
    const Date earlyUTC = dateFromUnixSeconds(86'400 * 100 + 60); // 00:01 UTC the next day
    EXPECT_FALSE(Calendar::fixedOffset(0).isDateInSameDay(lateUTC, earlyUTC));
    EXPECT_TRUE(Calendar::fixedOffset(-3600).isDateInSameDay(lateUTC, earlyUTC));
    EXPECT_TRUE(Calendar::fixedOffset(3600).isDateInSameDay(lateUTC, earlyUTC));
    EXPECT_FALSE(Calendar::fixedOffset(3600).isDateInSameDay(dateFromUnixSeconds(86'400 * 100 - 3601), lateUTC));
}

TEST(CalendarDays, DaysBefore1970RoundTowardsThePast) {
    const Calendar utc = Calendar::fixedOffset(0);
    EXPECT_FALSE(utc.isDateInSameDay(dateFromUnixSeconds(-1), dateFromUnixSeconds(0)));
    EXPECT_TRUE(utc.isDateInSameDay(dateFromUnixSeconds(-1), dateFromUnixSeconds(-86'400)));
    // A fraction of a second before 1970 still belongs to the day before.
    EXPECT_FALSE(utc.isDateInSameDay(dateFromUnixSeconds(0) - std::chrono::milliseconds(1), dateFromUnixSeconds(0)));
}

TEST(CalendarDays, TheCurrentCalendarFollowsTheLocalZone) {
    const Date a = dateFromUnixSeconds(86'400 * 100 + 3600);     // 01:00 UTC = 20:00 the day before
    const Date b = dateFromUnixSeconds(86'400 * 100 - 3600 * 10); // 14:00 UTC the day before
    {
        test::ScopedEnv tz("TZ", std::string("UTC+5")); // POSIX sign: five hours west of UTC
        tzset();
        EXPECT_TRUE(Calendar::current().isDateInSameDay(a, b));
        test::ScopedEnv utc("TZ", std::string("UTC"));
        tzset();
        EXPECT_FALSE(Calendar::current().isDateInSameDay(a, b));
    }
    tzset(); // back to the zone the process started with
}

namespace {

// "2026-03-29 01:00" read as UTC.
Date utcAt(const char* text) {
    std::tm parts{};
    strptime(text, "%Y-%m-%d %H:%M", &parts);
    return dateFromUnixSeconds(static_cast<int64_t>(timegm(&parts)));
}

struct BerlinZone {
    struct Reload {
        ~Reload() { tzset(); } // after the zone's variable is put back
    } reload;
    test::ScopedEnv tz{"TZ", std::string("Europe/Berlin")};
    BerlinZone() { tzset(); }
    static bool available() { return test::exists("/usr/share/zoneinfo/Europe/Berlin"); }
};

struct HourRow {
    const char* name;
    Calendar::Day day;
    int hour;
    const char* utc; // the expected moment; empty for none
};

} // namespace

// The first moment the local clock reads the hour: an ordinary day, a day the clock skips
// the hour (it jumps from 02:00 to 03:00), a day it passes the hour twice (03:00 back to
// 02:00), and hours no day has.
TEST(CalendarHours, TheFirstMomentTheClockReadsTheHourAcrossChangesOfTheClock) {
    if (!BerlinZone::available()) GTEST_SKIP() << "no time zone data for Europe/Berlin";
    const BerlinZone berlin;
    const HourRow rows[] = {
        {"winter day", {2026, 1, 15}, 9, "2026-01-15 08:00"},
        {"summer day", {2026, 7, 15}, 9, "2026-07-15 07:00"},
        {"midnight", {2026, 7, 15}, 0, "2026-07-14 22:00"},
        {"before the spring jump", {2026, 3, 29}, 1, "2026-03-29 00:00"},
        {"the skipped hour: when the clock jumps", {2026, 3, 29}, 2, "2026-03-29 01:00"},
        {"after the spring jump", {2026, 3, 29}, 3, "2026-03-29 01:00"},
        {"later on the spring day", {2026, 3, 29}, 9, "2026-03-29 07:00"},
        {"the hour passed twice: the first time", {2026, 10, 25}, 2, "2026-10-25 00:00"},
        {"after the autumn change", {2026, 10, 25}, 3, "2026-10-25 02:00"},
        {"later on the autumn day", {2026, 10, 25}, 9, "2026-10-25 08:00"},
        {"hour 24", {2026, 1, 15}, 24, ""},
        {"hour -1", {2026, 1, 15}, -1, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto got = Calendar::current().hourOn(row.day, row.hour);
        if (!*row.utc) {
            EXPECT_EQ(got, std::nullopt);
        } else {
            ASSERT_TRUE(got);
            EXPECT_EQ(unixSeconds(*got), unixSeconds(utcAt(row.utc)));
        }
    }
}

TEST(CalendarHours, DaysAddAcrossMonthsYearsAndTheClocksChanges) {
    EXPECT_EQ(Calendar::adding({2026, 12, 31}, 1), (Calendar::Day{2027, 1, 1}));
    EXPECT_EQ(Calendar::adding({2028, 2, 28}, 1), (Calendar::Day{2028, 2, 29}));
    EXPECT_EQ(Calendar::adding({2026, 3, 1}, -1), (Calendar::Day{2026, 2, 28}));
    EXPECT_EQ(Calendar::adding({2026, 3, 25}, 7), (Calendar::Day{2026, 4, 1}));
    const Calendar east = Calendar::fixedOffset(3600);
    EXPECT_EQ(east.dayOf(utcAt("2026-12-31 23:30")), (Calendar::Day{2027, 1, 1}));
    EXPECT_EQ(east.hourOn({2027, 1, 1}, 0), utcAt("2026-12-31 23:00"));
    // A day out of the clock's reach has no hour rather than a wrapped one.
    EXPECT_EQ(Calendar::fixedOffset(0).hourOn({400000, 1, 1}, 3), std::nullopt);
}
