#pragma once
// The rules of the insights panel that are not drawing: which cards show, the percent and
// age texts, the caps on bars, legend and file rows, the least widths of bar pieces, the
// iCloud caveat's two looks and the verdict chips.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "analysis/FolderInsights.h"
#include "analysis/InsightLabels.h"
#include "cleanup/CloudStatus.h"
#include "engine/PathKnowledge.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui::InsightsText {

inline constexpr size_t maxKindSegments = 8;
inline constexpr size_t maxLegendRows = 5;
inline constexpr size_t maxLargestFiles = 6;

/// What stands under the explainer and the caveat.
enum class Breakdown { loading, nothing, kindsAndAges, kindsAgesAndLargest };
Breakdown breakdown(bool isLoading, const std::optional<FolderInsights>& insights);

/// "0%" for a total below 1, "<0.1%" under a tenth of a percent, else "12.5%".
std::string percent(int64_t part, int64_t total);
/// "all recent", or the stale bytes and " over 2 years old".
std::string ageDetail(const FolderInsights& insights);
/// "12,345 files": grouped in the user's locale; "1 file".
std::string fileCount(int64_t count);
/// The count beside "What's in here", saying how many folders below were not read and so
/// are not in it: "2 files · 1 folder not readable by this user".
std::string fileCountDetail(const FolderInsights& insights);
/// "sampled" for truncated insights, else empty.
std::string largestDetail(const FolderInsights& insights);

using InsightLabels::ageLabel;
using InsightLabels::isStale;
using InsightLabels::kindLabel;

/// Width of a kind's piece of the stacked bar: 3 at least when it has any share, 0 without.
double kindSegmentWidth(int64_t bytes, int64_t totalBytes, double width);
/// Width of an age bar over its track: never below 2.
double ageBarWidth(int64_t bytes, int64_t totalBytes, double width);

/// The kind that names a largest file's swatch: from the extension of its name alone.
FileKind swatchKind(const FileEntry& entry);
/// "Dec 2026".
using InsightLabels::monthYear;

struct CaveatLook {
    std::string symbol;  // "exclamationmark.icloud.fill" or "icloud"
    std::string heading; // "Check iCloud before deleting anything here" or "Local to this computer"
    Tone tone;           // warning or blue
};
CaveatLook caveatLook(bool isBlocking);

ChipStyle verdictChip(PathNote::Verdict verdict);

} // namespace sorvel::ui::InsightsText
