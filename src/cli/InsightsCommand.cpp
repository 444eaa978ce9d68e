// `--insights PATH`: what one folder is and what it holds, by kind, age and largest files.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "analysis/FolderInsights.h"
#include "analysis/InsightLabels.h"
#include "cleanup/CloudStatus.h"
#include "cli/CommandPath.h"
#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/PathKnowledge.h"
#include "engine/PathText.h"
#include "platform/Path.h"
#include "platform/Text.h"

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

// "  %5.1f%%" of bytes against the total; the divisor is at least 1.
std::string share(int64_t bytes, int64_t total) {
    const double percent = static_cast<double>(bytes) / static_cast<double>(std::max<int64_t>(total, 1)) * 100.0;
    char text[48];
    std::snprintf(text, sizeof text, "  %5.1f%%", percent);
    return text;
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
    // The path stays bytes for the scan; only printed text is made valid UTF-8. A folder
    // named is read where its links lead (the home behind a link, say).
    const std::string path = namedFolderPlace(absolutePath(expandingTildeInPath(argument)));
    // Any other link is described as itself, never followed: where it points (nowhere, back
    // to itself, a file) has no bearing on whether it can be described.
    struct stat st {};
    const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (!link) {
        if (int status = CommandPath::check(argument, path); status != 0) return status;
        if (int status = CommandPath::enterable(argument, path); status != 0) return status;
    }
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

    // Only refused folders below: nothing was read, so there is no figure to give.
    const bool nothingRead = result.nothingReadable();
    std::string summary = nothingRead ? std::string("  not readable by this user")
                                      : "  " + Bytes::format(result.totalBytes) + " \u00B7 " +
                                            counted(result.fileCount, "file");
    if (!nothingRead && result.unreadableFolders > 0) summary += " (partly read)";
    if (result.truncated) summary += " (sampled)";
    char duration[64];
    std::snprintf(duration, sizeof duration, " \u00B7 %.1fs", result.duration);
    line(out, summary + duration);
    if (result.unreadableFolders > 0)
        line(out, "  Not counted: " + CommandPath::unreadableNote(result.unreadableFolders));
    if (result.otherNames > 0)
        line(out, "  Hard links: " + counted(result.otherNames, "more name") +
                      " of files already counted, not counted again.");

    if (!result.kinds.empty()) {
        line(out);
        line(out, "  WHAT'S IN HERE");
        for (size_t i = 0; i < result.kinds.size() && i < 6; ++i) {
            const auto& bucket = result.kinds[i];
            line(out, "  " + TextLayout::rightPadded(InsightLabels::kindLabel(bucket.key), 20) +
                          TextLayout::leftPadded(Bytes::format(bucket.bytes), 12) +
                          share(bucket.bytes, result.totalBytes) +
                          TextLayout::leftPadded(counted(bucket.count, "file"), 16));
        }
    }

    if (!result.ages.empty()) {
        line(out);
        line(out, "  HOW OLD IT IS");
        for (const auto& bucket : result.ages) {
            line(out, "  " + TextLayout::rightPadded(InsightLabels::ageLabel(bucket.key), 20) +
                          TextLayout::leftPadded(Bytes::format(bucket.bytes), 12) +
                          share(bucket.bytes, result.totalBytes) +
                          (InsightLabels::isStale(bucket.key) ? "   \u2190 worth questioning" : ""));
        }
        if (const int64_t stale = result.staleBytes(); stale >= 1) {
            line(out);
            line(out, "  " + Bytes::format(stale) + " is more than two years old.");
        }
    }

    if (!result.largest.empty()) {
        line(out);
        // The largest of the files read: a folder not read may hold larger ones.
        line(out, std::string("  LARGEST FILES") + (result.unreadableFolders > 0 ? "  (of what this user could read)" : ""));
        const auto moreNames = [&result](const std::string& path) {
            const auto it = result.otherNamesOf.find(path);
            return it == result.otherNamesOf.end() ? std::string() : "  (and " + counted(it->second, "more name") + ")";
        };
        for (size_t i = 0; i < result.largest.size() && i < 6; ++i) {
            const FileEntry& entry = result.largest[i];
            const std::string date = entry.modified ? InsightLabels::monthYear(*entry.modified) : "";
            line(out, "  " + TextLayout::leftPadded(Bytes::format(entry.size), 11) + "  " +
                          TextLayout::rightPadded(date, 10) + TextLayout::shown(entry.name) + moreNames(entry.path));
        }
    }
    line(out);
    if (int status = ReportOutput::emit(out); status != 0) return status;
    return nothingRead ? CommandPath::nothingReadUnder(argument) : 0;
}

} // namespace sorvel::HeadlessReport
