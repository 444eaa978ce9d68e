#pragma once
// A rename that never replaces what holds the destination name, also where the file
// system refuses the kernel's no-replace flag (FUSE mounts such as bindfs, NFS).
#include <string>

namespace sorvel {

/// Renames `from` in the open folder `fromFd` to `to` in the open folder `toFd`, links not
/// followed. 0 when done, else -1 with errno set: EEXIST (or ENOTEMPTY) when `to` is
/// taken, which is then left as it was.
int renameNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to);

/// The same without the kernel's flag, as done where the file system refuses it. A folder
/// takes the name as an empty folder made first, which a rename replaces only while it is
/// still empty; anything else gets a second name by a link, which fails on a taken name,
/// and then loses the first. Only where hard links fail too is it a plain rename once the
/// name is seen free.
int renameNoReplaceWithoutFlag(int fromFd, const std::string& from, int toFd, const std::string& to);

} // namespace sorvel
