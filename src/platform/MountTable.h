#pragma once
// The mounts this process sees, from /proc/self/mountinfo: where each file system is
// mounted, of which type, on which device, and which of its folders shows there.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"

namespace sorvel {

struct MountEntry {
    std::string mountPoint; // absolute, escapes decoded
    std::string fsType;     // "ext4", "tmpfs", "fuse.sshfs", ...
    uint64_t device = 0;    // makedev(major, minor)
    std::string root = "/"; // the folder of the file system shown at the mount point (a bind mount's source)
    std::vector<std::string> superOptions{}; // the file system's own options, each decoded ("upperdir=/u")
    int64_t id = -1;     // the mount's id; -1 where not known (a table made by hand)
    int64_t parentId = -1; // the mount it sits on: below it in a stack, else the one holding its mount point
    std::string source{};  // what was mounted, as given ("/dev/sda1", a FUSE file system's folder, "none")

    friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

/// The entries of a mountinfo text in its order. Malformed lines are skipped.
std::vector<MountEntry> parseMountTable(std::string_view text);

/// The table at `path` in the mountinfo form; none when it cannot be opened, fails part
/// way, or lists no mount at all (every real table lists the root).
std::optional<std::vector<MountEntry>> readMountTable(const std::string& path);

/// Where this process's table is read from: /proc/self/mountinfo unless set otherwise
/// (a sandbox with /proc elsewhere, or a test of an unreadable table).
std::string mountTablePath();
void setMountTablePath(std::string path);

/// The mount table of this process; empty when it cannot be read.
std::vector<MountEntry> readMountTable();

/// Whether the type names a file system that stores data on a local disk (ext4, xfs,
/// btrfs, vfat, ntfs, ...), as opposed to pseudo, memory, image, overlay and network
/// file systems (proc, tmpfs, squashfs, overlay, nfs, cifs, fuse.sshfs, ...).
bool isLocalDiskFileSystem(std::string_view fsType);

/// The id of the mount the kernel names for an absolute path: the path's own, or that of
/// its nearest ancestor that exists and can be reached, its last link not followed. None
/// where the kernel cannot say (no mount ids, nothing of the path reachable).
std::optional<int64_t> kernelMountId(const std::string& path);

/// The id of the mount an open descriptor is on: statx's (kernels since 5.8), else the
/// "mnt_id:" line of /proc/self/fdinfo (since 3.15); none where neither answers.
std::optional<int64_t> descriptorMountId(int fd);

/// Where statx's mount id of a descriptor comes from; none where statx gives none (an older
/// kernel, a filter). Tests replace it to stand for such a kernel; none restores statx.
using StatxMountId = std::function<std::optional<int64_t>(int fd)>;
void setStatxMountId(StatxMountId source);

/// How mounts are named for `mountContaining`: the kernel's ids unless set otherwise (a
/// test of a table made by hand, whose mounts the kernel never names); none restores it.
using MountNaming = std::function<std::optional<int64_t>(const std::string& path)>;
void setMountNaming(MountNaming naming);

/// The mount that holds an absolute path as it is on disk (links resolved): the one the
/// kernel names, whatever else is stacked at or above its mount point. None where the
/// kernel cannot say, its id is not in the table, or the path does not lie below that
/// mount's point (a link in the path, a mount point since removed).
std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts, const std::string& path);

/// The mount holding a path, from a table read now. The path's mount is held open from
/// before the table is read until the path's id is read again after it (both again if it
/// changed), so an id freed and reused by a mount made meanwhile cannot name another one.
struct NamedMount {
    std::optional<std::vector<MountEntry>> table; // none when it could not be read
    std::optional<MountEntry> mount;              // none as for `mountContaining`
    FileDescriptor held;                          // keeps the mount's id its own while alive
};
NamedMount namedMount(const std::string& path);

/// Where a path lies within one file system: that file system's device and the path from
/// its own root, whatever mount it is reached through.
struct FileSystemPlace {
    uint64_t device = 0;
    std::string path;   // absolute within the file system
    std::string fsType; // of the mount it was reached through

    friend bool operator==(const FileSystemPlace&, const FileSystemPlace&) = default;
};

/// Why an overlay's layer may not be the folder the kernel uses: the options keep the
/// text given at mount time, and what that text names now can differ.
struct LayerDoubt {
    enum class Kind {
        gone,        // the text names nothing now
        indirect,    // the text goes through a link or "..": where it leads now need not be where it led
        unconfirmed, // an overlay other than the root: a folder made under the old name looks the same
        shown,       // FUSE or ecryptfs: it shows another folder's contents, under names of its own choosing
    };
    Kind kind = Kind::unconfirmed;
    std::string layer;      // as given at mount time (shown: the mount's source)
    std::string mountPoint; // of the overlay (shown: of the FUSE or ecryptfs mount)
    std::string fsType{};   // shown: the file system's type

    friend bool operator==(const LayerDoubt&, const LayerDoubt&) = default;
};

/// Every place a path stands for, and the first doubt about an overlay's layer on the way
/// (a gone or indirect layer before an unconfirmed one).
struct PathPlaces {
    std::vector<FileSystemPlace> places;
    std::optional<LayerDoubt> doubt;
    std::vector<std::string> shownFolders{};      // placesOnDisk: the existing folders FUSE or ecryptfs mounts show
    std::optional<std::string> hiddenBeneath{};   // placesOnDisk: a mount whose file system beneath is not listed
};

/// Every place an absolute, link-free path stands for: the mount's root followed by the
/// path below the mount point, on that mount's device; through an overlay also the same
/// path below its upper folder (where it writes) and each lower folder (what it shows).
/// A layer of the root overlay that does not resolve is out of this process's reach (a
/// container's own root) and left out; any other layer whose text does not name its folder
/// directly, and every overlay but the root, is a doubt. None when no mount holds the
/// path, a layer is not an absolute path, or layers nest too deep.
std::optional<PathPlaces> fileSystemPlaces(const std::vector<MountEntry>& mounts, const std::string& path);

/// Every place a protected folder is on disk: those of `fileSystemPlaces`, and, where a mount
/// covers it or a folder above it, the same folder on each file system beneath, worked down
/// through the covering mounts' parents (what the folder was before the cover, and is again
/// once it goes). A FUSE or ecryptfs mount on the way is a doubt of kind `shown`, and its
/// source, where it names an existing folder, is in `shownFolders`; the same path below that
/// folder, where it exists, is one more place (bindfs keeps the names). A covering mount
/// whose parent is not listed leaves its point in `hiddenBeneath`. Mounts a cover hides
/// (one over a folder above a mount point) are followed too: every mount listed at or
/// above the path.
std::optional<PathPlaces> placesOnDisk(const std::vector<MountEntry>& mounts, const std::string& path);

/// Where what a mount shows lies on disk: its root in its file system, and, as for
/// `placesOnDisk`, through an overlay's layers. Not the folder a FUSE or ecryptfs mount's
/// source names (only text: see `confirmedSource`), nor the folder its point covers.
std::optional<PathPlaces> mountShows(const std::vector<MountEntry>& mounts, const MountEntry& mount);

/// Whether the type is FUSE (other than on a block device) or ecryptfs: a file system that
/// shows the contents of another folder.
bool showsAnotherFolder(std::string_view fsType);

/// An overlay's layer folders from its options: the upper folder, then each lower one. A colon
/// inside a lower folder's name is escaped with a backslash; "::" marks data-only layers.
std::vector<std::string> overlayLayers(const std::vector<std::string>& options);

/// Whether paths on the type are what they say: its mounts' roots and paths can be
/// trusted to name its own folders. Disks, memory, pseudo and image file systems are;
/// FUSE other than on a block device (one may show any folder under another name),
/// network and unknown ones are not.
/// An overlay is, through its layers.
bool isUnderstoodFileSystem(std::string_view fsType);

/// The absolute path with its longest existing part resolved (links, "..") and the rest
/// kept as written; the path itself when not even "/" resolves.
std::string resolvingExistingPart(const std::string& path);

} // namespace sorvel
