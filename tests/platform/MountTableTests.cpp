// Reading the mount table: the kernel's escapes, optional fields, devices, malformed
// lines, the kinds of file system that hold a disk's data, which mount shows at a point,
// and which overlay layers can be taken at their word.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>

#include "platform/MountTable.h"
#include "support/MountNaming.h"
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
        {"27 1 254:0 / / rw,relatime - ext4 /dev/vda rw", MountEntry{"/", "ext4", makedev(254, 0), "/", {"rw"}, 27, 1, "/dev/vda"}},
        {"31 27 8:17 / /home rw shared:1 master:2 - btrfs /dev/sdb1 rw", MountEntry{"/home", "btrfs", makedev(8, 17), "/", {"rw"}, 31, 27, "/dev/sdb1"}},
        // Space, tab, newline and backslash come as octal escapes; a lone backslash stays.
        {"40 27 0:50 / /mnt/My\\040Disk\\011\\012\\134 rw - vfat /dev/sdc1 rw",
         MountEntry{"/mnt/My Disk\t\n\\", "vfat", makedev(0, 50), "/", {"rw"}, 40, 27, "/dev/sdc1"}},
        {"42 27 0:52 / /mnt/odd\\9x rw - fuse.sshfs host:/ rw", MountEntry{"/mnt/odd\\9x", "fuse.sshfs", makedev(0, 52), "/", {"rw"}, 42, 27, "host:/"}},
        {"43 27 259:1048575 / /data rw - xfs /dev/nvme0n1p3 rw", MountEntry{"/data", "xfs", makedev(259, 1048575), "/", {"rw"}, 43, 27, "/dev/nvme0n1p3"}},
        // A bind mount's root is the folder it shows; options split on plain commas only.
        {"44 27 8:1 /home/ann/My\\0402024 /mnt/p24 rw - overlay none rw,lowerdir=/a\\054b:/c,xino=off",
         MountEntry{"/mnt/p24", "overlay", makedev(8, 1), "/home/ann/My 2024", {"rw", "lowerdir=/a,b:/c", "xino=off"}, 44, 27, "none"}},
        // A FUSE file system's source names the folder it shows.
        {"46 27 0:53 / /b/fhome rw - fuse.bindfs /b/My\\040real rw,user_id=0",
         MountEntry{"/b/fhome", "fuse.bindfs", makedev(0, 53), "/", {"rw", "user_id=0"}, 46, 27, "/b/My real"}},
        {"45 27 8:1 relative /mnt/x rw - ext4 /dev/sda1 rw", std::nullopt},
        {"garbage", std::nullopt},
        {"28 27 0:25 / /no/separator rw shared:1 ext4 /dev/x rw", std::nullopt},
        {"29 27 0:26 / /nothing/after rw -", std::nullopt},
        {"30 27 zero:26 / /bad/device rw - ext4 /dev/x rw", std::nullopt},
        {"31 27 0:26x / /bad/minor rw - ext4 /dev/x rw", std::nullopt},
        {"32 27 0:27 / relative rw - ext4 /dev/x rw", std::nullopt},
        {"x33 27 0:27 / /bad/id rw - ext4 /dev/x rw", std::nullopt},
        {"34 -1 0:27 / /bad/parent rw - ext4 /dev/x rw", std::nullopt},
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
    const test::NamedByListing listing(table);
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
    for (const auto& [path, places] : cases) {
        const auto found = fileSystemPlaces(table, path);
        EXPECT_EQ(found ? std::optional(found->places) : std::nullopt, places) << path;
    }
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

// Which of several mounts at one point a path shows is the kernel's to say: the mount it
// names, whatever the stack or the line order; none where it names none the table lists.
TEST(MountTableTop, TheMountTheKernelNamesIsTakenWhateverTheStackOrLineOrder) {
    const auto table = parseMountTable("27 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                       "50 51 8:1 /pics /mnt/x rw - ext4 /dev/sda1 rw\n" // slid beneath 51
                                       "51 27 8:1 /empty /mnt/x rw - ext4 /dev/sda1 rw\n"
                                       "52 27 8:1 /a /mnt/y rw - ext4 /dev/sda1 rw\n");
    const std::tuple<std::optional<int64_t>, const char*, std::optional<std::string>> cases[] = {
        {50, "/mnt/x/trip", "/pics"},
        {51, "/mnt/x/trip", "/empty"},
        {27, "/mnt/x/trip", "/"},          // the whole stack covered: a folder of the root
        {99, "/mnt/x/trip", std::nullopt}, // not listed
        {std::nullopt, "/mnt/x/trip", std::nullopt},
        {52, "/mnt/x/trip", std::nullopt}, // reached through a link: its point does not hold the path
    };
    for (const auto& [named, path, shows] : cases) {
        setMountNaming([named](const std::string&) { return named; });
        const auto mount = mountContaining(table, path);
        EXPECT_EQ(mount ? std::optional<std::string>(mount->root) : std::nullopt, shows) << named.value_or(-1);
    }
    setMountNaming(nullptr);
}

// An overlay's options keep the text given at mount time; the kernel keeps the folder.
TEST(MountTableLayers, ALayerCountsOnlyWhereItsTextStillNamesItsFolderDirectly) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path());
    for (const char* sub : {"/up", "/low"}) test::makeDirs(d + sub);
    ASSERT_EQ(::symlink((d + "/up").c_str(), (d + "/link").c_str()), 0);
    using Kind = LayerDoubt::Kind;
    struct Case {
        std::string point, upper;
        std::optional<Kind> doubt;
    };
    const Case cases[] = {
        {"/", d + "/up", std::nullopt},
        {"/", "/var/lib/containers/none/diff", std::nullopt}, // a container's root: out of reach
        {"/", d + "/link", Kind::indirect},
        {"/mnt/ov", d + "/up", Kind::unconfirmed},
        {"/mnt/ov", d + "/up-renamed-since", Kind::gone},
        {"/mnt/ov", d + "/link", Kind::indirect},
        {"/mnt/ov", d + "/low/../up", Kind::indirect},
        {"/mnt/ov", d + "//up/", Kind::unconfirmed}, // the same folder, written loosely
    };
    for (const auto& c : cases) {
        const bool onRoot = c.point == "/";
        const std::string table = std::string(onRoot ? "20 1 0:40 / / rw - overlay overlay rw,"
                                                     : "20 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                                       "30 20 0:40 / /mnt/ov rw - overlay overlay rw,") +
                                  "lowerdir=" + d + "/low,upperdir=" + c.upper + ",workdir=" + d + "/work\n" +
                                  "21 20 8:2 / " + d + " rw - ext4 /dev/sdb1 rw\n";
        const auto mounts = parseMountTable(table);
        const test::NamedByListing listing(mounts);
        const auto found = fileSystemPlaces(mounts, (onRoot ? "" : c.point) + "/trip");
        ASSERT_TRUE(found) << c.point << " " << c.upper;
        EXPECT_EQ(found->doubt ? std::optional<Kind>(found->doubt->kind) : std::nullopt, c.doubt) << c.upper;
        if (c.doubt) {
            EXPECT_EQ(found->doubt->layer, c.upper); // the upper folder comes first
            EXPECT_EQ(found->doubt->mountPoint, c.point);
        }
        // Where the text names the folder directly, what lies below it there is this path too.
        const bool direct = c.doubt != Kind::gone && c.upper.find("containers") == std::string::npos;
        const FileSystemPlace upper{makedev(8, 2), "/up/trip", "ext4"};
        EXPECT_EQ(std::count(found->places.begin(), found->places.end(), upper), direct ? 1 : 0) << c.upper;
    }
}

// A protected folder is also the folder beneath every mount that covers it or a folder
// above it, down to the root; FUSE shows its source folder, which keeps the names below.
TEST(MountTableBeneath, AFolderIsAlsoWhereItLiesBeneathEachCoverDownToTheRoot) {
    test::TempDir dir;
    const std::string d = resolvingExistingPart(dir.path());
    test::makeDirs(d + "/real/h");
    const auto table = parseMountTable("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                       "2 1 8:2 / /home rw - ext4 /dev/sdb1 rw\n"
                                       "3 2 0:50 / /home/ann/Pictures rw - tmpfs tmpfs rw\n"
                                       "4 3 0:51 / /home/ann/Pictures rw - tmpfs tmpfs rw\n" // stacked on 3
                                       "5 77 0:52 / /mnt/orphan rw - tmpfs tmpfs rw\n"       // its parent not listed
                                       "6 1 0:53 / " + d + "/fhome rw - fuse.bindfs " + d + "/real rw\n");
    const test::NamedByListing listing(table);
    using Places = std::vector<FileSystemPlace>;
    const auto disk = makedev(8, 1), fuse = makedev(0, 53);
    struct Case {
        std::string path;
        Places places;
        std::optional<std::string> hidden = std::nullopt;
        std::vector<std::string> shown = {};
    };
    const Case cases[] = {
        {"/home/ann/Pictures/2024",
         {{makedev(0, 51), "/2024", "tmpfs"}, {makedev(0, 50), "/2024", "tmpfs"},
          {makedev(8, 2), "/ann/Pictures/2024", "ext4"}, {disk, "/home/ann/Pictures/2024", "ext4"}}},
        // Beneath an unlisted parent nothing is known, but the root listed above it held the path once.
        {"/mnt/orphan/x", {{makedev(0, 52), "/x", "tmpfs"}, {disk, "/mnt/orphan/x", "ext4"}}, "/mnt/orphan"},
        {d + "/fhome/h", {{fuse, "/h", "fuse.bindfs"}, {disk, d + "/real/h", "ext4"}, {disk, d + "/fhome/h", "ext4"}},
         std::nullopt, {d + "/real"}},
    };
    for (const auto& c : cases) {
        const auto found = placesOnDisk(table, c.path);
        ASSERT_TRUE(found) << c.path;
        EXPECT_EQ(found->places, c.places) << c.path;
        EXPECT_EQ(found->hiddenBeneath, c.hidden) << c.path;
        EXPECT_EQ(found->shownFolders, c.shown) << c.path;
        EXPECT_EQ(found->doubt && found->doubt->kind == LayerDoubt::Kind::shown, !c.shown.empty()) << c.path;
    }
    // A path being judged is only where it lies now.
    EXPECT_EQ(fileSystemPlaces(table, "/home/ann/Pictures/2024")->places.size(), 1u);
}
