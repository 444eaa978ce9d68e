#pragma once
// How much of a file's storage is its own. File systems with reflinks (XFS, btrfs,
// bcachefs) let copies share blocks; the extent map (FS_IOC_FIEMAP) flags every extent
// that another file also holds. A file's private bytes are its allocation less those
// shared extents, and its clone identity is drawn from where the shared extents lie on
// the device, so files that hold the very same blocks carry the same identity.
#include <cstdint>
#include <optional>
#include <vector>

namespace sorvel {

struct FileExtent {
    uint64_t logical = 0;  // offset in the file
    uint64_t physical = 0; // offset on the device
    uint64_t length = 0;
    uint32_t flags = 0;    // FIEMAP_EXTENT_* bits
};

struct ExtentSharing {
    int64_t privateBytes = 0; // allocation not held by any other file
    int64_t sharedBytes = 0;  // bytes of extents another file holds too
    uint64_t cloneID = 0;     // 0 when nothing is shared
    friend bool operator==(const ExtentSharing&, const ExtentSharing&) = default;
};

namespace FileExtents {

/// The extent map of the open file, all of it; none where the file system keeps none
/// (the ioctl is unsupported) or it cannot be read.
std::optional<std::vector<FileExtent>> read(int fd);

/// What `extents` mean for a file of `allocated` bytes on `device`. Shared extents are
/// merged where they touch on the device, so the identity does not depend on how the
/// file system happens to cut them; extents whose place is not known yet (delayed
/// allocation, inline data) are the file's own.
ExtentSharing sharing(const std::vector<FileExtent>& extents, int64_t allocated, uint64_t device);

/// Both at once for an open file; none where the extent map cannot be read, so callers
/// keep their answer for file systems without one.
std::optional<ExtentSharing> sharingOf(int fd);

} // namespace FileExtents
} // namespace sorvel
