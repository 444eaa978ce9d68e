#pragma once
// Calendar days for grouping dates: the user's local time zone by default, or a fixed
// offset from UTC where a result must not depend on the machine's zone.
#include <optional>

#include "platform/Date.h"

namespace sorvel {

class Calendar {
public:
    /// Days as the local time zone (TZ) counts them.
    static Calendar current() { return Calendar(std::nullopt); }
    /// Days that start at midnight in a zone `secondsEastOfUTC` ahead of UTC.
    static Calendar fixedOffset(int secondsEastOfUTC) { return Calendar(secondsEastOfUTC); }

    /// True when both dates fall on the same calendar day.
    bool isDateInSameDay(Date a, Date b) const;

private:
    explicit Calendar(std::optional<int> offset) : offset_(offset) {}
    std::optional<int> offset_;
};

} // namespace sorvel
