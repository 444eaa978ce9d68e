#pragma once
// A small index of the applications present on the machine: bundle identifiers and
// names, both lower-cased, for telling leftovers of removed apps from live data.
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sorvel {

struct InstalledApps {
    std::set<std::string> bundleIdentifiers; // lower-cased
    std::set<std::string> lowercasedNames;   // bundle file names without ".app", lower-cased

    /// Indexes the standard application folders.
    static InstalledApps scan();
    /// Indexes the given folders, one level deep each (tests use folders of their own).
    static InstalledApps scan(const std::vector<std::string>& folders);
    /// The standard folders; the home-relative one is fixed on first use.
    static const std::vector<std::string>& searchPaths();

    /// Whether a folder name belongs to Apple or to an installed app.
    bool isKnown(const std::string& folderName) const;
    /// The CFBundleIdentifier of a bundle's Contents/Info.plist, unchanged.
    static std::optional<std::string> bundleIdentifier(const std::string& bundlePath);
};

} // namespace sorvel
