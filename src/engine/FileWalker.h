#pragma once
// Measures one path into a tree of ScanNode objects: allocated bytes, each hard-linked
// file once per ScanControl, symbolic links never followed. Below its start, a walk opens
// each folder from its parent's descriptor and keeps its own stack, so its time, stack
// and open descriptors do not grow with the depth of the tree.
#include <cstdint>
#include <set>
#include <string>

#include "engine/ScanControl.h"
#include "engine/ScanNode.h"

namespace sorvel::FileWalker {

struct Options {
    int maxNodeDepth = 10;
    int largestFilesPerDirectory = 8;
    int64_t largeFileThreshold = 8'000'000;
    bool stayOnDevice = true;
    std::set<std::string> skippedNames{".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100"};
    std::set<std::string> excludedPaths;
    /// A folder whose own files are all kept as entries, whatever their size or number:
    /// in the Trash every file the user put there is an item to list and draw.
    std::string everyFileFolder;
    /// A start that is a rule's folder and a link to a place of its own (`placeBehindLink`:
    /// the cache folder kept on another disk) is walked where it leads, its tree named through
    /// the link; any other link in the start's place is measured as the link it is.
    bool followRuleFolderLink = false;
};

/// Sequential depth-first walk on the calling thread; none when lstat of the path fails.
ScanNodePtr walk(const std::string& path, ScanControl& control, const Options& options = {});
/// Same result; lists the top levels breadth-first, then walks the frontier concurrently.
ScanNodePtr walkParallel(const std::string& path, ScanControl& control, const Options& options = {});
/// SORVEL_TRACE=1, read once per process.
bool traceEnabled();

} // namespace sorvel::FileWalker
