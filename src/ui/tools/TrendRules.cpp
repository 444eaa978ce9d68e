#include "ui/tools/TrendRules.h"

#include <cstdio>
#include <set>

#include "engine/Bytes.h"

namespace sorvel::TrendRules {
namespace {
const char* const kMinus = "\u2212";

int64_t magnitude(int64_t change) {
    if (change >= 0) return change;
    return change == INT64_MIN ? INT64_MAX : -change;
}

int64_t difference(int64_t was, int64_t now) {
    int64_t out = 0;
    if (__builtin_sub_overflow(now, was, &out)) return now > was ? INT64_MAX : INT64_MIN;
    return out;
}
} // namespace

std::string symbol(int64_t change) {
    if (change == 0) return "equal";
    return change > 0 ? "arrow.up.right" : "arrow.down.right";
}

std::string figureAmount(int64_t change) {
    // No sign on nothing: a minus before zero reads as a loss.
    if (change == 0) return Bytes::format(0);
    return (change > 0 ? "+" : kMinus) + Bytes::format(magnitude(change));
}

Tone figureTone(int64_t change, bool inverted) {
    if (change == 0) return Tone::neutral;
    const bool good = inverted ? change > 0 : change < 0;
    return good ? Tone::good : Tone::bad;
}

std::string rowAmount(int64_t change) { return figureAmount(change); }

Tone rowTone(int64_t change) { return change <= 0 ? Tone::good : Tone::bad; }

std::optional<std::string> percent(int64_t was, int64_t now) {
    if (was < 1) return std::nullopt;
    const double p = (static_cast<double>(now) - static_cast<double>(was)) / static_cast<double>(was) * 100.0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f%%", p); // the C locale: the window never sets another
    return (p > 0 ? "+" : "") + std::string(buffer);
}

Card card(const ScanResult& result, const std::vector<StorageSnapshot>& trends, int days, Date now) {
    Card card;
    const auto series = StorageTrends::series(title(result.scope), trends);
    if (series.empty()) return card;
    if (series.size() < 2) return card;
    // With no snapshot as old as the period, the oldest one stands in.
    std::optional<StorageSnapshot> baseline = StorageTrends::baseline(days, series, now);
    if (!baseline) baseline = series.front();
    const StorageSnapshot& latest = series.back();

    Card::Body body;
    // A category either side did not read whole is left out of both totals, or its missing
    // bytes would read as a change; the card names what it left out.
    std::set<std::string> leftOut = baseline->notReadWhole();
    for (const auto& id : latest.notReadWhole()) leftOut.insert(id);
    const auto naming = [&](const std::string& id) {
        const CategoryResult* category = result.category(id);
        // Before this session's first scan names them, the categories still read as names.
        return category ? category->category.title : DisplayCategory::titleFor(id);
    };
    body.measured = {"measured", "measured", baseline->scannedTotal(leftOut), latest.scannedTotal(leftOut)};
    // A volume no one could read is kept with no capacity: its 0 bytes free are no change.
    if (baseline->totalBytes > 0 && latest.totalBytes > 0)
        body.free = TrendChange{"free", "free space", baseline->freeBytes, latest.freeBytes};
    body.comparison = "Compared with " + mediumDate(baseline->date);
    if (series.size() < 3)
        body.comparison += " \u00B7 only " + std::to_string(series.size()) + " measurements so far";
    if (!leftOut.empty()) {
        std::string names;
        for (const auto& id : leftOut) names += (names.empty() ? "" : ", ") + naming(id);
        body.comparison += " \u00B7 left out, not read whole: " + names;
    }
    auto changes = StorageTrends::changes(*baseline, latest, naming);
    if (changes.size() > kMaximumRows) changes.resize(kMaximumRows);
    body.changes = std::move(changes);
    card.body = std::move(body);
    return card;
}

int64_t change(const TrendChange& c) { return difference(c.was, c.now); }

} // namespace sorvel::TrendRules
