#pragma once
#include <optional>
#include <set>
#include <string>

namespace sorvel {

struct InstalledApps {
    std::set<std::string> bundleIdentifiers; // lower-cased
    std::set<std::string> lowercasedNames;   // bundle file names without ".app", lower-cased

    static InstalledApps scan();
    bool isKnown(const std::string& folderName) const;
    /// The CFBundleIdentifier of a bundle's Contents/Info.plist, unchanged.
    static std::optional<std::string> bundleIdentifier(const std::string& bundlePath);
};

} // namespace sorvel
