// Reading the mount table: the kernel's escapes, optional fields, devices and the kinds
// of file system that hold a disk's data.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/MountTable.h"

using namespace sorvel;

TEST(MountTableParsing, LinesBecomeEntriesInOrder) {
    struct Case {
        const char* line;
        std::string mountPoint;
        std::string fsType;
        unsigned major, minor;
    };
    const Case cases[] = {
        {"27 1 254:0 / / rw,relatime - ext4 /dev/vda rw", "/", "ext4", 254, 0},
        // Optional fields before the separator, several of them.
        {"31 27 8:17 / /home rw shared:1 master:2 - btrfs /dev/sdb1 rw,subvol=/@home", "/home", "btrfs", 8, 17},
        // Space, tab, newline and backslash are written as octal escapes.
        {"40 27 0:50 /a /mnt/My\\040Disk rw - vfat /dev/sdc1 rw", "/mnt/My Disk", "vfat", 0, 50},
        {"41 27 0:51 / /mnt/tab\\011new\\012back\\134slash rw - tmpfs tmpfs rw", "/mnt/tab\tnew\nback\\slash",
         "tmpfs", 0, 51},
        // A backslash that starts no escape stays as it is.
        {"42 27 0:52 / /mnt/odd\\9x rw - fuse.sshfs host:/ rw", "/mnt/odd\\9x", "fuse.sshfs", 0, 52},
        // Large device numbers keep both halves.
        {"43 27 259:1048575 / /data rw - xfs /dev/nvme0n1p3 rw", "/data", "xfs", 259, 1048575},
    };
    for (const auto& c : cases) {
        const auto entries = parseMountTable(c.line);
        ASSERT_EQ(entries.size(), 1u) << c.line;
        EXPECT_EQ(entries[0].mountPoint, c.mountPoint) << c.line;
        EXPECT_EQ(entries[0].fsType, c.fsType) << c.line;
        EXPECT_EQ(entries[0].device, static_cast<uint64_t>(makedev(c.major, c.minor))) << c.line;
    }
}

TEST(MountTableParsing, MalformedLinesAreSkippedAndTheRestKept) {
    const std::string text = "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                             "\n"
                             "garbage\n"
                             "28 27 0:25 / /no/separator rw shared:1 ext4 /dev/x rw\n"
                             "29 27 0:26 / /nothing/after rw -\n"
                             "30 27 zero:26 / /bad/device rw - ext4 /dev/x rw\n"
                             "31 27 0:26x / /bad/minor rw - ext4 /dev/x rw\n"
                             "32 27 0:27 / relative rw - ext4 /dev/x rw\n"
                             "33 27 0:28 / /dev/shm rw,relatime - tmpfs tmpfs rw"; // no final line break
    const auto entries = parseMountTable(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].mountPoint, "/");
    EXPECT_EQ(entries[1].mountPoint, "/dev/shm");
    EXPECT_TRUE(parseMountTable("").empty());
}

TEST(MountTableParsing, LocalDisksAreToldApartFromPseudoMemoryAndNetworkOnes) {
    for (const char* local : {"ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "vfat", "exfat", "ntfs", "ntfs3", "zfs",
                              "jfs", "reiserfs", "hfsplus", "fuseblk"})
        EXPECT_TRUE(isLocalDiskFileSystem(local)) << local;
    for (const char* other : {"proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "cgroup", "cgroup2", "overlay", "nfs",
                              "nfs4", "cifs", "smb3", "fuse", "fuse.sshfs", "fuse.gvfsd-fuse", "autofs", "squashfs",
                              "ramfs", "debugfs", "", "EXT4", "ext4 "})
        EXPECT_FALSE(isLocalDiskFileSystem(other)) << other;
}

TEST(MountTableReading, ThisProcessSeesItsRootMount) {
    struct stat st {};
    if (::stat("/proc/self/mountinfo", &st) != 0) GTEST_SKIP() << "no /proc/self/mountinfo here";
    const auto entries = readMountTable();
    ASSERT_FALSE(entries.empty());
    bool root = false;
    for (const auto& e : entries) root = root || e.mountPoint == "/";
    EXPECT_TRUE(root);
}
