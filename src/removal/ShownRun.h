#pragma once
// A recorded run as History and `--history` tell it: what it moved, with what was put back
// since, and cut short when it ended before it finished; and the last sweep as the sweep
// panel tells it, with what of its runs was put back.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "removal/SweepHistory.h"

namespace sorvel::ShownRun {

/// The items and bytes the run moved, those put back since included.
int64_t movedCount(const SweepRun& run);
int64_t movedBytes(const SweepRun& run);

/// Its headline: what it moved (cut short when it did not finish and no process still
/// moves it, `moving`), then what of that was put back.
std::string headline(const SweepRun& run, bool moving);

/// What was put back since of the runs a last sweep's receipt names.
struct PutBack {
    int64_t count = 0; // items
    bool all = false;  // nothing the runs moved is still in the Trash
    friend bool operator==(const PutBack&, const PutBack&) = default;
};
PutBack putBack(const std::vector<UUID>& named, const std::vector<SweepRun>& runs);
/// The receipt's headline, then what of its runs was put back, in the words History uses.
std::string headline(const SweepReceipt& receipt, const PutBack& back);

/// Said in place of the item list of a run whose every item was put back; none otherwise.
std::optional<std::string> allPutBack(const SweepRun& run);

} // namespace sorvel::ShownRun
