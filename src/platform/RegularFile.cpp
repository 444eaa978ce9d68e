#include "platform/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "platform/BulkAttributes.h"
#include "platform/FileDescriptor.h"
#include "platform/QuietOpen.h"

namespace sorvel {
namespace {

constexpr int kNeverWait = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | kNeverWait;

// Runs `call(folderFD, name)` on the path's folder, opened piecewise, and its last name.
template <typename Call> int throughFolder(const char* path, Call call) {
    const std::string text(path);
    const auto slash = text.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == text.size()) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const std::string folder = slash == 0 ? "/" : text.substr(0, slash);
    FileDescriptor folderFD(openDirectory(folder.c_str()));
    if (!folderFD.valid()) return -1;
    const int result = call(folderFD.get(), text.c_str() + slash + 1);
    const int saved = errno;
    folderFD.reset();
    errno = saved;
    return result;
}

// The descriptor when it is open on a plain file; else it is closed and -1 returned.
int plainOnly(FileDescriptor fd) {
    if (!fd.valid()) return -1;
    struct stat st {};
    int code = 0;
    if (::fstat(fd.get(), &st) != 0) code = errno;
    else if (S_ISDIR(st.st_mode)) code = EISDIR;
    else if (!S_ISREG(st.st_mode)) code = EINVAL;
    if (code != 0) {
        fd.reset();
        errno = code;
        return -1;
    }
    return fd.release();
}

} // namespace

int openPlainFileAt(int folder, const char* name, int flags, mode_t mode) {
    if (flags & O_NOATIME)
        return plainOnly(FileDescriptor(openatQuietly(folder, name, (flags & ~O_NOATIME) | kNeverWait, mode)));
    return plainOnly(FileDescriptor(::openat(folder, name, flags | kNeverWait, mode)));
}

// Reading a file's contents (hashing duplicates, sniffing kinds) leaves its access time alone.
int openRegularFile(const char* path) {
    FileDescriptor fd(openQuietly(path, kReadFlags));
    if (!fd.valid() && errno == ENAMETOOLONG)
        fd.reset(throughFolder(path, [](int folder, const char* name) { return openatQuietly(folder, name, kReadFlags); }));
    return plainOnly(std::move(fd));
}

int statAnyLength(const char* path, struct stat* st) {
    if (::stat(path, st) == 0) return 0;
    if (errno != ENAMETOOLONG) return -1;
    return throughFolder(path, [st](int folder, const char* name) { return ::fstatat(folder, name, st, 0); });
}

} // namespace sorvel
