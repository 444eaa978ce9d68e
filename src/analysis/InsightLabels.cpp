#include "analysis/InsightLabels.h"

#include <chrono>
#include <ctime>

namespace sorvel::InsightLabels {

std::string kindLabel(FileKind kind) {
    switch (kind) {
    case FileKind::image: return "Photos & images";
    case FileKind::video: return "Video";
    case FileKind::audio: return "Audio";
    case FileKind::document: return "Documents";
    case FileKind::archive: return "Archives";
    case FileKind::database: return "Databases";
    case FileKind::code: return "Code & text";
    case FileKind::binary: return "Apps & binaries";
    case FileKind::other: return "Other";
    }
    return "Other";
}

std::string ageLabel(AgeBand band) {
    switch (band) {
    case AgeBand::lastMonth: return "Last 30 days";
    case AgeBand::lastYear: return "This year";
    case AgeBand::oneToTwoYears: return "1\u20132 years old";
    case AgeBand::twoToFiveYears: return "2\u20135 years old";
    case AgeBand::olderThanFive: return "Over 5 years old";
    }
    return {};
}

bool isStale(AgeBand band) { return band == AgeBand::twoToFiveYears || band == AgeBand::olderThanFive; }

std::string monthYear(Date date) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = std::chrono::system_clock::to_time_t(date);
    std::tm parts{};
    if (!localtime_r(&t, &parts)) return {};
    return std::string(months[parts.tm_mon]) + " " + std::to_string(parts.tm_year + 1900);
}

} // namespace sorvel::InsightLabels
