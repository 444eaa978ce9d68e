#pragma once
// The mounts this process sees, from /proc/self/mountinfo: where each file system is
// mounted, of which type, on which device.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

struct MountEntry {
    std::string mountPoint; // absolute, escapes decoded
    std::string fsType;     // "ext4", "tmpfs", "fuse.sshfs", ...
    uint64_t device = 0;    // makedev(major, minor)

    friend bool operator==(const MountEntry&, const MountEntry&) = default;
};

/// The entries of a mountinfo text in its order (later entries are mounted over
/// earlier ones at the same point). Malformed lines are skipped.
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

/// The mount that holds the absolute path as written: the longest mount point that
/// contains it, the last listed among equals (the one on top).
std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts, const std::string& path);

} // namespace sorvel
