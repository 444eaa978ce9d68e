#pragma once
// The installed applications: found in the application folders, measured on disk,
// judged for removal, each with the leftovers it has in the Library folders.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/InstalledApp.h"
#include "engine/FileWalker.h"
#include "engine/ScanControl.h"
#include "platform/PropertyList.h"

namespace sorvel::AppInventory {

/// One Library folder searched for leftovers.
struct Location {
    std::string directory;
    std::string kind;                   // label shown with each leftover
    bool suffixed = false;              // entry names carry an extension dropped before matching
    bool requiresAdministrator = false; // a shared folder the user cannot write alone
};

/// Where one run looks. `standard()` describes this machine; tests root the system
/// folders in a folder of their own.
struct Places {
    std::vector<std::string> searchPaths; // application folders, in order
    std::string systemPrefix;             // bundles below it lie on the system volume
    std::vector<Location> locations;      // leftover folders, in order
    std::optional<std::string> ownIdentifier; // this program's bundle identifier, if any
    std::string ownBundlePath;                // the bundle this program runs from, or ""

    /// The application and Library folders under `systemRoot` ("" for the real "/")
    /// and the home folder as it is now.
    static Places standard(const std::string& systemRoot = "");
};

/// The inventory, largest bundle-plus-leftovers first. Every walk of the run shares
/// `control`: its cancel flag, counters and hard-link memory.
std::vector<InstalledApp> scan(ScanControl& control);
std::vector<InstalledApp> scan(ScanControl& control, const Places& places);
/// The same, and into `unreadApps` the apps of unknown identity found on the way: bundles
/// whose identifier could not be read, then application folders that could not be listed.
std::vector<InstalledApp> scan(ScanControl& control, const Places& places, std::vector<std::string>& unreadApps);

/// Which of the places this user may read: an app or leftover in one that refuses is
/// missing from the inventory.
struct PlaceAccess {
    std::vector<std::string> unreadable; // there (or not to be looked for) and refusing
    int read = 0;                        // read, whether or not anything was in them
};
PlaceAccess placeAccess(const Places& places);

/// The options of every size measurement of the inventory.
FileWalker::Options walkOptions();

// The steps of a scan, open for tests.

/// Apps of the search folders in folder order, then name order; unsized, no leftovers.
/// Into `unlisted`, when given, the search folders that may hold apps but would not list.
std::vector<InstalledApp> discover(const Places& places, std::vector<std::string>* unlisted = nullptr);
/// The apps of unknown identity: the bundles of `apps` whose identifier could not be read,
/// then the `unlisted` folders.
std::vector<std::string> unreadApps(const std::vector<InstalledApp>& apps, const std::vector<std::string>& unlisted);
/// The top-level dictionary of bundle + "/Contents/Info.plist"; empty when unreadable.
PlistValue::Dictionary readInfoPlist(const std::string& bundlePath);
/// Last access date of the bundle folder, else its modification date.
std::optional<Date> lastUsed(const std::string& bundlePath);
InstalledApp::Removability removability(const std::string& path, const std::optional<std::string>& identifier,
                                        const Places& places);

/// Measures and appends each app's leftovers, largest first per app. With an app of
/// unknown identity installed (`unknownInstalled`), what is matched by less than an app's
/// whole identifier may be that app's, and is marked in doubt.
void attachLeftovers(std::vector<InstalledApp>& apps, ScanControl& control, const Places& places,
                     bool unknownInstalled = false);

struct IdentifierEntry {
    std::string identifier; // lower-cased
    size_t index;
};
struct NameEntry {
    std::string name; // lower-cased, at least five characters
    size_t index;
};
/// The lookup lists of one run, longest first (stable).
std::vector<IdentifierEntry> identifierList(const std::vector<InstalledApp>& apps);
std::vector<NameEntry> nameList(const std::vector<InstalledApp>& apps);
/// The app that an entry key belongs to, with the evidence.
std::optional<std::pair<size_t, AppLeftover::Match>> owner(const std::string& key,
                                                           const std::vector<IdentifierEntry>& identifiers,
                                                           const std::vector<NameEntry>& names,
                                                           const std::vector<InstalledApp>& apps);
/// The key without a leading developer-team prefix ("ABCDE12345.com.x" -> "com.x").
std::optional<std::string> teamIdentifierStripped(const std::string& key);
/// A name without its last extension; a leading dot alone is not one.
std::string deletingPathExtension(const std::string& name);

} // namespace sorvel::AppInventory
