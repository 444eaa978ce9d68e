#pragma once
// A real file system with reflinks for tests of clones: a fresh XFS (or btrfs) image,
// loop-mounted in a mount namespace of the child process alone, so nothing outside ever sees it.
#include <functional>
#include <string>

namespace sorvel::test {

struct VolumeRun {
    int status = -1;     // the body's return value; -1 when the child died otherwise
    std::string skipped; // why no volume could be made (not root, no mkfs.xfs, no loop device)
};

/// Forks; the child unshares its mounts, mounts a new XFS image at a folder and returns
/// body(folder) as its exit status. The image and the folder go when the call returns.
VolumeRun inReflinkVolume(const std::function<int(const std::string& mountPoint)>& body);

/// The same with a fresh btrfs image (subvolumes, as desktops' installers make them).
VolumeRun inBtrfsVolume(const std::function<int(const std::string& mountPoint)>& body);

} // namespace sorvel::test
