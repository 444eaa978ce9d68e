#include "analysis/AppInventory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <vector>

#include "engine/InstalledApps.h"
#include "engine/Parallel.h"
#include "engine/Reading.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "platform/RunningApplications.h"

namespace sorvel::AppInventory {
namespace {

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string executablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
        if (buffer.size() >= (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::optional<std::string> stringValue(const PlistValue::Dictionary& dictionary, const std::string& key) {
    for (const auto& [k, v] : dictionary)
        if (k == key) return v.string(); // the first entry of a key decides
    return std::nullopt;
}

} // namespace

Places Places::standard(const std::string& systemRoot) {
    const std::string home = homeDirectory();
    Places places;
    places.searchPaths = {systemRoot + "/Applications", systemRoot + "/Applications/Utilities",
                          home + "/Applications", systemRoot + "/System/Applications",
                          systemRoot + "/System/Applications/Utilities"};
    places.systemPrefix = systemRoot + "/System/";
    const std::string lib = home + "/Library/";
    const std::string shared = systemRoot + "/Library/";
    places.locations = {
        {lib + "Application Support", "Application Support", false, false},
        {lib + "Caches", "Cache", false, false},
        {lib + "Containers", "Container", false, false},
        {lib + "Group Containers", "Group container", false, false},
        {lib + "HTTPStorages", "Web storage", false, false},
        {lib + "WebKit", "WebKit data", false, false},
        {lib + "Application Scripts", "App scripts", false, false},
        {lib + "Logs", "Logs", false, false},
        {lib + "Preferences", "Preferences", true, false},
        {lib + "Saved Application State", "Saved window state", true, false},
        {lib + "Cookies", "Cookies", true, false},
        {lib + "LaunchAgents", "Login item", true, false},
        {shared + "Application Support", "Shared support", false, true},
        {shared + "LaunchAgents", "Login item", true, true},
        {shared + "LaunchDaemons", "Background service", true, true},
        {shared + "PrivilegedHelperTools", "Helper tool", true, true},
    };
    // This program runs from a bundle only when its executable lies inside one.
    places.ownBundlePath = RunningApplications::enclosingBundle(executablePath());
    if (!places.ownBundlePath.empty()) places.ownIdentifier = InstalledApps::bundleIdentifier(places.ownBundlePath);
    return places;
}

FileWalker::Options walkOptions() {
    FileWalker::Options options;
    options.maxNodeDepth = 10;
    options.largestFilesPerDirectory = 8;
    options.largeFileThreshold = 8'000'000;
    options.stayOnDevice = true;
    options.skippedNames = {".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100"};
    options.excludedPaths.clear();
    return options;
}

PlaceAccess placeAccess(const Places& places) {
    PlaceAccess access;
    std::vector<std::string> folders = places.searchPaths;
    for (const auto& location : places.locations) folders.push_back(location.directory);
    for (const auto& folder : folders) {
        struct stat st;
        // Listed is not read: a folder without search permission names entries none of
        // which can be looked at.
        if (FileManager::contentsOfDirectory(folder) && ::stat((folder + "/.").c_str(), &st) == 0) ++access.read;
        else if (FileManager::presence(folder) != FileManager::Presence::absent) access.unreadable.push_back(folder);
    }
    return access;
}

std::vector<InstalledApp> scan(ScanControl& control) { return scan(control, Places::standard()); }

std::vector<InstalledApp> scan(ScanControl& control, const Places& places) {
    std::vector<std::string> unread;
    return scan(control, places, unread);
}

std::vector<InstalledApp> scan(ScanControl& control, const Places& places, std::vector<std::string>& unread) {
    std::vector<std::string> unlisted;
    std::vector<InstalledApp> apps = discover(places, &unlisted);
    unread = unreadApps(apps, unlisted);
    const FileWalker::Options options = walkOptions();
    // Parallel::map walks a single bundle on the calling thread and fans out otherwise.
    // A bundle the walk could not examine or enter has no size: none (-1) is kept apart from 0.
    // A bundle whose inside refused this user (its Contents locked) was not read either.
    const std::vector<Measured> sizes = Parallel::map(apps.size(), [&](size_t i) -> Measured {
        auto node = FileWalker::walk(apps[i].bundlePath, control, options);
        return node ? Measured::of(*node) : Measured::unread();
    });
    for (size_t i = 0; i < apps.size() && i < sizes.size(); ++i) {
        apps[i].bundleReadable = sizes[i].read();
        apps[i].bundlePartlyRead = sizes[i].reading == Reading::partial;
        apps[i].bundleSize = sizes[i].bytes;
    }
    attachLeftovers(apps, control, places, !unread.empty());
    std::stable_sort(apps.begin(), apps.end(), [](const InstalledApp& a, const InstalledApp& b) {
        return a.bundleSize + a.leftoverSize() > b.bundleSize + b.leftoverSize();
    });
    return apps;
}

std::vector<InstalledApp> discover(const Places& places, std::vector<std::string>* unlisted) {
    std::vector<InstalledApp> apps;
    std::set<std::string> seen;
    for (const auto& root : places.searchPaths) {
        auto names = FileManager::contentsOfDirectory(root);
        if (!names) {
            if (unlisted && InstalledApps::mayHoldApps(root)) unlisted->push_back(root);
            continue;
        }
        std::sort(names->begin(), names->end()); // byte order, which is code-point order for UTF-8
        for (const auto& name : *names) {
            if (!endsWith(name, ".app")) continue;
            std::string path = root + "/" + name;
            if (!seen.insert(path).second) continue;
            const InstalledApps::Info read = InstalledApps::readInfo(path);
            const PlistValue::Dictionary& info = read.entries;
            InstalledApp app;
            app.infoRefused = read.refused;
            app.identityUnread = read.identityUnread;
            app.bundleIdentifier = stringValue(info, "CFBundleIdentifier");
            app.name = name.substr(0, name.size() - 4);
            app.version = stringValue(info, "CFBundleShortVersionString");
            if (!app.version) app.version = stringValue(info, "CFBundleVersion");
            app.lastUsed = lastUsed(path);
            app.removability = removability(path, app.bundleIdentifier, places);
            app.bundlePath = std::move(path);
            apps.push_back(std::move(app));
        }
    }
    return apps;
}

std::vector<std::string> unreadApps(const std::vector<InstalledApp>& apps, const std::vector<std::string>& unlisted) {
    std::vector<std::string> unread;
    for (const auto& app : apps)
        if (app.identityUnread) unread.push_back(app.bundlePath);
    unread.insert(unread.end(), unlisted.begin(), unlisted.end());
    return unread;
}

PlistValue::Dictionary readInfoPlist(const std::string& bundlePath) {
    return InstalledApps::readInfo(bundlePath).entries;
}

std::optional<Date> lastUsed(const std::string& bundlePath) {
    struct stat st;
    if (::stat(bundlePath.c_str(), &st) != 0) return std::nullopt;
    // The file system always keeps an access time here; it stands for the last use.
    return dateFromUnixSeconds(static_cast<int64_t>(st.st_atim.tv_sec));
}

// The account that owns a file, by name; "uid N" where the account has none.
static std::string ownerName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name &&
        found->pw_name[0] != '\0')
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

InstalledApp::Removability removability(const std::string& path, const std::optional<std::string>& identifier,
                                        const Places& places) {
    using R = InstalledApp::Removability;
    // Without a bundle of our own, an app without an identifier is not us.
    if (identifier && places.ownIdentifier && *identifier == *places.ownIdentifier) return R::selfProtected();
    if (!places.ownBundlePath.empty() && sameFile(path, places.ownBundlePath)) return R::selfProtected();
    if (!places.systemPrefix.empty() && startsWith(path, places.systemPrefix))
        return R::sealed("on the sealed system volume \u2014 not removable by anything");
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return R::sealed("cannot be read");
    if (S_ISLNK(st.st_mode)) return R::sealed("a link into the system volume, not an app on this disk");
    if (st.st_uid != ::getuid() && ::access(path.c_str(), W_OK) != 0) return R::needsAdministrator(ownerName(st.st_uid));
    return R::removable();
}

} // namespace sorvel::AppInventory
