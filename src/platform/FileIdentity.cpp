#include "platform/FileIdentity.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"

namespace sorvel {
namespace {

FileIdentity of(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

} // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path, bool followLinks) {
    struct stat st;
    if (path.find('\0') != std::string::npos) return std::nullopt;
    const int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (rc != 0) return std::nullopt;
    return of(st);
}

Holding holdsFile(const std::string& path, const FileIdentity& file) {
    if (path.find('\0') != std::string::npos) return Holding::unknown;
    const FileDescriptor top(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!top.valid() || ::fstat(top.get(), &st) != 0) return errno == ENOENT ? Holding::none : Holding::unknown;
    if (of(st) == file) return Holding::holds;
    if (!S_ISDIR(st.st_mode) || static_cast<uint64_t>(st.st_dev) != file.device) return Holding::none;
    // Folders by their path below the top: no descriptor is held per level of a deep tree.
    std::vector<std::string> pending{"."};
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        const int fd = ::openat(top.get(), folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            // Gone or replaced by a link since it was listed: it holds nothing here any more.
            if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) continue;
            return Holding::unknown;
        }
        struct stat here;
        if (::fstat(fd, &here) != 0) {
            ::close(fd);
            return Holding::unknown;
        }
        // Another file system mounted inside holds no name of this file.
        if (here.st_dev != st.st_dev) {
            ::close(fd);
            continue;
        }
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return Holding::unknown;
        }
        bool failed = false;
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (!entry) {
                failed = errno != 0;
                break;
            }
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            unsigned char type = entry->d_type;
            // The inode in the listing is the file's on a file system of its own: only a match is looked at.
            if (static_cast<uint64_t>(entry->d_ino) == file.inode || type == DT_UNKNOWN) {
                struct stat inner;
                if (::fstatat(::dirfd(dir), entry->d_name, &inner, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT) continue;
                    failed = true;
                    break;
                }
                if (of(inner) == file) {
                    ::closedir(dir);
                    return Holding::holds;
                }
                type = S_ISDIR(inner.st_mode) ? DT_DIR : DT_REG;
            }
            if (type == DT_DIR) pending.push_back(folder + "/" + std::string(name));
        }
        ::closedir(dir);
        if (failed) return Holding::unknown;
    }
    return Holding::none;
}

} // namespace sorvel
