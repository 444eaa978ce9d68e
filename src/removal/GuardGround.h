#pragma once
// What the guard's judgement stands on, shared by a one-off judgement and a run's session.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "cleanup/SyncedFolders.h"
#include "platform/MountTable.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel::CleanupGuard {

/// The policy's entries, each with the spellings a path is compared against.
struct Forms {
    std::vector<std::vector<std::string>> denied, allowed;
    /// Per allowed root left without a place by a link in front of it: the link, as written
    /// and where it lies, and where it leads.
    struct Stop {
        std::string written, at, leadsTo;
    };
    std::vector<std::optional<Stop>> stops;
};

/// Each entry with the spellings a path is compared against.
std::vector<std::vector<std::string>> forms(const std::vector<std::string>& entries, Entries which);
/// The policy's entries as a judgement compares a target's real place with them: each denied
/// place as written and where it leads, each allowed root only where it really lies (the
/// rules' folders never through a link after the home).
Forms realForms(const CleanupPolicy& policy, const std::string& home);

/// `placeRefusal` with the entries' spellings given.
std::optional<Refusal> rulesRefusal(const std::string& path, const CleanupPolicy& policy, const Forms& entries,
                                    bool refuseHolding);

/// What a judgement compares a path with: where the protected places lie, under which
/// mount table. Worked out for each judgement, or kept by a run while nothing deciding it changed.
class Ground {
public:
    virtual ~Ground() = default;
    /// The policy's entries, each as written and where it leads.
    virtual const Forms& forms() = 0;
    /// Holds the mount of `where` (a path that passed the rules) while the table and
    /// places are looked at, and brings them up to date.
    virtual void settle(const std::string& where) = 0;
    virtual const std::optional<std::vector<MountEntry>>& table() = 0;
    virtual const ProtectedPlaces& places() = 0;
    /// With `parentResolved`, the path's parent holds no link.
    virtual bool insideTrash(const std::string& path, const std::vector<MountEntry>& mounts, bool parentResolved) = 0;
    /// The sync clients' trees, their settings read once and each folder's markers once.
    virtual SyncedFolders& synced() = 0;
};

/// Which of the tests run: every one; those of the path's place (the policy's rules, the
/// protected places by identity, mounts, fences, trashes, synced trees, iCloud), not what the
/// entry on disk is now; or for an offer, those and whether a move could put the entry into a
/// Trash (its writability, the Trash it would go to), not its size again.
enum class Tests { all, place, offer };

/// Every test of `judge`, in order, on the ground given.
Judgement judgeOn(Ground& ground, const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                  const std::optional<CloudStatus>& cloud, const std::string& home, Tests tests = Tests::all);

} // namespace sorvel::CleanupGuard
