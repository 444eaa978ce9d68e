#include "support/ReflinkVolume.h"

#include <unistd.h>

#include <vector>

#include "support/TestSupport.h"

namespace sorvel::test {

namespace {

// `mkfs` run on a sparse image of `megabytes` with `options`, loop-mounted for the body.
VolumeRun inLoopVolume(const char* tool, const std::string& package, const std::vector<std::string>& options,
                       long long megabytes, const std::function<int(const std::string& mountPoint)>& body) {
    const std::string name = tool;
    if (::geteuid() != 0) return {-1, "needs root to mount a disk image"};
    std::string mkfs;
    for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/"})
        if (mkfs.empty() && ::access((folder + name).c_str(), X_OK) == 0) mkfs = folder + name;
    if (mkfs.empty()) return {-1, name + " is not installed (" + package + "; scripts/bootstrap installs it)"};
    TempDir dir;
    const std::string image = dir / "volume.img";
    const std::string mountPoint = dir / "mnt";
    makeDirs(mountPoint);
    writeFile(image, "");
    if (::truncate(image.c_str(), megabytes << 20) != 0) return {-1, "cannot make the image file"};
    std::vector<std::string> command{mkfs};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(image);
    const auto made = runCommand(command);
    if (made.status != 0) return {-1, name + " failed: " + made.err};
    const int status = inMountNamespace([&] {
        if (runCommand({"/bin/mount", "-o", "loop", image, mountPoint}).status != 0) return kSkipped;
        return body(mountPoint);
    });
    if (status == kSkipped) return {-1, "cannot loop-mount in a mount namespace here"};
    return {status, ""};
}

} // namespace

VolumeRun inReflinkVolume(const std::function<int(const std::string& mountPoint)>& body) {
    // Sparse, and just above the smallest size mkfs.xfs accepts.
    return inLoopVolume("mkfs.xfs", "xfsprogs", {"-q", "-f", "-m", "reflink=1"}, 320, body);
}

VolumeRun inBtrfsVolume(const std::function<int(const std::string& mountPoint)>& body) {
    return inLoopVolume("mkfs.btrfs", "btrfs-progs", {"-q", "-f"}, 256, body);
}

} // namespace sorvel::test
