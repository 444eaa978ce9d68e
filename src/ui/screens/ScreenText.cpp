#include "ui/screens/ScreenText.h"

#include <QLocale>

#include <charconv>
#include "platform/Text.h"

namespace sorvel::ui::ScreenText {

std::string oneDecimal(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (ec != std::errc()) return "0.0";
    return std::string(buffer, end);
}

std::string percentOneDecimal(double value) { return oneDecimal(value) + "%"; }

std::string groupedInteger(int64_t value) {
    return QLocale().toString(static_cast<qlonglong>(value)).toStdString();
}

std::string items(int64_t count) { return agreeing(count, "item"); }

std::string partialSentence() {
    return "Partial: the scan was stopped before this was measured whole, so its figures cover only part of it. "
           "Rescan to measure all of it.";
}

} // namespace sorvel::ui::ScreenText
