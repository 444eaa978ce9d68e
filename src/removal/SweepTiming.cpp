#include "removal/SweepTiming.h"

#include <algorithm>

namespace sorvel::SweepTiming {

std::optional<Date> nextAfter(const SweepSchedule& schedule, Date since, const Calendar& calendar) {
    using Frequency = SweepSchedule::Frequency;
    const Calendar::Day day = calendar.dayOf(since);
    switch (schedule.frequency) {
    case Frequency::off: return std::nullopt;
    case Frequency::daily: {
        // Counted by days on the clock, never by 24 hours: a day across a change of the
        // clock is 23 or 25 hours long, and the hour stays where it is shown.
        const auto today = calendar.hourOn(day, schedule.hour);
        if (!today) return std::nullopt;
        if (*today > since) return today;
        return calendar.hourOn(Calendar::adding(day, 1), schedule.hour);
    }
    case Frequency::weekly: return calendar.hourOn(Calendar::adding(day, 7), schedule.hour);
    }
    return std::nullopt;
}

std::optional<Date> dueAt(const SweepSchedule& schedule, const std::optional<Date>& last, Date now,
                          const std::optional<Date>& futureSeenAt, const Calendar& calendar) {
    if (schedule.frequency == SweepSchedule::Frequency::off) return std::nullopt;
    if (!last) return now;
    if (*last <= now) return nextAfter(schedule, *last, calendar);
    // The clock is behind the receipt. The hour it comes to next is due, unless the receipt
    // is of that hour's sweep (made after it, the clock set back since).
    const auto next = nextAfter(schedule, futureSeenAt ? std::min(*futureSeenAt, now) : now, calendar);
    if (next && covers(schedule, *last, *next, calendar)) return nextAfter(schedule, *last, calendar);
    return next;
}

bool covers(const SweepSchedule& schedule, Date ran, Date time, const Calendar& calendar) {
    if (ran < time) return false;
    const auto after = nextAfter(schedule, time, calendar);
    return after && ran < *after;
}

std::optional<Date> firstUnswept(const SweepSchedule& schedule, Date time, const std::vector<Date>& ran,
                                 const Calendar& calendar) {
    std::optional<Date> at = time;
    // Each sweep stands for one time at most, so this ends within one step a sweep.
    for (size_t step = 0; at && step <= ran.size(); ++step) {
        const bool swept = std::any_of(ran.begin(), ran.end(), [&](Date r) { return covers(schedule, r, *at, calendar); });
        if (!swept) return at;
        at = nextAfter(schedule, *at, calendar);
    }
    return at;
}

bool isDue(const SweepSchedule& schedule, const std::optional<Date>& last, Date now,
           const std::optional<Date>& futureSeenAt, const Calendar& calendar) {
    const auto at = dueAt(schedule, last, now, futureSeenAt, calendar);
    return at && *at <= now;
}

} // namespace sorvel::SweepTiming
