#include "platform/PlistDates.h"

#include <cmath>
#include <cstdint>

namespace sorvel::PlistDates {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// The number of `count` digits at `at`, or -1.
int digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool leapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int64_t year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Passes over what holds no element: the position just past `close`, or npos.
size_t past(std::string_view xml, size_t from, std::string_view close) {
    const size_t at = xml.find(close, from);
    return at == std::string_view::npos ? at : at + close.size();
}

} // namespace

std::optional<double> referenceSeconds(std::string_view text) {
    text = trimmed(text);
    // YYYY-MM-DDTHH:MM:SSZ
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > daysIn(year, month) || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    const int64_t unix = daysFromCivil(year, month, day) * 86'400 + hour * 3'600 + minute * 60 + second;
    return static_cast<double>(unix) - kReferenceDateOffset;
}

std::optional<Date> storedDate(double seconds) {
    if (!std::isfinite(seconds)) return std::nullopt;
    const double unix = seconds + kReferenceDateOffset;
    const double limit = static_cast<double>(kDateSecondsLimit);
    if (unix > limit || unix < -limit) return std::nullopt;
    return dateFromReferenceSeconds(seconds);
}

std::optional<std::vector<std::optional<double>>> xmlDates(std::string_view xml) {
    std::vector<std::optional<double>> dates;
    size_t at = 0;
    while ((at = xml.find('<', at)) != std::string_view::npos) {
        const std::string_view rest = xml.substr(at);
        if (rest.starts_with("<!--")) at = past(xml, at + 4, "-->");
        else if (rest.starts_with("<![CDATA[")) at = past(xml, at + 9, "]]>");
        else if (rest.starts_with("<?")) at = past(xml, at + 2, "?>");
        else if (rest.starts_with("<!")) at = past(xml, at + 2, ">"); // the document type
        else if (rest.starts_with("<date") && rest.size() > 5 &&
                 (rest[5] == '>' || rest[5] == '/' || isSpace(rest[5]))) {
            const size_t end = xml.find('>', at);
            if (end == std::string_view::npos) return std::nullopt;
            if (xml[end - 1] == '/') {
                dates.emplace_back(); // <date/>: no date in it
                at = end + 1;
                continue;
            }
            const size_t close = xml.find("</date", end);
            if (close == std::string_view::npos) return std::nullopt;
            dates.push_back(referenceSeconds(xml.substr(end + 1, close - end - 1)));
            at = close + 6;
        } else {
            ++at;
        }
        if (at == std::string_view::npos) return std::nullopt;
    }
    return dates;
}

} // namespace sorvel::PlistDates
