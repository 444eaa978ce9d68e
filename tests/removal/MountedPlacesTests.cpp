// Mounts that show a protected place under another path. Real mounts are made in the
// test's own mount namespace; through a mount of a system folder only dry runs are made.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/MountTable.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "removal/MountRig.h"
#include "support/MountNaming.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using Action = SweepSchedule::Action;
using test::Home;
using test::refusedEverywhere;
using test::sweepOnly;

namespace {

constexpr const char* kNoNamespace = "cannot mount in a mount namespace here (needs root and unshare)";

} // namespace

// A bind mount of a folder inside the pictures or of /usr/share (read-only, dry runs only),
// and overlays writing into or showing the pictures: each is the place it shows.
TEST(MountedPlaces, AMountShowingAProtectedPlaceIsThatPlace) {
    Home t;
    test::writeFile(t.pictures + "/2024/trip/beach.jpg", "only copy");
    test::writeFile(t.pictures + "/album/photo.jpg", "only copy");
    std::string entry = "x";
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share", error))
        if (e.is_directory() && !e.is_symlink()) entry = e.path().filename();
    for (const char* d : {"/ov-upper", "/work-a", "/work-b"}) test::makeDirs(t.h + d);
    for (const char* d : {"/p24", "/share", "/ov0", "/ov1", "/plain"}) test::makeDirs(t.m + d);
    const auto pictures = Refusal::protectedPath(t.home.path() + "/Pictures");
    const auto overlay = [&](const std::string& lower, const std::string& upper, const char* work) {
        return "lowerdir=" + lower + ",upperdir=" + upper + ",workdir=" + t.h + work;
    };
    const std::tuple<std::string, const char*, std::string, const char*, std::string, Refusal, Action> cases[] = {
        {t.pictures + "/2024", "/p24", "", "is inside a protected location (~/Pictures)", "trip", pictures, Action::clean},
        {"/usr/share", "/share", "", "is inside a protected location (/usr)", entry, Refusal::protectedPath("/usr"),
         Action::report},
        {"overlay", "/ov0", overlay(t.m + "/plain", t.pictures, "/work-a"), "is a protected location (~/Pictures)",
         "album", pictures, Action::clean},
        {"overlay", "/ov1", overlay(t.pictures, t.h + "/ov-upper", "/work-b"), "is a protected location (~/Pictures)",
         "album", pictures, Action::clean},
    };
    test::TempDir notes;
    const std::string notRun = notes.path() + "/not-run";
    const int status = test::inMountNamespace([&] {
        int mounted = 0, failed = 0;
        std::string skipped;
        const auto check = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        for (const auto& [source, name, options, says, child, refusal, action] : cases) {
            const std::string folder = t.m + name, item = folder + "/" + child;
            const bool ov = !options.empty(), dry = action == Action::report;
            if (::mount(source.c_str(), folder.c_str(), ov ? "overlay" : nullptr, ov ? 0 : MS_BIND | MS_REC,
                        ov ? options.c_str() : nullptr) != 0 ||
                (dry && ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)) {
                skipped += std::string(name) + " (cannot be mounted here); ";
                continue;
            }
            ++mounted;
            const auto reason = OwnFolder::refusal(folder);
            check(reason && reason->find(says) != std::string::npos, folder + ": " + reason.value_or("accepted"));
            const auto policy = CleanupPolicy::standard().allowing({folder});
            check(CleanupGuard::check(item, 0, policy, {}) == refusal, "the guard passed " + item);
            const auto run = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::dryRun, policy, {});
            check(run.size() == 1 && run[0].refusal(), "a dry run would move " + item);
            const auto swept = sweepOnly({folder}, action);
            size_t taken = 0;
            for (const auto& o : swept.outcomes) taken += o.moved() || o.wouldMove();
            check(taken == 0 && swept.receipt.refusedCount == 1 &&
                      swept.receipt.withheldReason.value_or("").find(says) != std::string::npos,
                  "a stored sweep of " + folder);
        }
        if (mounted == 0) return test::kSkipped;
        check(OwnFolder::refusal(t.m).value_or("").find("holds a protected location") != std::string::npos,
              "the folder holding them accepted");
        if (!skipped.empty()) test::writeFile(notRun, skipped);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace;
    EXPECT_EQ(status, 0);
    for (const char* photo : {"/2024/trip/beach.jpg", "/album/photo.jpg"}) EXPECT_TRUE(test::exists(t.pictures + photo));
    EXPECT_FALSE(test::exists(t.pictures + "/2024/.Trash-0"));
    if (test::exists(notRun)) GTEST_SKIP() << "rows not run here: " << test::readFile(notRun);
}

// A FUSE mount may show the pictures under any name: it fails closed, unless the home
// itself lies on one; so does a missing table.
TEST(MountedPlaces, AFileSystemThatIsNotUnderstoodFailsClosed) {
    Home t;
    const std::string remote = t.m + "/remote", cache = t.h + "/Library/Caches/app";
    test::writeFile(remote + "/photos/a.jpg", "maybe the pictures");
    test::writeFileOfSize(cache + "/blob", 10'000);
    test::TempDir tables;
    const test::NamedByListing listing; // the tables below list mounts the kernel never names
    const std::string own = test::readFile("/proc/self/mountinfo");
    const std::string fuse = own + "901 1 0:901 / " + remote + " rw - fuse.bindfs bindfs rw\n";
    test::writeFile(tables / "copy", own);
    test::writeFile(tables / "fuse", fuse);
    test::writeFile(tables / "fuse-home", fuse + "902 1 0:902 / " + t.h + " rw - fuse.sshfs host: rw\n");
    // The overlay the home lies on (a live system's /home) is judged through its own places,
    // but its layers cannot be confirmed: a folder off it may be one of them. An overlay
    // elsewhere may write anywhere.
    for (const char* d : {"/up", "/low", "/work"}) test::makeDirs(t.m + d);
    const auto overlayAt = [&](const std::string& point) {
        return own + "902 1 0:902 / " + point + " rw - overlay overlay rw,lowerdir=" + t.m + "/low,upperdir=" + t.m +
               "/up,workdir=" + t.m + "/work\n";
    };
    test::writeFile(tables / "home overlay", overlayAt(t.h));
    test::writeFile(tables / "overlay", overlayAt(remote));
    const std::string unseen = "is on a file system Sorvel cannot see through (fuse.bindfs)";
    const std::tuple<const char*, std::string, std::optional<Refusal>, std::optional<Refusal>> cases[] = {
        {"copy", "", std::nullopt, std::nullopt},
        {"fuse", unseen, Refusal::placeUnknown("fuse.bindfs"), std::nullopt},
        {"fuse-home", unseen, Refusal::placeUnknown("fuse.bindfs"), std::nullopt}, // the home's own is compared
        {"missing", "where it lies on disk could not be worked out", Refusal::mountsUnknown(), Refusal::mountsUnknown()},
        {"home overlay", "is outside the overlay your home folder is on (mounted at \u201C~\u201D)",
         Refusal::backingUnconfirmed("outside the overlay your home folder is on (mounted at ~), whose layers Sorvel "
                                     "cannot confirm: where your protected locations lie on disk could not be worked out"),
         std::nullopt},
        {"overlay", "whose layers Sorvel cannot confirm", Refusal::layerUnconfirmed(remote), std::nullopt},
    };
    for (const auto& [table, says, item, cached] : cases) {
        setMountTablePath(tables / table);
        const auto reason = OwnFolder::refusal(remote);
        EXPECT_TRUE(says.empty() ? !reason : reason && reason->find(says) != std::string::npos)
            << table << ": " << reason.value_or("accepted");
        const auto policy = CleanupPolicy::standard().allowing({remote});
        EXPECT_EQ(CleanupGuard::check(remote + "/photos", 0, policy, {}), item) << table;
        EXPECT_EQ(CleanupGuard::check(cache, 0, policy, {}), cached) << table;
    }
    setMountTablePath(tables / "fuse");
    // The folder is on a disk and holds the mount: said as it is.
    EXPECT_NE(OwnFolder::refusal(t.m).value_or("").find("holds a mount of a file system Sorvel cannot see through "
                                                        "(fuse.bindfs) at \u201C" + remote + "\u201D"),
              std::string::npos);
    const auto swept = sweepOnly({remote}, Action::clean);
    setMountTablePath("/proc/self/mountinfo");
    EXPECT_EQ(swept.receipt.movedCount, 0);
    EXPECT_NE(swept.receipt.withheldReason.value_or("").find("cannot see through"), std::string::npos);
    EXPECT_TRUE(test::exists(remote + "/photos/a.jpg"));
}

namespace {

// From the kernel's linux/mount.h, which Debian 12's headers predate.
constexpr long kOpenTree = 428, kMoveMount = 429;
constexpr unsigned kOpenTreeClone = 1, kMoveMountEmptyPath = 0x4, kMoveMountBeneath = 0x200;

} // namespace

// What the mountinfo line says of a layer is the text typed at mount time; the kernel kept
// the folder. Renamed, reached through a repointed link, or moved and replaced: refused.
TEST(MountedPlaces, AnOverlayLayerThatCannotBeConfirmedFailsClosed) {
    Home t;
    const std::string projects = t.h + "/Projects";
    for (const char* d : {"/up-a", "/up-b"}) test::writeFile(t.pictures + d + "/album/photo.jpg", "only copy");
    test::writeFile(projects + "/up-d/album/photo.jpg", "only copy");
    ASSERT_EQ(::symlink((t.pictures + "/up-b").c_str(), (projects + "/link").c_str()), 0);
    for (const char* d : {"/ov-a", "/ov-b", "/ov-d", "/plain"}) test::makeDirs(t.m + d);
    for (const char* d : {"/work-a", "/work-b", "/work-d", "/empty"}) test::makeDirs(projects + d);
    const auto overlay = [&](const std::string& upper, const char* point, const char* work) {
        const std::string options = "lowerdir=" + t.m + "/plain,upperdir=" + upper + ",workdir=" + projects + work;
        return ::mount("overlay", (t.m + point).c_str(), "overlay", 0, options.c_str()) == 0;
    };
    const int status = test::inMountNamespace([&] {
        if (!overlay(t.pictures + "/up-a", "/ov-a", "/work-a") || !overlay(projects + "/link", "/ov-b", "/work-b") ||
            !overlay(projects + "/up-d", "/ov-d", "/work-d"))
            return test::kSkipped;
        // Since mounted: the upper renamed; the link repointed at an empty folder; a folder
        // moved into the pictures and another made under its old name.
        if (::rename((t.pictures + "/up-a").c_str(), (t.pictures + "/up-renamed").c_str()) != 0 ||
            ::unlink((projects + "/link").c_str()) != 0 ||
            ::symlink((projects + "/empty").c_str(), (projects + "/link").c_str()) != 0 ||
            ::rename((projects + "/up-d").c_str(), (t.pictures + "/up-d").c_str()) != 0 ||
            ::mkdir((projects + "/up-d").c_str(), 0755) != 0)
            return 100;
        return refusedEverywhere(t.m + "/ov-a", t.m + "/ov-a/album", "is no longer where it was mounted from",
                                 Refusal::layerGone(t.pictures + "/up-a")) +
               refusedEverywhere(t.m + "/ov-b", t.m + "/ov-b/album", "through a link or",
                                 Refusal::layerIndirect(projects + "/link")) +
               refusedEverywhere(t.m + "/ov-d", t.m + "/ov-d/album", "whose layers Sorvel cannot confirm",
                                 Refusal::layerUnconfirmed(t.m + "/ov-d"));
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount an overlay in a mount namespace here (needs root)";
    EXPECT_EQ(status, 0) << "100: the layers could not be moved";
    for (const char* photo : {"/up-renamed", "/up-b", "/up-d"})
        EXPECT_TRUE(test::exists(t.pictures + photo + "/album/photo.jpg")) << photo;
}

// A mount slid beneath another is listed after it: the line order hides which one shows.
TEST(MountedPlaces, TheMountOnTopIsJudgedWhateverTheLineOrder) {
    Home t;
    test::writeFile(t.pictures + "/2024/trip/beach.jpg", "only copy");
    const std::string folder = t.m + "/p24", empty = t.m + "/empty";
    for (const auto& d : {folder, empty}) test::makeDirs(d);
    const int status = test::inMountNamespace([&] {
        if (::mount((t.pictures + "/2024").c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return test::kSkipped;
        const int tree = static_cast<int>(::syscall(kOpenTree, AT_FDCWD, empty.c_str(), kOpenTreeClone | O_CLOEXEC));
        if (tree < 0) return 101;
        if (::syscall(kMoveMount, tree, "", AT_FDCWD, folder.c_str(), kMoveMountEmptyPath | kMoveMountBeneath) != 0)
            return 101;
        ::close(tree);
        const auto mounts = readMountTable();
        std::vector<std::string> roots;
        for (const auto& m : mounts)
            if (m.mountPoint == folder) roots.push_back(m.root);
        if (roots.size() != 2 || roots.back() != empty || !test::exists(folder + "/trip")) return 102;
        return refusedEverywhere(folder, folder + "/trip", "is inside a protected location (~/Pictures)",
                                 Refusal::protectedPath(t.home.path() + "/Pictures"));
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot bind-mount in a mount namespace here (needs root)";
    if (status == 101) GTEST_SKIP() << "this kernel cannot slide a mount beneath another (MOVE_MOUNT_BENEATH, 6.5+)";
    EXPECT_EQ(status, 0) << "102: the table does not list the new mount after the one it carries";
    EXPECT_TRUE(test::exists(t.pictures + "/2024/trip/beach.jpg"));
}

// The trash folders are places by what they are, like the protected ones: a second name
// for one (a bind mount, a link) is that trash, and a sweep of it would take the trashed
// items out of every file manager's view.
TEST(TrashByIdentity, TheTrashUnderAnyNameIsNoOwnFolderAndNothingOfItMoves) {
    Home t;
    const std::string share = t.h + "/.local/share", trash = share + "/Trash", uid = std::to_string(::geteuid());
    const std::string volume = t.m + "/vol", volumeTrash = volume + "/.Trash-" + uid;
    test::writeFile(trash + "/files/old/photo.jpg", "trashed, not gone");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\nPath=/x\nDeletionDate=2026-01-01T00:00:00\n");
    for (const auto& d : {share + "/app", t.h + "/Projects", t.m + "/t", t.m + "/s", volume, t.m + "/vt"})
        test::makeDirs(d);
    ASSERT_EQ(::symlink(trash.c_str(), (t.h + "/Projects/to-trash").c_str()), 0);

    const std::string is = "is a Trash folder (", inside = "is inside a Trash folder (";
    const int status = test::inMountNamespace([&] {
        if (::mount(trash.c_str(), (t.m + "/t").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(share.c_str(), (t.m + "/s").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount("tmpfs", volume.c_str(), "tmpfs", 0, "size=1m") != 0)
            return test::kSkipped;
        test::writeFile(volumeTrash + "/files/x/data", "trashed on that disk");
        if (::mount(volumeTrash.c_str(), (t.m + "/vt").c_str(), nullptr, MS_BIND, nullptr) != 0) return test::kSkipped;
        int failed = 0;
        const auto check = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        const std::pair<std::string, std::string> folders[] = {
            {trash, is},          {trash + "/files", inside}, {t.h + "/Projects/to-trash", is},
            {t.m + "/t", is},     {t.m + "/t/files", inside},   {t.m + "/s/Trash", is},
            {t.m + "/vt", is + volumeTrash}, {share + "/app", ""}, // beside the Trash
            // Holding the Trash: swept, the Trash left alone (below). The data folder holds the
            // keyrings too, which no sweep takes, under either name.
            {volume, ""},         {share, "holds a protected location ("}, {t.m + "/s", "holds a protected location ("},
        };
        for (const auto& [folder, says] : folders) {
            const auto reason = OwnFolder::refusal(folder);
            check(says.empty() ? !reason : reason && reason->find(says) != std::string::npos,
                  folder + ": " + reason.value_or("accepted"));
        }
        for (const auto& [root, item] : {std::pair{t.m + "/t", t.m + "/t/files"}, {t.m + "/s", t.m + "/s/Trash"},
                                         {t.h + "/Projects", t.h + "/Projects/to-trash/files"}}) {
            const auto judged = CleanupGuard::check(item, 0, CleanupPolicy::standard().allowing({root}), {});
            check(judged == Refusal::insideTrash(), item + ": " + (judged ? judged->description() : "passed"));
        }
        check(sweepOnly({t.m + "/t"}, Action::clean).receipt.movedCount == 0, "a stored sweep of the Trash moved");
        test::writeFile(volume + "/app/cache", "cached");
        const auto beside = sweepOnly({volume}, Action::clean).outcomes;
        check(beside.size() == 1 && beside[0].path == volume + "/app" && beside[0].moved(),
              "a sweep beside the Trash did not take its other folder alone");
        check(test::exists(volumeTrash + "/files/x/data"), "a sweep holding the Trash took it");
        check(!test::exists(t.m + "/t/.Trash-" + uid), "a Trash was made inside the Trash");
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readFile(trash + "/files/old/photo.jpg"), "trashed, not gone");
    EXPECT_TRUE(test::exists(trash + "/info/old.trashinfo"));
}

// A tmpfs on box, a second on box/sub, then a bind of the album over box: box/sub/photo.jpg
// is the album's photo now, whatever the second tmpfs's listed point says.
TEST(MountedPlaces, APathUnderACoveredMountIsJudgedWhereItReallyLies) {
    Home t;
    const std::string box = t.h + "/Library/Caches/box", album = t.pictures + "/album";
    test::writeFile(album + "/sub/photo.jpg", "only copy");
    test::makeDirs(box);
    const std::string item = box + "/sub/photo.jpg";
    const int status = test::inMountNamespace([&] {
        if (::mount("tmpfs", box.c_str(), "tmpfs", 0, "size=1m") != 0 || ::mkdir((box + "/sub").c_str(), 0755) != 0 ||
            ::mount("tmpfs", (box + "/sub").c_str(), "tmpfs", 0, "size=1m") != 0 ||
            ::mount(album.c_str(), box.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return test::kSkipped;
        const auto pictures = Refusal::protectedPath(t.home.path() + "/Pictures");
        const auto judged = CleanupGuard::check(item, 0, CleanupPolicy::standard(), {});
        const auto run =
            CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::moveToTrash, CleanupPolicy::standard(), {});
        // Where the trash of the photo's file system is looked for: a missing tail lies there too.
        const auto mount = mountContaining(readMountTable(), item);
        const auto missing = mountContaining(readMountTable(), box + "/sub/missing/deeper");
        const bool ok = judged == pictures && run.size() == 1 && run[0].refusal() && mount &&
                        mount->root.ends_with("/album") && missing == mount;
        if (!ok)
            std::fprintf(stderr, "failed: %s: %s\n", item.c_str(), judged ? judged->description().c_str() : "passed");
        return ok ? 0 : 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readFile(album + "/sub/photo.jpg"), "only copy");
    for (const char* trash : {"/sub/.Trash-0", "/.Trash-0"}) EXPECT_FALSE(test::exists(album + trash)) << trash;
}

// With the home on an overlay, the pictures lie in its upper folder too. Once that folder
// is moved away (or was given as a descriptor, which the table shows as "/"), it cannot be
// found: every own folder off the overlay may be the pictures under another name.
TEST(MountedPlaces, AHomeOnAnOverlayWhoseLayersCannotBeConfirmedRefusesFoldersOffIt) {
    Home t;
    const std::string real = t.m + "/real", up = real + "/up", moved = real + "/up-moved", ov = t.m + "/ov";
    for (const auto& d : {real + "/low", real + "/work", up + "/h/.local/share/Trash/files", up + "/h/Downloads",
                          up + "/h/.local/share/Trash/info", ov, t.m + "/elsewhere", t.m + "/ov-fd"})
        test::makeDirs(d);
    test::writeFile(up + "/h/Pictures/album/photo.jpg", "only copy");
    const std::string outside = "is outside the overlay your home folder is on";
    test::TempDir notes;
    const std::string notRun = notes.path() + "/not-run";
    const int status = test::inMountNamespace([&] {
        const std::string options = "lowerdir=" + real + "/low,upperdir=" + up + ",workdir=" + real + "/work";
        if (::mount("overlay", ov.c_str(), "overlay", 0, options.c_str()) != 0) return test::kSkipped;
        ::setenv("HOME", (ov + "/h").c_str(), 1);
        int failed = 0;
        const auto judge = [&](const std::string& folder, const std::string& says) {
            const auto reason = OwnFolder::refusal(folder);
            if (says.empty() ? !reason : reason && reason->find(says) != std::string::npos) return;
            ++failed, std::fprintf(stderr, "failed: %s: %s\n", folder.c_str(), reason.value_or("accepted").c_str());
        };
        judge(ov + "/h/Downloads", "");        // on the overlay: judged by its places there
        judge(up + "/h/Pictures", "Pictures"); // found through the upper folder
        judge(t.m + "/elsewhere", outside);
        if (::rename(up.c_str(), moved.c_str()) != 0) return 100;
        for (const auto& folder : {moved + "/h/Pictures", moved + "/h/.local/share/Trash", moved})
            judge(folder, outside);
        const auto swept = sweepOnly({moved + "/h/Pictures"}, Action::clean);
        if (swept.receipt.movedCount != 0 ||
            swept.receipt.withheldReason.value_or("").find(outside) == std::string::npos)
            ++failed, std::fprintf(stderr, "failed: a stored sweep of the moved upper folder\n");
        if (!test::exists(ov + "/h/Pictures/album/photo.jpg")) ++failed;

        // The same layers given as descriptors of detached clones: "lowerdir+=/" in the table.
        const int clone = ::open_tree(AT_FDCWD, real.c_str(), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
        const int lower = ::open_tree(AT_FDCWD, (real + "/low").c_str(), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC);
        const int fs = ::fsopen("overlay", FSOPEN_CLOEXEC);
        const auto layer = [&](const char* key, const char* name) {
            const int fd = name ? ::openat(clone, name, O_PATH | O_DIRECTORY | O_CLOEXEC) : lower;
            return fd >= 0 && ::fsconfig(fs, FSCONFIG_SET_FD, key, nullptr, fd) == 0;
        };
        const bool given = clone >= 0 && fs >= 0 && layer("lowerdir+", nullptr) && layer("upperdir", "up-moved") &&
                           layer("workdir", "work") && ::fsconfig(fs, FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) == 0;
        const int made = given ? ::fsmount(fs, FSMOUNT_CLOEXEC, 0) : -1;
        if (made < 0 || ::move_mount(made, "", AT_FDCWD, (t.m + "/ov-fd").c_str(), MOVE_MOUNT_F_EMPTY_PATH) != 0) {
            test::writeFile(notRun, "layers given as descriptors (cannot be mounted here)");
            return failed;
        }
        ::setenv("HOME", (t.m + "/ov-fd/h").c_str(), 1);
        for (const auto& folder : {moved + "/h/Pictures", moved + "/h/.local/share/Trash"}) judge(folder, outside);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount an overlay in a mount namespace here (needs root)";
    EXPECT_EQ(status, 0) << "100: the upper folder could not be moved";
    EXPECT_TRUE(test::exists(up + "/h/Pictures/album/photo.jpg") ||
                test::exists(moved + "/h/Pictures/album/photo.jpg"));
    if (test::exists(notRun)) GTEST_SKIP() << "rows not run here: " << test::readFile(notRun);
}
