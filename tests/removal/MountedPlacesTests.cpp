// Mounts that show the inside of a protected place under another path: a bind mount of a
// folder inside the pictures or of a system folder, an overlay writing into the pictures,
// a file system whose paths cannot be trusted. Real mounts are made in a mount namespace
// of the test's own; through a mount of a system folder only dry runs are made.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cstdio>
#include <filesystem>

#include "platform/MountTable.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

constexpr const char* kNoNamespace = "cannot mount in a mount namespace here (needs root and unshare)";

// Counts checks made in a child; the child exits with the number of the first that failed.
struct Checks {
    int count = 0;
    int failed = 0;
    void operator()(bool ok, const std::string& what) {
        ++count;
        if (!ok && !failed) {
            failed = count;
            std::fprintf(stderr, "check %d failed: %s\n", count, what.c_str());
        }
    }
};

bool says(const std::string& folder, const std::string& text) {
    const auto reason = OwnFolder::refusal(folder);
    if (!reason || reason->find(text) == std::string::npos) {
        std::fprintf(stderr, "%s: %s\n", folder.c_str(), reason.value_or("accepted").c_str());
        return false;
    }
    return true;
}

SweepRunner::Outcome sweepOnly(std::vector<std::string> folders, SweepSchedule::Action action) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.action = action;
    s.folders = std::move(folders);
    return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
}

size_t movedOrWouldMove(const SweepRunner::Outcome& out) {
    size_t n = 0;
    for (const auto& o : out.outcomes) n += o.moved() || o.wouldMove();
    return n;
}

struct Home {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir mnt; // mount points, outside the home
    std::string h = resolvingExistingPart(home.path());
    std::string m = resolvingExistingPart(mnt.path());
    Home() { test::makeDirs(h + "/.Trash"); }
};

} // namespace

TEST(MountedPlaces, ABindMountOfAFolderInsideThePicturesIsInsideThePictures) {
    Home t;
    const std::string year = t.h + "/Pictures/2024", p24 = t.m + "/p24";
    test::writeFile(year + "/trip/beach.jpg", "only copy");
    test::writeFileOfSize(t.h + "/Projects/scratch/build/out.o", 50'000);
    test::makeDirs(p24);
    const int status = test::inMountNamespace([&] {
        if (::mount(year.c_str(), p24.c_str(), nullptr, MS_BIND, nullptr) != 0) return test::kSkipped;
        Checks check;
        check(says(p24, "is inside a protected location (~/Pictures)"), "the bind mount accepted as own folder");
        check(says(t.m, "holds a protected location (~/Pictures)"), "the folder holding it accepted");
        const auto policy = CleanupPolicy::standard().allowing({p24});
        check(CleanupGuard::check(p24 + "/trip", 0, policy, {}) == Refusal::protectedPath(t.home.path() + "/Pictures"),
              "the guard passed an item of the bind mount");
        // Even given straight to the executor, nothing of the pictures moves.
        const auto run = CleanupExecutor::run({{p24 + "/trip", 0}}, CleanupExecutor::Mode::moveToTrash, policy, {});
        check(run.size() == 1 && run[0].refusal(), "the executor moved the trip");
        const auto swept = sweepOnly({p24, t.h + "/Projects/scratch"}, SweepSchedule::Action::clean);
        check(swept.receipt.movedCount == 1 && swept.receipt.refusedCount == 1, "a stored sweep did not skip it");
        check(swept.receipt.withheldReason.value_or("").find("\u201C" + p24 + "\u201D is inside a protected location") !=
                  std::string::npos,
              "the receipt does not say why");
        check(test::exists(year + "/trip/beach.jpg") && !test::exists(year + "/.Trash-0"), "the trip moved");
        return check.failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace;
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::exists(year + "/trip/beach.jpg"));
}

// /usr/share under another name: dry runs only, whatever the outcome.
TEST(MountedPlaces, ABindMountOfASystemFolderIsThatFolderInDryRuns) {
    Home t;
    std::string entry;
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share", error))
        if (e.is_directory() && !e.is_symlink()) entry = e.path().filename();
    if (entry.empty()) GTEST_SKIP() << "no folder in /usr/share here";
    const std::string share = t.m + "/share";
    test::makeDirs(share);
    const int status = test::inMountNamespace([&] {
        if (::mount("/usr/share", share.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            ::mount(nullptr, share.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return test::kSkipped;
        Checks check;
        check(says(share, "\u201C" + share + "\u201D is inside a protected location (/usr)"), "accepted as own folder");
        check(says(t.m, "holds a protected location (/usr)"), "the folder holding it accepted");
        const auto policy = CleanupPolicy::standard().allowing({share});
        check(CleanupGuard::check(share + "/" + entry, 0, policy, {}) == Refusal::protectedPath("/usr"),
              "the guard passed " + entry);
        const auto dry = CleanupExecutor::run({{share + "/" + entry, 0}}, CleanupExecutor::Mode::dryRun, policy, {});
        check(dry.size() == 1 && dry[0].refusal(), "a dry run would move " + entry);
        const auto swept = sweepOnly({share}, SweepSchedule::Action::report);
        check(movedOrWouldMove(swept) == 0 && swept.receipt.refusedCount == 1, "a stored report sweep took it");
        return check.failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace;
    EXPECT_EQ(status, 0);
}

// An overlay writes into its upper folder and shows its lower ones.
TEST(MountedPlaces, AnOverlayOverThePicturesIsThePictures) {
    Home t;
    const std::string pictures = t.h + "/Pictures", plain = t.m + "/plain";
    test::writeFile(pictures + "/album/photo.jpg", "only copy");
    test::writeFile(plain + "/old/notes.txt", "scratch");
    for (const char* d : {"/ov-upper", "/ov-lower", "/work-a", "/work-b"}) test::makeDirs(t.h + d);
    struct Layers {
        std::string upper, lower, work;
    };
    const Layers cases[] = {{pictures, plain, t.h + "/work-a"}, {t.h + "/ov-upper", pictures, t.h + "/work-b"}};
    const int status = test::inMountNamespace([&] {
        Checks check;
        for (size_t i = 0; i < std::size(cases); ++i) {
            const std::string ov = t.m + "/ov" + std::to_string(i);
            test::makeDirs(ov);
            const std::string options =
                "lowerdir=" + cases[i].lower + ",upperdir=" + cases[i].upper + ",workdir=" + cases[i].work;
            if (::mount("overlay", ov.c_str(), "overlay", 0, options.c_str()) != 0) return test::kSkipped;
            check(says(ov, "\u201C" + ov + "\u201D is a protected location (~/Pictures)"), ov + " accepted");
            const auto policy = CleanupPolicy::standard().allowing({ov});
            check(CleanupGuard::check(ov + "/album", 0, policy, {}) == Refusal::protectedPath(t.home.path() + "/Pictures"),
                  "the guard passed " + ov + "/album");
            const auto swept = sweepOnly({ov}, SweepSchedule::Action::clean);
            check(swept.receipt.movedCount == 0 && swept.receipt.refusedCount == 1, "a stored sweep of " + ov);
            check(test::exists(pictures + "/album/photo.jpg"), "the album moved through " + ov);
            ::umount2(ov.c_str(), MNT_DETACH);
        }
        return check.failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace << ", or overlays cannot be mounted";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::exists(pictures + "/album/photo.jpg"));
}

// A file system whose paths cannot be trusted (a FUSE mount may show the pictures under
// any name) fails closed, unless the home itself lies on it; so does a missing table.
TEST(MountedPlaces, AFileSystemThatIsNotUnderstoodFailsClosed) {
    Home t;
    const std::string remote = t.m + "/remote", caches = t.h + "/Library/Caches";
    test::writeFile(remote + "/photos/a.jpg", "maybe the pictures");
    test::writeFileOfSize(caches + "/app/blob", 10'000);
    test::TempDir tables;
    const std::string own = test::readFile("/proc/self/mountinfo");
    test::writeFile(tables / "copy", own);
    test::writeFile(tables / "fuse", own + "901 1 0:901 / " + remote + " rw - fuse.bindfs bindfs rw\n");
    test::writeFile(tables / "fuse-home", test::readFile(tables / "fuse") + "902 1 0:902 / " + t.h +
                                              " rw - fuse.sshfs host: rw\n");
    const auto allowRemote = CleanupPolicy::standard().allowing({remote});
    struct Case {
        const char* table;
        const char* ownFolderSays; // nullptr: accepted
        std::optional<Refusal> item;
        std::optional<Refusal> cache;
    };
    const Case cases[] = {
        {"copy", nullptr, std::nullopt, std::nullopt},
        {"fuse", "is on a file system Sorvel cannot see through (fuse.bindfs)", Refusal::placeUnknown("fuse.bindfs"),
         std::nullopt},
        {"fuse-home", "is on a file system Sorvel cannot see through (fuse.bindfs)", Refusal::placeUnknown("fuse.bindfs"),
         std::nullopt}, // the home's own file system is compared, not refused
        {"missing", "where it lies on disk could not be worked out", Refusal::mountsUnknown(), Refusal::mountsUnknown()},
    };
    for (const auto& c : cases) {
        setMountTablePath(tables / c.table);
        const auto reason = OwnFolder::refusal(remote);
        EXPECT_EQ(reason.has_value(), c.ownFolderSays != nullptr) << c.table << ": " << reason.value_or("accepted");
        EXPECT_NE(reason.value_or("").find(c.ownFolderSays ? c.ownFolderSays : ""), std::string::npos) << *reason;
        EXPECT_EQ(CleanupGuard::check(remote + "/photos", 0, allowRemote, {}), c.item) << c.table;
        EXPECT_EQ(CleanupGuard::check(caches + "/app", 0, CleanupPolicy::standard(), {}), c.cache) << c.table;
    }
    setMountTablePath(tables / "fuse");
    EXPECT_TRUE(OwnFolder::refusal(t.m).has_value()); // holds it
    const auto swept = sweepOnly({remote}, SweepSchedule::Action::clean);
    setMountTablePath("/proc/self/mountinfo");
    EXPECT_EQ(swept.receipt.movedCount, 0);
    EXPECT_NE(swept.receipt.withheldReason.value_or("").find("cannot see through"), std::string::npos);
    EXPECT_TRUE(test::exists(remote + "/photos/a.jpg"));
}
