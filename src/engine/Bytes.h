#pragma once
// The shared byte-count texts: decimal units, KB to TB.
#include <cstdint>
#include <string>

namespace sorvel::Bytes {

struct Parts {
    std::string number;
    std::string unit;
};

/// The full text of a count, e.g. "1.2 GB" (negative counts format as 0).
std::string format(int64_t bytes);
/// The full text split into number and unit.
Parts parts(int64_t bytes);
/// Short decimal form for tight spaces: "250 GB", "1.5 GB", "5 MB", "999999 B".
std::string compact(int64_t bytes);

} // namespace sorvel::Bytes
