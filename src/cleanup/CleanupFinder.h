#pragma once
// Turns one scan result into the ordered list of cleanup recommendations.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/CleanupItem.h"
#include "engine/ScanResult.h"
#include "engine/StorageCategory.h"

namespace sorvel::CleanupFinder {

/// The eight rules' items that have a size, or that withhold what they found and say why;
/// safe before review, then largest first.
std::vector<CleanupItem> recommendations(const ScanResult &result);
/// The same, and into `unreadOnly` the items left out for having nothing read but paths
/// this user may not read, so that a report can say so.
std::vector<CleanupItem> recommendations(const ScanResult &result, std::vector<CleanupItem> &unreadOnly);

/// The categories the given rules read; none when a rule has no entry (the caller then
/// scans everything). An empty set gives an empty set.
std::optional<std::set<StorageCategory>> categories(const std::set<std::string> &ruleIDs);

/// Rule identifiers in the finder's order.
const std::vector<std::string> &ruleIDs();

} // namespace sorvel::CleanupFinder
