#pragma once
// What a mount shows, known by what the kernel holds rather than by the table's text: the
// disk images a file system's device reads (by their identity), and the folder a FUSE or
// stacked mount's source names, only once it is confirmed to be the mount's own root.
#include <cstdint>
#include <functional>
#include <string_view>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileIdentity.h"
#include "platform/MountTable.h"

namespace sorvel {

struct LoopImage {
    uint64_t loopDevice = 0;              // the loop device's numbers
    std::optional<FileIdentity> identity; // the file it reads, as the loop device holds it; none: not readable here
    std::optional<std::string> name;      // as the kernel names that file now (a deleted one's last name followed
                                          // by " (deleted)"); none: not readable

    friend bool operator==(const LoopImage&, const LoopImage&) = default;

    /// Whether the name leads to the file the loop device holds now.
    bool nameConfirmed() const;

    /// Whether the file has no name the kernel knows: its name, tried as it stands, leads
    /// nowhere or to another file, and ends in " (deleted)". It may still have other names.
    bool deleted() const;
};

/// The disk images a mount's file system reads, found by the device numbers: the device
/// itself where it is a loop device, the one holding a partition, and each one beneath a
/// mapped or RAID device. Where the table's numbers are not a block device (btrfs), a
/// source naming a block device node stands for them. Empty when no loop device is beneath.
std::vector<LoopImage> loopImagesOf(const MountEntry& mount);

/// `loopImagesOf` for the block device with these numbers.
std::vector<LoopImage> loopImagesOfDevice(uint64_t device);

/// Whether a FUSE mount's source plainly shows nothing on a local disk: a network share
/// ("host:/path", "remote:", a URL) or a device (a phone, a camera), by its text and type.
bool namesNothingLocal(const MountEntry& mount);

/// The folder a FUSE or stacked mount shows, where the source's text names an existing
/// local folder that is the mount's own root: reached at the mount's point through that very
/// mount, it has the folder's inode and modification time, on another file system. None
/// where that cannot be confirmed (a bare word, a folder gone, renamed or replaced since, a
/// name that is not the folder, a list of folders, a mount covered since).
struct SourceCheck {
    std::optional<std::string> folder;
    bool settling = false; // the inodes agree, the times not yet (a FUSE cache a write outran): ask again soon
};
SourceCheck confirmedSource(const MountEntry& mount);

/// `confirmedSource` looked at within `lookBound()`: none when the mount did not answer in
/// time (its daemon paused, its server gone) or is still blocked from an earlier look.
std::optional<SourceCheck> confirmedSourceInTime(const MountEntry& mount);

/// The identity of a mount's root within `lookBound()`: none when it did not answer in time;
/// inside, none when it cannot be read.
std::optional<std::optional<FileIdentity>> rootIdentityInTime(const MountEntry& mount);

/// What bounded looks at a mount are known by: one blocked is not asked again.
std::string mountLookKey(const MountEntry& mount);

} // namespace sorvel

namespace sorvel {

/// Whether files of this type are served by another process or machine (FUSE other than on
/// a block device, network shares), so a look at them may wait for as long as it does not answer.
bool servedByAnother(std::string_view fsType);

/// Opens `name` in the folder `parent` by `open` (given the parent's descriptor and the name).
/// Where it is the root of a mount that another process serves, the open runs on a helper and
/// is waited for `lookBound()` at most: -1 with ETIMEDOUT past it (or at once while that
/// mount is known not to answer).
int openSubfolderInTime(int parent, const char* name, const std::function<int(int, const char*)>& open);

} // namespace sorvel
