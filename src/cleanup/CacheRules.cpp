#include <algorithm>
#include <array>

#include "cleanup/CleanupRules.h"
#include "cleanup/LinuxRules.h"
#include "engine/Reading.h"
#include "engine/PathText.h"
#include "engine/StorageCategory.h"
#include "platform/LinuxPlaces.h"
#include "platform/Trash.h"

namespace sorvel::CleanupRules {
namespace {

constexpr std::array kBrowserPrefixes = {"com.apple.safari",  "google",
                                         "firefox",           "com.brave.browser",
                                         "bravesoftware",     "com.microsoft.edgemac",
                                         "com.operasoftware", "company.thebrowser",
                                         "com.vivaldi",       "chromium"};
constexpr std::array kDeveloperCacheNames = {"org.swift.swiftpm", "com.apple.dt.xcode"};
constexpr std::array kBrowserFolders = {"/Library/Caches/com.apple.Safari",
                                        "/Library/Caches/Google/Chrome",
                                        "/Library/Caches/Firefox",
                                        "/Library/Caches/com.brave.Browser",
                                        "/Library/Caches/BraveSoftware",
                                        "/Library/Caches/com.microsoft.edgemac",
                                        "/Library/Caches/company.thebrowser.Browser",
                                        "/Library/Caches/com.vivaldi.Vivaldi",
                                        "/Library/Containers/com.apple.Safari/Data/Library/Caches"};
constexpr std::array kSystemDiagnostics = {"/Library/Logs/DiagnosticReports", "/private/var/db/diagnostics"};

constexpr int64_t kUserCacheMinimum = 5'000'000;
constexpr int64_t kLogMinimum = 1'000'000;

// The prefixes are plain ASCII, so lower-casing ASCII letters is enough to compare.
std::string lowercased(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool startsWith(const std::string &text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

CleanupItem item(std::string id, std::string title, std::string detail, std::string location,
                 StorageCategory category) {
    CleanupItem i;
    i.id = std::move(id);
    i.title = std::move(title);
    i.detail = std::move(detail);
    i.locationLabel = std::move(location);
    i.risk = CleanupRisk::safe;
    i.category = category;
    return i;
}

} // namespace

CleanupTarget makeTarget(std::string name, std::string path, int64_t size,
                         std::optional<std::string> detail) {
    return CleanupTarget{UUID::random(), std::move(name), std::move(path), size, std::move(detail)};
}

CleanupTarget targetFrom(const ScanNode &node, std::optional<std::string> detail) {
    CleanupTarget target = makeTarget(node.name, node.path, node.size, std::move(detail));
    target.partlyRead = readingOf(node) == Reading::partial;
    target.unwritableFolders = node.unwritableFolders;
    return target;
}

void sortTargets(std::vector<CleanupTarget> &targets) {
    std::stable_sort(targets.begin(), targets.end(),
                     [](const CleanupTarget &a, const CleanupTarget &b) { return a.size > b.size; });
}

CleanupItem userCaches(const ScanResult &result, const std::string &home) {
    CleanupItem i =
        item("user-caches", "User app caches", "Rebuilt automatically the next time each app runs.",
             "~/Library/Caches", StorageCategory::caches);
    // What the kernel says is mounted, read once: a child that is or holds a mount point
    // would carry another file system's data along.
    const LinuxRules::MountedFolders mounts;
    const std::string libraryCaches = home + "/Library/Caches";
    i.places = {libraryCaches, home + "/Library/Containers", LinuxPlaces::cacheHome(), LinuxPlaces::flatpakApps()};
    if (auto caches = result.node(libraryCaches)) {
        for (const auto &child : caches->children) {
            if (child->size < kUserCacheMinimum)
                continue;
            std::string name = lowercased(child->name);
            bool browser = std::any_of(kBrowserPrefixes.begin(), kBrowserPrefixes.end(),
                                       [&](const char *p) { return startsWith(name, p); });
            if (browser)
                continue;
            bool developer = std::any_of(kDeveloperCacheNames.begin(), kDeveloperCacheNames.end(),
                                         [&](const char *n) { return name == n; });
            if (developer || mounts.holdsMount(child->path))
                continue;
            i.targets.push_back(targetFrom(*child));
        }
    }
    LinuxRules::addUserCaches(result, mounts, libraryCaches, i.targets);
    i.locationLabel = LinuxRules::locationLabel(result, libraryCaches, i.locationLabel,
                                                {LinuxPlaces::cacheHome(), LinuxPlaces::flatpakApps()});
    sortTargets(i.targets);
    return i;
}

CleanupItem browserCaches(const ScanResult &result, const std::string &home) {
    CleanupItem i = item("browser-caches", "Browser caches",
                         "Cached page data and images. Does not touch history, cookies or passwords.",
                         "~/Library/Caches", StorageCategory::caches);
    i.places = {home + "/Library/Caches", home + "/Library/Containers", LinuxPlaces::cacheHome(),
                LinuxPlaces::flatpakApps()};
    for (const char *folder : kBrowserFolders) {
        auto node = result.node(home + folder);
        if (node && node->size >= 1)
            i.targets.push_back(targetFrom(*node));
    }
    LinuxRules::addBrowserCaches(result, i.targets);
    i.locationLabel = LinuxRules::locationLabel(result, home + "/Library/Caches", i.locationLabel,
                                                {LinuxPlaces::cacheHome(), LinuxPlaces::flatpakApps()});
    sortTargets(i.targets);
    return i;
}

CleanupItem logsAndDiagnostics(const ScanResult &result, const std::string &home) {
    CleanupItem i = item("logs", "Logs & diagnostics", "Old crash reports and unified system logs.",
                         "~/Library/Logs", StorageCategory::logs);
    i.places = LinuxPlaces::crashFolders();
    i.places.push_back(home + "/Library/Logs");
    if (auto logs = result.node(home + "/Library/Logs")) {
        for (const auto &child : logs->children)
            if (child->size >= kLogMinimum)
                i.targets.push_back(targetFrom(*child));
    }
    for (const char *folder : kSystemDiagnostics) {
        auto node = result.node(folder);
        if (!node || node->size < kLogMinimum)
            continue;
        // The system's: outside every allowed root, so listed as refused, never offered.
        i.refused.push_back(makeTarget(tildeAbbreviated(node->path), node->path, node->size,
                                       "needs administrator rights; Sorvel will report it as refused"));
    }
    LinuxRules::addCrashFolders(result, i.refused);
    // Without the other system's logs, the item is the Linux crash folders' alone.
    if (!result.node(home + "/Library/Logs") && i.targets.empty())
        i.detail = LinuxRules::kLogsDetail;
    i.locationLabel =
        LinuxRules::locationLabel(result, home + "/Library/Logs", i.locationLabel, LinuxPlaces::crashFolders());
    sortTargets(i.targets);
    sortTargets(i.refused);
    return i;
}

// The desktop's Trash, wherever XDG_DATA_HOME puts it, not a folder named after the home.
CleanupItem trash(const ScanResult &result, const std::string & /*home*/) {
    const std::string folder = Trash::directory();
    CleanupItem i = item("trash", "Trash", "", tildeAbbreviated(folder), StorageCategory::trash);
    if (!folder.empty())
        i.places = {folder};
    if (auto node = result.node(StorageCategories::roots(StorageCategory::trash).front()); node && node->size >= 1) {
        i.detail =
            "Files you already deleted, still occupying the disk until the Trash is emptied. This is the one "
            "cleanup with no downside \u2014 you have already decided you do not want them.";
        i.externalAction = "File manager \u2192 Empty Trash";
        // Emptying it frees only the files named nowhere else.
        i.reportedShared = std::clamp<int64_t>(node->sharedSize, 0, node->size);
        i.reportedSize = node->size - i.reportedShared;
    }
    return i;
}

} // namespace sorvel::CleanupRules
