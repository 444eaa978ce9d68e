#pragma once
// Finding and opening the trash folders safely: the home trash and the trash at the top
// of another file system. Each folder is opened without following links and must be
// the user's own and writable by nobody else.
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/MountTable.h"

namespace sorvel::Trash {

/// One usable trash, with its files/ and info/ folders open.
struct Folder {
    std::string path;       // the trash folder
    std::string topdir;     // empty for the home trash, else the mount point Path= is relative to
    FileDescriptor files;
    FileDescriptor info;
    dev_t device = 0;       // of files/
};

/// What the error text says the folder is needed for.
enum class Use { moveInto, takeOutOf };

/// The home trash; missing folders are created 0700 when `create`.
std::optional<Folder> openHome(bool create, Use use, std::string& error);

/// The trash of the file system mounted at `topdir`: "$topdir/.Trash/$uid" when
/// "$topdir/.Trash" is a real folder with the sticky bit, else "$topdir/.Trash-$uid".
std::optional<Folder> openTopdir(const std::string& topdir, bool create, std::string& error);

/// Exactly the trash folder at `path` (the home trash or one of the two forms below a
/// mount point), without creating anything.
std::optional<Folder> openExisting(const std::string& path, const std::string& topdir, std::string& error);

/// The top folder an item's file system trash is kept at, as the desktop's own trash finds
/// it: up from the folder holding the item while the folders are on the item's device, never
/// past the point of the mount holding it (so a btrfs subvolume's root is a top folder). None
/// where that folder is not on the item's device (the item is a subvolume's root itself).
std::optional<std::string> topFolderFor(const std::string& parentPath, uint64_t device, const std::string& mountPoint);

/// Whether a folder below (or at) a mount's point is a top folder: that point, or a folder on
/// another device than the folder holding it (a btrfs subvolume's root).
bool isTopFolder(const std::string& folder, const std::string& mountPoint);

/// A trash folder as a move would find it, looked at without making anything.
struct Looked {
    std::string error;     // the move's own sentence where it cannot be used or made
    bool writable = true;  // its files/ and info/, where there, can be written by this user
    uint64_t device = 0;   // of the folder, or of the folder it would be made in
    std::string path;      // the trash folder
    bool usable() const { return error.empty(); }
};
/// The home trash, as `openHome(true, Use::moveInto, ...)` would open or make it.
Looked lookHome();
/// The trash at `topdir`, as `openTopdir(topdir, true, ...)` would open or make it.
Looked lookTopdir(const std::string& topdir);

/// Where a trash folder is or would be: the home trash (`top` empty), or one of the
/// folders at the top of a mounted file system, with that mount's point.
struct FolderPlace {
    std::string path;
    std::string top;
};

/// Every place a trash folder of this user is looked for, whether or not one is there now:
/// the home trash, then at the top of each mounted disk or memory file system ".Trash/UID",
/// ".Trash-UID" and the shared ".Trash", in table order. Nothing is looked at on disk.
std::vector<FolderPlace> folderPlaces(const std::vector<MountEntry>& mounts);

/// The trash folders of `folderPlaces` that exist now. Network and FUSE mounts are not
/// looked into (a look could hang).
std::vector<std::string> existingFolders(const std::vector<MountEntry>& mounts);

} // namespace sorvel::Trash
