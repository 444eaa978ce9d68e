#include "platform/Text.h"

namespace sorvel {
namespace {

// Length of the valid UTF-8 sequence starting at i, or 0 when it is invalid.
size_t validSequenceLength(std::string_view s, size_t i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) return 1;
    size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) need = 1;
    else if (c == 0xE0) { need = 2; lo = 0xA0; }
    else if (c >= 0xE1 && c <= 0xEC) need = 2;
    else if (c == 0xED) { need = 2; hi = 0x9F; }
    else if (c >= 0xEE && c <= 0xEF) need = 2;
    else if (c == 0xF0) { need = 3; lo = 0x90; }
    else if (c >= 0xF1 && c <= 0xF3) need = 3;
    else if (c == 0xF4) { need = 3; hi = 0x8F; }
    else return 0;
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return 0;
        unsigned char b = byte(i + k);
        unsigned char l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
        if (b < l || b > h) return 0;
    }
    return need + 1;
}

} // namespace

bool isValidUTF8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t n = validSequenceLength(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string validUTF8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t n = validSequenceLength(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string escapedControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\n': out += "\\n"; continue;
        case '\t': out += "\\t"; continue;
        case '\r': out += "\\r"; continue;
        case '\\': out += "\\\\"; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F: some terminals take these as control sequences too.
            const auto next = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += kHex[next >> 4];
            out += kHex[next & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string printable(std::string_view bytes) { return escapedControls(validUTF8(bytes)); }

std::string agreeing(int64_t count, std::string_view singular, std::string_view plural) {
    if (count == 1) return std::string(singular);
    return plural.empty() ? std::string(singular) + "s" : std::string(plural);
}

std::string counted(int64_t count, std::string_view singular, std::string_view plural) {
    return std::to_string(count) + " " + agreeing(count, singular, plural);
}

} // namespace sorvel
