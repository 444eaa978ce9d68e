#include "cleanup/LinuxRules.h"

#include <algorithm>

#include "cleanup/CleanupRules.h"
#include "engine/PathText.h"
#include "platform/BaseFolders.h"
#include "platform/LinuxPlaces.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/PlaceRelation.h"
#include "platform/TextCase.h"

namespace sorvel::LinuxRules {
namespace {

constexpr int64_t kUserCacheMinimum = 5'000'000;
constexpr int64_t kDeveloperMinimum = 1'000'000;
constexpr int64_t kDiagnosticsMinimum = 1'000'000;
constexpr int64_t kLeftoverMinimum = 5'000'000;

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::vector<std::string> developerPaths() {
    std::vector<std::string> paths;
    for (const auto& folder : LinuxPlaces::developerFolders()) paths.push_back(folder.path);
    return paths;
}

// A child that is a developer folder, or holds one, is the developer rule's.
bool holdsDeveloperFolder(const std::string& path, const std::vector<std::string>& developer) {
    return std::any_of(developer.begin(), developer.end(),
                       [&](const std::string& folder) { return isPathInside(folder, path); });
}

// A snap's name: lower-case letters, digits and single hyphens inside, at least one letter.
bool isSnapName(const std::string& name) {
    if (name.empty() || name.size() > 40 || name.front() == '-' || name.back() == '-') return false;
    bool letter = false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '-' && name[i + 1] == '-') return false;
        if (c >= 'a' && c <= 'z')
            letter = true;
        else if (!(c >= '0' && c <= '9') && c != '-')
            return false;
    }
    return letter;
}

} // namespace

std::vector<std::string> developerFolderPaths(bool review) {
    std::vector<std::string> paths;
    for (const auto& folder : LinuxPlaces::developerFolders())
        if (folder.review == review) paths.push_back(folder.path);
    return paths;
}

MountedFolders::MountedFolders() {
    if (auto table = readMountTable(mountTablePath())) {
        points_.emplace();
        for (const auto& mount : *table) points_->push_back(mount.mountPoint);
    }
}

MountedFolders::MountedFolders(std::optional<std::vector<std::string>> points) : points_(std::move(points)) {}

bool MountedFolders::holdsMount(const std::string& path) const {
    if (!points_) return false;
    for (const auto& spelling : writtenAndResolved(path))
        for (const auto& point : *points_)
            if (isPathInside(point, spelling)) return true;
    return false;
}

std::string locationLabel(const ScanResult& result, const std::string& folder, const std::string& label,
                          const std::vector<std::string>& linuxPlaces) {
    if (result.node(folder)) return label;
    for (const auto& place : linuxPlaces)
        if (result.node(place)) return tildeAbbreviated(place);
    return label;
}

bool isBrowserCacheName(const std::string& name) {
    const std::string lower = lowercased(name);
    for (const auto& browser : LinuxPlaces::browserCacheNames()) {
        // "mozilla/firefox" lies in "mozilla": the whole child is the browser's.
        const std::string first = lowercased(browser.substr(0, browser.find('/')));
        if (lower.compare(0, first.size(), first) == 0) return true;
    }
    return false;
}

void addUserCaches(const ScanResult& result, const MountedFolders& mounts, const std::string& libraryCaches,
                   std::vector<CleanupTarget>& targets) {
    const std::string cacheHome = LinuxPlaces::cacheHome();
    const auto developer = developerPaths();
    // Settings or data the environment put inside the cache folder are no cache.
    const PlaceSet stranded(BaseFolders::setAsideInsideCaches());
    // A rule's folder that is a link the walk did not follow (it leads to the home, around it or a
    // folder of the user's) is listed itself: the guard refuses what lies behind it, saying why.
    for (const auto& folder : {cacheHome, LinuxPlaces::flatpakApps()})
        if (auto link = result.node(folder); link && link->linkTarget) targets.push_back(CleanupRules::targetFrom(*link));
    if (auto caches = result.node(cacheHome); caches && cacheHome != libraryCaches) {
        for (const auto& child : caches->children) {
            if (stranded.isOrHoldsAny(child->path)) continue;
            if (child->size < kUserCacheMinimum) continue;
            if (isBrowserCacheName(child->name)) continue;
            if (holdsDeveloperFolder(child->path, developer)) continue;
            if (contains(LinuxPlaces::keptCacheNames(), child->name)) continue;
            if (mounts.holdsMount(child->path)) continue;
            targets.push_back(CleanupRules::targetFrom(*child));
        }
    }
    const auto& browsers = LinuxPlaces::flatpakBrowserIds();
    for (const auto& id : LinuxPlaces::flatpakAppIds()) {
        if (contains(browsers, id)) continue;
        auto cache = result.node(LinuxPlaces::flatpakApps() + "/" + id + "/cache");
        if (!cache || cache->size < kUserCacheMinimum || mounts.holdsMount(cache->path)) continue;
        CleanupTarget target =
            CleanupRules::targetFrom(*cache, std::string("Flatpak app cache, rebuilt the next time the app runs"));
        target.name = id;
        targets.push_back(std::move(target));
    }
}

void addBrowserCaches(const ScanResult& result, std::vector<CleanupTarget>& targets) {
    const std::string cacheHome = LinuxPlaces::cacheHome();
    const MountedFolders mounts;
    for (const auto& name : LinuxPlaces::browserCacheNames()) {
        auto node = result.node(cacheHome + "/" + name);
        if (node && node->size >= 1 && !mounts.holdsMount(node->path)) targets.push_back(CleanupRules::targetFrom(*node));
    }
    for (const auto& id : LinuxPlaces::flatpakBrowserIds()) {
        auto node = result.node(LinuxPlaces::flatpakApps() + "/" + id + "/cache");
        if (!node || node->size < 1 || mounts.holdsMount(node->path)) continue;
        CleanupTarget target =
            CleanupRules::targetFrom(*node, std::string("Flatpak browser cache; its profile is left alone"));
        target.name = id;
        targets.push_back(std::move(target));
    }
}

void addCrashFolders(const ScanResult& result, std::vector<CleanupTarget>& targets) {
    for (const auto& folder : LinuxPlaces::crashFolders()) {
        auto node = result.node(folder);
        if (!node || node->size < kDiagnosticsMinimum) continue;
        CleanupTarget target = CleanupRules::targetFrom(
            *node, std::string("needs administrator rights; Sorvel will report it as refused"));
        target.name = tildeAbbreviated(node->path);
        targets.push_back(std::move(target));
    }
}

void addDeveloperFolders(const ScanResult& result, std::vector<CleanupTarget>& targets) {
    const MountedFolders mounts;
    for (const auto& folder : LinuxPlaces::developerFolders()) {
        // Go's module cache is read-only on disk: advice, never a move to the Trash.
        if (folder.review) continue;
        // Judged as a whole: a cache of many small buckets is as large as all of them. A folder
        // that is or holds a mount point shows another file system's files: none of them is
        // the tool's cache.
        auto node = result.node(folder.path);
        if (!node || node->size < kDeveloperMinimum || mounts.holdsMount(folder.path)) continue;
        // Read on disk: the settings are a file, and the scan tree holds folders only.
        if (!LinuxPlaces::holdsSettings(folder)) {
            CleanupTarget target = CleanupRules::targetFrom(*node, folder.detail);
            target.name = folder.title;
            targets.push_back(std::move(target));
            continue;
        }
        // The tool's settings live inside: all it holds but them, whatever each piece's size.
        // What cannot be listed cannot be told apart from them: none of it.
        const auto held = LinuxPlaces::heldBesideSettings(folder);
        if (!held) continue;
        for (const auto& entry : *held) {
            const std::string name = lastPathComponent(entry.path);
            const auto child = std::find_if(node->children.begin(), node->children.end(),
                                            [&](const ScanNodePtr& c) { return c && c->name == name; });
            CleanupTarget target;
            if (entry.folder && child != node->children.end())
                target = CleanupRules::targetFrom(**child, folder.detail);
            else if (!entry.folder)
                target = CleanupRules::makeTarget(name, entry.path, entry.fileBytes, folder.detail);
            else
                continue; // a folder the scan did not measure: nothing known of it
            if (target.size <= 0) continue;
            target.name = lastPathComponent(folder.path) + "/" + name;
            targets.push_back(std::move(target));
        }
    }
}

Leftovers leftovers(const ScanResult& result, bool appsUnread) {
    using LinuxPlaces::Installed;
    struct Kind {
        std::string root;
        bool (*named)(const std::string&);
        Installed (*installed)(std::string_view);
        const char* detail;
    };
    const Kind kinds[] = {
        {LinuxPlaces::flatpakApps(), CleanupRules::looksLikeBundleIdentifier, LinuxPlaces::flatpakInstalled,
         "No installed app matches this identifier"},
        {LinuxPlaces::snapApps(), isSnapName, LinuxPlaces::snapInstalled, "No installed snap has this name"},
    };
    Leftovers found;
    const MountedFolders mounts;
    for (const auto& kind : kinds) {
        auto root = result.node(kind.root);
        if (!root) continue;
        found.looked = true;
        for (const auto& child : root->children) {
            // A Flatpak app's cache is measured apart from its folder, and goes with it.
            int64_t size = child->size;
            if (kind.root == LinuxPlaces::flatpakApps() &&
                std::none_of(child->children.begin(), child->children.end(),
                             [](const ScanNodePtr& c) { return c->name == "cache"; }))
                if (auto cache = result.node(child->path + "/cache")) size += cache->size;
            if (size < kLeftoverMinimum || !kind.named(child->name) || mounts.holdsMount(child->path)) continue;
            // Installed somewhere readable is no leftover, whatever else cannot be read.
            Installed installed = kind.installed(child->name);
            if (installed.answer == Installed::Answer::yes) continue;
            if (appsUnread) installed.answer = Installed::Answer::unknown;
            if (installed.answer == Installed::Answer::unknown) {
                ++found.heldBack;
                found.heldBackBytes += size;
                if (!installed.unreadableFolder.empty() &&
                    !contains(found.unreadInstallations, installed.unreadableFolder))
                    found.unreadInstallations.push_back(installed.unreadableFolder);
                continue;
            }
            CleanupTarget target = CleanupRules::targetFrom(*child, std::string(kind.detail));
            target.size = size;
            found.targets.push_back(std::move(target));
        }
    }
    return found;
}

} // namespace sorvel::LinuxRules
