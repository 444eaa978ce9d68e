#include "ui/screens/InsightsText.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "platform/Text.h"

namespace sorvel::ui::InsightsText {

Breakdown breakdown(bool isLoading, const std::optional<FolderInsights>& insights) {
    if (isLoading) return Breakdown::loading;
    if (!insights || insights->fileCount < 1) return Breakdown::nothing;
    return insights->largest.empty() ? Breakdown::kindsAndAges : Breakdown::kindsAgesAndLargest;
}

std::string percent(int64_t part, int64_t total) {
    if (total < 1) return "0%";
    const double v = static_cast<double>(part) / static_cast<double>(total) * 100.0;
    if (!(v >= 0.1)) return "<0.1%";
    return ScreenText::percentOneDecimal(v);
}

namespace {
// Folders not read may hold anything: a claim over all the files covers only those read.
std::string ofWhatWasRead(const FolderInsights& insights, std::string text) {
    if (insights.unreadableFolders < 1) return text;
    return text + (text.empty() ? "" : " \u00B7 ") + "of what could be read";
}
} // namespace

std::string ageDetail(const FolderInsights& insights) {
    const int64_t stale = insights.staleBytes();
    if (stale < 1) return ofWhatWasRead(insights, "all recent");
    return Bytes::format(stale) + " over 2 years old";
}

std::string fileCount(int64_t count) { return ScreenText::groupedInteger(count) + " " + agreeing(count, "file"); }

std::string fileCountDetail(const FolderInsights& insights) {
    std::string text = fileCount(insights.fileCount);
    if (insights.unreadableFolders > 0)
        text += " \u00B7 " + ScreenText::groupedInteger(insights.unreadableFolders) + " " +
                agreeing(insights.unreadableFolders, "folder") + " not readable by this user";
    return text;
}

std::string largestDetail(const FolderInsights& insights) {
    return ofWhatWasRead(insights, insights.truncated ? "sampled" : "");
}

namespace {
double share(int64_t bytes, int64_t total) {
    return static_cast<double>(bytes) / static_cast<double>(std::max<int64_t>(total, 1));
}
} // namespace

double kindSegmentWidth(int64_t bytes, int64_t totalBytes, double width) {
    const double s = share(bytes, totalBytes);
    return std::max(s * width, s > 0 ? 3.0 : 0.0);
}

double ageBarWidth(int64_t bytes, int64_t totalBytes, double width) {
    return std::max(share(bytes, totalBytes) * width, 2.0);
}

FileKind swatchKind(const FileEntry& entry) { return FileKinds::classify(entry.name, false, ""); }

CaveatLook caveatLook(bool isBlocking) {
    if (isBlocking) return {"exclamationmark.icloud.fill", "Check iCloud before deleting anything here", Tone::warning};
    return {"icloud", "Local to this computer", Tone::blue};
}

ChipStyle verdictChip(PathNote::Verdict verdict) {
    switch (verdict) {
    case PathNote::Verdict::safe: return {"SAFE TO CLEAN", Tone::accentInk};
    case PathNote::Verdict::review: return {"WORTH REVIEWING", Tone::warning};
    case PathNote::Verdict::keep: return {"KEEP", Tone::blue};
    }
    return {"WORTH REVIEWING", Tone::warning};
}

} // namespace sorvel::ui::InsightsText
