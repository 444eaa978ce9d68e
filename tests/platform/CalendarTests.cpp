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
