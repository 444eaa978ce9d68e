// A protected place covered by a mount is still where it was on the file system beneath:
// a second name for it made before the cover (a bind mount) is that place. Each row runs
// in a mount namespace of its own; through a mount of a system folder only dry runs.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "MountRig.h"
#include "support/MountNaming.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using Action = SweepSchedule::Action;

namespace {

using test::bindAt;
using test::tmpfsAt;

// A folder of /etc that holds another, for an item inside a read-only view of it.
std::string systemFolderWithChild() {
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator("/etc", error))
        if (e.is_directory() && !e.is_symlink())
            for (const auto& inner : std::filesystem::directory_iterator(e.path(), error))
                if (inner.is_directory() && !inner.is_symlink())
                    return e.path().filename().string() + "/" + inner.path().filename().string();
    return {};
}

} // namespace

TEST(CoveredPlaces, AProtectedPlaceUnderACoverIsStillProtectedWhereItLies) {
    test::Home t;
    const std::string caches = t.h + "/Library/Caches", trash = t.h + "/.local/share/Trash";
    const std::string store = t.h + "/.config/sorvel";
    test::writeFile(t.pictures + "/2024/trip/beach.jpg", "only copy");
    test::writeFile(trash + "/files/old/photo.jpg", "trashed, not gone");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\nPath=/x\nDeletionDate=2026-01-01T00:00:00\n");
    test::writeFile(store + "/old-runs/run.json", "{}");
    for (const char* d : {"/old2024", "/oldpics", "/moved", "/tb", "/cfg", "/etcview"}) test::makeDirs(caches + d);
    test::makeDirs(t.m + "/spare");
    const std::string etcInner = systemFolderWithChild();
    const auto pictures = Refusal::protectedPath(t.home.path() + "/Pictures");
    struct Row {
        const char* name;
        std::function<bool()> cover; // in the child: the second name, then the cover
        std::string folder, item, says;
        Refusal refusal;
        std::string coverPoint, kept; // once the cover goes, what must still be there
        Action action = Action::clean;
    };
    const Row rows[] = {
        {"a folder inside the pictures", [&] { return bindAt(t.pictures + "/2024", caches + "/old2024") && tmpfsAt(t.pictures); },
         caches + "/old2024", caches + "/old2024/trip", "is inside a protected location (~/Pictures)", pictures,
         t.pictures, t.pictures + "/2024/trip/beach.jpg"},
        {"the whole pictures", [&] { return bindAt(t.pictures, caches + "/oldpics") && tmpfsAt(t.pictures); },
         caches + "/oldpics", caches + "/oldpics/2024", "is a protected location (~/Pictures)", pictures, t.pictures,
         t.pictures + "/2024/trip/beach.jpg"},
        // The pictures on a file system of their own; a mount moved onto them covers it.
        {"a mounted pictures, a mount moved onto it",
         [&] {
             if (!tmpfsAt(t.pictures)) return false;
             test::writeFile(t.pictures + "/2024/trip/beach.jpg", "only copy, on its own disk");
             return bindAt(t.pictures + "/2024", caches + "/moved") && tmpfsAt(t.m + "/spare") &&
                    ::mount((t.m + "/spare").c_str(), t.pictures.c_str(), nullptr, MS_MOVE, nullptr) == 0;
         },
         caches + "/moved", caches + "/moved/trip", "is inside a protected location (~/Pictures)", pictures,
         t.pictures, t.pictures + "/2024/trip/beach.jpg"},
        {"the Trash", [&] { return bindAt(trash, caches + "/tb") && tmpfsAt(trash); }, caches + "/tb", caches + "/tb/files",
         "is a Trash folder", Refusal::insideTrash(), trash, trash + "/info/old.trashinfo"},
        {"Sorvel's own settings", [&] { return bindAt(store, caches + "/cfg") && tmpfsAt(t.h + "/.config"); },
         caches + "/cfg", caches + "/cfg/old-runs", "is a protected location (~/.config/sorvel)",
         Refusal::protectedPath(store), t.h + "/.config", store + "/old-runs/run.json"},
        {"a system folder",
         [&] {
             return bindAt("/etc", caches + "/etcview") &&
                    ::mount(nullptr, (caches + "/etcview").c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                            nullptr) == 0 &&
                    tmpfsAt("/etc");
         },
         caches + "/etcview", caches + "/etcview/" + etcInner, "is a protected location (/etc)",
         Refusal::protectedPath("/etc"), "/etc", "/etc/" + etcInner, Action::report},
    };
    int ran = 0;
    std::string notRun; // rows that could not be set up here: the test is then a skip
    for (const auto& row : rows) {
        if (row.action == Action::report && etcInner.empty()) continue;
        const int status = test::inMountNamespace([&] {
            if (!row.cover()) return test::kSkipped;
            const int failed = test::refusedEverywhere(row.folder, row.item, row.says, row.refusal, row.action);
            const bool kept = ::umount2(row.coverPoint.c_str(), MNT_DETACH) == 0 && test::exists(row.kept);
            if (!kept) std::fprintf(stderr, "failed: %s is gone once the cover goes\n", row.kept.c_str());
            return failed + (kept ? 0 : 1);
        });
        if (status == test::kSkipped) {
            notRun += std::string(row.name) + " (cannot be set up here); ";
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here: " << notRun;
    EXPECT_EQ(test::readFile(t.pictures + "/2024/trip/beach.jpg"), "only copy");
    EXPECT_EQ(test::readFile(trash + "/files/old/photo.jpg"), "trashed, not gone");
    EXPECT_TRUE(test::exists(store + "/old-runs/run.json"));
}

// A cover whose parent the table does not list: what lies beneath it cannot be found, so
// nothing off the cover's own file system moves (a table made by hand: the kernel never
// lists such a mount).
TEST(CoveredPlaces, ACoverOverAnUnknownFileSystemFencesEverythingOffIt) {
    test::Home t;
    const std::string cache = t.h + "/Library/Caches/app", elsewhere = t.m + "/old";
    for (const auto& d : {cache, elsewhere, t.pictures + "/2024"}) test::makeDirs(d);
    test::TempDir tables;
    test::writeFile(tables / "table",
                    test::readFile("/proc/self/mountinfo") + "990 99999 0:990 / " + t.pictures + " rw - tmpfs tmpfs rw\n");
    setMountTablePath(tables / "table");
    const test::NamedByListing listing;
    const auto fenced = Refusal::backingUnconfirmed(
        "outside the file system a protected location (~/Pictures) is on, whose mount at ~/Pictures covers a folder on "
        "a file system Sorvel cannot find: where your protected locations lie on disk could not be worked out");
    EXPECT_EQ(CleanupGuard::check(elsewhere, 0, CleanupPolicy::standard().allowing({t.m}), {}), fenced);
    EXPECT_EQ(CleanupGuard::check(cache, 0, CleanupPolicy::standard(), {}), fenced);
    EXPECT_NE(OwnFolder::refusal(elsewhere).value_or("").find("covers a folder on a file system Sorvel cannot find"),
              std::string::npos);
    setMountTablePath("/proc/self/mountinfo");
    EXPECT_EQ(CleanupGuard::check(cache, 0, CleanupPolicy::standard(), {}), std::nullopt);
}
