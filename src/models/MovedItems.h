#pragma once
// What a move carried out from the window did to the disk, in the terms the scanned tree
// is folded by: every mover (the cleanup sheet, the uninstaller, the duplicates screen, the
// sweeps and put back) describes its outcomes here, and the coordinator folds them.
#include <vector>

#include "engine/TreeMoves.h"
#include "removal/CleanupExecutor.h"
#include "removal/RestoreExecutor.h"

namespace sorvel::MovedItems {

using Moves = std::vector<TreeMoves::Move>;

/// Each item that left its place for the Trash, also one a failed move stranded there.
Moves of(const std::vector<CleanupOutcome>& outcomes);
/// Each item put back from its place in the Trash to where it came from.
Moves of(const std::vector<RestoreOutcome>& outcomes);

} // namespace sorvel::MovedItems
