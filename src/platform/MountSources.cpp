#include "platform/MountSources.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "platform/BoundedLook.h"
#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"

namespace sorvel {
namespace {

// Devices stacked deeper than this (mapped over mapped ...) are a loop of links in sysfs.
constexpr int kDeepestStack = 8;

std::optional<std::string> readSmallFile(const std::string& path) {
    const FileDescriptor fd(openPlainFileAt(AT_FDCWD, path.c_str(), O_RDONLY | O_NOFOLLOW));
    if (!fd.valid()) return std::nullopt;
    std::array<char, 4097> buffer{};
    ssize_t got = 0;
    do got = ::read(fd.get(), buffer.data(), buffer.size() - 1);
    while (got < 0 && errno == EINTR);
    if (got < 0) return std::nullopt;
    std::string text(buffer.data(), static_cast<size_t>(got));
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string numbers(uint64_t device) {
    return std::to_string(::major(device)) + ":" + std::to_string(::minor(device));
}

// The kernel encodes lo_device as the new 32-bit form; makedev's is wider.
uint64_t decodedDevice(uint64_t encoded) {
    const unsigned major = static_cast<unsigned>((encoded & 0xfff00) >> 8);
    const unsigned minor = static_cast<unsigned>((encoded & 0xff) | ((encoded >> 12) & 0xfff00));
    return static_cast<uint64_t>(::makedev(major, minor));
}

// A node with the device's numbers, opened: the one the kernel named it by, else udev's
// link by numbers; each checked to be that very device, whatever it is called.
FileDescriptor openBlockDevice(const std::string& sysDir, uint64_t device) {
    std::vector<std::string> candidates;
    if (const auto uevent = readSmallFile(sysDir + "/uevent")) {
        const std::string_view text = *uevent;
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            const auto line = text.substr(start, end - start);
            if (line.starts_with("DEVNAME=") && line.find("..") == std::string_view::npos)
                candidates.push_back("/dev/" + std::string(line.substr(8)));
            start = end + 1;
        }
    }
    candidates.push_back("/dev/block/" + numbers(device));
    for (const auto& path : candidates) {
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st;
        if (fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == device) return fd;
    }
    return FileDescriptor{};
}

LoopImage loopImage(const std::string& sysDir, uint64_t device) {
    LoopImage image;
    image.loopDevice = device;
    const FileDescriptor fd = openBlockDevice(sysDir, device);
    loop_info64 info{};
    if (fd.valid() && ::ioctl(fd.get(), LOOP_GET_STATUS64, &info) == 0)
        image.identity = FileIdentity{decodedDevice(info.lo_device), info.lo_inode};
    // The kernel's path of the file it holds, worked out at each read: it follows renames.
    // A deleted file's name ends in " (deleted)"; so may a file's own: tried as it stands first.
    if (auto name = readSmallFile(sysDir + "/loop/backing_file"); name && !name->empty() && (*name)[0] == '/')
        image.name = std::move(*name);
    return image;
}

void collectImages(const std::string& sysDir, int depth, std::vector<LoopImage>& out) {
    if (depth > kDeepestStack) return;
    const auto real = resolvedPath(sysDir);
    if (!real) return;
    if (exists(*real + "/loop")) {
        const auto text = readSmallFile(*real + "/dev");
        unsigned major = 0, minor = 0;
        if (text && std::sscanf(text->c_str(), "%u:%u", &major, &minor) == 2) {
            const uint64_t device = static_cast<uint64_t>(::makedev(major, minor));
            if (std::none_of(out.begin(), out.end(), [&](const LoopImage& i) { return i.loopDevice == device; }))
                out.push_back(loopImage(*real, device));
        }
        return;
    }
    // A partition: its disk holds it.
    if (exists(*real + "/partition")) collectImages(deletingLastPathComponent(*real), depth + 1, out);
    // Mapped (an encrypted image, LVM) or RAID: each device it stands on.
    const std::string slaves = *real + "/slaves";
    if (DIR* dir = ::opendir(slaves.c_str())) {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
        ::closedir(dir);
        for (const auto& name : names) collectImages(slaves + "/" + name, depth + 1, out);
    }
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

bool LoopImage::nameConfirmed() const {
    if (!identity || !name) return false;
    struct stat st;
    return ::stat(name->c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == identity->device &&
           static_cast<uint64_t>(st.st_ino) == identity->inode;
}

bool LoopImage::deleted() const {
    if (!identity || !name || !name->ends_with(" (deleted)")) return false;
    struct stat st;
    if (::stat(name->c_str(), &st) == 0)
        return static_cast<uint64_t>(st.st_dev) != identity->device || static_cast<uint64_t>(st.st_ino) != identity->inode;
    // Out of this user's reach is not gone.
    return errno == ENOENT || errno == ENOTDIR;
}

std::vector<LoopImage> loopImagesOfDevice(uint64_t device) {
    std::vector<LoopImage> out;
    collectImages("/sys/dev/block/" + numbers(device), 0, out);
    return out;
}

std::vector<LoopImage> loopImagesOf(const MountEntry& mount) {
    if (exists("/sys/dev/block/" + numbers(mount.device))) return loopImagesOfDevice(mount.device);
    // An anonymous device (btrfs): the node its source names, by the numbers it carries.
    struct stat st;
    if (!mount.source.empty() && mount.source[0] == '/' && ::stat(mount.source.c_str(), &st) == 0 &&
        S_ISBLK(st.st_mode))
        return loopImagesOfDevice(static_cast<uint64_t>(st.st_rdev));
    return {};
}

bool namesNothingLocal(const MountEntry& mount) {
    const std::string& source = mount.source;
    if (!source.empty() && source[0] == '/') return false;
    const std::string_view type = std::string_view(mount.fsType).starts_with("fuse.")
                                      ? std::string_view(mount.fsType).substr(5)
                                      : std::string_view{};
    // Network shares and devices, whose sources name a host, an account or the program.
    if (isOneOf(type, {"sshfs", "rclone", "s3fs", "gcsfuse", "goofys", "curlftpfs", "davfs", "davfs2", "smbnetfs",
                       "afpfs", "glusterfs", "ceph-fuse", "onedriver", "blobfuse", "blobfuse2", "jmtpfs",
                       "simple-mtpfs", "go-mtpfs", "mtpfs", "aft-mtp-mount", "ifuse", "gphotofs", "gvfsd-fuse",
                       "kio-fuse"}))
        return true;
    // File systems that show local folders never name a host, whatever their text says.
    if (isOneOf(type, {"bindfs", "mergerfs", "unionfs", "unionfs-fuse", "encfs", "gocryptfs", "cryfs", "securefs",
                       "fuse-overlayfs", "ciopfs", "rofs", "fuse-zip", "archivemount", "squashfuse", "ratarmount"}) ||
        mount.fsType == "ecryptfs")
        return false;
    if (source.find("://") != std::string::npos) return true;
    const size_t colon = source.find(':');
    return colon != std::string::npos && colon > 0 && source.find('/') > colon;
}

SourceCheck confirmedSource(const MountEntry& mount) {
    if (mount.source.empty() || mount.source[0] != '/' || mount.id < 0) return {};
    const auto real = resolvedPath(mount.source);
    // One mounted over its own source shows the folder beneath, which no path reaches.
    if (!real || isPathInside(*real, mount.mountPoint)) return {};
    // Something writing into the folder between the two looks changes its time: looked again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const FileDescriptor root(::open(mount.mountPoint.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!root.valid() || descriptorMountId(root.get()) != mount.id) return {};
        const FileDescriptor folder(::open(real->c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat shown, named;
        if (!folder.valid() || ::fstat(root.get(), &shown) != 0 || ::fstat(folder.get(), &named) != 0) return {};
        // Inode numbers repeat across file systems (every ext4 root is 2): the time tells them apart.
        if (shown.st_dev == named.st_dev || shown.st_ino != named.st_ino) return {};
        if (shown.st_mtim.tv_sec == named.st_mtim.tv_sec && shown.st_mtim.tv_nsec == named.st_mtim.tv_nsec)
            return {real, false};
    }
    return {std::nullopt, true};
}

std::string mountLookKey(const MountEntry& mount) {
    return "mount " + std::to_string(mount.id) + " " + std::to_string(mount.device) + " " + mount.mountPoint;
}

std::optional<SourceCheck> confirmedSourceInTime(const MountEntry& mount) {
    return boundedLook<SourceCheck>(mountLookKey(mount), [mount] { return confirmedSource(mount); });
}

std::optional<std::optional<FileIdentity>> rootIdentityInTime(const MountEntry& mount) {
    return boundedLook<std::optional<FileIdentity>>(mountLookKey(mount),
                                                    [point = mount.mountPoint] { return fileIdentity(point, false); });
}

bool servedByAnother(std::string_view fsType) {
    if (fsType == "fuse" || (fsType.starts_with("fuse.") )) return true;
    return isOneOf(fsType, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "afs", "glusterfs", "lustre",
                            "davfs", "ncpfs", "coda", "virtiofs"});
}

namespace {

// The mount id of an entry (a link not followed), from what the kernel holds, never asking
// the file system that serves it.
std::optional<int64_t> cachedMountId(int at, const char* name) {
    struct statx found {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC | (name[0] ? 0 : AT_EMPTY_PATH);
    if (::statx(at, name, flags, STATX_MNT_ID, &found) != 0 || !(found.stx_mask & STATX_MNT_ID)) return std::nullopt;
    return static_cast<int64_t>(found.stx_mnt_id);
}

} // namespace

int openSubfolderInTime(int parent, const char* name, const std::function<int(int, const char*)>& open) {
    const auto own = cachedMountId(parent, "");
    const auto below = cachedMountId(parent, name);
    if (!own || !below || *own == *below) return open(parent, name);
    const auto table = readMountTable(mountTablePath());
    const auto mount = table ? std::find_if(table->begin(), table->end(), [&](const MountEntry& m) { return m.id == *below; })
                             : std::vector<MountEntry>::const_iterator{};
    if (!table || mount == table->end() || !servedByAnother(mount->fsType)) return open(parent, name);
    // The helper may outlive this call: it opens through its own copy of the parent, and a
    // folder it opens after the wait is closed with what it gives back.
    auto at = std::make_shared<FileDescriptor>(::fcntl(parent, F_DUPFD_CLOEXEC, 0));
    if (!at->valid()) return -1;
    struct Opened {
        FileDescriptor fd;
        int error = 0;
    };
    auto opened = boundedLook<std::shared_ptr<Opened>>(mountLookKey(*mount), [at, path = std::string(name), open] {
        auto out = std::make_shared<Opened>();
        out->fd.reset(open(at->get(), path.c_str()));
        out->error = out->fd.valid() ? 0 : errno;
        return out;
    });
    if (!opened) {
        errno = ETIMEDOUT;
        return -1;
    }
    if (!(*opened)->fd.valid()) {
        errno = (*opened)->error;
        return -1;
    }
    return (*opened)->fd.release();
}

} // namespace sorvel
