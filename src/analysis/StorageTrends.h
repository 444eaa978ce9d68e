#pragma once
// A small persisted history of scan totals: one snapshot per scope and calendar day, so
// the history screen can show how each category has grown or shrunk.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/ScanResult.h"
#include "platform/Calendar.h"
#include "platform/Date.h"
#include "platform/UserDefaults.h"

namespace sorvel {

struct StorageSnapshot {
    Date date;
    std::string scope;                          // "System Data" or "Whole Disk"
    std::map<std::string, int64_t> categories;  // bytes by display category identifier
    int64_t freeBytes = 0;
    int64_t totalBytes = 0;
    /// Categories this user could read nothing of: no bytes recorded, no change worked out.
    std::set<std::string> unread = {};
    /// Categories read only in part (a folder refused, a walk cut short): their bytes are a
    /// lower bound, so no change is worked out from them either.
    std::set<std::string> readInPart = {};

    /// The categories whose bytes are not a whole reading: left out of every comparison.
    std::set<std::string> notReadWhole() const;

    Date id() const { return date; }
    /// Sum of the category bytes (held at the 64-bit limits rather than wrapping).
    int64_t scannedTotal() const;
    /// The same, leaving out the given categories: two snapshots are compared over what both read.
    int64_t scannedTotal(const std::set<std::string>& leftOut) const;

    nlohmann::json toJSON() const;
    /// None unless all five keys are present with values of the right type.
    static std::optional<StorageSnapshot> fromJSON(const nlohmann::json& json);

    friend bool operator==(const StorageSnapshot&, const StorageSnapshot&) = default;
};

struct TrendChange {
    std::string id;
    std::string title;
    int64_t was = 0;
    int64_t now = 0;
    friend bool operator==(const TrendChange&, const TrendChange&) = default;
};

namespace StorageTrends {

inline constexpr const char* kDefaultsKey = "SorvelStorageTrends";
inline constexpr size_t kMaximumSnapshots = 365;

/// The stored history, oldest first; empty when missing or not a valid list of snapshots.
std::vector<StorageSnapshot> load();
/// When the stored history could not be read (the settings file, or the list in it): one
/// sentence saying where it is and what the next measurement does with it. None when it
/// reads or was never stored.
std::optional<std::string> unreadNote();

/// Records the result's totals as today's snapshot of its scope, replacing an earlier one
/// of the same scope and day, keeps the newest 365 and returns the stored history. A
/// result without categories or bytes records nothing. `saved`, when given, says whether
/// the history could be stored, with the reason when not.
std::vector<StorageSnapshot> record(const ScanResult& result, Date now,
                                    const Calendar& calendar = Calendar::current(), SaveStatus* saved = nullptr);

/// The snapshots of one scope ("System Data", "Whole Disk"), in the given order.
std::vector<StorageSnapshot> series(const std::string& scope, const std::vector<StorageSnapshot>& history);

/// The newest snapshot of a date-ordered series taken at least `days` whole days before now.
std::optional<StorageSnapshot> baseline(int days, const std::vector<StorageSnapshot>& series, Date now);

/// Per-category changes between two snapshots, largest change first; unchanged ones, and
/// those either side did not read whole, left out.
std::vector<TrendChange> changes(const StorageSnapshot& from, const StorageSnapshot& to,
                                 const std::function<std::string(const std::string&)>& naming);

} // namespace StorageTrends
} // namespace sorvel
