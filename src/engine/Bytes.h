#pragma once
// The shared byte-count texts: decimal units, KB to TB.
#include <cstdint>
#include <limits>
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
/// Short decimal form for tight spaces: "250 GB", "1.5 GB", "5 MB"; below a megabyte the
/// full text ("889 KB").
std::string compact(int64_t bytes);

/// a + b held at the 64-bit limits instead of wrapping: sizes and counts come from files
/// anyone could edit, and from other programs.
constexpr int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

} // namespace sorvel::Bytes
