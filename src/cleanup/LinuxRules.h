#pragma once
// The rules' targets in the places a Linux desktop keeps the same kinds of data, read from
// the one table of Linux places. Each adds to the item its rule makes; none walks a folder.
#include <optional>
#include <string>
#include <vector>

#include "engine/CleanupItem.h"
#include "engine/ScanResult.h"

namespace sorvel::LinuxRules {

// What the rules say of their Linux places, where no place of the other system is offered:
// the rule keeps its id, and its title and evidence line describe what was looked at here.
inline constexpr const char* kDeveloperTitle = "Developer tool caches";
inline constexpr const char* kDeveloperDetail =
    "Found in the folders each tool keeps its downloads and builds in; the tool fetches or rebuilds what it "
    "needs again. The tools themselves, their settings and what only you made are left alone.";
inline constexpr const char* kLeftoversDetail =
    "Folders of Flatpak apps and snaps that no installation on this machine holds, checked against each "
    "installation folder. Worth a glance \u2014 an app you removed on purpose leaves these behind.";
inline constexpr const char* kLogsDetail =
    "Crash reports and core dumps the system kept, of use only while someone debugs that crash.";

/// The developer folders whose fresh download costs time (`review`) or not, in the table's order.
std::vector<std::string> developerFolderPaths(bool review);

/// The mount points this process sees, read once for a rule run: a folder that is one or
/// holds one would carry another file system's data into the Trash.
class MountedFolders {
public:
    /// Reads the mount table now.
    MountedFolders();
    /// Over the mount points given; none when the table could not be read.
    explicit MountedFolders(std::optional<std::vector<std::string>> points);

    bool known() const { return points_.has_value(); }
    /// The path, as written or where its links lead, is a mount point or holds one. False
    /// while the table is not known: the guard then refuses every move, and says why.
    bool holdsMount(const std::string& path) const;

private:
    std::optional<std::vector<std::string>> points_;
};

/// Children of the cache home of at least 5,000,000 bytes, less the browsers', the
/// developer tools', the kept ones and those holding a mount; then each Flatpak app's cache
/// folder of that size, named by the app's id. `libraryCaches` is the other cache folder
/// the rule reads: when the cache home is that folder, nothing is added twice.
void addUserCaches(const ScanResult& result, const MountedFolders& mounts, const std::string& libraryCaches,
                   std::vector<CleanupTarget>& targets);
/// Where a rule's items live, for its row: `label` while the result holds `folder` (or no
/// Linux place either), else the first of the Linux places it holds, written with "~".
std::string locationLabel(const ScanResult& result, const std::string& folder, const std::string& label,
                          const std::vector<std::string>& linuxPlaces);

/// Whether a child of a cache folder is a browser's by its name: never a user-cache target.
bool isBrowserCacheName(const std::string& name);

/// The browsers' cache folders of at least 1 byte: under the cache home, and each Flatpak
/// browser's cache folder named by its id.
void addBrowserCaches(const ScanResult& result, std::vector<CleanupTarget>& targets);

/// The system's crash reports and core dumps of at least 1,000,000 bytes, as system
/// diagnostics: an administrator's, listed among what the policy refuses.
void addCrashFolders(const ScanResult& result, std::vector<CleanupTarget>& refused);

/// The developer tools' cache folders of at least 1,000,000 bytes as a whole, each one
/// target (the folder), or all it holds but the tool's settings where those live inside;
/// never Go's module cache, which is advice.
void addDeveloperFolders(const ScanResult& result, std::vector<CleanupTarget>& targets);

/// What the leftover rule finds among Flatpak and snap apps' folders.
struct Leftovers {
    std::vector<CleanupTarget> targets;
    bool looked = false;  ///< the result holds one of the apps' folders
    int64_t heldBack = 0; ///< folders whose app may be installed where nothing could be read
    int64_t heldBackBytes = 0;
    /// Installation folders found unreadable while judging, each once.
    std::vector<std::string> unreadInstallations;
};
/// Each app folder of at least 5,000,000 bytes whose app is installed neither for the user
/// nor system-wide. While `appsUnread` (some app could not be read) every one is held back.
Leftovers leftovers(const ScanResult& result, bool appsUnread);

} // namespace sorvel::LinuxRules
