#pragma once
// Measures a whole scope: probes the machine, walks every existing category root
// concurrently, hands each finished root to the control, and assembles the result.
// The app, the command line and sweeps all measure through here.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/DisplayCategory.h"
#include "engine/FileWalker.h"
#include "engine/ScanControl.h"
#include "engine/ScanResult.h"
#include "engine/StorageCategory.h"

namespace sorvel::MultiRootScan {

/// Blocks until every root has been walked; never fails. `limitedTo` keeps only the
/// categories with those identifiers (an empty set keeps none). `duration` is 0 and
/// `finishedAt` the start time: callers that time the scan set both.
ScanResult scanSynchronously(ScanControl& control, ScanScope scope,
                             std::optional<std::set<std::string>> limitedTo = std::nullopt);

/// Steps after the probes: walks every existing root of the given categories (in
/// display order) into `result`. Tests hand in categories of their own making.
void walkCategories(ScanControl& control, const std::vector<DisplayCategory>& categories, ScanResult& result);

/// Walk options for re-measuring a path inside a scope: those of the first category
/// (in display order) with a root containing the path, else the global exclusions.
FileWalker::Options walkOptions(const std::string& path, ScanScope scope);

} // namespace sorvel::MultiRootScan
