#pragma once
// The storage trends card: which snapshots are compared for the chosen period, and how
// each change is written and coloured. Pure; the card draws these.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/StorageTrends.h"
#include "engine/ScanResult.h"

namespace sorvel::TrendRules {

enum class Tone { neutral, good, bad };

/// now − was, held at the 64-bit limits.
int64_t change(const TrendChange& change);

/// "equal", "arrow.up.right" or "arrow.down.right".
std::string symbol(int64_t change);
/// A figure's amount: "+" when positive, otherwise the minus sign (also for 0), then the
/// magnitude as byte text.
std::string figureAmount(int64_t change);
/// Neutral for no change; good when the total fell, or (inverted) the free space grew.
Tone figureTone(int64_t change, bool inverted);
/// A row's amount: "+" from 1 byte up, otherwise the minus sign.
std::string rowAmount(int64_t change);
/// Rows are good (accent) at 0 or less, bad (warning) above.
Tone rowTone(int64_t change);
/// "+12%", "-50%"; none when `was` is below 1.
std::optional<std::string> percent(int64_t was, int64_t now);

inline constexpr size_t kMaximumRows = 6;
inline constexpr int kPeriods[] = {7, 30, 90};

/// Everything the card shows for one period; no body means the first-measurement panel.
struct Card {
    struct Body {
        TrendChange measured; // scanned totals
        /// Free bytes; none when either side's volume was not measured (stored as a total of 0).
        std::optional<TrendChange> free;
        std::string comparison;
        std::vector<TrendChange> changes; // at most 6, largest first
    };
    std::optional<Body> body;
};
Card card(const ScanResult& result, const std::vector<StorageSnapshot>& trends, int days, Date now);

inline constexpr const char* kFirstMeasurement =
    "Sorvel records one measurement a day. Come back after another scan tomorrow and this will show what moved "
    "\u2014 and by how much.";

} // namespace sorvel::TrendRules
