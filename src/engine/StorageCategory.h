#pragma once
// What a scan measures: the two scopes, the nine System Data categories and the display
// form both scopes share.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/Tint.h"

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
std::vector<std::string> roots(StorageCategory category);
std::set<std::string> excludedPaths(StorageCategory category);
std::set<std::string> globallyExcludedPaths();
} // namespace StorageCategories

} // namespace sorvel
