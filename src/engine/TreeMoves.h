#pragma once
// Brings a finished scan's tree in line with items known to have moved (to the Trash, say)
// without measuring anything again: each item leaves the figures of the folders it was
// counted in and, when its new place lies in a scanned root, is counted there, so at no
// moment is it counted twice or nowhere. Like the live updater, it copies the nodes it
// changes: whoever holds the old ones keeps a consistent picture.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanResult.h"

namespace sorvel::TreeMoves {

struct Move {
    std::string from;
    /// Where it lies now; empty when that is not known (it only leaves its old place).
    std::string to;
    /// What its mover measured; the tree's own figure is used where the tree has one.
    int64_t size = 0;
    /// None when the mover could not tell a folder from a file.
    std::optional<bool> folder;
};

/// Applies the moves in order to the result's tree; true when any figure changed. A place
/// outside every root is left alone, a folder no longer in the tree is not taken off again
/// and an item already listed at `to` is not added again; a small file is only summed in
/// its folder, so each move is to be applied once.
bool apply(const std::vector<Move>& moves, ScanResult& result);

} // namespace sorvel::TreeMoves
