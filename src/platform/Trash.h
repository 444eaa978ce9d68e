#pragma once
// The desktop's Trash: ${XDG_DATA_HOME:-~/.local/share}/Trash with files/ and info/, and
// for items on another file system that file system's own trash at its top folder.
// Items go in by rename only, after their name is reserved by an info file created
// exclusively: never copied and deleted, never over an existing item (a taken name
// becomes "name 2", "name 3", ...).
#include <cstdint>
#include <optional>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "platform/MountTable.h"

namespace sorvel::Trash {

/// The object an entry is: a rename within one file system keeps all four.
struct Identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t length = 0;
    int64_t modifiedNanoseconds = 0;

    static Identity of(const struct stat& st);
    friend bool operator==(const Identity&, const Identity&) = default;
};

/// The identity of whatever is at the path, links not followed; none when nothing is.
std::optional<Identity> identityOf(const std::string& path);

/// Where an item went, or why it stayed. The message is a whole sentence.
struct MoveResult {
    std::optional<std::string> trashPath; // .../files/NAME
    std::string error;
    std::optional<Identity> identity = std::nullopt; // of the item as it was moved

    bool moved() const { return trashPath.has_value(); }
};

/// The home trash: $XDG_DATA_HOME (when absolute) or the home folder + "/.local/share",
/// followed by "/Trash", standardised. Empty when neither is known.
std::string directory();

/// Opens an absolute, standardised folder path one component at a time without
/// following any symbolic link (O_PATH, usable as the folder of *at calls). Returns -1
/// with errno set (ENOTDIR when a component is a link or not a folder).
int openFolderNoFollow(const std::string& path);

/// Moves the entry `name` of the open folder `parentFd`, whose absolute path is
/// `parentPath` (recorded as the item's original place), into the trash of its file
/// system. `name` must be a single component.
MoveResult moveEntry(int parentFd, const std::string& parentPath, const std::string& name);

/// Opens the parent of the absolute, standardised `path` without following links and
/// moves its last component into the Trash.
MoveResult moveItem(const std::string& path);

/// An item's place in a trash: "<trash>/files/<name>".
struct Location {
    std::string trashDirectory;
    std::string topdir; // empty for the home trash
    std::string name;
};

/// The place of a standardised path directly inside files/ of the home trash or of a
/// trash at the top of a mounted file system; none for anything else.
std::optional<Location> locate(const std::string& trashPath);

/// True for a path that is a trash folder or lies inside one: the home trash, or a
/// ".Trash" / ".Trash-N" folder at the top of the file system that holds the path.
bool isInsideTrash(const std::string& path);
bool isInsideTrash(const std::string& path, const std::vector<MountEntry>& mounts);

/// Why a restore did not happen: the errno of the failed step (0 when the trash itself
/// could not be used) and, for that case, a whole sentence.
struct RestoreResult {
    bool restored = false;
    int code = 0;
    std::string error;
};

/// Moves files/NAME of the located trash to `destinationName` in the open folder
/// `destinationFd` with renameat2(RENAME_NOREPLACE), then removes its info file. With an
/// identity, an entry that is no longer that object stays (EEXIST is not it: ESTALE).
RestoreResult restoreEntry(const Location& location, int destinationFd, const std::string& destinationName,
                           const std::optional<Identity>& expected = std::nullopt);

} // namespace sorvel::Trash
