#include "engine/InstalledApps.h"

#include "platform/DirectoryListing.h"
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

InstalledApps InstalledApps::scan() { return scan(searchPaths()); }

InstalledApps InstalledApps::scan(const std::vector<std::string>& folders) {
    InstalledApps apps;
    for (const auto& folder : folders) {
        const auto names = DirectoryListing::names(folder);
        if (!names) continue;
        for (const auto& name : *names) {
            if (!endsWith(name, ".app")) continue;
            apps.lowercasedNames.insert(lowercased(name.substr(0, name.size() - 4)));
            if (auto identifier = bundleIdentifier(appendingPathComponent(folder, name)))
                apps.bundleIdentifiers.insert(lowercased(*identifier));
        }
    }
    return apps;
}

std::optional<std::string> InstalledApps::bundleIdentifier(const std::string& bundlePath) {
    auto plist = PropertyList::readFile(bundlePath + "/Contents/Info.plist");
    if (!plist) return std::nullopt;
    return plist->stringFor("CFBundleIdentifier");
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
