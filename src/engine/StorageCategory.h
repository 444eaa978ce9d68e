#pragma once
// What a scan measures: the two scopes, the nine System Data categories and the display
// form both scopes share.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/Tint.h"
#include "platform/LinuxPlaces.h"

namespace sorvel {

enum class ScanScope { systemData, wholeDisk };
std::string rawValue(ScanScope scope);              // "systemData", "wholeDisk"
std::string title(ScanScope scope);                 // "System Data", "Whole Disk"
std::optional<ScanScope> scanScopeFromRaw(const std::string& raw);
inline constexpr ScanScope kAllScanScopes[] = {ScanScope::systemData, ScanScope::wholeDisk};

enum class StorageCategory { caches, appSupport, containers, developer, mail, logs, vmSwap, trash, otherLibrary };
inline constexpr StorageCategory kAllStorageCategories[] = {
    StorageCategory::caches, StorageCategory::appSupport, StorageCategory::containers,
    StorageCategory::developer, StorageCategory::mail, StorageCategory::logs,
    StorageCategory::vmSwap, StorageCategory::trash, StorageCategory::otherLibrary};

std::string rawValue(StorageCategory category);
std::optional<StorageCategory> storageCategoryFromRaw(const std::string& raw);

namespace StorageCategories {
const Tint& tint(StorageCategory category);
/// The category's ~/Library places, then the Linux places of its kind of data.
std::vector<std::string> roots(StorageCategory category);
/// The kind of data of the Linux places table a category measures; none for the Trash.
std::optional<LinuxPlaces::Kind> linuxKind(StorageCategory category);
/// The cloud-synced trees, every other category's roots lying inside this one's, and what
/// the places table carves out of this kind.
std::set<std::string> excludedPaths(StorageCategory category);
/// The same over roots already read (one per category), so a caller reads them once.
std::set<std::string> excludedPaths(StorageCategory category,
                                    const std::map<StorageCategory, std::vector<std::string>>& allRoots);

/// Every category's roots, each with where it lies (the folders above it resolved, its own
/// name never followed), found once for the exclusions of all categories: each root's place
/// is resolved once, not once for every pair of roots compared.
class RootPlaces {
public:
    explicit RootPlaces(std::map<StorageCategory, std::vector<std::string>> allRoots);
    /// As `excludedPaths(category)`, over these roots.
    std::set<std::string> excludedPaths(StorageCategory category) const;

private:
    struct Entry {
        std::string key; // the root as written, or where it lies
        std::string root;
        StorageCategory category;
    };
    std::map<StorageCategory, std::vector<std::string>> roots_;
    std::map<std::string, std::string> places_; // roots that lie somewhere
    std::vector<Entry> byText_;                 // sorted by key
    std::vector<Entry> byPlace_;
};
std::set<std::string> globallyExcludedPaths();
/// The home holds ~/Library (a folder, or a link to one): texts about the other system's
/// places are true here. Without it, only the Linux texts are shown.
bool homeHasLibrary();
} // namespace StorageCategories

} // namespace sorvel
