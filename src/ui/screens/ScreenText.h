#pragma once
// Small text helpers the screens share: locale-free decimals, plain counts and the
// plural endings the screens' sentences use.
#include <cstdint>
#include <string>

namespace sorvel::ui {

/// A colour role; the widgets resolve it against the theme when they paint.
enum class Tone { accent, accentInk, warning, rose, blue, tertiary, secondary, primary };

/// A chip's words and its colour pairing.
struct ChipStyle {
    std::string text;
    Tone tone; // accentInk on accentWash, warning on warningWash, rose ink on rose fill, blue ink on blue fill
    friend bool operator==(const ChipStyle&, const ChipStyle&) = default;
};

namespace ScreenText {

/// `value` with one decimal and a full stop, whatever the C locale says ("12.5").
std::string oneDecimal(double value);
/// "12.5%" (one decimal, full stop, percent sign).
std::string percentOneDecimal(double value);
/// A whole number grouped the way the user's locale groups it ("12,345" in en_US).
std::string groupedInteger(int64_t value);
/// "item" or "items".
std::string items(int64_t count);
/// Beside a figure the stop of a scan cut short: "partial".
inline constexpr const char* kPartial = "partial";
/// Why such a figure is short, for its tooltip.
std::string partialSentence();

} // namespace ScreenText
} // namespace sorvel::ui
