#pragma once
// Text shown to people must be valid UTF-8; names on disk need not be.
#include <string>
#include <string_view>

namespace sorvel {

/// The bytes as UTF-8, each invalid sequence replaced by U+FFFD.
std::string validUTF8(std::string_view bytes);
bool isValidUTF8(std::string_view bytes);

} // namespace sorvel
