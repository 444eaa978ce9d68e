#pragma once
// The log of removal runs, kept in the user defaults newest first: at most 250 runs, at
// most 2000 items per run, and the item lists only on the 20 newest runs. Every change is
// one read-modify-write under the defaults' cross-process lock. An entry this version
// cannot read is skipped when listing and written back unchanged, in its place, so a
// damaged or newer record is never lost; keys it does not know survive on readable runs.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Trash.h"
#include "platform/UUID.h"
#include "platform/UserDefaults.h"
#include "removal/SweepReceipt.h"

namespace sorvel {

/// One item a run moved to the Trash.
struct MovedItem {
    std::string originalPath;
    /// Empty while the item is recorded ahead of its move; it is then found by its record
    /// in the Trash and its identity.
    std::string trashPath;
    int64_t size = 0;
    /// The object as it was moved; none for items recorded before it was kept.
    std::optional<Trash::Identity> identity = std::nullopt;

    bool isPending() const { return trashPath.empty(); }

    const std::string& id() const { return originalPath; }
    /// Equal over the three recorded fields; the identity is evidence, not part of the item.
    friend bool operator==(const MovedItem& a, const MovedItem& b) {
        return a.originalPath == b.originalPath && a.trashPath == b.trashPath && a.size == b.size;
    }
};

struct SweepRun {
    enum class Trigger { scheduled, manual, menuBar };

    UUID id = UUID::random();
    Trigger trigger = Trigger::manual;
    std::string scope; // a short phrase beginning in lower case
    SweepReceipt receipt;
    std::vector<MovedItem> moved;
    /// True while `moved` lists every item the run moved.
    bool hasDetail = true;
    /// The folders the run was allowed to touch, so a restore may put items back there;
    /// none for runs under the standard policy and for runs recorded before it was kept.
    std::optional<std::vector<std::string>> allowedRoots;
    /// False while the run is moving, and for good when it was cut short (a crash): its
    /// items can still be put back.
    bool finished = true;

    nlohmann::json toJSON() const;
    /// None when a key is missing, null, of another type, or the trigger is unknown.
    static std::optional<SweepRun> fromJSON(const nlohmann::json& json);

    friend bool operator==(const SweepRun&, const SweepRun&) = default;
};

std::string rawValue(SweepRun::Trigger trigger); // "scheduled", "manual", "menuBar"
std::optional<SweepRun::Trigger> sweepTriggerFromRaw(const std::string& raw);

namespace SweepHistory {

inline constexpr size_t kMaximumRuns = 250;
inline constexpr size_t kMaximumItemsPerRun = 2000;
inline constexpr size_t kRunsWithDetail = 20;

/// What callers show when a run could not be written down.
inline constexpr const char* kNotSavedMessage =
    "Sorvel could not save this run to its history, so it cannot be put back from there. "
    "Check that the disk has room and that Sorvel's settings folder can be written.";

/// `kNotSavedMessage` unless the run was saved.
inline std::optional<std::string> notSavedMessage(bool saved) {
    if (saved) return std::nullopt;
    return kNotSavedMessage;
}
/// The same with the system's reason, when one is known.
std::optional<std::string> notSavedMessage(const SaveStatus& status);

struct Loaded {
    std::vector<SweepRun> runs; // newest first
    size_t unreadable = 0;      // stored entries that could not be read
};

/// The readable stored runs, newest first, and how many entries were skipped.
Loaded read();
/// The readable stored runs, newest first; empty when absent.
std::vector<SweepRun> load();
/// Adds the run as the newest, applies the bounds to the readable runs, saves and
/// returns the readable list as saved; none when it could not be saved.
std::optional<std::vector<SweepRun>> record(const SweepRun& run);
/// Replaces the stored run with the same id in place; writes nothing when there is none.
/// Not saved only when the change could not be saved.
SaveStatus update(const SweepRun& run);
/// Replaces the stored run with the same id in place, or adds it as the newest when it is
/// not stored (first write, or cleared meanwhile); a run of more items than a run keeps
/// is cut to them.
SaveStatus store(const SweepRun& run);
/// Inside one locked read-modify-write: takes the items with these original paths out of
/// the stored run with this id and recounts its moved items and bytes; nothing when that
/// run is gone.
SaveStatus removeItems(const UUID& id, const std::vector<std::string>& originalPaths);
/// Forgets the stored run with this id; nothing when there is none.
SaveStatus forget(const UUID& id);
/// Forgets every readable run; entries that could not be read stay. False when it
/// could not be saved.
bool clear();

/// The JSON array of the stored form, and its reader: none unless an array, and each
/// element that does not decode skipped.
nlohmann::json encode(const std::vector<SweepRun>& runs);
std::optional<std::vector<SweepRun>> decode(const nlohmann::json& json);

} // namespace SweepHistory
} // namespace sorvel
