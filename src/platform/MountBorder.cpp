#include "platform/MountBorder.h"

#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/sysmacros.h>

#include "platform/MountTable.h"

namespace sorvel {

struct MountBorder::Admitted {
    std::mutex mutex;
    std::set<uint64_t> devices;
};

namespace {

// Never a wait on the process serving a mount met (a stopped FUSE daemon), nor a mount made.
constexpr int kLookFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC;

void fill(struct stat& st, const struct statx& sx) {
    st = {};
    st.st_dev = ::makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_rdev = ::makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_blksize = static_cast<blksize_t>(sx.stx_blksize);
    st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
    st.st_atim = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    st.st_ctim = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
}

} // namespace

std::optional<bool> mountRootIn(const struct statx& described) {
    if (!(described.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)) return std::nullopt;
    return (described.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

bool describeEntry(int folderFd, const char* name, struct stat& st, std::optional<bool>& mountRoot) {
    struct statx sx {};
    if (::statx(folderFd, name, kLookFlags, STATX_BASIC_STATS, &sx) != 0) return false;
    fill(st, sx);
    mountRoot = mountRootIn(sx);
    return true;
}

MountBorder::MountBorder(const std::string& start)
    : everywhere_(false), mount_(kernelMountId(start)), admitted_(std::make_shared<Admitted>()) {
    struct stat st {};
    if (::lstat(start.c_str(), &st) == 0) device_ = static_cast<uint64_t>(st.st_dev);
}

bool MountBorder::knownInside(uint64_t device) const {
    if (device == device_) return true;
    const std::lock_guard lock(admitted_->mutex);
    return admitted_->devices.count(device) > 0;
}

bool MountBorder::admits(uint64_t device, std::optional<int64_t> mount) const {
    if (!mount_ || mount != mount_) return false;
    const std::lock_guard lock(admitted_->mutex);
    admitted_->devices.insert(device);
    return true;
}

bool MountBorder::outside(uint64_t device, std::optional<bool> mountRoot, const std::string& parentPath,
                          std::string_view name) const {
    if (everywhere_) return false;
    if (mountRoot) return *mountRoot;
    if (knownInside(device)) return false;
    std::string path = parentPath;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return !admits(device, kernelMountId(path));
}

bool MountBorder::outside(int folderFd) const {
    if (everywhere_) return false;
    struct statx sx {};
    if (::statx(folderFd, "", AT_EMPTY_PATH | kLookFlags, STATX_TYPE, &sx) != 0) return true;
    if (const auto root = mountRootIn(sx)) return *root;
    const uint64_t device = ::makedev(sx.stx_dev_major, sx.stx_dev_minor);
    if (knownInside(device)) return false;
    return !admits(device, descriptorMountId(folderFd));
}

} // namespace sorvel
