#pragma once
// Measures a whole scope: probes the machine, walks every existing category root
// concurrently, hands each finished root to the control, and assembles the result.
// The app, the command line and sweeps all measure through here.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/DisplayCategory.h"
#include "engine/FileWalker.h"
#include "engine/ScanControl.h"
#include "engine/ScanResult.h"
#include "engine/ScopeDisks.h"
#include "engine/StorageCategory.h"

namespace sorvel::MultiRootScan {

/// Blocks until every root has been walked; never fails. `limitedTo` keeps only the
/// categories with those identifiers (an empty set keeps none). `duration` is 0 and
/// `finishedAt` the start time: callers that time the scan set both.
ScanResult scanSynchronously(ScanControl& control, ScanScope scope,
                             std::optional<std::set<std::string>> limitedTo = std::nullopt);

/// The disks the categories' roots lie on, the scope's own first: the home's, or the root
/// file system's for Whole Disk.
ScopeDisks probeDisks(ScanScope scope, const std::vector<DisplayCategory>& categories);

/// Steps after the probes: walks every existing root of the given categories (in
/// display order) into `result`. Tests hand in categories of their own making.
void walkCategories(ScanControl& control, const std::vector<DisplayCategory>& categories, ScanResult& result);

/// Walk options for re-measuring a path inside a scope: those of the first category
/// (in display order) with a root containing the path and no exclusion of it, else the
/// global exclusions. Reads the scope's categories: for many paths, use a table.
FileWalker::Options walkOptions(const std::string& path, ScanScope scope);

/// `walkOptions` for any number of paths of one scope, its categories read once: a look-up
/// costs the depth of the path, whatever the roots and exclusions.
class WalkOptionsTable {
public:
    explicit WalkOptionsTable(ScanScope scope);
    explicit WalkOptionsTable(const std::vector<DisplayCategory>& categories);
    const FileWalker::Options& forPath(std::string_view path) const;

private:
    std::vector<FileWalker::Options> options_; // one a category, in display order
    FileWalker::Options outside_;
    // Each root, and each excluded place, with the categories (by index) it belongs to.
    std::map<std::string, std::vector<size_t>, std::less<>> roots_;
    std::map<std::string, std::vector<size_t>, std::less<>> excluded_;
};

} // namespace sorvel::MultiRootScan
