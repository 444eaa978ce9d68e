#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/Path.h" // tildeAbbreviated and pathPieces, which the platform uses too

namespace sorvel {

/// Trailing slashes removed; "/" stays "/", a text of slashes only becomes "/".
std::string trimmedTrailingSlash(std::string_view path);
/// A leading "~" or "~user" replaced by that home folder; anything else unchanged
/// (also when the user is unknown). Nothing else about the path is touched.
std::string expandingTildeInPath(std::string_view path);

} // namespace sorvel
