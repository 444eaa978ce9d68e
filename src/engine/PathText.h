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

/// What every path inside `folder` (as `isPathInside` tells, the folder itself aside) begins
/// with: in text order they follow one another from the first that begins with it.
std::string insidePrefix(std::string_view folder);
/// Every folder `path` lies inside as `isPathInside` tells (itself included), as views into
/// it: looked up in a set, they find what holds a path in a few steps.
std::vector<std::string_view> foldersHolding(std::string_view path);

} // namespace sorvel
