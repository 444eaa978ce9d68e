#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Date.h"

namespace sorvel {

/// The caller's answer to "how many bytes does this path hold": the evidence readers
/// never walk a folder themselves.
using SizeFunction = std::function<int64_t(const std::string &path)>;

/// Writes a date for people; the readers are always given the medium style.
using DateFormatter = std::function<std::string(Date)>;

} // namespace sorvel
