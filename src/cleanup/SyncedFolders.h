#pragma once
// The folders that sync clients keep in step with other devices: anything moved out of
// one is deleted on every device that syncs it. Known by what each client keeps on disk:
// its settings that list its folders, the markers it leaves in each folder, and the file
// systems it mounts.
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/MountTable.h"

namespace sorvel {

/// A folder a sync client keeps in step, and the client ("Syncthing", "Dropbox", ...).
struct SyncedTree {
    std::string folder;
    std::string service;
    friend bool operator==(const SyncedTree&, const SyncedTree&) = default;
};

/// A sync file system's mount: the mount point is the tree, or with `account` each folder
/// right under it whose name starts so is one (an online account's folder in gvfs).
struct SyncedMount {
    std::string mountPoint;
    std::string service;
    std::string account{};
};

namespace SyncClients {

/// What the clients' own settings say, read now (each file at most 1 MB; a file that
/// cannot be read or parsed lists nothing): the folders they list, and each client's default
/// folder where its settings are there at all, since settings that say nothing still show
/// the client runs. "~" stands for `home`.
struct Settings {
    std::vector<SyncedTree> trees;
    /// Whose are the markers Nextcloud and ownCloud share: the one whose settings are
    /// there, or both names.
    std::string sharedClient;
};
Settings settingsOf(const std::string& home);

/// The mounts of sync file systems in the table: rclone, pCloud, SeaDrive, the online
/// accounts of GNOME (gvfs) and KDE (kio-fuse), and the Google Drive and OneDrive FUSE clients.
std::vector<SyncedMount> mountedTrees(const std::vector<MountEntry>& mounts);

/// The client whose marker is among a folder's entries, none when there is none. `exists`
/// tells whether a path relative to the folder names something.
struct Entry {
    std::string name;
    bool isFile = false;
    bool isFolder = false;
};
std::optional<std::string> markerService(const std::vector<Entry>& entries, const std::string& sharedClient,
                                         const std::function<bool(const std::string&)>& exists);

} // namespace SyncClients

/// The synced trees as one guard session sees them: the clients' settings and the mount
/// table read once, each folder's markers read once, on first need.
class SyncedFolders {
public:
    struct Found {
        SyncedTree tree;
        bool holds = false; // the path holds the tree, rather than being or lying in it
    };

    SyncedFolders(const std::string& home, const std::optional<std::vector<MountEntry>>& mounts);

    /// By text alone, touching no disk: a tree the settings list or a mount serves that the
    /// absolute path is, lies in or holds.
    std::optional<Found> known(const std::string& path) const;
    /// `known`, then the markers of the path (when a folder) and of each folder above it:
    /// the nearest tree it is or lies in. A folder on a mount another process serves is
    /// listed within a bound; one that does not answer shows no marker.
    std::optional<Found> find(const std::string& path);

private:
    std::optional<std::string> markersIn(const std::string& folder);

    std::vector<SyncedTree> listed_;
    std::vector<SyncedMount> mounted_;
    std::vector<MountEntry> served_; // mounts a look at may wait on
    std::string sharedClient_;
    std::unordered_map<std::string, std::optional<std::string>> markers_;
};

} // namespace sorvel
