// `--insights PATH`: what one folder is and what it holds, by kind, age and largest files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "analysis/FolderInsights.h"
#include "cleanup/CloudStatus.h"
#include "cli/CommandPath.h"
#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/PathKnowledge.h"
#include "engine/PathText.h"

namespace sorvel::HeadlessReport {
namespace {

const char* verdictLabel(PathNote::Verdict verdict) {
    switch (verdict) {
    case PathNote::Verdict::safe: return "SAFE TO CLEAN";
    case PathNote::Verdict::review: return "WORTH REVIEWING";
    case PathNote::Verdict::keep: return "KEEP";
    }
    return "WORTH REVIEWING";
}

const char* kindLabel(FileKind kind) {
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

const char* ageLabel(AgeBand band) {
    switch (band) {
    case AgeBand::lastMonth: return "Last 30 days";
    case AgeBand::lastYear: return "This year";
    case AgeBand::oneToTwoYears: return "1\u20132 years old";
    case AgeBand::twoToFiveYears: return "2\u20135 years old";
    case AgeBand::olderThanFive: return "Over 5 years old";
    }
    return "";
}

bool isFlagged(AgeBand band) { return band == AgeBand::twoToFiveYears || band == AgeBand::olderThanFive; }

// "  %5.1f%%" of bytes against the total; the divisor is at least 1.
std::string share(int64_t bytes, int64_t total) {
    const double percent = static_cast<double>(bytes) / static_cast<double>(std::max<int64_t>(total, 1)) * 100.0;
    char text[48];
    std::snprintf(text, sizeof text, "  %5.1f%%", percent);
    return text;
}

// The "MMM yyyy" form of a date in the local time zone.
std::string monthAndYear(Date date) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = std::chrono::system_clock::to_time_t(date);
    std::tm parts{};
    if (!localtime_r(&t, &parts)) return "";
    return std::string(kMonths[parts.tm_mon]) + " " + std::to_string(parts.tm_year + 1900);
}

void line(std::string& out, const std::string& text = {}) {
    out += text;
    out += '\n';
}

void wrapped(std::string& out, const std::string& text) {
    const std::string lines = wrap(text, "  ", 74);
    if (!lines.empty()) line(out, lines);
}

} // namespace

int insights(const std::string& argument) {
    // The path stays bytes for the scan; only printed text is made valid UTF-8.
    const std::string path = expandingTildeInPath(argument);
    if (int status = CommandPath::check(argument, path); status != 0) return status;
    const FolderInsights result = InsightScanner::analyze(path, [] { return false; });

    std::string out;
    line(out);
    if (const auto note = PathKnowledge::note(path)) {
        line(out, "  " + note->title + "  [" + verdictLabel(note->verdict) + "]");
        line(out, "  " + TextLayout::repeated("\u2500", 68));
        wrapped(out, note->what);
        if (note->guidance) {
            line(out);
            wrapped(out, "\u2192 " + *note->guidance);
        }
        line(out);
    }
    if (const auto caveat = CloudDetector::detect().caveat(path)) {
        wrapped(out, (caveat->isBlocking ? "!! " : "   ") + caveat->text);
        line(out);
    }
    line(out, "  " + TextLayout::shownPath(path));

    std::string summary = "  " + Bytes::format(result.totalBytes) + " \u00B7 " + std::to_string(result.fileCount) +
                          " files";
    if (result.truncated) summary += " (sampled)";
    char duration[64];
    std::snprintf(duration, sizeof duration, " \u00B7 %.1fs", result.duration);
    line(out, summary + duration);

    if (!result.kinds.empty()) {
        line(out);
        line(out, "  WHAT'S IN HERE");
        for (size_t i = 0; i < result.kinds.size() && i < 6; ++i) {
            const auto& bucket = result.kinds[i];
            line(out, "  " + TextLayout::rightPadded(kindLabel(bucket.key), 20) +
                          TextLayout::leftPadded(Bytes::format(bucket.bytes), 12) +
                          share(bucket.bytes, result.totalBytes) +
                          TextLayout::leftPadded(std::to_string(bucket.count) + " files", 16));
        }
    }

    if (!result.ages.empty()) {
        line(out);
        line(out, "  HOW OLD IT IS");
        for (const auto& bucket : result.ages) {
            line(out, "  " + TextLayout::rightPadded(ageLabel(bucket.key), 20) +
                          TextLayout::leftPadded(Bytes::format(bucket.bytes), 12) +
                          share(bucket.bytes, result.totalBytes) +
                          (isFlagged(bucket.key) ? "   \u2190 worth questioning" : ""));
        }
        if (const int64_t stale = result.staleBytes(); stale >= 1) {
            line(out);
            line(out, "  " + Bytes::format(stale) + " is more than two years old.");
        }
    }

    if (!result.largest.empty()) {
        line(out);
        line(out, "  LARGEST FILES");
        for (size_t i = 0; i < result.largest.size() && i < 6; ++i) {
            const FileEntry& entry = result.largest[i];
            const std::string date = entry.modified ? monthAndYear(*entry.modified) : "";
            line(out, "  " + TextLayout::leftPadded(Bytes::format(entry.size), 11) + "  " +
                          TextLayout::rightPadded(date, 10) + TextLayout::shown(entry.name));
        }
    }
    line(out);
    return ReportOutput::emit(out);
}

} // namespace sorvel::HeadlessReport
