#pragma once
// Keeps a finished scan's tree current: reduces a batch of changed directories to the few
// scanned nodes worth measuring again, finds them in the tree, and splices a re-walked
// node in with every ancestor's totals corrected. A tree once handed out never changes:
// splicing copies the nodes from the root down to the change into the result it is given,
// so whoever holds the old nodes keeps a consistent picture. Holds no state.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/FileWalker.h"
#include "engine/ScanControl.h"
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
/// first, none inside another of the same root; paths outside every root are dropped.
std::vector<std::string> coalesce(const std::vector<std::string>& paths, const ScanResult& result);
/// The deepest scanned node holding the path (trailing slashes ignored), under either form
/// of a firmlinked path.
std::optional<Location> locate(const std::string& path, const ScanResult& result);
/// Puts the re-walked node (none: the directory is gone) at the location, in fresh copies
/// of its ancestors with their totals corrected, and returns the node's change of size, new
/// minus old. The nodes of the location are left as they were.
int64_t apply(ScanNodePtr replacement, const Location& location, ScanResult& result);

/// A folder inside one measured again that this user could read at the last walk and not
/// now, or the reverse: its figure left the total, or came into it, without the disk
/// holding more or less.
struct ReadingTurn {
    /// turned: there both times, readable once; arrived: new, and not readable; left: gone,
    /// and it was not readable. A folder not read counts for nothing, coming or going.
    enum class Kind { turned, arrived, left };
    std::string path;
    bool readable = false; // now
    int64_t change = 0;    // of the total, new minus old, that its turn made
    Kind kind = Kind::turned;
};

/// One folder measured again, and its change of size.
struct Remeasured {
    std::string path;
    int64_t change = 0;
    std::vector<ReadingTurn> turns; // within that change, then the unread folders that came or went
};

/// The folders that became readable or unreadable between two walks of one folder.
std::vector<ReadingTurn> readingTurns(const ScanNode& before, const ScanNode& after);
/// The folders not readable that came (arrived) or went (left) between two walks.
std::vector<ReadingTurn> unreadComings(const ScanNode& before, const ScanNode& after);
using OptionsFor = std::function<FileWalker::Options(const std::string&)>;
using Walk = std::function<ScanNodePtr(const std::string&, ScanControl&, const FileWalker::Options&)>;

/// Measures each coalesced directory again with the control that measured the tree (its
/// hard-linked files are let go of first, so they are counted again there and nowhere
/// twice) and splices it in. A file that loses the name it was counted under but keeps one
/// in another folder makes that folder measured too. Stops when the control is cancelled.
std::vector<Remeasured> remeasure(std::vector<std::string> directories, ScanResult& result, ScanControl& control,
                                  const OptionsFor& options, const Walk& walk);

/// The location for exactly this form of the path.
std::optional<Location> search(const std::string& path, const ScanResult& result);
/// The other form of a path across the "/private" firmlinks, or none.
std::optional<std::string> firmlinkAlternate(const std::string& path);

} // namespace sorvel::TreeUpdater
