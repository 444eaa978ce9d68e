#pragma once
// Calendar days for grouping dates and local clock times for schedules: the user's local
// time zone by default, or a fixed offset from UTC where a result must not depend on the
// machine's zone.
#include <optional>

#include "platform/Date.h"

namespace sorvel {

class Calendar {
public:
    /// A day as a wall calendar names it; month 1 to 12.
    struct Day {
        int year = 1970;
        int month = 1;
        int day = 1;
        friend bool operator==(const Day&, const Day&) = default;
    };

    /// Days as the local time zone (TZ) counts them.
    static Calendar current() { return Calendar(std::nullopt); }
    /// Days that start at midnight in a zone `secondsEastOfUTC` ahead of UTC.
    static Calendar fixedOffset(int secondsEastOfUTC) { return Calendar(secondsEastOfUTC); }

    /// True when both dates fall on the same calendar day.
    bool isDateInSameDay(Date a, Date b) const;

    /// The day the date falls on.
    Day dayOf(Date d) const;
    /// The day `days` after `day` (before it when negative).
    static Day adding(Day day, int days);
    /// The first moment the clock reads `hour`:00 or later on `day`: the earlier of the two
    /// where the clock is set back across it, the moment the clock jumps past it where that
    /// hour is skipped. None for an hour outside 0 to 23 or a day out of the clock's reach.
    std::optional<Date> hourOn(Day day, int hour) const;

private:
    explicit Calendar(std::optional<int> offset) : offset_(offset) {}
    std::optional<int> offset_;
};

} // namespace sorvel
