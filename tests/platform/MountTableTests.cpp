// Reading the mount table: the kernel's escapes, optional fields, devices, malformed
// lines, and the kinds of file system that hold a disk's data.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include "platform/MountTable.h"

using namespace sorvel;

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

