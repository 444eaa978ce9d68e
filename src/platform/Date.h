#pragma once
// Dates as the system keeps them: a point on the system clock, with helpers for the
// two epochs in use (Unix for the file system, 1 January 2001 for persisted JSON) and
// the fixed English "medium" forms shown to users.
#include <chrono>
#include <cstdint>
#include <string>

namespace sorvel {

using Date = std::chrono::system_clock::time_point;

/// Seconds between 1970-01-01 and 2001-01-01 (UTC).
inline constexpr double kReferenceDateOffset = 978307200.0;

/// Seconds either side of 1970 that a Date can hold (about the years 1678 to 2262);
/// times beyond are clamped to these ends instead of overflowing.
inline constexpr int64_t kDateSecondsLimit =
    std::chrono::duration_cast<std::chrono::seconds>(Date::duration::max()).count() - 1;

inline Date dateFromUnixSeconds(int64_t seconds) {
    if (seconds > kDateSecondsLimit) seconds = kDateSecondsLimit;
    if (seconds < -kDateSecondsLimit) seconds = -kDateSecondsLimit;
    return Date{std::chrono::seconds{seconds}};
}
/// Whole microseconds since 1970, clamped like the seconds above before any scaling,
/// so a stored number past the calendar's ends never overflows the clock's count.
inline Date dateFromUnixMicroseconds(int64_t micros) {
    constexpr int64_t limit = kDateSecondsLimit * 1'000'000;
    if (micros > limit) micros = limit;
    if (micros < -limit) micros = -limit;
    return Date{std::chrono::duration_cast<Date::duration>(std::chrono::microseconds{micros})};
}
inline double unixSeconds(Date d) {
    return std::chrono::duration<double>(d.time_since_epoch()).count();
}
inline double secondsSinceReferenceDate(Date d) { return unixSeconds(d) - kReferenceDateOffset; }
inline Date dateFromReferenceSeconds(double s) {
    double unix = s + kReferenceDateOffset;
    if (!(unix == unix)) unix = kReferenceDateOffset; // NaN: the reference date itself
    const double limit = static_cast<double>(kDateSecondsLimit);
    if (unix > limit) unix = limit;
    if (unix < -limit) unix = -limit;
    return Date{std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(unix))};
}
inline Date now() { return std::chrono::system_clock::now(); }

/// "Dec 7, 2026" in the local time zone.
std::string mediumDate(Date d);
/// "3:04 PM" in the local time zone.
std::string shortTime(Date d);
/// "Dec 7, 2026 at 3:04 PM".
std::string mediumDateShortTime(Date d);

} // namespace sorvel
