#pragma once
// A recorded run as History and `--history` tell it: what it moved, with what was put back
// since, and cut short when it ended before it finished.
#include <cstdint>
#include <optional>
#include <string>

#include "removal/SweepHistory.h"

namespace sorvel::ShownRun {

/// The items and bytes the run moved, those put back since included.
int64_t movedCount(const SweepRun& run);
int64_t movedBytes(const SweepRun& run);

/// Its headline: what it moved (cut short when it did not finish and no process still
/// moves it, `moving`), then what of that was put back.
std::string headline(const SweepRun& run, bool moving);

/// Said in place of the item list of a run whose every item was put back; none otherwise.
std::optional<std::string> allPutBack(const SweepRun& run);

} // namespace sorvel::ShownRun
