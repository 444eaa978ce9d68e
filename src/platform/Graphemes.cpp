#include "platform/Graphemes.h"

#include <cstdint>
#include <memory>

#include <unicode/ubrk.h>

namespace sorvel::Graphemes {
namespace {

// Decodes one code point at i; an invalid byte decodes as U+FFFD and advances by one.
char32_t decode(std::string_view s, size_t& i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    if (c < 0x80) {
        ++i;
        return c;
    }
    // clang-format off
    size_t need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) { need = 1; cp = c & 0x1F; }
    else if (c == 0xE0) { need = 2; cp = c & 0x0F; lo = 0xA0; }
    else if (c >= 0xE1 && c <= 0xEC) { need = 2; cp = c & 0x0F; }
    else if (c == 0xED) { need = 2; cp = c & 0x0F; hi = 0x9F; }
    else if (c >= 0xEE && c <= 0xEF) { need = 2; cp = c & 0x0F; }
    else if (c == 0xF0) { need = 3; cp = c & 0x07; lo = 0x90; }
    else if (c >= 0xF1 && c <= 0xF3) { need = 3; cp = c & 0x07; }
    else if (c == 0xF4) { need = 3; cp = c & 0x07; hi = 0x8F; }
    else { ++i; return 0xFFFD; }
    for (size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) { ++i; return 0xFFFD; }
        unsigned char b = byte(i + k);
        if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) { ++i; return 0xFFFD; }
        cp = (cp << 6) | (b & 0x3F);
    }
    // clang-format on
    i += need + 1;
    return cp;
}

struct BreakIteratorClose {
    void operator()(UBreakIterator* iterator) const { ubrk_close(iterator); }
};

// One iterator per thread: opening one loads the rules, and an iterator is not shareable.
UBreakIterator* characterIterator() {
    thread_local std::unique_ptr<UBreakIterator, BreakIteratorClose> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        UBreakIterator* opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        if (U_FAILURE(status)) opened = nullptr;
        return std::unique_ptr<UBreakIterator, BreakIteratorClose>(opened);
    }();
    return iterator.get();
}

void appendUTF16(char32_t cp, std::u16string& out) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
}

// ASCII text breaks between every two bytes except inside CR LF.
std::vector<size_t> asciiBoundaries(std::string_view text) {
    std::vector<size_t> starts;
    starts.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size(); ++i)
        if (i == 0 || text[i - 1] != '\r' || text[i] != '\n') starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

} // namespace

std::vector<size_t> characterBoundaries(std::string_view text) {
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    UBreakIterator* iterator = characterIterator();
    if (ascii || !iterator || text.size() >= INT32_MAX / 2) return asciiBoundaries(text);

    // Each invalid byte becomes one U+FFFD, so it is a character of its own (or the base of
    // the marks after it). byteOffset maps every UTF-16 unit back to where its bytes start.
    std::u16string units;
    std::vector<size_t> byteOffset;
    units.reserve(text.size());
    byteOffset.reserve(text.size() + 1);
    for (size_t i = 0; i < text.size();) {
        const size_t start = i;
        appendUTF16(decode(text, i), units);
        byteOffset.resize(units.size(), start);
    }
    byteOffset.push_back(text.size());

    UErrorCode status = U_ZERO_ERROR;
    ubrk_setText(iterator, units.data(), static_cast<int32_t>(units.size()), &status);
    if (U_FAILURE(status)) return asciiBoundaries(text);
    std::vector<size_t> starts;
    for (int32_t at = ubrk_first(iterator); at != UBRK_DONE; at = ubrk_next(iterator))
        starts.push_back(byteOffset[static_cast<size_t>(at)]);
    if (starts.empty() || starts.front() != 0) starts.insert(starts.begin(), 0);
    if (starts.back() != text.size()) starts.push_back(text.size());
    return starts;
}

size_t characterCount(std::string_view text) { return characterBoundaries(text).size() - 1; }

} // namespace sorvel::Graphemes
