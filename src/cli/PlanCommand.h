#pragma once
// `--plan`: what a cleanup of every safe recommendation would do, without moving
// anything.
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/CleanupItem.h"
#include "removal/CleanupExecutor.h"

namespace sorvel::HeadlessReport {

/// Rows listed in each section before a "… and N more" line; the count of that line is
/// taken against the same limit.
inline constexpr size_t kPlanRefusedLimit = 20;
inline constexpr size_t kPlanListingLimit = 18;

/// The targets of the items safe to clean, in order, as the dry run's input, and each
/// target's detail keyed by its standardised path (the first target of a path wins).
struct PlanInput {
    std::vector<CleanupExecutor::PathSize> pairs;
    std::map<std::string, std::optional<std::string>> details;
    std::set<std::string> partlyRead; // standardised paths whose size is a lower bound
};
PlanInput planInput(const std::vector<CleanupItem>& recommendations);

/// The plan's text from the dry run's outcomes; `unreadableFolders` are those the scan
/// could not look in, where targets may hide.
std::string planText(const std::vector<CleanupOutcome>& outcomes,
                     const std::map<std::string, std::optional<std::string>>& details,
                     int64_t unreadableFolders = 0, const std::set<std::string>& partlyRead = {});

/// Scans System Data, dry-runs every safe target under the standard policy and prints
/// the plan. Returns the exit status: 1 when nothing could be read to plan from.
int plan();

} // namespace sorvel::HeadlessReport
