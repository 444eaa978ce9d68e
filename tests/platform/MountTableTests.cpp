// Reading the kernel's list of mounts: escaped names, optional fields, and which mount
// holds a path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/MountTable.h"

using namespace sorvel;

TEST(MountTable, ParsesTheKernelsLinesAndSkipsBrokenOnes) {
    const std::string text =
        "22 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "30 22 0:27 / /dev/shm rw,nosuid,nodev shared:4 master:2 - tmpfs tmpfs rw\n"
        "31 22 8:17 / /media/u/My\\040Disk rw - vfat /dev/sdb1 rw\n"
        "32 22 8:18 /sub /home rw - ext4 /dev/sdb2 rw\n"
        "garbage line\n"
        "33 22 x:y / /bad rw - ext4 /dev/x rw\n"
        "34 22 0:50 / /no-separator rw ext4\n";
    const auto mounts = parseMountTable(text);
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[0].device, makedev(254, 0));
    EXPECT_EQ(mounts[1].fsType, "tmpfs");
    EXPECT_EQ(mounts[1].device, makedev(0, 27));
    EXPECT_EQ(mounts[2].mountPoint, "/media/u/My Disk");
    EXPECT_EQ(mounts[3].mountPoint, "/home");

    const std::vector<std::pair<std::string, std::string>> holders = {
        {"/home/u/file", "/home"},        {"/home", "/home"},      {"/homework", "/"},
        {"/media/u/My Disk/a", "/media/u/My Disk"}, {"/dev/shm/x", "/dev/shm"}, {"/etc", "/"},
    };
    for (const auto& [path, holder] : holders) {
        const auto mount = mountContaining(mounts, path);
        ASSERT_TRUE(mount) << path;
        EXPECT_EQ(mount->mountPoint, holder) << path;
    }
    EXPECT_FALSE(mountContaining(mounts, "relative"));
    // A later mount on the same place covers the earlier one.
    auto stacked = mounts;
    stacked.push_back({"/home", "tmpfs", 99});
    EXPECT_EQ(mountContaining(stacked, "/home/u")->fsType, "tmpfs");
}

TEST(MountTable, TheLiveTableHoldsTheRoot) {
    const auto mounts = readMountTable();
    if (mounts.empty()) GTEST_SKIP() << "/proc/self/mountinfo cannot be read here";
    const auto root = mountContaining(mounts, "/");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->mountPoint, "/");
}
