#pragma once
// Case mapping of UTF-8 text, one code point at a time with the C.UTF-8 tables. Bytes
// that are not valid UTF-8 pass through unchanged, so names on disk keep their bytes.
#include <string>
#include <string_view>

namespace sorvel {

std::string lowercased(std::string_view text);

} // namespace sorvel
