#pragma once
// The desktop's Trash: ${XDG_DATA_HOME:-~/.local/share}/Trash with files/ and info/, and
// for items on another file system that file system's own trash at its top folder.
// Items go in by rename only (where the file system refuses the no-replace rename, by
// the ways NoReplaceRename.h keeps), after their name is reserved by an info file created
// exclusively: never copied and deleted, never over an existing item (a taken name
// becomes "name 2", "name 3", ...).
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "platform/MountTable.h"
#include "platform/MountWatch.h"

namespace sorvel::Trash {

/// The object an entry is. A rename within one file system keeps its device, inode and
/// birth time; its length and modification time change whenever its contents do, so they
/// are kept (older records carry them) but never judged by.
struct Identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t length = 0;
    int64_t modifiedNanoseconds = 0;
    /// None where the file system keeps no birth time, and in records written before it was kept.
    std::optional<int64_t> bornNanoseconds = std::nullopt;
    bool folder = false;

    friend bool operator==(const Identity&, const Identity&) = default;
    /// True when `now` can be this object: the same device and inode, and the same birth
    /// time where both carry one, whatever was written to it since.
    bool admits(const Identity& now) const;
};

/// The identity of `name` in the open folder `folderFd` (of the folder itself for an empty
/// name), links not followed; none with errno set when it cannot be read.
std::optional<Identity> identityAt(int folderFd, const std::string& name);
/// The identity of whatever is at the path, links not followed; none when nothing is.
std::optional<Identity> identityOf(const std::string& path);

/// Where an item went, or why it stayed. The message is a whole sentence.
struct MoveResult {
    std::optional<std::string> trashPath; // .../files/NAME
    std::string error;
    std::optional<Identity> identity = std::nullopt; // of the item as it was moved
    /// The Trash's lock was kept past the wait by a tidy: every later move would wait alike.
    bool trashHeld = false;
    /// A mount appeared inside the item while it moved, and the item went back: the mount
    /// point at its original place; empty where the mounts could not be read to tell.
    std::optional<std::string> heldMount = std::nullopt;
    /// Such an item that could not go back: where it lies in the Trash, its record kept.
    std::optional<std::string> strandedAt = std::nullopt;

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

/// A run's moves share the mount table's watch: the table is read again only when it
/// changed, and after the rename it is looked at again only when it changed since the
/// read `judged` counts, in which no mount lay at or below the item.
struct SeenMounts {
    MountWatch& watch;
    uint64_t judged = 0;
};
MoveResult moveEntry(int parentFd, const std::string& parentPath, const std::string& name, SeenMounts seen);

/// Why a move of the entry `name` of the folder at `parentPath` (absolute, its links resolved)
/// could not put it into a Trash, worked out as the move works it out (the Trash it goes to,
/// there and fit, or one it could make), with nothing made: the move's own sentence; none
/// where it could go, or where the entry is not there to judge.
std::optional<std::string> whyNotMovable(const std::string& parentPath, const std::string& name,
                                        const std::vector<MountEntry>& mounts);

/// An item's place in a trash: "<trash>/files/<name>".
struct Location {
    std::string trashDirectory;
    std::string topdir; // empty for the home trash
    std::string name;
};

/// The place of a standardised path directly inside files/ of the home trash or of a
/// trash at the top of a mounted file system; none for anything else. Places are known by
/// what they are: the home trash written under another spelling of the home (a link, a bind)
/// is the home trash, named as it is now, and a top folder written through a link is the one
/// it leads to.
std::optional<Location> locate(const std::string& trashPath);

/// True for a path that is a trash folder or lies inside one: the home trash, or a
/// ".Trash" / ".Trash-N" folder at the top of the file system that holds the path (links
/// in its existing part resolved). True as well where that file system cannot be named.
bool isInsideTrash(const std::string& path);
bool isInsideTrash(const std::string& path, const std::vector<MountEntry>& mounts);
/// The same with the home trash resolved beforehand (none where it does not resolve); with
/// `resolved`, the path is known to hold no link, and is not resolved again.
bool isInsideTrash(const std::string& path, const std::vector<MountEntry>& mounts,
                   const std::optional<std::string>& realHomeTrash, bool resolved = false);

/// Why a restore did not happen: the errno of the failed step (ESTALE: the entry is not
/// the object expected, or another one was swapped in and went back to the Trash), or 0
/// with a whole sentence.
struct RestoreResult {
    bool restored = false;
    int code = 0;
    std::string error;
    /// The Trash's lock was kept past the wait by a tidy: every later restore would wait alike.
    bool trashHeld = false;
    /// The wait for that lock was given up because `stop` was set; nothing was moved.
    bool stopped = false;
};

/// Moves files/NAME of the located trash to `destinationName` in the open folder
/// `destinationFd` by a rename that never replaces. With an identity, an entry that is
/// no longer that object stays. Its info file goes only once the object that was checked
/// is confirmed at the destination. Its wait for the Trash's lock ends once `stop` is set.
RestoreResult restoreEntry(const Location& location, int destinationFd, const std::string& destinationName,
                           const std::optional<Identity>& expected = std::nullopt,
                           const std::atomic<bool>* stop = nullptr);

/// The narrow windows between two steps of a move or a restore, where another process
/// could act; tests act there through `setPauseHook`.
enum class Pause {
    whileRecording,  // a move: its record being made, not yet whole under its name
    beforeRenameIn,  // a move: its record written, the item not yet renamed into files/
    afterRenameIn,   // a move: the item in files/, not yet looked at for mounts
    afterTakingOut,  // a restore: the item out of files/, its record not yet removed
};
/// Called at each pause; none (the default) outside tests.
void setPauseHook(std::function<void(Pause)> hook);

} // namespace sorvel::Trash
