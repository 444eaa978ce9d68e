// When a scheduled sweep is due: at the hour shown, on the local clock, after the last
// receipt. Days in a row, changes of the clock in Europe/Berlin, a clock set back, a
// machine asleep for days, and weekly sweeps.
#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "removal/SweepTiming.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Frequency = SweepSchedule::Frequency;

namespace {

Date utcAt(const char* text) { // "2026-12-07 09:02", read as UTC
    std::tm parts{};
    strptime(text, "%Y-%m-%d %H:%M", &parts);
    return dateFromUnixSeconds(static_cast<int64_t>(timegm(&parts)));
}

SweepSchedule every(Frequency frequency, int hour) {
    SweepSchedule s;
    s.frequency = frequency;
    s.hour = hour;
    return s;
}

struct Zone {
    struct Reload {
        ~Reload() { tzset(); } // after the zone's variable is put back
    } reload;
    test::ScopedEnv tz;
    explicit Zone(const char* name) : tz("TZ", std::string(name)) { tzset(); }
};

struct NextRow {
    const char* name;
    Frequency frequency;
    int hour;
    const char* last; // UTC
    const char* next; // UTC
};

void expectRows(const std::vector<NextRow>& rows) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto next = SweepTiming::nextAfter(every(row.frequency, row.hour), utcAt(row.last));
        ASSERT_TRUE(next);
        EXPECT_EQ(unixSeconds(*next), unixSeconds(utcAt(row.next)));
    }
}

constexpr auto kTick = std::chrono::minutes(5);

} // namespace

TEST(SweepTimingNext, TheHourShownAfterTheLastReceiptNeverADayCountedFromIt) {
    const Zone utc("UTC");
    expectRows({
        {"ran late in the morning: tomorrow at the hour", Frequency::daily, 9, "2026-12-07 09:02", "2026-12-08 09:00"},
        {"ran before the hour: today at the hour", Frequency::daily, 9, "2026-12-07 08:12", "2026-12-07 09:00"},
        {"ran at the hour exactly: tomorrow", Frequency::daily, 9, "2026-12-07 09:00", "2026-12-08 09:00"},
        {"across the end of a month and a year", Frequency::daily, 23, "2026-12-31 23:04", "2027-01-01 23:00"},
        {"caught up in the evening: tomorrow at the hour", Frequency::daily, 9, "2026-12-10 20:15", "2026-12-11 09:00"},
        {"weekly: that weekday a week on", Frequency::weekly, 3, "2026-12-07 03:05", "2026-12-14 03:00"},
        {"weekly, ran before the hour: still a week on", Frequency::weekly, 3, "2026-12-07 02:00", "2026-12-14 03:00"},
        {"weekly, caught up on another day", Frequency::weekly, 3, "2026-12-17 19:00", "2026-12-24 03:00"},
    });
}

TEST(SweepTimingNext, TheLocalHourHoldsAcrossTheClocksChangesInBerlin) {
    if (!test::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no time zone data for Europe/Berlin";
    const Zone berlin("Europe/Berlin");
    // Berlin is UTC+1 in winter and UTC+2 in summer; 2026 springs forward on 29 March
    // (02:00 becomes 03:00) and falls back on 25 October (03:00 becomes 02:00).
    expectRows({
        {"09:00 on the spring day is 23 hours on", Frequency::daily, 9, "2026-03-28 08:05", "2026-03-29 07:00"},
        {"and stays at 09:00 after it", Frequency::daily, 9, "2026-03-29 07:03", "2026-03-30 07:00"},
        {"the skipped 02:00 runs when the clock jumps", Frequency::daily, 2, "2026-03-28 01:10", "2026-03-29 01:00"},
        {"and 02:00 the day after", Frequency::daily, 2, "2026-03-29 01:02", "2026-03-30 00:00"},
        {"09:00 on the autumn day is 25 hours on", Frequency::daily, 9, "2026-10-24 07:04", "2026-10-25 08:00"},
        {"the twice-passed 02:00: the first time", Frequency::daily, 2, "2026-10-24 00:05", "2026-10-25 00:00"},
        {"and not its second time", Frequency::daily, 2, "2026-10-25 00:03", "2026-10-26 01:00"},
        {"weekly across the spring day", Frequency::weekly, 3, "2026-03-24 02:05", "2026-03-31 01:00"},
    });
}

// Thirty days of the timer's checks every five minutes, each sweep taking two minutes and
// written down at its end: every one starts within a check of the hour, none drifts, none
// is missed and none runs twice, across the spring change in Berlin.
TEST(SweepTimingDue, ThirtyDaysOfChecksSweepOncePerDayWithinACheckOfTheHour) {
    if (!test::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no time zone data for Europe/Berlin";
    const Zone berlin("Europe/Berlin");
    const SweepSchedule daily = every(Frequency::daily, 9);
    Date last = utcAt("2026-03-15 08:02"); // 09:02 local
    std::vector<Date> starts;
    for (Date now = utcAt("2026-03-15 08:05"); now < utcAt("2026-04-14 08:05"); now += kTick) {
        if (!SweepTiming::isDue(daily, last, now)) continue;
        starts.push_back(now);
        last = now + std::chrono::minutes(2);
    }
    ASSERT_EQ(starts.size(), 30u);
    for (const Date start : starts) {
        const std::time_t t = std::chrono::system_clock::to_time_t(start);
        std::tm local{};
        localtime_r(&t, &local);
        EXPECT_EQ(local.tm_hour, 9) << unixSeconds(start);
        EXPECT_LT(local.tm_min, 5) << unixSeconds(start);
    }
}

struct DueRow {
    const char* name;
    const char* last;
    const char* now;
    bool due;
};

TEST(SweepTimingDue, DueOnceTheHourHasComeAfterTheLastReceipt) {
    const Zone utc("UTC");
    const SweepSchedule daily = every(Frequency::daily, 9);
    const DueRow rows[] = {
        {"a minute before the hour", "2026-12-07 09:02", "2026-12-08 08:59", false},
        {"at the hour", "2026-12-07 09:02", "2026-12-08 09:00", true},
        {"23 hours after a sweep before the hour", "2026-12-07 08:12", "2026-12-07 09:00", true},
        {"three days asleep: due on waking", "2026-12-07 09:02", "2026-12-10 20:15", true},
        {"the clock set back: a receipt from tomorrow is not due", "2026-12-08 09:02", "2026-12-07 12:00", false},
        {"a receipt from the end of the calendar is not due", "2262-01-01 00:00", "2026-12-07 12:00", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SweepTiming::isDue(daily, utcAt(row.last), utcAt(row.now)), row.due);
    }
    EXPECT_TRUE(SweepTiming::isDue(daily, std::nullopt, utcAt("2026-12-07 12:00"))) << "never swept: at once";
    EXPECT_FALSE(SweepTiming::isDue(every(Frequency::off, 9), std::nullopt, utcAt("2026-12-07 12:00")));
}

// A 3-day suspend: the missed sweep runs once on waking, and the next is at the hour the
// next morning, not a day after the catch-up.
TEST(SweepTimingDue, AfterThreeDaysAsleepOneCatchUpThenTheHourAgain) {
    const Zone utc("UTC");
    const SweepSchedule daily = every(Frequency::daily, 9);
    Date last = utcAt("2026-12-07 09:02");
    Date now = utcAt("2026-12-10 20:15");
    ASSERT_TRUE(SweepTiming::isDue(daily, last, now));
    last = now + std::chrono::minutes(2);
    for (now += kTick; now < utcAt("2026-12-11 09:00"); now += kTick)
        ASSERT_FALSE(SweepTiming::isDue(daily, last, now)) << unixSeconds(now);
    EXPECT_TRUE(SweepTiming::isDue(daily, last, utcAt("2026-12-11 09:00")));
    EXPECT_EQ(SweepTiming::dueAt(daily, last, now), utcAt("2026-12-11 09:00"));
}

// The clock set back three days: the receipt is from its future. The next sweep is the hour
// after the moment that was first seen, and it does come, though the receipt stays ahead.
TEST(SweepTimingDue, AClockSetBackSweepsAtTheNextHourFromWhenItWasSeen) {
    const Zone utc("UTC");
    const SweepSchedule daily = every(Frequency::daily, 9);
    const Date last = utcAt("2026-12-10 09:02");
    const Date seen = utcAt("2026-12-07 12:00");
    EXPECT_EQ(SweepTiming::dueAt(daily, last, seen, seen), utcAt("2026-12-08 09:00"));
    EXPECT_FALSE(SweepTiming::isDue(daily, last, utcAt("2026-12-08 08:55"), seen));
    EXPECT_TRUE(SweepTiming::isDue(daily, last, utcAt("2026-12-08 09:00"), seen));
    // The clock set back once more after that: counted from the new now.
    EXPECT_EQ(SweepTiming::dueAt(daily, last, utcAt("2026-12-05 10:00"), seen), utcAt("2026-12-06 09:00"));
}
