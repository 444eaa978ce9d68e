#pragma once
// User-perceived characters (extended grapheme clusters) of UTF-8 text, so that accents,
// flags and joined emoji count as one character each wherever text is measured.
#include <cstddef>
#include <string_view>
#include <vector>

namespace sorvel::Graphemes {

/// Byte offsets where each character of the UTF-8 text starts, followed by the text's
/// size. An invalid byte is a character of its own.
std::vector<size_t> characterBoundaries(std::string_view text);
size_t characterCount(std::string_view text);

} // namespace sorvel::Graphemes
