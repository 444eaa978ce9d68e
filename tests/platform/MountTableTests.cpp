// Reading the mount table: the kernel's escapes, optional fields, devices, malformed
// lines, and the kinds of file system that hold a disk's data.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/MountTable.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace sorvel {
void PrintTo(const FileSystemPlace& p, std::ostream* os) { *os << p.device << ":" << p.path << " (" << p.fsType << ")"; }
} // namespace sorvel

TEST(MountTableParsing, LinesBecomeEntriesAndMalformedOnesAreSkipped) {
    struct Case {
        const char* line;
        std::optional<MountEntry> entry;
    };
    const Case cases[] = {
        {"27 1 254:0 / / rw,relatime - ext4 /dev/vda rw", MountEntry{"/", "ext4", makedev(254, 0), "/", {"rw"}}},
        {"31 27 8:17 / /home rw shared:1 master:2 - btrfs /dev/sdb1 rw", MountEntry{"/home", "btrfs", makedev(8, 17), "/", {"rw"}}},
        // Space, tab, newline and backslash come as octal escapes; a lone backslash stays.
        {"40 27 0:50 / /mnt/My\\040Disk\\011\\012\\134 rw - vfat /dev/sdc1 rw",
         MountEntry{"/mnt/My Disk\t\n\\", "vfat", makedev(0, 50), "/", {"rw"}}},
        {"42 27 0:52 / /mnt/odd\\9x rw - fuse.sshfs host:/ rw", MountEntry{"/mnt/odd\\9x", "fuse.sshfs", makedev(0, 52), "/", {"rw"}}},
        {"43 27 259:1048575 / /data rw - xfs /dev/nvme0n1p3 rw", MountEntry{"/data", "xfs", makedev(259, 1048575), "/", {"rw"}}},
        // A bind mount's root is the folder it shows; options split on plain commas only.
        {"44 27 8:1 /home/ann/My\\0402024 /mnt/p24 rw - overlay none rw,lowerdir=/a\\054b:/c,xino=off",
         MountEntry{"/mnt/p24", "overlay", makedev(8, 1), "/home/ann/My 2024", {"rw", "lowerdir=/a,b:/c", "xino=off"}}},
        {"45 27 8:1 relative /mnt/x rw - ext4 /dev/sda1 rw", std::nullopt},
        {"garbage", std::nullopt},
        {"28 27 0:25 / /no/separator rw shared:1 ext4 /dev/x rw", std::nullopt},
        {"29 27 0:26 / /nothing/after rw -", std::nullopt},
        {"30 27 zero:26 / /bad/device rw - ext4 /dev/x rw", std::nullopt},
        {"31 27 0:26x / /bad/minor rw - ext4 /dev/x rw", std::nullopt},
        {"32 27 0:27 / relative rw - ext4 /dev/x rw", std::nullopt},
    };
    std::string all;
    std::vector<MountEntry> expected;
    for (const auto& c : cases) {
        const auto entries = parseMountTable(c.line);
        EXPECT_EQ(entries, c.entry ? std::vector<MountEntry>{*c.entry} : std::vector<MountEntry>{}) << c.line;
        all += std::string(c.line) + "\n\n";
        if (c.entry) expected.push_back(*c.entry);
    }
    EXPECT_EQ(parseMountTable(all), expected);
}

TEST(MountTableParsing, LocalDisksAreToldApartFromPseudoMemoryAndNetworkOnes) {
    for (const char* local : {"ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "vfat", "exfat", "ntfs", "ntfs3", "zfs",
                              "jfs", "reiserfs", "hfsplus", "fuseblk"})
        EXPECT_TRUE(isLocalDiskFileSystem(local)) << local;
    for (const char* other : {"proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "cgroup", "cgroup2", "overlay", "nfs",
                              "nfs4", "cifs", "smb3", "fuse", "fuse.sshfs", "autofs", "squashfs", "", "EXT4"})
        EXPECT_FALSE(isLocalDiskFileSystem(other)) << other;
}

// Below a bind mount's root, and through an overlay's layers; none where unknown.
TEST(MountTablePlaces, APathLiesBelowItsMountsRootAndAnOverlaysLayers) {
    test::TempDir dir;
    for (const char* d : {"upper", "lower", "loop"}) test::makeDirs(dir / d);
    const std::string u = resolvingExistingPart(dir / "upper"), l = resolvingExistingPart(dir / "lower"),
                      loop = resolvingExistingPart(dir / "loop");
    const auto disk = makedev(8, 1);
    const auto table = parseMountTable("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                       "2 1 8:1 /home/ann/Pictures/2024 /mnt/p24 rw - ext4 /dev/sda1 rw\n"
                                       "3 1 0:40 / /mnt/ov rw - overlay none rw,lowerdir=" + l + ",upperdir=" + u + "\n"
                                       "4 1 0:41 / /mnt/rel rw - overlay none rw,lowerdir=rel/dir\n"
                                       "5 1 0:42 / /mnt/gone rw - overlay none rw,lowerdir=/no/such/layer:" + l + "\n"
                                       "6 1 0:43 / " + loop + " rw - overlay none rw,upperdir=" + loop + "\n");
    using Places = std::vector<FileSystemPlace>;
    const std::pair<std::string, std::optional<Places>> cases[] = {
        {"/home/ann/x", Places{{disk, "/home/ann/x", "ext4"}}},
        {"/mnt/p24", Places{{disk, "/home/ann/Pictures/2024", "ext4"}}},
        {"/mnt/p24/trip", Places{{disk, "/home/ann/Pictures/2024/trip", "ext4"}}},
        {"/mnt/p24x", Places{{disk, "/mnt/p24x", "ext4"}}},
        {"/mnt/ov/album", Places{{makedev(0, 40), "/album", "overlay"}, {disk, u + "/album", "ext4"},
                                 {disk, l + "/album", "ext4"}}},
        {"/mnt/gone/x", Places{{makedev(0, 42), "/x", "overlay"}, {disk, l + "/x", "ext4"}}}, // unreachable layer left out
        {"/mnt/rel/x", std::nullopt},   // a layer that is no full path
        {loop + "/x", std::nullopt},     // layers without end
        {"relative", std::nullopt},
    };
    for (const auto& [path, places] : cases) EXPECT_EQ(fileSystemPlaces(table, path), places) << path;
    EXPECT_EQ(fileSystemPlaces({}, "/home"), std::nullopt); // no mount holds it
}

// Paths on FUSE, network and shared folders cannot be trusted to be what they show.
TEST(MountTablePlaces, OnlyFileSystemsWhosePathsCanBeTrustedAreUnderstood) {
    for (const char* type : {"ext4", "btrfs", "fuseblk", "tmpfs", "overlay"})
        EXPECT_TRUE(isUnderstoodFileSystem(type)) << type;
    for (const char* type : {"fuse", "fuse.bindfs", "nfs4", "cifs", "9p", "virtiofs", ""})
        EXPECT_FALSE(isUnderstoodFileSystem(type)) << type;
}

TEST(MountTablePlaces, TheExistingPartOfAPathIsResolvedTheRestKept) {
    test::TempDir dir;
    test::makeDirs(dir / "real/inner");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    const std::string real = resolvingExistingPart(dir / "real");
    for (const char* rest : {"/inner", "/missing/deeper"})
        EXPECT_EQ(resolvingExistingPart(dir / "link" + rest), real + rest);
    for (const char* kept : {"/", "relative"}) EXPECT_EQ(resolvingExistingPart(kept), kept);
}
