#pragma once
#include <string>
#include <string_view>

namespace sorvel {

/// The home folder shown as "~".
std::string tildeAbbreviated(std::string_view path);
/// Trailing slashes removed; "/" stays "/".
std::string trimmedTrailingSlash(std::string_view path);

} // namespace sorvel
