#include "ui/tools/RelativeDate.h"

#include <cmath>
#include <cstdint>

namespace sorvel::RelativeDate {

std::string full(Date date, Date now) {
    const double seconds = unixSeconds(date) - unixSeconds(now);
    const bool ahead = seconds >= 0;
    const double magnitude = std::fabs(seconds);
    struct Unit {
        const char* name;
        double seconds;
    };
    static constexpr Unit units[] = {{"year", 365.0 * 86400}, {"month", 30.0 * 86400}, {"week", 7.0 * 86400},
                                     {"day", 86400},          {"hour", 3600},          {"minute", 60},
                                     {"second", 1}};
    const Unit* chosen = &units[6];
    for (const auto& unit : units)
        if (magnitude >= unit.seconds) {
            chosen = &unit;
            break;
        }
    const int64_t count = static_cast<int64_t>(std::floor(magnitude / chosen->seconds));
    std::string phrase = std::to_string(count) + " " + chosen->name + (count == 1 ? "" : "s");
    return ahead ? "in " + phrase : phrase + " ago";
}

} // namespace sorvel::RelativeDate
