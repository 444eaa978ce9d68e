#include "support/ReflinkVolume.h"

#include <unistd.h>

#include "support/TestSupport.h"

namespace sorvel::test {

VolumeRun inReflinkVolume(const std::function<int(const std::string& mountPoint)>& body) {
    if (::geteuid() != 0) return {-1, "needs root to mount an XFS image"};
    std::string mkfs;
    for (const char* path : {"/usr/sbin/mkfs.xfs", "/sbin/mkfs.xfs", "/usr/bin/mkfs.xfs"})
        if (mkfs.empty() && ::access(path, X_OK) == 0) mkfs = path;
    if (mkfs.empty()) return {-1, "mkfs.xfs is not installed (xfsprogs; scripts/bootstrap installs it)"};
    TempDir dir;
    const std::string image = dir / "volume.img";
    const std::string mountPoint = dir / "mnt";
    makeDirs(mountPoint);
    // Sparse, and just above the smallest size mkfs.xfs accepts.
    writeFile(image, "");
    if (::truncate(image.c_str(), 320LL << 20) != 0) return {-1, "cannot make the image file"};
    const auto made = runCommand({mkfs, "-q", "-f", "-m", "reflink=1", image});
    if (made.status != 0) return {-1, "mkfs.xfs failed: " + made.err};
    const int status = inMountNamespace([&] {
        if (runCommand({"/bin/mount", "-o", "loop", image, mountPoint}).status != 0) return kSkipped;
        return body(mountPoint);
    });
    if (status == kSkipped) return {-1, "cannot loop-mount in a mount namespace here"};
    return {status, ""};
}

} // namespace sorvel::test
