#include "platform/QuietOpen.h"

#include <cerrno>

namespace sorvel {

int openatQuietly(int directoryFD, const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::openat(directoryFD, path, flags | O_NOATIME, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || errno != EPERM) return fd;
    // Not the owner: the access time cannot be spared, the read still can be made.
    do {
        fd = ::openat(directoryFD, path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace sorvel
