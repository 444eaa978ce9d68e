#pragma once
// Decides whether one item a run moved to the Trash may be put back where it came from:
// only out of the user's own Trash (the home trash or a file system's own trash), never
// over anything, and only to a place the run's policy would allow.
#include <optional>
#include <string>

#include "platform/Trash.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/SweepHistory.h"

namespace sorvel::RestoreGuard {

/// Why an item may not be put back; the description is a lower-case clause.
struct Refusal {
    enum class Kind {
        destinationNotAllowed,
        notInTrash,
        missingFromTrash,
        destinationOccupied,
        destinationParentMissing,
        notTheMovedItem,
        stillInPlace,
        alreadyBack,
    };

    Kind kind = Kind::notInTrash;
    std::optional<CleanupGuard::Refusal> guardRefusal; // destinationNotAllowed

    static Refusal destinationNotAllowed(CleanupGuard::Refusal refusal) {
        return {Kind::destinationNotAllowed, std::move(refusal)};
    }
    static Refusal notInTrash() { return {Kind::notInTrash, std::nullopt}; }
    static Refusal missingFromTrash() { return {Kind::missingFromTrash, std::nullopt}; }
    static Refusal destinationOccupied() { return {Kind::destinationOccupied, std::nullopt}; }
    static Refusal destinationParentMissing() { return {Kind::destinationParentMissing, std::nullopt}; }
    /// The Trash entry's record names another place, or the entry is another object.
    static Refusal notTheMovedItem() { return {Kind::notTheMovedItem, std::nullopt}; }
    /// Recorded ahead of a move the run did not live to make: the item never left its place.
    static Refusal stillInPlace() { return {Kind::stillInPlace, std::nullopt}; }
    /// Gone from the Trash, and the very object it was is at its original path: put back
    /// by a put back cut short before it was written down (or by another program).
    static Refusal alreadyBack() { return {Kind::alreadyBack, std::nullopt}; }
    /// Whether the item is no longer in the Trash but at its place, so it leaves its run.
    bool leavesTheRun() const { return kind == Kind::stillInPlace || kind == Kind::alreadyBack; }

    std::string description() const;
    friend bool operator==(const Refusal&, const Refusal&) = default;
};

/// What the guard judged: where the item would really land (its destination's parent
/// with every link resolved, and the name), so the move acts on exactly that place.
struct Judgement {
    std::optional<Refusal> refusal;
    std::string resolvedParent; // empty when refused
    std::string name;
    Trash::Location location = {}; // where it lies in the Trash, when not refused
};

/// Where the item lies in the Trash (`Trash::locate`), whatever spelling of the home its run
/// recorded; none when its recorded place is in no trash the move would use.
std::optional<Trash::Location> whereInTrash(const MovedItem& item);

/// The first refusal that applies, or none. Reads the file system, changes nothing.
/// Besides the written paths, the place an item really sits in (links in its Trash path)
/// and the place it would really go (links in its parent folder) are judged too.
Judgement judge(const MovedItem& item, const CleanupPolicy& policy);
std::optional<Refusal> check(const MovedItem& item, const CleanupPolicy& policy);

/// The policy's place tests (denied prefixes, allowed roots, depth) of one path as written.
std::optional<CleanupGuard::Refusal> destinationRefusal(const std::string& path, const CleanupPolicy& policy);

} // namespace sorvel::RestoreGuard
