#pragma once
// Keeps a finished scan's tree current: reduces a batch of changed directories to the few
// scanned nodes worth measuring again, finds them in the tree, and splices a re-walked
// node in with every ancestor's totals corrected. Holds no state and takes no lock: it
// runs wherever the owner of the result runs (main thread, or the watcher's own lock).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanNode.h"
#include "engine/ScanResult.h"

namespace sorvel::TreeUpdater {

/// Where one node sits in a result; valid only until the result's category or root
/// lists change.
struct Location {
    int categoryIndex = 0;
    int rootIndex = 0;
    std::vector<ScanNodePtr> chain; // the root first, the located node last; never empty
};

/// The distinct scanned directories to re-walk for a batch of changed paths, shorter paths
/// first, none inside another; paths outside every root are dropped.
std::vector<std::string> coalesce(const std::vector<std::string>& paths, const ScanResult& result);
/// The deepest scanned node holding the path (trailing slashes ignored), under either form
/// of a firmlinked path.
std::optional<Location> locate(const std::string& path, const ScanResult& result);
/// Puts the re-walked node (none: the directory is gone) at the location and re-totals
/// every ancestor; returns the node's change of size, new minus old.
int64_t apply(ScanNodePtr replacement, const Location& location, ScanResult& result);

/// The location for exactly this form of the path.
std::optional<Location> search(const std::string& path, const ScanResult& result);
/// The other form of a path across the "/private" firmlinks, or none.
std::optional<std::string> firmlinkAlternate(const std::string& path);

} // namespace sorvel::TreeUpdater
