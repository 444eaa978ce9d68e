#include "engine/StorageCategory.h"

#include <map>

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

// `inner` lies inside `outer` only through links above one of them (an XDG folder named
// through a link into another): the path the walk of `outer` meets it by, so its bytes
// are counted in one category only.
std::optional<std::string> spelledInside(const std::string& inner, const std::string& outer) {
    const auto in = lyingAt(inner);
    const auto out = lyingAt(outer);
    if (!in || !out || *in == *out || !isPathInside(*in, *out)) return std::nullopt;
    return outer + in->substr(out->size());
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
    return excludedPaths(category, all);
}

std::set<std::string> excludedPaths(StorageCategory category,
                                    const std::map<StorageCategory, std::vector<std::string>>& allRoots) {
    std::set<std::string> result = globallyExcludedPaths();
    // Each byte is counted in one category: a root of another category inside one of this
    // category's roots is measured there and left out here (the rest of the library leaves
    // out every tree another category measures, the data folder its Trash and mail).
    const auto own = allRoots.find(category);
    if (own != allRoots.end()) {
        for (const auto& [other, otherRoots] : allRoots) {
            if (other == category) continue;
            for (const auto& inner : otherRoots)
                for (const auto& outer : own->second) {
                    if (inner.empty() || outer.empty() || inner == outer) continue;
                    if (isPathInside(inner, outer))
                        result.insert(inner);
                    else if (auto spelled = spelledInside(inner, outer))
                        result.insert(std::move(*spelled));
                }
        }
    }
    // What lies in this category's places and is no data of its kind (the Trash's records).
    if (const auto kind = linuxKind(category))
        for (auto& path : LinuxPlaces::carvedOut(*kind)) result.insert(std::move(path));
    return result;
}

} // namespace StorageCategories

} // namespace sorvel
