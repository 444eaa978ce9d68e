#pragma once
// Case mapping of UTF-8 text with ICU's full, locale-neutral mapping. Bytes that are not
// valid UTF-8 pass through unchanged, so names on disk keep their bytes.
#include <string>
#include <string_view>

namespace sorvel {

std::string lowercased(std::string_view text);

} // namespace sorvel
