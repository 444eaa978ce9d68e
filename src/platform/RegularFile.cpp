#include "platform/RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/BulkAttributes.h"
#include "platform/FileDescriptor.h"
#include "platform/QuietOpen.h"

namespace sorvel {
namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;

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

} // namespace

// Reading a file's contents (hashing duplicates, sniffing kinds) leaves its access time alone.
int openRegularFile(const char* path) {
    FileDescriptor fd(openQuietly(path, kReadFlags));
    if (!fd.valid() && errno == ENAMETOOLONG)
        fd.reset(throughFolder(path, [](int folder, const char* name) { return openatQuietly(folder, name, kReadFlags); }));
    if (!fd.valid()) return -1;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fd.reset();
        errno = EINVAL;
        return -1;
    }
    return fd.release();
}

int statAnyLength(const char* path, struct stat* st) {
    if (::stat(path, st) == 0) return 0;
    if (errno != ENAMETOOLONG) return -1;
    return throughFolder(path, [st](int folder, const char* name) { return ::fstatat(folder, name, st, 0); });
}

} // namespace sorvel
