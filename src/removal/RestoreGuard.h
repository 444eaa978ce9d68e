#pragma once
// Decides whether one item a run moved to the Trash may be put back where it came from:
// only out of the user's own Trash, never over anything, and only to a place the cleanup
// policy itself would allow.
#include <optional>
#include <string>

#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/SweepHistory.h"

namespace sorvel::RestoreGuard {

/// Why an item may not be put back; the description is a lower-case clause.
struct Refusal {
    enum class Kind { destinationNotAllowed, notInTrash, missingFromTrash, destinationOccupied, destinationParentMissing };

    Kind kind = Kind::notInTrash;
    std::optional<CleanupGuard::Refusal> guardRefusal; // destinationNotAllowed

    static Refusal destinationNotAllowed(CleanupGuard::Refusal refusal) {
        return {Kind::destinationNotAllowed, std::move(refusal)};
    }
    static Refusal notInTrash() { return {Kind::notInTrash, std::nullopt}; }
    static Refusal missingFromTrash() { return {Kind::missingFromTrash, std::nullopt}; }
    static Refusal destinationOccupied() { return {Kind::destinationOccupied, std::nullopt}; }
    static Refusal destinationParentMissing() { return {Kind::destinationParentMissing, std::nullopt}; }

    std::string description() const;
    friend bool operator==(const Refusal&, const Refusal&) = default;
};

/// The first refusal that applies, or none. Reads the file system, changes nothing.
/// Besides the written paths, the place an item really sits in (links in its Trash path)
/// and the place it would really go (links in its parent folder) are judged too.
std::optional<Refusal> check(const MovedItem& item, const CleanupPolicy& policy);

/// The policy's place tests (denied prefixes, allowed roots, depth) of one path as written.
std::optional<CleanupGuard::Refusal> destinationRefusal(const std::string& path, const CleanupPolicy& policy);

} // namespace sorvel::RestoreGuard
