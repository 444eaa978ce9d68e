#pragma once
// A small index of the applications present on the machine: bundle identifiers and
// names, both lower-cased, for telling leftovers of removed apps from live data. An app
// whose identity could not be read is installed all the same: it is kept apart, and while
// there is one no folder can be shown to belong to no installed app.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/PropertyList.h"

namespace sorvel {

struct InstalledApps {
    std::set<std::string> bundleIdentifiers; // lower-cased
    std::set<std::string> lowercasedNames;   // bundle file names without ".app", lower-cased
    /// Apps of unknown identity, in search order: bundles whose identifier could not be
    /// read, and application folders that could not be listed (any app may lie in them).
    std::vector<std::string> unreadApps;

    /// Indexes the standard application folders; the Flatpak and snap installation folders
    /// that will not list count as apps of unknown identity.
    static InstalledApps scan();
    /// Indexes the given folders, one level deep each (tests use folders of their own).
    static InstalledApps scan(const std::vector<std::string>& folders);
    /// The standard folders; the home-relative one is fixed on first use.
    static const std::vector<std::string>& searchPaths();

    /// Whether a folder name belongs to Apple or to an installed app.
    bool isKnown(const std::string& folderName) const;
    /// Whether the folder can be said to belong to no installed app: none matches it, and
    /// no app of unknown identity is there that it could belong to.
    bool isOrphan(const std::string& folderName) const { return unreadApps.empty() && !isKnown(folderName); }
    /// "Some apps could not be read (~/Applications/Locked.app)"; empty when all were read.
    std::string unreadNote() const;
    /// The CFBundleIdentifier of a bundle's Contents/Info.plist, unchanged.
    static std::optional<std::string> bundleIdentifier(const std::string& bundlePath);

    /// What a bundle's Contents/Info.plist says of the app.
    struct Info {
        PlistValue::Dictionary entries; // its top level; empty when none was read
        bool refused = false;           // this user may not read it, or may not look for it
        /// Its identifier could not be read: refused, not a property list dictionary, or an
        /// identifier that is not text. A bundle without the file has none, and that is known.
        bool identityUnread = false;
    };
    static Info readInfo(const std::string& bundlePath);
    /// Whether an application folder that would not list may hold apps: it is there (or
    /// cannot be looked for); a folder that is missing, or is no folder, holds none.
    static bool mayHoldApps(const std::string& folder);
};

/// "Some apps could not be read (the first place and how many more)"; empty for none.
std::string unreadAppsNote(const std::vector<std::string>& places);

} // namespace sorvel
