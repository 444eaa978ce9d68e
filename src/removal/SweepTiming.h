#pragma once
// When an unattended sweep is due: at the schedule's hour, on the local clock, after the
// last receipt. Daily, the first time that hour comes after it; weekly, that hour on the
// same weekday a week on. A sweep missed (the machine asleep or off) is due at once and
// runs once; the one after it is again at the hour. A receipt dated after now (the clock
// set back) is not due now: the next is counted from the moment it was first seen so.
#include <optional>

#include "platform/Calendar.h"
#include "platform/Date.h"
#include "removal/SweepSchedule.h"

namespace sorvel::SweepTiming {

/// The first sweep time the schedule gives after `since`; none when off or when the hour
/// or the date is out of the calendar's reach.
std::optional<Date> nextAfter(const SweepSchedule& schedule, Date since,
                              const Calendar& calendar = Calendar::current());

/// When the next sweep is due. Without a last receipt: now (the first sweep runs at once).
/// With one dated after now: the first sweep time after `futureSeenAt` (the moment the
/// caller first saw it dated so; now when not given). None when off.
std::optional<Date> dueAt(const SweepSchedule& schedule, const std::optional<Date>& last, Date now,
                          const std::optional<Date>& futureSeenAt = std::nullopt,
                          const Calendar& calendar = Calendar::current());

/// Whether a sweep is due now.
bool isDue(const SweepSchedule& schedule, const std::optional<Date>& last, Date now,
           const std::optional<Date>& futureSeenAt = std::nullopt, const Calendar& calendar = Calendar::current());

} // namespace sorvel::SweepTiming
