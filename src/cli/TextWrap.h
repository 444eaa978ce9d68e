#pragma once
// Word wrapping for the prose of the headless commands.
#include <string>

namespace sorvel::HeadlessReport {

/// Splits at spaces only and fills lines up to `width` characters, each starting with
/// `indent`. Words are never split: a word wider than the room stands on its own line.
/// Lines are joined by "\n" with none after the last; no words give the empty text.
std::string wrap(const std::string& text, const std::string& indent, int width);

} // namespace sorvel::HeadlessReport
