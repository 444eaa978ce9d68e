#pragma once
// Configuration strings. The per-user cache and temporary folder names of the other
// platform have no counterpart here: asking for them answers 0 (not known).
#include <cstddef>

namespace sorvel {

inline constexpr int kConfigurationUserTempDirectory = 65537;
inline constexpr int kConfigurationUserCacheDirectory = 65538;

/// Like confstr(3): the length of the value including its terminating zero byte (which
/// may exceed `length`; the buffer then holds a truncated value), or 0 when unknown.
size_t configurationString(int name, char* buffer, size_t length);

} // namespace sorvel
