#pragma once
// The file-style byte-count formatter: decimal units (1 KB = 1000 bytes), only KB, MB,
// GB and TB. The largest unit whose value is at least 1 is used (else KB); KB shows no
// fraction digits, MB one, GB and TB two, rounded to nearest (halves away from zero)
// with trailing zeros dropped; a value that rounds to 1000 of a unit moves up to the
// next unit; thousands are grouped with ",". Zero is "0 KB".
#include <cstdint>
#include <string>

namespace sorvel {

std::string formatByteCount(int64_t bytes);

} // namespace sorvel
