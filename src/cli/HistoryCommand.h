#pragma once
// `--history`: the log of removal runs as text.
#include <string>
#include <vector>

#include "removal/SweepHistory.h"

namespace sorvel::HeadlessReport {

/// The whole report for the given runs (newest first), as printed.
std::string historyReport(const std::vector<SweepRun>& runs);

} // namespace sorvel::HeadlessReport
