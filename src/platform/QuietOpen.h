#pragma once
// Opening without moving access times. Sorvel shows a bundle's access time as its last
// use, so its own reads must leave access times as they were: O_NOATIME, which the
// kernel grants only to a file's owner or a process with CAP_FOWNER; for anyone else the
// open is made without it.
#include <fcntl.h>
#include <sys/types.h>

namespace sorvel {

/// openat(2) with O_NOATIME where the kernel permits it; on EPERM the same open again
/// without it. -1 with errno set, as openat.
int openatQuietly(int directoryFD, const char* path, int flags, mode_t mode = 0);

/// open(2) the same way.
inline int openQuietly(const char* path, int flags, mode_t mode = 0) {
    return openatQuietly(AT_FDCWD, path, flags, mode);
}

} // namespace sorvel
