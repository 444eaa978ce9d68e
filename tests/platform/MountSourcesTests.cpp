// What a mount shows, by what the kernel holds: a disk image by the identity its loop device
// holds, whatever node it was mounted through and wherever it moved since; a FUSE source only
// where its text is confirmed as the mount's root. Real mounts in a namespace of their own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "platform/MountSources.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::optional<MountEntry> mountAt(const std::string& point) {
    for (const auto& m : readMountTable())
        if (m.mountPoint == point) return m; // the last listed: the one on top
    return std::nullopt;
}

// A loop device reading `image`, mounted at `point` through a node of its numbers at `node`;
// detached once unmounted. False where that cannot be done here.
bool mountImageThroughNode(const std::string& image, const std::string& node, const std::string& point) {
    test::writeFileOfSize(image, 4 << 20);
    if (test::runCommand({"/usr/sbin/mkfs.ext4", "-q", "-F", image}).status != 0) return false;
    auto loop = test::runCommand({"/usr/sbin/losetup", "-f", "--show", image});
    if (loop.status != 0) return false;
    while (!loop.out.empty() && loop.out.back() == '\n') loop.out.pop_back();
    struct stat st;
    const bool ok = ::stat(loop.out.c_str(), &st) == 0 && ::mknod(node.c_str(), S_IFBLK | 0600, st.st_rdev) == 0 &&
                    ::mount(node.c_str(), point.c_str(), "ext4", 0, nullptr) == 0;
    test::runCommand({"/usr/sbin/losetup", "-d", loop.out}); // autoclear while mounted
    return ok;
}

bool bindfs(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/bindfs"};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::runCommand(argv).status == 0;
}

} // namespace

TEST(LoopImages, AnImageIsKnownByTheIdentityItsLoopDeviceHolds) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path()), image = d + "/a b.img", point = d + "/point";
    test::makeDirs(point);
    const int status = test::inMountNamespace([&] {
        if (!mountImageThroughNode(image, d + "/node", point)) return test::kSkipped;
        int failed = 0;
        const auto check = [&](bool ok, const char* what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what);
        };
        const auto mount = mountAt(point);
        const auto id = fileIdentity(image, false);
        check(mount && mount->source == d + "/node", "the table names the node it was mounted through");
        const auto found = mount ? loopImagesOf(*mount) : std::vector<LoopImage>{};
        check(found.size() == 1 && found[0].identity == id && found[0].name == image && found[0].nameConfirmed(),
              "the image by its identity and name");
        // Renamed since: the kernel's name follows it; a file put at the old name is not it.
        const std::string moved = d + "/elsewhere.img";
        check(::rename(image.c_str(), moved.c_str()) == 0, "renamed");
        test::writeFile(image, "not the image");
        const auto after = mount ? loopImagesOf(*mount) : std::vector<LoopImage>{};
        check(after.size() == 1 && after[0].identity == id && after[0].name == moved && after[0].nameConfirmed(),
              "the renamed image");
        LoopImage stale = after.empty() ? LoopImage{} : after[0];
        stale.name = image;
        check(!stale.nameConfirmed(), "another file at a name is not the image");
        // Without the right to open the device, the identity is not known: only the name.
        const int unprivileged = test::runAsUnprivileged([&] {
            const auto seen = mount ? loopImagesOf(*mount) : std::vector<LoopImage>{};
            return seen.size() == 1 && !seen[0].identity && !seen[0].nameConfirmed() ? 0 : 1;
        });
        check(unprivileged == 0, "an unprivileged look confirms nothing");
        ::umount2(point.c_str(), MNT_DETACH);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot set up a loop device and mount it here (needs root, losetup)";
    EXPECT_EQ(status, 0);
}

TEST(LoopImages, AMemoryFileSystemReadsNoImage) {
    test::TempDir dir;
    const std::string point = resolvingExistingPart(dir.path());
    const int status = test::inMountNamespace([&] {
        if (::mount("tmpfs", point.c_str(), "tmpfs", 0, "size=1m") != 0) return test::kSkipped;
        const auto mount = mountAt(point);
        return mount && loopImagesOf(*mount).empty() ? 0 : 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
}

TEST(MountSources, NetworkSharesAndDevicesNameNothingLocal) {
    struct Case {
        const char* type;
        const char* source;
        bool nothingLocal;
    } const cases[] = {
        {"fuse.sshfs", "ann@nas:/photos", true},
        {"fuse.rclone", "gdrive:", true},
        {"fuse.jmtpfs", "jmtpfs", true},
        {"fuse.gvfsd-fuse", "gvfsd-fuse", true},
        {"fuse.s3fs", "s3fs", true},
        {"fuse.something", "https://example.invalid/share", true},
        {"fuse.something", "host:/x", true},
        {"fuse.bindfs", "bindfs", false},       // a bare word: the folder is not named
        {"fuse.bindfs", "nas:/photos", false},  // bindfs shows a local folder whatever it is called
        {"fuse.something", "something", false}, // unknown
        {"fuse", "/data/photos", false},
        {"fuse.sshfs", "/data/photos", false}, // a full path is a local folder, whatever the type
        {"ecryptfs", "/home/.Private", false},
    };
    for (const auto& c : cases) {
        MountEntry m;
        m.fsType = c.type;
        m.source = c.source;
        EXPECT_EQ(namesNothingLocal(m), c.nothingLocal) << c.type << " " << c.source;
    }
}

TEST(MountSources, AFuseSourceIsTrustedOnlyWhereItIsTheMountsRoot) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed (apt-get install bindfs fuse3)";
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path());
    struct Row {
        const char* name;
        std::string source;                      // what bindfs is given
        std::function<bool()> after = nullptr;   // done once mounted
        bool confirmed = false;
    };
    const std::string spaced = d + "/My Photos", tabbed = d + "/a\tb", newline = d + "/a\nb", comma = d + "/a,b";
    const Row rows[] = {
        {"a plain folder", d + "/plain", nullptr, true},
        {"a folder named with a space", spaced},
        {"a folder named with a tab", tabbed},
        {"a folder named with a newline", newline},
        {"a folder named with a comma", comma},
        {"renamed since", d + "/renamed", [&] { return ::rename((d + "/renamed").c_str(), (d + "/zz").c_str()) == 0; }},
        {"replaced since",
         d + "/replaced",
         [&] {
             return ::rename((d + "/replaced").c_str(), (d + "/zz2").c_str()) == 0 &&
                    ::mkdir((d + "/replaced").c_str(), 0755) == 0;
         }},
        {"its name covered by a disk since",
         d + "/under/real",
         [&] {
             return ::mount("tmpfs", (d + "/under").c_str(), "tmpfs", 0, "size=1m") == 0 &&
                    ::mkdir((d + "/under/real").c_str(), 0755) == 0;
         }},
    };
    int ran = 0;
    std::string notRun; // rows that could not be set up here: the test is then a skip
    for (const auto& row : rows) {
        const std::string point = d + "/point";
        test::makeDirs(row.source + "/al");
        test::makeDirs(point);
        const int status = test::inMountNamespace([&] {
            std::vector<std::string> args{row.source};
            args.push_back(point);
            if (!bindfs(args)) return test::kSkipped;
            const bool ready = !row.after || row.after();
            const auto mount = mountAt(point);
            const auto source = mount ? confirmedSource(*mount).folder : std::nullopt;
            ::umount2(point.c_str(), MNT_DETACH);
            if (!ready) return 2;
            if (source == (row.confirmed ? std::optional(row.source) : std::nullopt)) return 0;
            std::fprintf(stderr, "failed: %s: the table names \"%s\", confirmed as %s\n", row.name,
                         mount ? mount->source.c_str() : "(no mount)", source ? source->c_str() : "nothing");
            return 1;
        });
        if (status == test::kSkipped) {
            notRun += std::string(row.name) + " (bindfs cannot mount here); ";
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount bindfs in a mount namespace here (needs root, /dev/fuse)";
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here: " << notRun;
}
