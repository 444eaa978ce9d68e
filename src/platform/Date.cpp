#include "platform/Date.h"

#include <ctime>

namespace sorvel {
namespace {

std::tm localParts(Date d) {
    std::time_t t = std::chrono::system_clock::to_time_t(d);
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

std::string mediumDate(Date d) {
    std::tm p = localParts(d);
    return std::string(kMonths[p.tm_mon]) + " " + std::to_string(p.tm_mday) + ", " +
           std::to_string(p.tm_year + 1900);
}

std::string shortTime(Date d) {
    std::tm p = localParts(d);
    int hour = p.tm_hour % 12;
    if (hour == 0) hour = 12;
    char minutes[3];
    std::snprintf(minutes, sizeof minutes, "%02d", p.tm_min);
    return std::to_string(hour) + ":" + minutes + (p.tm_hour < 12 ? " AM" : " PM");
}

std::string mediumDateShortTime(Date d) { return mediumDate(d) + " at " + shortTime(d); }

} // namespace sorvel
