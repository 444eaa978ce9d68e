#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

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
    const std::string name = lastPathComponent(path);
    if (name.empty()) return EISDIR;
    std::string folder = deletingLastPathComponent(path);
    if (folder.empty()) folder = ".";

    std::string temp;
    FileDescriptor fd = createTemporary(folder, name, mode, temp);
    if (!fd.valid()) return errno;
    int error = writeAll(fd.get(), bytes);
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (::close(fd.release()) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    // The rename itself survives a crash only once the folder is on disk.
    if (const FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.valid())
        (void)::fsync(dir.get());
    return 0;
}

} // namespace sorvel::AtomicFile
