#pragma once
// The log of removal runs, kept in the user defaults newest first: at most 250 runs, at
// most 2000 items per run, and the item lists only on the 20 newest runs.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/UUID.h"
#include "removal/SweepReceipt.h"

namespace sorvel {

/// One item a run moved to the Trash.
struct MovedItem {
    std::string originalPath;
    std::string trashPath;
    int64_t size = 0;

    const std::string& id() const { return originalPath; }
    friend bool operator==(const MovedItem&, const MovedItem&) = default;
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

/// The stored runs, newest first; empty when absent or when any record is unreadable.
std::vector<SweepRun> load();
/// Adds the run as the newest, applies the bounds, saves and returns the list as saved.
std::vector<SweepRun> record(const SweepRun& run);
/// Replaces the stored run with the same id in place; nothing when there is none.
void update(const SweepRun& run);

/// The JSON array of the stored form, and its strict reader.
nlohmann::json encode(const std::vector<SweepRun>& runs);
std::optional<std::vector<SweepRun>> decode(const nlohmann::json& json);

} // namespace SweepHistory
} // namespace sorvel
