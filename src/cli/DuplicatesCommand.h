#pragma once
// `--duplicates PATH`: groups of identical files and what removing the copies frees.
#include <map>
#include <string>

#include "analysis/DuplicateFinder.h"
#include "removal/CleanupPolicy.h"

namespace sorvel::HeadlessReport {

/// The line printed before the scan, for the root as given after tilde expansion.
std::string duplicatesBanner(const std::string& root);
/// The report of a finished scan, every line ending in a line break. `refused` holds the
/// copies the guard would not let move (path to reason): they count in no reclaimable
/// figure and are said apart.
std::string duplicatesReport(const DuplicateFinder::Report& report,
                             const std::map<std::string, std::string>& refused = {});
/// What the scan could not read, as one line with the reasons ("" when it read everything):
/// "  1 folder and 2 files could not be read (Permission denied)".
std::string duplicatesUnreadableLine(const DuplicateFinder::Report& report);
/// Whether the report rests on nothing readable: something could not be read and not one
/// file that was considered could be.
bool duplicatesReadNothing(const DuplicateFinder::Report& report);
/// The label of a kind of group, as printed.
std::string kindLabel(DuplicateGroup::Kind kind);

} // namespace sorvel::HeadlessReport
