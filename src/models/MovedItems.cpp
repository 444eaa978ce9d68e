#include "models/MovedItems.h"

#include <variant>

namespace sorvel::MovedItems {

Moves of(const std::vector<CleanupOutcome>& outcomes) {
    Moves moves;
    for (const auto& outcome : outcomes) {
        const CleanupOutcome::MovedToTrash* moved = std::get_if<CleanupOutcome::MovedToTrash>(&outcome.result);
        if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&outcome.result); failed && failed->stranded)
            moved = &*failed->stranded; // left its place, and lies in the Trash
        if (!moved) continue;
        std::optional<bool> folder;
        if (moved->identity) folder = moved->identity->folder;
        moves.push_back({outcome.path, moved->trashPath, outcome.size, folder, nullptr});
    }
    return moves;
}

Moves of(const std::vector<RestoreOutcome>& outcomes) {
    Moves moves;
    for (const auto& outcome : outcomes) {
        // An item whose place in the Trash was never written down cannot be taken off
        // there: the live updates measure it.
        if (!outcome.restored() || outcome.item.trashPath.empty()) continue;
        std::optional<bool> folder;
        if (outcome.item.identity) folder = outcome.item.identity->folder;
        moves.push_back({outcome.item.trashPath, outcome.item.originalPath, outcome.item.size, folder, nullptr});
    }
    return moves;
}

} // namespace sorvel::MovedItems
