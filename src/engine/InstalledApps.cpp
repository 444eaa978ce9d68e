#include "engine/InstalledApps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DirectoryListing.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"
#include "platform/TextCase.h"

namespace sorvel {

namespace {

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

const std::vector<std::string>& InstalledApps::searchPaths() {
    static const std::vector<std::string> paths{"/Applications",
                                                "/Applications/Utilities",
                                                "/System/Applications",
                                                "/System/Applications/Utilities",
                                                "/System/Library/CoreServices",
                                                "/System/Library/CoreServices/Applications",
                                                homeDirectory() + "/Applications"};
    return paths;
}

InstalledApps InstalledApps::scan() {
    InstalledApps apps = scan(searchPaths());
    // A Flatpak or snap installation folder that will not list may hold any app.
    for (auto& folder : LinuxPlaces::unreadableInstallations()) apps.unreadApps.push_back(std::move(folder));
    return apps;
}

InstalledApps InstalledApps::scan(const std::vector<std::string>& folders) {
    InstalledApps apps;
    for (const auto& folder : folders) {
        const auto names = DirectoryListing::names(folder);
        if (!names) {
            if (mayHoldApps(folder)) apps.unreadApps.push_back(folder);
            continue;
        }
        for (const auto& name : *names) {
            if (!endsWith(name, ".app")) continue;
            apps.lowercasedNames.insert(lowercased(name.substr(0, name.size() - 4)));
            const std::string path = appendingPathComponent(folder, name);
            const Info info = readInfo(path);
            if (info.identityUnread) apps.unreadApps.push_back(path);
            for (const auto& [key, value] : info.entries)
                if (key == "CFBundleIdentifier") {
                    if (auto identifier = value.string()) apps.bundleIdentifiers.insert(lowercased(*identifier));
                    break; // the first entry of a key decides
                }
        }
    }
    return apps;
}

std::optional<std::string> InstalledApps::bundleIdentifier(const std::string& bundlePath) {
    auto plist = PropertyList::readFile(bundlePath + "/Contents/Info.plist");
    if (!plist) return std::nullopt;
    return plist->stringFor("CFBundleIdentifier");
}

namespace {

// Nothing is at the path, and that is known: a missing entry or a missing folder on the way.
bool knownAbsent(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return false;
    return errno == ENOENT || errno == ENOTDIR;
}

} // namespace

InstalledApps::Info InstalledApps::readInfo(const std::string& bundlePath) {
    Info info;
    const std::string path = bundlePath + "/Contents/Info.plist";
    auto plist = PropertyList::readFile(path);
    if (!plist) {
        // A bundle without the file says it has no identifier; one whose file could not be
        // read or decoded (refused, malformed, no regular file) says nothing.
        if (knownAbsent(path)) return info;
        struct stat st;
        info.refused = ::stat(path.c_str(), &st) != 0 ? (errno == EACCES || errno == EPERM)
                                                       : ::access(path.c_str(), R_OK) != 0;
        info.identityUnread = true;
        return info;
    }
    const auto* dictionary = plist->dictionary();
    if (!dictionary) {
        info.identityUnread = true;
        return info;
    }
    info.entries = *dictionary;
    for (const auto& [key, value] : info.entries)
        if (key == "CFBundleIdentifier") {
            info.identityUnread = !value.string().has_value();
            break;
        }
    return info;
}

bool InstalledApps::mayHoldApps(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return errno != ENOENT && errno != ENOTDIR;
}

std::string InstalledApps::unreadNote() const { return unreadAppsNote(unreadApps); }

std::string unreadAppsNote(const std::vector<std::string>& places) {
    if (places.empty()) return {};
    std::string note = "Some apps could not be read (" + tildeAbbreviated(places.front());
    if (places.size() > 1) note += " and " + std::to_string(places.size() - 1) + " more";
    return note + ")";
}

bool InstalledApps::isKnown(const std::string& folderName) const {
    const std::string n = lowercased(folderName);
    if (startsWith(n, "com.apple.") || n == "apple") return true;
    if (bundleIdentifiers.count(n) || lowercasedNames.count(n)) return true;
    for (const auto& i : bundleIdentifiers)
        if (startsWith(i, n + ".") || startsWith(n, i + ".")) return true;
    for (const auto& a : lowercasedNames)
        if (startsWith(n, a) || startsWith(a, n)) return true;
    return false;
}

} // namespace sorvel
