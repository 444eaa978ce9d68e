// Protection follows the user's data wherever it lies: a Trash hidden by a cover over a
// folder above it or over its volume's point is still found by its path, and a mount
// inside a protected place makes what it shows part of that place. Real mounts in a
// namespace of their own; FUSE, which cannot be mounted here, through a hand-made table.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "MountRig.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using test::bindAt;
using test::tmpfsAt;

namespace {

struct Row {
    const char* name;
    std::function<bool()> mount; // in the child
    std::string folder, item, says;
    Refusal refusal;
    std::string kept;       // still there afterwards,
    std::string cover = {}; // once this is unmounted
};

// Each row refused by the own-folder check, the guard, a dry run and a stored sweep.
void expectRefused(const std::vector<Row>& rows) {
    int ran = 0;
    for (const auto& row : rows) {
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const int failed = test::refusedEverywhere(row.folder, row.item, row.says, row.refusal);
            const bool kept = (row.cover.empty() || ::umount2(row.cover.c_str(), MNT_DETACH) == 0) &&
                              test::exists(row.kept);
            if (!kept) std::fprintf(stderr, "failed: %s is gone\n", row.kept.c_str());
            return failed + (kept ? 0 : 1);
        });
        if (status == test::kSkipped) {
            std::fprintf(stderr, "skipped: %s cannot be set up here\n", row.name);
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}

} // namespace

TEST(ShownPlaces, ATrashIsFoundByItsPathBeneathAnyCover) {
    test::Home t;
    const std::string caches = t.h + "/Library/Caches", trash = t.h + "/.local/share/Trash";
    const std::string uid = std::to_string(::geteuid()), vol = t.m + "/vol", shared = t.m + "/d/vol";
    test::writeFile(trash + "/files/old/photo.jpg", "trashed, not gone");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\nPath=/x\nDeletionDate=2026-01-01T00:00:00\n");
    for (const char* d : {"/tf", "/tb", "/vf", "/vs"}) test::makeDirs(caches + d);
    test::makeDirs(vol);
    test::makeDirs(shared);
    const auto onVolume = [&](const std::string& at, const std::string& inner) {
        if (!tmpfsAt(at)) return false;
        test::writeFile(at + inner + "/files/old/photo.jpg", "trashed on a volume");
        if (inner.starts_with("/.Trash/")) ::chmod((at + "/.Trash").c_str(), 01777);
        return true;
    };
    const std::vector<Row> rows = {
        {"the Trash's files, its data folder covered",
         [&] { return bindAt(trash + "/files", caches + "/tf") && tmpfsAt(t.h + "/.local/share"); }, caches + "/tf",
         caches + "/tf/old", "is inside a Trash folder", Refusal::insideTrash(), trash + "/files/old/photo.jpg", t.h + "/.local/share"},
        {"the whole Trash, ~/.local covered",
         [&] { return bindAt(trash, caches + "/tb") && tmpfsAt(t.h + "/.local"); }, caches + "/tb", caches + "/tb/info",
         "is a Trash folder", Refusal::insideTrash(), trash + "/info/old.trashinfo", t.h + "/.local"},
        {"a volume's own Trash, the volume's point covered",
         [&] { return onVolume(vol, "/.Trash-" + uid) && bindAt(vol + "/.Trash-" + uid + "/files", caches + "/vf") &&
                      tmpfsAt(vol); },
         caches + "/vf", caches + "/vf/old", "is inside a Trash folder", Refusal::insideTrash(), vol + "/.Trash-" + uid + "/files/old/photo.jpg", vol},
        {"a volume's shared Trash, a folder above the volume covered",
         [&] { return onVolume(shared, "/.Trash/" + uid) && bindAt(shared + "/.Trash/" + uid, caches + "/vs") &&
                      tmpfsAt(t.m + "/d"); },
         caches + "/vs", caches + "/vs/files/old", "is a Trash folder", Refusal::insideTrash(), shared + "/.Trash/" + uid + "/files/old/photo.jpg", t.m + "/d"},
    };
    expectRefused(rows);
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

TEST(ShownPlaces, WhatAMountInAProtectedPlaceShowsIsProtectedWhereItLies) {
    test::Home t;
    const std::string disk = t.m + "/disk", trash = t.h + "/.local/share/Trash", store = t.h + "/.config/sorvel";
    test::writeFile(disk + "/photos/2024/r.jpg", "only copy");
    test::writeFile(disk + "/kept/notes.txt", "only copy");
    test::makeDirs(disk + "/other/old");
    for (const auto& d : {t.pictures + "/phone", t.pictures + "/usb", trash + "/files/k", store + "/k", t.m + "/usb"})
        test::makeDirs(d);
    const auto asPlace = [&](const std::string& at) { return "is a protected location (" + tildeAbbreviated(at) + ")"; };
    const std::vector<Row> rows = {
        {"a folder bound into the pictures", [&] { return bindAt(disk + "/photos", t.pictures + "/phone"); },
         disk + "/photos", disk + "/photos/2024", asPlace(t.pictures + "/phone"),
         Refusal::protectedPath(t.pictures + "/phone"), disk + "/photos/2024/r.jpg"},
        {"a whole file system mounted in the pictures, also mounted elsewhere",
         [&] {
             return tmpfsAt(t.m + "/usb") && (test::writeFile(t.m + "/usb/dcim/a.jpg", "x"), true) &&
                    bindAt(t.m + "/usb", t.pictures + "/usb");
         },
         t.m + "/usb/dcim", t.m + "/usb/dcim/a.jpg", "is inside a protected location (" + tildeAbbreviated(t.pictures + "/usb"),
         Refusal::protectedPath(t.pictures + "/usb"), t.m + "/usb/dcim/a.jpg"},
        {"a folder bound into the Trash", [&] { return bindAt(disk + "/kept", trash + "/files/k"); }, disk + "/kept",
         disk + "/kept/notes.txt", "is a Trash folder", Refusal::insideTrash(), disk + "/kept/notes.txt"},
        {"a folder bound into the settings folder", [&] { return bindAt(disk + "/kept", store + "/k"); },
         disk + "/kept", disk + "/kept/notes.txt", asPlace(store + "/k"), Refusal::protectedPath(store + "/k"),
         disk + "/kept/notes.txt"},
    };
    expectRefused(rows);
    // What no protected place shows still moves, on the same disk.
    const int status = test::inMountNamespace([&] {
        if (!bindAt(disk + "/photos", t.pictures + "/phone")) return test::kSkipped;
        return OwnFolder::refusal(disk + "/other") ||
                       CleanupGuard::check(disk + "/other/old", 0, CleanupPolicy::standard().allowing({disk + "/other"}), {})
                   ? 1
                   : 0;
    });
    if (status != test::kSkipped) {
        EXPECT_EQ(status, 0);
    }
}

// FUSE shows the folder its source names; one naming none (a network share, a phone), and
// mounts in the system's own folders (a container's view of the whole host disk), add
// nothing: what they hold elsewhere still moves.
TEST(ShownPlaces, StackedFileSystemsProtectTheLocalFolderTheyName) {
    test::Home t;
    const std::string more = t.m + "/more", other = t.m + "/other/old", cache = t.h + "/Library/Caches/app/old";
    for (const auto& d : {more + "/x", other, cache, t.pictures + "/more", t.h + "/GoogleDrive", t.m + "/host"})
        test::makeDirs(d);
    // The file system these folders are on, as if a container's view of the host showed it whole.
    const auto table = parseMountTable(test::readFile("/proc/self/mountinfo"));
    const auto onDisk = test::namedByListing(table, t.m);
    ASSERT_TRUE(onDisk);
    const auto disk = std::find_if(table.begin(), table.end(), [&](const MountEntry& m) { return m.id == *onDisk; });
    const std::string hostDisk = std::to_string(major(disk->device)) + ":" + std::to_string(minor(disk->device));
    struct Case {
        std::string point, type, source, device, folder;
        bool refused;
    };
    const Case cases[] = {
        {t.pictures + "/more", "fuse.bindfs", more, "0:990", more, true},
        {t.pictures + "/more", "fuse.bindfs", more, "0:990", t.m + "/other", false},
        {t.pictures + "/more", "fuse.sshfs", "ann@nas:/photos", "0:990", t.m + "/other", false},
        {t.h + "/GoogleDrive", "fuse.rclone", more, "0:990", more, false},
        {"/run/host", "ext4", "/dev/sda1", hostDisk, t.m + "/other", false},
    };
    for (const auto& c : cases) {
        test::TempDir tables;
        ASSERT_TRUE(test::pretendMount(tables.path(), c.point, c.type, c.source, c.device)) << c.point;
        const auto reason = OwnFolder::refusal(c.folder);
        const auto item = c.folder == more ? more + "/x" : other;
        const auto judged = CleanupGuard::check(item, 0, CleanupPolicy::standard().allowing({c.folder}), {});
        EXPECT_EQ(reason.has_value(), c.refused) << c.type << " " << c.folder << ": " << reason.value_or("accepted");
        EXPECT_EQ(judged.has_value(), c.refused) << c.type << " " << item;
        if (c.refused) {
            EXPECT_EQ(judged, std::optional(Refusal::protectedPath(t.pictures + "/more")));
        }
        EXPECT_EQ(CleanupGuard::check(cache, 0, CleanupPolicy::standard(), {}), std::nullopt) << c.type;
        setMountTablePath("/proc/self/mountinfo");
        setMountNaming(nullptr);
    }
}
