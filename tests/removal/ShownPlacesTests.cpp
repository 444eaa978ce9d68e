// Protection follows the user's data wherever it lies: a Trash hidden by a cover over a
// folder above it or over its volume's point is found by its path, and what a mount inside
// a protected place shows is part of that place. Real mounts in a namespace of their own;
// FUSE, which cannot be mounted here, through a hand-made table.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "MountRig.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using test::bindAt;
using test::tmpfsAt;

TEST(ShownPlaces, AProtectedPlaceIsFoundByItsPathAndThroughWhatAMountInItShows) {
    test::Home t;
    const std::string caches = t.h + "/Library/Caches/", trash = t.h + "/.local/share/Trash", disk = t.m + "/disk/";
    const std::string uid = std::to_string(::geteuid()), vol = t.m + "/vol", shared = t.m + "/d/vol";
    test::writeFile(trash + "/files/old/photo.jpg", "trashed, not gone");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\nPath=/x\nDeletionDate=2026-01-01T00:00:00\n");
    test::writeFile(disk + "photos/2024/r.jpg", "only copy");
    for (const auto& d : {caches + "tf", caches + "tb", caches + "vf", caches + "vs", vol, shared, t.m + "/usb",
                          t.pictures + "/phone", t.pictures + "/usb", trash + "/files/k", t.h + "/.config/sorvel/k"})
        test::makeDirs(d);
    const auto trashOn = [&](const std::string& at, const std::string& inner) { // a volume with a trashed item
        test::writeFile(at + inner + "/files/old/photo.jpg", "trashed on a volume");
        return inner.find("/.Trash/") != 0 || ::chmod((at + "/.Trash").c_str(), 01777) == 0;
    };
    const std::string inTrash = "is inside a Trash folder", isTrash = "is a Trash folder";
    const auto place = [&](const std::string& at) { return "protected location (" + tildeAbbreviated(at) + ")"; };
    struct Row {
        const char* name;
        std::function<bool()> mount; // in the child
        std::string folder, item, says;
        Refusal refusal;
        std::string kept, cover; // still there once the cover is gone
    } const rows[] = {
        {"the Trash's files bound, its data folder covered",
         [&] { return bindAt(trash + "/files", caches + "tf") && tmpfsAt(t.h + "/.local/share"); }, caches + "tf",
         caches + "tf/old", inTrash, Refusal::insideTrash(), trash + "/files/old/photo.jpg", t.h + "/.local/share"},
        {"the whole Trash bound, ~/.local covered",
         [&] { return bindAt(trash, caches + "tb") && tmpfsAt(t.h + "/.local"); }, caches + "tb", caches + "tb/info",
         isTrash, Refusal::insideTrash(), trash + "/info/old.trashinfo", t.h + "/.local"},
        {"a volume's own Trash bound, the volume's point covered",
         [&] {
             return tmpfsAt(vol) && trashOn(vol, "/.Trash-" + uid) &&
                    bindAt(vol + "/.Trash-" + uid + "/files", caches + "vf") && tmpfsAt(vol);
         },
         caches + "vf", caches + "vf/old", inTrash, Refusal::insideTrash(),
         vol + "/.Trash-" + uid + "/files/old/photo.jpg", vol},
        {"a volume's shared Trash bound, a folder above the volume covered",
         [&] {
             return tmpfsAt(shared) && trashOn(shared, "/.Trash/" + uid) &&
                    bindAt(shared + "/.Trash/" + uid, caches + "vs") && tmpfsAt(t.m + "/d");
         },
         caches + "vs", caches + "vs/files/old", isTrash, Refusal::insideTrash(),
         shared + "/.Trash/" + uid + "/files/old/photo.jpg", t.m + "/d"},
        {"a folder bound into the pictures", [&] { return bindAt(disk + "photos", t.pictures + "/phone"); },
         disk + "photos", disk + "photos/2024", "is a " + place(t.pictures + "/phone"),
         Refusal::protectedPath(t.pictures + "/phone"), disk + "photos/2024/r.jpg", ""},
        {"a whole file system in the pictures, mounted elsewhere too",
         [&] {
             return tmpfsAt(t.m + "/usb") && trashOn(t.m + "/usb", "/dcim") &&
                    bindAt(t.m + "/usb", t.pictures + "/usb");
         },
         t.m + "/usb/dcim", t.m + "/usb/dcim/files", "is inside a " + place(t.pictures + "/usb"),
         Refusal::protectedPath(t.pictures + "/usb"), t.m + "/usb/dcim/files/old/photo.jpg", ""},
        {"an image file mounted in the pictures",
         [&] {
             test::writeFileOfSize(t.m + "/img/pics.img", 4 << 20);
             return test::runCommand({"/usr/sbin/mkfs.ext4", "-q", "-F", t.m + "/img/pics.img"}).status == 0 &&
                    test::runCommand({"/usr/bin/mount", "-o", "loop", t.m + "/img/pics.img", t.pictures + "/usb"})
                            .status == 0;
         },
         t.m + "/img", t.m + "/img/pics.img", "holds a " + place(t.pictures + "/usb"),
         Refusal::protectedPath(t.pictures + "/usb"), t.m + "/img/pics.img", ""},
        {"a folder bound into the Trash", [&] { return bindAt(disk + "photos", trash + "/files/k"); }, disk + "photos",
         disk + "photos/2024", isTrash, Refusal::insideTrash(), disk + "photos/2024/r.jpg", ""},
        {"a folder bound into the settings folder", [&] { return bindAt(disk + "photos", t.h + "/.config/sorvel/k"); },
         disk + "photos", disk + "photos/2024", "is a " + place(t.h + "/.config/sorvel/k"),
         Refusal::protectedPath(t.h + "/.config/sorvel/k"), disk + "photos/2024/r.jpg", ""},
    };
    int ran = 0;
    for (const auto& row : rows) {
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const int failed = test::refusedEverywhere(row.folder, row.item, row.says, row.refusal);
            const bool kept =
                (row.cover.empty() || ::umount2(row.cover.c_str(), MNT_DETACH) == 0) && test::exists(row.kept);
            if (!kept) std::fprintf(stderr, "failed: %s is gone\n", row.kept.c_str());
            return failed + (kept ? 0 : 1);
        });
        if (status == test::kSkipped) std::fprintf(stderr, "skipped: %s cannot be set up here\n", row.name);
        ran += status != test::kSkipped;
        EXPECT_TRUE(status == 0 || status == test::kSkipped) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(test::readFile(trash + "/files/old/photo.jpg"), "trashed, not gone");
}

// A Trash not made yet (a new user, a volume never trashed into) refuses nothing.
TEST(ShownPlaces, ATrashThatIsNotThereRefusesNothing) {
    test::Home t;
    const std::string data = t.h + "/.local/share", vol = t.m + "/vol";
    test::makeDirs(data + "/app/old");
    test::makeDirs(vol);
    const int status = test::inMountNamespace([&] {
        if (!tmpfsAt(vol)) return test::kSkipped;
        test::makeDirs(vol + "/old/x");
        const auto policy = CleanupPolicy::standard().allowing({data, vol});
        for (const auto& [folder, item] : {std::pair{data, data + "/app/old"}, std::pair{vol, vol + "/old/x"}})
            if (OwnFolder::refusal(folder) || CleanupGuard::check(item, 0, policy, {})) return 1;
        return 0;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
}

// FUSE shows the folder its source names; one naming none (a network share), one in no
// protected place, and a mount in the system's folders (a container's view of the whole
// host disk) add nothing: a folder they do not show, and the caches, still move.
TEST(ShownPlaces, StackedFileSystemsProtectTheLocalFolderTheyName) {
    test::Home t;
    const std::string more = t.m + "/more", other = t.m + "/other", cache = t.h + "/Library/Caches/app/old";
    for (const auto& d : {more + "/x", other + "/old", cache, t.pictures + "/more", t.h + "/GoogleDrive"})
        test::makeDirs(d);
    test::writeFile(t.m + "/zips/a.zip", "the pictures, packed");
    const auto table = parseMountTable(test::readFile("/proc/self/mountinfo"));
    const auto onDisk = test::namedByListing(table, t.m);
    ASSERT_TRUE(onDisk);
    const auto host = std::find_if(table.begin(), table.end(), [&](const MountEntry& m) { return m.id == *onDisk; });
    const std::string hostDisk = std::to_string(major(host->device)) + ":" + std::to_string(minor(host->device));
    // The mount's point, type and source; the item judged, and its folder as an own folder.
    const std::tuple<std::string, std::string, std::string, std::string, std::string, bool> cases[] = {
        {t.pictures + "/more", "fuse.bindfs", more, "0:990", more + "/x", true},
        {t.pictures + "/more", "fuse.bindfs", more, "0:990", other + "/old", false},
        {t.pictures + "/more", "fuse.mergerfs", other + "/none:" + more, "0:990", more + "/x", true},
        {t.pictures + "/more", "fuse.fuse-zip", t.m + "/zips/a.zip", "0:990", t.m + "/zips/a.zip", true},
        {t.pictures + "/more", "fuse.sshfs", "ann@nas:/photos", "0:990", other + "/old", false},
        {t.h + "/GoogleDrive", "fuse.rclone", more, "0:990", more + "/x", false},
        {"/run/host", "ext4", "/dev/sda1", hostDisk, other + "/old", false},
    };
    for (const auto& [point, type, source, device, item, refused] : cases) {
        test::TempDir tables;
        ASSERT_TRUE(test::pretendMount(tables.path(), point, type, source, device)) << point;
        const std::string folder = deletingLastPathComponent(item);
        const auto judged = CleanupGuard::check(item, 0, CleanupPolicy::standard().allowing({folder}), {});
        EXPECT_EQ(OwnFolder::refusal(folder).has_value(), refused) << type << " " << folder;
        EXPECT_EQ(judged, refused ? std::optional(Refusal::protectedPath(t.pictures + "/more")) : std::nullopt) << type;
        EXPECT_EQ(CleanupGuard::check(cache, 0, CleanupPolicy::standard(), {}), std::nullopt) << type;
        setMountTablePath("/proc/self/mountinfo");
        setMountNaming(nullptr);
    }
}
