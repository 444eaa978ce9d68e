#pragma once
// Relative date phrases in full units ("in 3 hours", "2 days ago"), as the sweep panel,
// the app list and the settings window write them.
#include <string>

#include "platform/Date.h"

namespace sorvel::RelativeDate {

/// The phrase for `date` seen from `now`: the largest whole unit that fits (years,
/// months, weeks, days, hours, minutes, seconds), "in N unit(s)" ahead, "N unit(s) ago"
/// behind; "in 0 seconds" for the same moment.
std::string full(Date date, Date now);

} // namespace sorvel::RelativeDate
