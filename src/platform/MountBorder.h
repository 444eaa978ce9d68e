#pragma once
// Where a walk of a place stops: at every mount below its start, a bind mount of the same
// file system too, told by the mount the kernel holds rather than by the device number (a
// btrfs subvolume has a device number of its own, yet is no mount). The start itself may be
// a mount: it is the place measured.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace sorvel {

/// Whether what statx described is the root of a mount; none where the kernel does not
/// say (before Linux 5.8).
std::optional<bool> mountRootIn(const struct statx& described);

/// fstatat(AT_SYMLINK_NOFOLLOW) of `name` in the folder open on `folderFd`, and in the same
/// call whether it is the root of a mount. False with errno set where it cannot be described.
bool describeEntry(int folderFd, const char* name, struct stat& st, std::optional<bool>& mountRoot);

class MountBorder {
public:
    /// Admits every folder: a walk that does not stay on its start's mount.
    MountBorder() = default;
    /// The border of a walk from `start` (its last link followed only when spelled with a
    /// final "/").
    explicit MountBorder(const std::string& start);

    /// Whether a folder met in a listing, on `device` and said by the kernel to be a mount's
    /// root or not (none where it did not say), lies on another mount than the start.
    /// Without the kernel's word, a folder of another device is asked its mount by its path
    /// (`parentPath`/`name`), once a device.
    bool outside(uint64_t device, std::optional<bool> mountRoot, const std::string& parentPath,
                 std::string_view name) const;
    /// The same for a folder below the start held open on `folderFd`.
    bool outside(int folderFd) const;

    uint64_t device() const { return device_; }

private:
    struct Admitted;
    bool knownInside(uint64_t device) const; // the start's device, or one admitted before
    bool admits(uint64_t device, std::optional<int64_t> mount) const;

    bool everywhere_ = true;
    uint64_t device_ = 0;
    std::optional<int64_t> mount_;
    std::shared_ptr<Admitted> admitted_; // devices seen on the start's mount, shared by copies
};

} // namespace sorvel
