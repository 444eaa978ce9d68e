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

/// The eight rules' items that have a size, that withhold what they found and say why, or
/// that list places the policy refuses; each place offered once; safe before review, then
/// largest first, those with only refused places last.
std::vector<CleanupItem> recommendations(const ScanResult &result);
/// The same, and into `unreadOnly` the items left out for having nothing read but paths
/// this user may not read, so that a report can say so.
std::vector<CleanupItem> recommendations(const ScanResult &result, std::vector<CleanupItem> &unreadOnly);

/// Sets each target's shared bytes from the result: what of it has names outside it too.
void noteShared(std::vector<CleanupItem> &items, const ScanResult &result);

/// The finder's order: safe before review, then largest first; those with only refused
/// places last. Stable.
void order(std::vector<CleanupItem> &items);

/// Offers each place once over all the items: a target inside another target goes (moving
/// that one takes it along, and its size counts it), and a place two rules name stays with
/// the more specific rule (the cache folder's children at large are the least specific; of
/// equals, the earlier item).
void offerEachPlaceOnce(std::vector<CleanupItem> &items);

/// The categories the given rules read; none when a rule has no entry (the caller then
/// scans everything). An empty set gives an empty set.
std::optional<std::set<StorageCategory>> categories(const std::set<std::string> &ruleIDs);

/// The folders the eight rules carry (the caches, the Trash, leftovers' app folders, ...),
/// each once, for the home of now: what lies in them is what Sorvel's own cleanups move.
std::vector<std::string> offeredPlaces();

/// Rule identifiers in the finder's order.
const std::vector<std::string> &ruleIDs();

} // namespace sorvel::CleanupFinder
