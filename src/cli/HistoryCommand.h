#pragma once
// `--history`: the log of removal runs as text.
#include <string>
#include <vector>

#include "removal/SweepHistory.h"

namespace sorvel::HeadlessReport {

/// The whole report for the given runs (newest first), as printed.
std::string historyReport(const std::vector<SweepRun>& runs);
/// The line for standard error about stored entries that could not be read; empty for none.
std::string unreadableNote(size_t unreadable);

} // namespace sorvel::HeadlessReport
