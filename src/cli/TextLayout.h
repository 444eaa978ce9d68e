#pragma once
// Column layout for the headless reports. Widths count user-perceived characters
// (extended grapheme clusters), so accents, flags and joined emoji take one column each
// as far as counting goes.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Graphemes.h"

namespace sorvel::TextLayout {

using Graphemes::characterBoundaries;
using Graphemes::characterCount;

/// Spaces in front until the text has `width` characters; a longer text stays whole.
std::string leftPadded(std::string_view text, size_t width);
/// Spaces after until the text has `width` characters; a longer text stays whole.
std::string rightPadded(std::string_view text, size_t width);
/// A text of more than `width` characters becomes "…" followed by its last width - 1
/// characters; a shorter one is returned unchanged.
std::string tailFitted(std::string_view text, size_t width);
/// tailFitted, then right-padded to `width`.
std::string fitted(std::string_view text, size_t width);

/// A path as the reports show it: the home folder as "~", then printable() (valid
/// UTF-8, control characters escaped).
std::string shownPath(std::string_view path);
/// Any text from disk (or another program) as printable() makes it.
std::string shown(std::string_view text);

/// The piece written `count` times (rules of box-drawing lines).
std::string repeated(std::string_view piece, int count);

} // namespace sorvel::TextLayout
