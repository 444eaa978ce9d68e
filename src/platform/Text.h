#pragma once
// Text shown to people must be valid UTF-8; names on disk need not be.
#include <cstdint>
#include <string>
#include <string_view>

namespace sorvel {

/// The bytes as UTF-8, each invalid sequence replaced by U+FFFD.
std::string validUTF8(std::string_view bytes);
bool isValidUTF8(std::string_view bytes);

/// Control characters of UTF-8 text written out, so that a name can neither split a
/// line nor drive the terminal: "\n", "\t", "\r", "\x1b" style for the rest of C0
/// and DEL, "\u0085" style for C1. A backslash doubles, so the text stays unambiguous.
std::string escapedControls(std::string_view utf8);
/// Bytes from disk or another program as text for a terminal: validUTF8, then
/// escapedControls. Every plain-text report prints names and paths through this.
std::string printable(std::string_view bytes);

/// The noun agreeing with `count`: `singular` for exactly one, else `plural` (by default
/// the singular with an "s"), so no count reads "1 items".
std::string agreeing(int64_t count, std::string_view singular, std::string_view plural = {});
/// The count in plain digits, a space and the agreeing noun: "1 item", "2 items".
std::string counted(int64_t count, std::string_view singular, std::string_view plural = {});

} // namespace sorvel
