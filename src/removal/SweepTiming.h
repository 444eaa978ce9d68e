#pragma once
// When an unattended sweep is due: at the schedule's hour, on the local clock, after the
// last receipt. Daily, the first time that hour comes after it; weekly, that hour on the
// same weekday a week on. A sweep missed (the machine asleep or off) is due at once and
// runs once; the one after it is again at the hour. A receipt dated after now (the clock
// set back) is not due now: the next is counted from the moment it was first seen so, and
// the sweep time the receipt already stands for is never due again, however the clock moves.
#include <optional>
#include <vector>

#include "platform/Calendar.h"
#include "platform/Date.h"
#include "removal/SweepSchedule.h"

namespace sorvel::SweepTiming {

/// The first sweep time the schedule gives after `since`; none when off or when the hour
/// or the date is out of the calendar's reach.
std::optional<Date> nextAfter(const SweepSchedule& schedule, Date since,
                              const Calendar& calendar = Calendar::current());

/// Whether a sweep made at `ran` stands for the sweep time `time`: it ran at that time or
/// after it, before the next one. Each sweep stands for one time, the last that came before it.
bool covers(const SweepSchedule& schedule, Date ran, Date time, const Calendar& calendar = Calendar::current());

/// When the next sweep is due. Without a last receipt: now (the first sweep runs at once).
/// With one dated after now: the first sweep time after `futureSeenAt` (the moment the
/// caller first saw it dated so; now when not given), unless the receipt stands for that
/// very time: then the time after the receipt. None when off.
std::optional<Date> dueAt(const SweepSchedule& schedule, const std::optional<Date>& last, Date now,
                          const std::optional<Date>& futureSeenAt = std::nullopt,
                          const Calendar& calendar = Calendar::current());

/// The first sweep time from `time` on that none of the sweeps made at `ran` stands for: a
/// time swept already (before the clock was set back, say) is never run again.
std::optional<Date> firstUnswept(const SweepSchedule& schedule, Date time, const std::vector<Date>& ran,
                                 const Calendar& calendar = Calendar::current());

/// Whether a sweep is due now.
bool isDue(const SweepSchedule& schedule, const std::optional<Date>& last, Date now,
           const std::optional<Date>& futureSeenAt = std::nullopt, const Calendar& calendar = Calendar::current());

} // namespace sorvel::SweepTiming
