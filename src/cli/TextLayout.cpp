#include "cli/TextLayout.h"

#include <algorithm>
#include <cstdint>

#include "engine/PathText.h"
#include "platform/Text.h"

namespace sorvel::TextLayout {

std::string leftPadded(std::string_view text, size_t width) {
    size_t count = characterCount(text);
    std::string out;
    if (count < width)
        out.assign(width - count, ' ');
    out += text;
    return out;
}

std::string rightPadded(std::string_view text, size_t width) {
    size_t count = characterCount(text);
    std::string out(text);
    if (count < width)
        out.append(width - count, ' ');
    return out;
}

std::string tailFitted(std::string_view text, size_t width) {
    auto bounds = characterBoundaries(text);
    size_t count = bounds.size() - 1;
    if (count <= width)
        return std::string(text);
    if (width == 0)
        return {};
    size_t keep = width - 1;
    return "\u2026" + std::string(text.substr(bounds[count - keep]));
}

std::string fitted(std::string_view text, size_t width) {
    return rightPadded(tailFitted(text, width), width);
}

std::string shownPath(std::string_view path) {
    return printable(tildeAbbreviated(path));
}

std::string shown(std::string_view text) {
    return printable(text);
}

std::string repeated(std::string_view piece, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

} // namespace sorvel::TextLayout
