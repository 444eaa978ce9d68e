#pragma once
#include <string>
#include <string_view>

namespace sorvel {

/// The home folder shown as "~": the home itself is "~", a path inside it "~/..."; any
/// other path (a sibling whose name merely extends the home's name too) is unchanged.
std::string tildeAbbreviated(std::string_view path);
/// Trailing slashes removed; "/" stays "/", a text of slashes only becomes "/".
std::string trimmedTrailingSlash(std::string_view path);
/// A leading "~" or "~user" replaced by that home folder; anything else unchanged
/// (also when the user is unknown). Nothing else about the path is touched.
std::string expandingTildeInPath(std::string_view path);

} // namespace sorvel
