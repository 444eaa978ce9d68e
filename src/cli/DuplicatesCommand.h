#pragma once
// `--duplicates PATH`: groups of identical files and what removing the copies frees.
#include <string>

#include "analysis/DuplicateFinder.h"

namespace sorvel::HeadlessReport {

/// The line printed before the scan, for the root as given after tilde expansion.
std::string duplicatesBanner(const std::string& root);
/// The report of a finished scan, every line ending in a line break.
std::string duplicatesReport(const DuplicateFinder::Report& report);
/// The label of a kind of group, as printed.
std::string kindLabel(DuplicateGroup::Kind kind);

} // namespace sorvel::HeadlessReport
