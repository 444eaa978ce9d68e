#include "platform/Calendar.h"

#include <ctime>
#include <algorithm>

namespace sorvel {
namespace {

// Whole days since 1970 in the shifted zone, rounding towards the past.
int64_t dayNumber(Date d, int offset) {
    const int64_t seconds =
        std::chrono::floor<std::chrono::seconds>(d.time_since_epoch()).count() + static_cast<int64_t>(offset);
    int64_t days = seconds / 86'400;
    if (seconds % 86'400 < 0) --days;
    return days;
}

int64_t unixOf(Date d) { return std::chrono::floor<std::chrono::seconds>(d.time_since_epoch()).count(); }

// The wall clock's reading as seconds counted as if it were UTC.
std::optional<int64_t> wallSeconds(int year, int month, int day, int hour) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    const std::time_t t = timegm(&parts);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt; // never a whole hour
    return static_cast<int64_t>(t);
}

// The local zone's offset from UTC at the moment `t`.
std::optional<int64_t> localOffset(int64_t t) {
    const std::time_t at = static_cast<std::time_t>(t);
    std::tm parts{};
    if (!localtime_r(&at, &parts)) return std::nullopt;
    return static_cast<int64_t>(parts.tm_gmtoff);
}

std::optional<int64_t> localWall(int64_t t) {
    const auto offset = localOffset(t);
    if (!offset) return std::nullopt;
    return t + *offset;
}

// Within a day's reach of the calendar's ends, so the sums below cannot overflow.
bool inReach(int64_t seconds) {
    constexpr int64_t margin = 4 * 86'400;
    return seconds > -kDateSecondsLimit + margin && seconds < kDateSecondsLimit - margin;
}

} // namespace

bool Calendar::isDateInSameDay(Date a, Date b) const {
    if (offset_) return dayNumber(a, *offset_) == dayNumber(b, *offset_);
    const std::time_t ta = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(a));
    const std::time_t tb = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(b));
    std::tm pa{}, pb{};
    if (!localtime_r(&ta, &pa) || !localtime_r(&tb, &pb)) return false;
    return pa.tm_year == pb.tm_year && pa.tm_yday == pb.tm_yday;
}

Calendar::Day Calendar::dayOf(Date d) const {
    std::time_t t = static_cast<std::time_t>(unixOf(d));
    std::tm parts{};
    if (offset_) {
        t += *offset_;
        gmtime_r(&t, &parts);
    } else {
        localtime_r(&t, &parts);
    }
    return Day{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

Calendar::Day Calendar::adding(Day day, int days) {
    std::tm parts{};
    parts.tm_year = day.year - 1900;
    parts.tm_mon = day.month - 1;
    parts.tm_mday = day.day + days;
    parts.tm_hour = 12;
    const std::time_t t = timegm(&parts);
    std::tm out{};
    gmtime_r(&t, &out);
    return Day{out.tm_year + 1900, out.tm_mon + 1, out.tm_mday};
}

std::optional<Date> Calendar::hourOn(Day day, int hour) const {
    if (hour < 0 || hour > 23) return std::nullopt;
    const auto wall = wallSeconds(day.year, day.month, day.day, hour);
    if (!wall || !inReach(*wall)) return std::nullopt;
    if (offset_) return dateFromUnixSeconds(*wall - *offset_);
    // The zone's offsets either side of the day: where they differ, the clock changes that
    // day, and the hour may come twice or not at all.
    const auto before = localOffset(*wall - 2 * 86'400), after = localOffset(*wall + 2 * 86'400);
    if (!before || !after) return std::nullopt;
    std::optional<int64_t> first;
    for (int64_t offset : {*before, *after}) {
        const int64_t t = *wall - offset;
        if (localWall(t) == *wall && (!first || t < *first)) first = t;
    }
    if (first) return dateFromUnixSeconds(*first);
    // Skipped: the first moment whose reading is past it, which is when the clock jumps.
    int64_t lo = *wall - std::max(*before, *after), hi = *wall - std::min(*before, *after);
    const auto loWall = localWall(lo), hiWall = localWall(hi);
    if (!loWall || !hiWall || *loWall >= *wall || *hiWall < *wall) return std::nullopt;
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        const auto midWall = localWall(mid);
        if (!midWall) return std::nullopt;
        (*midWall >= *wall ? hi : lo) = mid;
    }
    return dateFromUnixSeconds(hi);
}

} // namespace sorvel
