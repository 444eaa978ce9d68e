#pragma once
// Brings a finished scan's tree in line with items known to have moved (to the Trash, say)
// without measuring it again: each item leaves the figures of the folders it was counted in
// and, when its new place lies in a scanned root, is counted there, so at no moment is it
// counted twice or nowhere. An item carries all it counts for: its bytes, files, folders,
// refused folders and how it was read. Like the live updater, it copies the nodes it
// changes: whoever holds the old ones keeps a consistent picture.
#include <cstdint>
#include <functional>
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
    /// The item as walked where it lies now (`measure`): what the tree does not keep of
    /// it (a folder below the kept depth, or from outside every root) is counted from it.
    ScanNodePtr measured;
};

/// The depth below a root down to which the tree keeps nodes (a walk's `maxNodeDepth`).
inline constexpr int kKeptDepth = 10;

/// Whether the item is to be walked where it lies now before it is folded: a folder, or
/// an item of unknown kind, that the tree keeps no node for, or whose node lacks the roots
/// below it, moved from or into a root. Its size alone would leave its files, folders and
/// refusals behind.
bool needsMeasuring(const Move& move, const ScanResult& result);
/// The places in `moves` of those that `needsMeasuring` chooses, looked up in one index of
/// the tree: thousands of items cost a few look-ups each.
std::vector<size_t> needingMeasure(const std::vector<Move>& moves, const ScanResult& result);

/// Walks (through `walk`, on the calling thread) each item where it lies now, and tells
/// its kind; for the moves that `needsMeasuring` chose.
using Walk = std::function<ScanNodePtr(const std::string&)>;
void measure(std::vector<Move>& moves, const Walk& walk);

/// Applies the moves in order to the result's tree; true when any figure changed. A place
/// outside every root is left alone, a folder no longer in the tree is not taken off again
/// and an item already listed at `to` is not added again; a small file is only summed in
/// its folder, so each move is to be applied once. A category root that moved, or lay
/// inside a folder that moved, leaves the tree (its category too when it was the last) and
/// joins `missingRoots`. Costs the items moved, not their square.
bool apply(const std::vector<Move>& moves, ScanResult& result, int keptDepth = kKeptDepth);

} // namespace sorvel::TreeMoves
