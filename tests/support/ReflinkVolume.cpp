#include "support/ReflinkVolume.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace sorvel::test {
namespace {

constexpr int kNoVolume = 77;

std::string mkfsXfs() {
    for (const char* path : {"/usr/sbin/mkfs.xfs", "/sbin/mkfs.xfs", "/usr/bin/mkfs.xfs"})
        if (::access(path, X_OK) == 0) return path;
    return {};
}

} // namespace

VolumeRun inReflinkVolume(const std::function<int(const std::string& mountPoint)>& body) {
    if (::geteuid() != 0) return {-1, "needs root to mount an XFS image"};
    const std::string mkfs = mkfsXfs();
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

    const pid_t child = ::fork();
    if (child < 0) return {-1, "cannot fork"};
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0) ::_exit(kNoVolume);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(kNoVolume);
        if (runCommand({"/bin/mount", "-o", "loop", image, mountPoint}).status != 0) ::_exit(kNoVolume);
        ::_exit(body(mountPoint));
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return {-1, ""};
    if (WEXITSTATUS(status) == kNoVolume) return {-1, "cannot loop-mount in a mount namespace here"};
    return {WEXITSTATUS(status), ""};
}

} // namespace sorvel::test
