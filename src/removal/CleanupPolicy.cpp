#include "removal/CleanupPolicy.h"

#include "engine/StorageCategory.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "platform/UserDirs.h"
#include "platform/UserDefaults.h"

namespace sorvel {

CleanupPolicy CleanupPolicy::standard() {
    const std::string home = homeDirectory();
    CleanupPolicy policy;
    for (const char* suffix : {"/Library/Caches", "/Library/Logs", "/Library/Developer",
                               "/Library/Application Support", "/Library/Containers",
                               "/Library/Group Containers"}) {
        policy.allowedRoots.push_back(home + suffix);
    }
    policy.allowedRoots.push_back(Trash::directory());
    // The Linux places whose children are rebuilt or left behind: the cache folder, the
    // Flatpak and snap apps' folders and each developer tool's cache.
    policy.allowedRoots.push_back(LinuxPlaces::cacheHome());
    policy.allowedRoots.push_back(LinuxPlaces::flatpakApps());
    policy.allowedRoots.push_back(LinuxPlaces::snapApps());
    // A tool's cache goes whole too: its tool makes the folder again. Go's module cache is
    // none of these: Go keeps it read-only, so emptying the Trash could not remove it.
    for (const auto& folder : LinuxPlaces::developerFolders()) {
        if (folder.review) continue;
        policy.allowedRoots.push_back(folder.path);
        // Not while it holds the tool's settings: those stay.
        if (!LinuxPlaces::holdsSettings(folder)) policy.wholeRoots.push_back(folder.path);
    }

    for (const char* suffix : {"/Library/Messages",
                               "/Library/Mail",
                               "/Library/Keychains",
                               "/Library/Application Support/com.apple.TCC",
                               "/Library/Application Support/AddressBook",
                               "/Library/Application Support/CallHistoryDB",
                               "/Library/Application Support/CallHistoryTransactions",
                               "/Library/Application Support/Knowledge",
                               "/Library/Application Support/MobileSync",
                               "/Library/Mobile Documents",
                               "/Library/CloudStorage",
                               "/Library/Application Support/CloudDocs",
                               "/Library/Application Support/FileProvider",
                               "/Library/Application Support/com.apple.ProtectedCloudStorage",
                               "/Pictures",
                               "/Library/Photos"}) {
        policy.deniedPrefixes.push_back(home + suffix);
        // The desktop's pictures folder under its own name (~/Bilder), beside ~/Pictures.
        if (std::string_view(suffix) == "/Pictures") {
            const UserDirs::Lookup pictures = UserDirs::pictures();
            if (pictures.folder && *pictures.folder != home + suffix) policy.deniedPrefixes.push_back(*pictures.folder);
            if (pictures.unreadable)
                policy.picturesUnknown = tildeAbbreviated(UserDirs::filePath()) + ": " + *pictures.unreadable;
        }
    }
    for (const char* system : {"/System", "/private/var/vm", "/private/var/db", "/Library", "/usr", "/bin", "/sbin"}) {
        policy.deniedPrefixes.emplace_back(system);
    }
    // This system's own folders, then Sorvel's store: its schedule and the history that
    // says where every moved item went; then the Linux home's own places.
    for (const char* system :
         {"/etc", "/boot", "/opt", "/srv", "/var/lib", "/lib", "/lib64", "/proc", "/sys", "/dev", "/run"}) {
        policy.deniedPrefixes.emplace_back(system);
    }
    policy.deniedPrefixes.push_back(deletingLastPathComponent(UserDefaults::standardFilePath()));
    // A Linux home's secrets, mail, settings (the store's folder among them, named first so
    // a refusal names the store) and installed Flatpak apps' own data; and the swap files in
    // use, wherever they lie.
    for (auto& place : LinuxPlaces::deniedPlaces()) policy.deniedPrefixes.push_back(std::move(place));
    // Unread, the list protects nothing by name: every move fails closed instead.
    LinuxPlaces::SwapFiles swaps = LinuxPlaces::swapFiles();
    for (auto& file : swaps.files) policy.deniedPrefixes.push_back(std::move(file));
    if (swaps.unreadable) policy.swapsUnknown = tildeAbbreviated(LinuxPlaces::swapTable()) + ": " + *swaps.unreadable;
    policy.minimumDepthBelowRoot = 1;
    policy.sizeDriftTolerance = 0.25;
    policy.requiresWritability = true;
    return policy;
}

CleanupPolicy CleanupPolicy::forUninstalling(const std::string& bundlePath) {
    CleanupPolicy policy = standard();
    const std::string home = homeDirectory();
    policy.allowedRoots.push_back(deletingLastPathComponent(bundlePath));
    for (const char* suffix : {"/Library/Preferences", "/Library/Saved Application State", "/Library/HTTPStorages",
                               "/Library/WebKit", "/Library/Application Scripts", "/Library/Cookies",
                               "/Library/LaunchAgents"}) {
        policy.allowedRoots.push_back(home + suffix);
    }
    return policy;
}

CleanupPolicy CleanupPolicy::allowing(const std::vector<std::string>& roots) const {
    CleanupPolicy copy = *this;
    for (const auto& root : roots) {
        copy.allowedRoots.push_back(standardizePath(root));
        copy.namedRoots.push_back(copy.allowedRoots.back());
    }
    return copy;
}

} // namespace sorvel
