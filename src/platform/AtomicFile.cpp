#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"

namespace sorvel::AtomicFile {

namespace {

// A hidden name beside the destination that no other writer holds.
FileDescriptor createTemporary(const std::string& folder, const std::string& name, mode_t mode, std::string& tempPath) {
    std::random_device random;
    for (int attempt = 0; attempt < 64; ++attempt) {
        tempPath = appendingPathComponent(folder, "." + name + "." + std::to_string(random()) + ".tmp");
        FileDescriptor fd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
        if (fd.valid() || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return FileDescriptor();
}

} // namespace

int removeStrayTemporaries(const std::string& path) {
    const std::string name = lastPathComponent(path);
    std::string folder = deletingLastPathComponent(path);
    if (name.empty()) return 0;
    if (folder.empty()) folder = ".";
    const FileDescriptor dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dirFd.valid()) return 0;
    const int listFd = ::dup(dirFd.get());
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0) ::close(listFd);
        return 0;
    }
    const std::string prefix = "." + name + ".";
    const std::string suffix = ".tmp";
    std::vector<std::string> strays;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName = entry->d_name;
        if (entryName.size() <= prefix.size() + suffix.size() || !entryName.starts_with(prefix) ||
            !entryName.ends_with(suffix))
            continue;
        const std::string_view number = entryName.substr(prefix.size(), entryName.size() - prefix.size() - suffix.size());
        if (number.find_first_not_of("0123456789") == std::string_view::npos) strays.emplace_back(entryName);
    }
    ::closedir(dir);
    int removed = 0;
    for (const auto& stray : strays)
        if (::unlinkat(dirFd.get(), stray.c_str(), 0) == 0) ++removed;
    return removed;
}

int writeAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0 ? EIO : errno;
        done += static_cast<size_t>(n);
    }
    return 0;
}

int write(const std::string& path, std::string_view bytes, mode_t mode) {
    return writeWith(path, mode, [bytes](int fd) { return writeAll(fd, bytes); });
}

int writeWith(const std::string& path, mode_t mode, const std::function<int(int fd)>& fill) {
    const std::string name = lastPathComponent(path);
    if (name.empty()) return EISDIR;
    std::string folder = deletingLastPathComponent(path);
    if (folder.empty()) folder = ".";

    std::string temp;
    FileDescriptor fd = createTemporary(folder, name, mode, temp);
    if (!fd.valid()) return errno;
    // Every way out but the rename removes the temporary file, a throwing `fill` included.
    struct RemovedUnlessRenamed {
        const std::string& temp;
        bool renamed = false;
        ~RemovedUnlessRenamed() {
            if (!renamed) ::unlink(temp.c_str());
        }
    } cleanup{temp};
    int error = fill(fd.get());
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (::close(fd.release()) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) return error;
    cleanup.renamed = true;
    // The rename itself survives a crash only once the folder is on disk.
    if (const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.valid())
        (void)::fsync(dir.get());
    return 0;
}

} // namespace sorvel::AtomicFile
