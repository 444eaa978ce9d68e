#pragma once
// Opening and describing files by paths of any length: a path longer than one system
// call may name is reached through its folder, opened component by component.
#include <sys/stat.h>

namespace sorvel {

/// Opens a regular file read-only. A final symbolic link is not followed, and a pipe
/// or device is never opened for reading, so the call cannot block. -1 with errno set
/// (EINVAL when something other than a regular file is there).
int openRegularFile(const char* path);

/// stat(2) (a final symbolic link followed) for paths of any length.
int statAnyLength(const char* path, struct stat* st);

} // namespace sorvel
