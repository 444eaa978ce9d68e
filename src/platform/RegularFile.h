#pragma once
// Opening and describing files by paths of any length: a path longer than one system
// call may name is reached through its folder, opened component by component.
#include <sys/stat.h>
#include <sys/types.h>

namespace sorvel {

/// Opens `name` in the folder `folder` (AT_FDCWD: `name` is a path) as a plain file and
/// only as one, with `flags` (O_RDONLY, O_RDWR | O_CREAT, O_NOFOLLOW, ...) and `mode` for a
/// file it creates. Opened without waiting, so a pipe or a device in the file's place is
/// refused at once, never waited on. -1 with errno set: EISDIR for a folder, EINVAL for
/// anything else that is not a plain file. With O_NOATIME, the access time is left alone
/// where the kernel permits it, and the open made without it where not.
int openPlainFileAt(int folder, const char* name, int flags, mode_t mode = 0600);

/// Opens a regular file read-only, as `openPlainFileAt`, leaving its access time alone. A
/// final symbolic link is not followed; paths of any length are opened.
int openRegularFile(const char* path);

/// stat(2) (a final symbolic link followed) for paths of any length.
int statAnyLength(const char* path, struct stat* st);

} // namespace sorvel
