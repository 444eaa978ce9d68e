#include "platform/Calendar.h"

#include <ctime>

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

} // namespace

bool Calendar::isDateInSameDay(Date a, Date b) const {
    if (offset_) return dayNumber(a, *offset_) == dayNumber(b, *offset_);
    const std::time_t ta = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(a));
    const std::time_t tb = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(b));
    std::tm pa{}, pb{};
    if (!localtime_r(&ta, &pa) || !localtime_r(&tb, &pb)) return false;
    return pa.tm_year == pb.tm_year && pa.tm_yday == pb.tm_yday;
}

} // namespace sorvel
