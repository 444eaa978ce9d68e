// A home on a file system that shows other folders' contents: an overlay whose layers
// cannot be confirmed, FUSE, ecryptfs. The folders behind it are the home's, and while
// they cannot all be found, nothing off the home's file system moves. Overlays are real
// mounts in a namespace of their own; FUSE and ecryptfs, which cannot be mounted here,
// are lines added to a copy of the real table.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <functional>

#include "MountRig.h"
#include "support/MountNaming.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

bool overlayAt(const std::string& at, const std::string& lower, const std::string& upper, const std::string& work) {
    const std::string options = "lowerdir=" + lower + ",upperdir=" + upper + ",workdir=" + work;
    return ::mount("overlay", at.c_str(), "overlay", 0, options.c_str()) == 0;
}

// The same layers given as descriptors of detached clones: the table shows "lowerdir+=/".
bool overlayFromDescriptors(const std::string& at, const std::string& real) {
    const int clone = ::open_tree(AT_FDCWD, real.c_str(), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
    const int fs = ::fsopen("overlay", FSOPEN_CLOEXEC);
    const auto layer = [&](const char* key, const char* name) {
        const int fd = ::openat(clone, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
        return fd >= 0 && ::fsconfig(fs, FSCONFIG_SET_FD, key, nullptr, fd) == 0;
    };
    const bool given = clone >= 0 && fs >= 0 && layer("lowerdir+", "low") && layer("upperdir", "up") &&
                       layer("workdir", "work") && ::fsconfig(fs, FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) == 0;
    const int made = given ? ::fsmount(fs, FSMOUNT_CLOEXEC, 0) : -1;
    return made >= 0 && ::move_mount(made, "", AT_FDCWD, at.c_str(), MOVE_MOUNT_F_EMPTY_PATH) == 0;
}

std::string overlayFence(const std::string& point) {
    return "outside the overlay your home folder is on (mounted at " + point +
           "), whose layers Sorvel cannot confirm: where your protected locations lie on disk could not be worked out";
}

} // namespace

TEST(StackedHomes, WhatLiesBehindTheHomeIsTheHomesAndNothingOffItMoves) {
    test::Home t;
    // Each overlay row has layers of its own: a row moves them away.
    const auto R = [&](int row) { return t.m + "/real" + std::to_string(row); };
    const std::string ov = t.m + "/ov", b = t.m + "/b", tables = t.m + "/tables", ovHome = ov + "/h";
    const std::string photo = "/h/Pictures/album/b.jpg", blob = "/h/Library/Caches/app/blob";
    for (int row = 0; row < 4; ++row) {
        for (const auto& layer : {R(row) + "/up", R(row) + "/low", R(row) + "/l2up/base"}) {
            test::writeFileOfSize(layer + blob, 4096);
            test::writeFile(layer + photo, "only copy");
        }
        for (const char* d : {"/work", "/l2low", "/l2work", "/ov2"}) test::makeDirs(R(row) + d);
    }
    for (const auto& d : {ov, tables, b + "/other/old", b + "/fhome/h/Pictures", b + "/ehome/h/Pictures",
                          b + "/.Private/ECRYPTFS_FNEK_ENCRYPTED.FWa/x"})
        test::makeDirs(d);
    for (const char* home : {"/real/h", "/fhome/h", "/ehome/h"}) test::writeFileOfSize(b + home + blob.substr(2), 4096);
    test::writeFile(b + "/real" + photo, "only copy");
    const auto moved = [&](int row, const char* from, const char* to) {
        return ::rename((R(row) + from).c_str(), (R(row) + to).c_str()) == 0;
    };
    const auto layered = [&](int row, const std::string& lower) {
        return overlayAt(ov, R(row) + lower, R(row) + "/up", R(row) + "/work");
    };
    const std::string outside = "is outside the overlay your home folder is on";
    const auto fenced = Refusal::backingUnconfirmed(overlayFence(ov));
    const std::string bindfs = "outside the fuse.bindfs file system your home folder is on (mounted at " + b +
                               "/fhome), which shows another folder's contents: where your protected locations lie "
                               "on disk could not be worked out";
    const auto onBindfs = [&] { return test::pretendMount(tables, b + "/fhome", "fuse.bindfs", b + "/real"); };
    struct Row {
        const char* name;
        std::function<bool()> stack; // in the child
        std::string home, folder, item, says;
        Refusal refusal;
        bool cachePasses = true; // an overlay with a layer gone refuses its own folders too
    };
    const Row rows[] = {
        {"overlay, layers given as descriptors", [&] { return overlayFromDescriptors(ov, R(0)); }, ovHome,
         R(0) + "/up/h/Pictures", R(0) + "/up" + photo, outside, fenced, false},
        {"overlay, upper moved away", [&] { return layered(1, "/low") && moved(1, "/up", "/up-moved"); }, ovHome,
         R(1) + "/up-moved/h/Pictures", R(1) + "/up-moved" + photo, outside, fenced, false},
        {"overlay, lower moved away", [&] { return layered(2, "/low") && moved(2, "/low", "/low-moved"); }, ovHome,
         R(2) + "/low-moved/h/Pictures", R(2) + "/low-moved" + photo, outside, fenced, false},
        {"overlay on a lower inside a second overlay, its upper moved",
         [&] {
             return overlayAt(R(3) + "/ov2", R(3) + "/l2low", R(3) + "/l2up", R(3) + "/l2work") &&
                    layered(3, "/ov2/base") && moved(3, "/l2up", "/l2up-moved");
         },
         ovHome, R(3) + "/l2up-moved/base/h/Pictures", R(3) + "/l2up-moved/base" + photo, outside, fenced, false},
        {"bindfs: the pictures it shows", onBindfs, b + "/fhome/h", b + "/real/h/Pictures", b + "/real" + photo,
         "is a protected location (~/Pictures)", Refusal::protectedPath(b + "/fhome/h/Pictures")},
        {"bindfs: the whole home it shows", onBindfs, b + "/fhome/h", b + "/real/h", b + "/real" + blob,
         "is your home folder", Refusal::protectedPath(b + "/fhome/h")},
        {"bindfs: beside the folder it shows", onBindfs, b + "/fhome/h", b + "/other", b + "/other/old",
         "is outside the fuse.bindfs file system your home folder is on", Refusal::backingUnconfirmed(bindfs)},
        {"ecryptfs: names of its own", [&] { return test::pretendMount(tables, b + "/ehome", "ecryptfs", b + "/.Private"); },
         b + "/ehome/h", b + "/.Private/ECRYPTFS_FNEK_ENCRYPTED.FWa", b + "/.Private/ECRYPTFS_FNEK_ENCRYPTED.FWa/x",
         "is inside a protected location (~)", Refusal::protectedPath(b + "/ehome/h")},
    };
    int ran = 0;
    std::string notRun; // rows that could not be set up here: the test is then a skip
    for (const auto& row : rows) {
        const std::string& folder = row.folder;
        const int status = test::inMountNamespace([&] {
            if (!row.stack()) return test::kSkipped;
            ::setenv("HOME", row.home.c_str(), 1);
            const auto reason = OwnFolder::refusal(folder).value_or("accepted");
            const auto judged = CleanupGuard::check(row.item, 0, CleanupPolicy::standard().allowing({folder}), {});
            // The home's own folders are judged as before.
            const auto cache = CleanupGuard::check(row.home + "/Library/Caches/app", 0, CleanupPolicy::standard(), {});
            if (reason.find(row.says) != std::string::npos && judged == row.refusal && (!cache || !row.cachePasses))
                return 0;
            std::fprintf(stderr, "failed: %s: %s; %s: %s; the home's cache: %s\n", folder.c_str(), reason.c_str(),
                         row.item.c_str(), judged ? judged->description().c_str() : "passed",
                         cache ? cache->description().c_str() : "passed");
            return 1;
        });
        if (status == test::kSkipped) {
            notRun += std::string(row.name) + "; ";
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount an overlay in a mount namespace here (needs root and unshare)";
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here (cannot be set up): " << notRun;
}
