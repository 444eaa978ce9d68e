#pragma once
// The search for duplicates the duplicates screen and `--duplicates` both make: one folder a
// person named, what the move would refuse of each copy, and one rule for the copy each set
// keeps.
#include <map>
#include <string>

#include "analysis/DuplicateFinder.h"
#include "engine/ScanControl.h"
#include "removal/CleanupPolicy.h"

namespace sorvel::DuplicateSearch {

struct Found {
    DuplicateFinder::Report report;
    /// Every copy the move would refuse under the policy, with the guard's reason.
    std::map<std::string, std::string> refused;
};

/// Searches `folder`, read where its links lead, and puts first in each set the copy a person
/// keeps (`DuplicateFinder::keepFirst`): one the move would refuse under `policy` (a protected
/// place, judged where it really lies), else one in the desktop's document folders, else one
/// outside the folders the cleanup rules offer from; age decides among copies alike in these.
/// The options' places are filled here. Nothing is refused when the search was cancelled.
Found run(const std::string& folder, DuplicateFinder::Options options, const CleanupPolicy& policy,
          ScanControl& control);

/// The guard's reason for each copy of every set that it refuses under `policy` now.
std::map<std::string, std::string> refusalsOf(const DuplicateFinder::Report& report, const CleanupPolicy& policy);

} // namespace sorvel::DuplicateSearch
