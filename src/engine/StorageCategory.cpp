#include "engine/StorageCategory.h"

#include <algorithm>
#include <map>

#include "engine/PathText.h"
#include "platform/FileManager.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/Trash.h"

namespace sorvel {

std::string rawValue(ScanScope scope) {
    switch (scope) {
    case ScanScope::systemData: return "systemData";
    case ScanScope::wholeDisk: return "wholeDisk";
    }
    return "systemData";
}

std::string title(ScanScope scope) {
    switch (scope) {
    case ScanScope::systemData: return "System Data";
    case ScanScope::wholeDisk: return "Whole Disk";
    }
    return "System Data";
}

std::optional<ScanScope> scanScopeFromRaw(const std::string& raw) {
    for (ScanScope s : kAllScanScopes)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

std::string rawValue(StorageCategory category) {
    switch (category) {
    case StorageCategory::caches: return "caches";
    case StorageCategory::appSupport: return "appSupport";
    case StorageCategory::containers: return "containers";
    case StorageCategory::developer: return "developer";
    case StorageCategory::mail: return "mail";
    case StorageCategory::logs: return "logs";
    case StorageCategory::vmSwap: return "vmSwap";
    case StorageCategory::trash: return "trash";
    case StorageCategory::otherLibrary: return "otherLibrary";
    }
    return "caches";
}

std::optional<StorageCategory> storageCategoryFromRaw(const std::string& raw) {
    for (StorageCategory c : kAllStorageCategories)
        if (rawValue(c) == raw) return c;
    return std::nullopt;
}

namespace StorageCategories {

const Tint& tint(StorageCategory category) {
    switch (category) {
    case StorageCategory::caches: return Tint::mint();
    case StorageCategory::appSupport: return Tint::blue();
    case StorageCategory::containers: return Tint::violet();
    case StorageCategory::developer: return Tint::cyan();
    case StorageCategory::mail: return Tint::amber();
    case StorageCategory::logs: return Tint::lime();
    case StorageCategory::vmSwap: return Tint::slate();
    case StorageCategory::trash: return Tint::rose();
    case StorageCategory::otherLibrary: return Tint::fog();
    }
    return Tint::fog();
}

std::optional<LinuxPlaces::Kind> linuxKind(StorageCategory category) {
    using Kind = LinuxPlaces::Kind;
    switch (category) {
    case StorageCategory::caches: return Kind::caches;
    case StorageCategory::appSupport: return Kind::appSupport;
    case StorageCategory::containers: return Kind::containers;
    case StorageCategory::developer: return Kind::developer;
    case StorageCategory::mail: return Kind::mail;
    case StorageCategory::logs: return Kind::logs;
    case StorageCategory::vmSwap: return Kind::swap;
    case StorageCategory::trash: return std::nullopt; // the desktop's own Trash already
    case StorageCategory::otherLibrary: return Kind::otherLibrary;
    }
    return std::nullopt;
}

namespace {

std::vector<std::string> libraryRoots(StorageCategory category) {
    const std::string home = homeDirectory();
    switch (category) {
    case StorageCategory::caches: return {home + "/Library/Caches", "/Library/Caches"};
    case StorageCategory::appSupport:
        return {home + "/Library/Application Support", "/Library/Application Support"};
    case StorageCategory::containers:
        return {home + "/Library/Containers", home + "/Library/Group Containers"};
    case StorageCategory::developer: return {home + "/Library/Developer"};
    case StorageCategory::mail: return {home + "/Library/Mail", home + "/Library/Messages"};
    case StorageCategory::logs:
        return {home + "/Library/Logs", "/Library/Logs", "/private/var/log", "/private/var/db/diagnostics"};
    case StorageCategory::vmSwap: return {"/private/var/vm", "/System/Volumes/VM"};
    case StorageCategory::trash: {
        // What the Trash holds is in files/; info/ keeps one record per item, not items.
        const std::string trash = Trash::directory();
        return {trash.empty() ? trash : trash + "/files"};
    }
    case StorageCategory::otherLibrary: return {home + "/Library"};
    }
    return {};
}

// A root is walked where it lies, its own name not followed (a link there is measured as a
// link). Where the folders above it are links, the place it lies is found through them.
std::optional<std::string> lyingAt(const std::string& root) {
    if (FileManager::linkTarget(root)) return std::nullopt;
    const std::string parent = deletingLastPathComponent(root);
    if (parent.empty()) return std::nullopt;
    return appendingPathComponent(standardizePath(resolvingExistingPart(parent)), lastPathComponent(root));
}

} // namespace

std::vector<std::string> roots(StorageCategory category) {
    std::vector<std::string> result = libraryRoots(category);
    if (const auto kind = linuxKind(category))
        for (auto& root : LinuxPlaces::roots(*kind)) result.push_back(std::move(root));
    return result;
}

std::set<std::string> globallyExcludedPaths() {
    const std::string home = homeDirectory();
    return {home + "/Library/Mobile Documents", home + "/Library/CloudStorage",
            home + "/Library/Application Support/CloudDocs",
            home + "/Library/Application Support/FileProvider",
            home + "/Library/Application Support/com.apple.ProtectedCloudStorage"};
}

bool homeHasLibrary() { return FileManager::isDirectory(homeDirectory() + "/Library"); }

std::set<std::string> excludedPaths(StorageCategory category) {
    std::map<StorageCategory, std::vector<std::string>> all;
    for (StorageCategory c : kAllStorageCategories) all[c] = roots(c);
    return RootPlaces(std::move(all)).excludedPaths(category);
}

std::set<std::string> excludedPaths(StorageCategory category,
                                    const std::map<StorageCategory, std::vector<std::string>>& allRoots) {
    return RootPlaces(allRoots).excludedPaths(category);
}

RootPlaces::RootPlaces(std::map<StorageCategory, std::vector<std::string>> allRoots) : roots_(std::move(allRoots)) {
    for (const auto& [category, list] : roots_)
        for (const auto& root : list) {
            if (root.empty()) continue;
            byText_.push_back({root, root, category});
            auto [at, fresh] = places_.try_emplace(root);
            if (fresh) {
                if (auto place = lyingAt(root)) at->second = std::move(*place);
                else places_.erase(at);
            }
            if (const auto place = places_.find(root); place != places_.end())
                byPlace_.push_back({place->second, root, category});
        }
    auto byKey = [](const Entry& a, const Entry& b) { return a.key < b.key; };
    std::sort(byText_.begin(), byText_.end(), byKey);
    std::sort(byPlace_.begin(), byPlace_.end(), byKey);
}

namespace {

// Each entry whose key lies inside `folder` (not the folder itself), found by a search.
template <class Entries, class Each>
void eachInside(const Entries& sorted, const std::string& folder, Each&& each) {
    const std::string prefix = insidePrefix(folder);
    auto at = std::lower_bound(sorted.begin(), sorted.end(), prefix,
                               [](const auto& entry, const std::string& key) { return entry.key < key; });
    for (; at != sorted.end() && at->key.starts_with(prefix); ++at)
        if (at->key != folder) each(*at);
}

} // namespace

std::set<std::string> RootPlaces::excludedPaths(StorageCategory category) const {
    std::set<std::string> result = globallyExcludedPaths();
    // Each byte is counted in one category: a root of another category inside one of this
    // category's roots is measured there and left out here (the rest of the library leaves
    // out every tree another category measures, the data folder its Trash and mail). One
    // that lies inside only through links above either is left out by the path the walk
    // of this root meets it by.
    if (const auto own = roots_.find(category); own != roots_.end())
        for (const auto& outer : own->second) {
            if (outer.empty()) continue;
            eachInside(byText_, outer, [&](const Entry& inner) {
                if (inner.category != category && inner.root != outer) result.insert(inner.root);
            });
            const auto out = places_.find(outer);
            if (out == places_.end()) continue;
            eachInside(byPlace_, out->second, [&](const Entry& inner) {
                if (inner.category == category || inner.root == outer || isPathInside(inner.root, outer)) return;
                result.insert(outer + inner.key.substr(out->second.size()));
            });
        }
    // What lies in this category's places and is no data of its kind (the Trash's records).
    if (const auto kind = linuxKind(category))
        for (auto& path : LinuxPlaces::carvedOut(*kind)) result.insert(std::move(path));
    return result;
}

} // namespace StorageCategories

} // namespace sorvel
