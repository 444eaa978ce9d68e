#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/Reading.h"
#include "platform/Date.h"

namespace sorvel {

/// The caller's answer to "how many bytes does this path hold, and could all of it be
/// read": the evidence readers never walk a folder themselves.
using SizeFunction = std::function<Measured(const std::string &path)>;

/// Writes a date for people; the readers are always given the medium style.
using DateFormatter = std::function<std::string(Date)>;

} // namespace sorvel
