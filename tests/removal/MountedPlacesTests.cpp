// Mounts that show a protected place under another path. Real mounts are made in the
// test's own mount namespace; through a mount of a system folder only dry runs are made.
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
using Action = SweepSchedule::Action;

namespace {

constexpr const char* kNoNamespace = "cannot mount in a mount namespace here (needs root and unshare)";

SweepRunner::Outcome sweepOnly(std::vector<std::string> folders, Action action) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.action = action;
    s.folders = std::move(folders);
    return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
}

// Checks made in a child, which exits with the number of the first that failed.
struct Checks {
    int count = 0, failed = 0;
    void operator()(bool ok, const std::string& what) {
        if (++count, !ok && !failed) failed = count, std::fprintf(stderr, "check %d failed: %s\n", count, what.c_str());
    }
    // `folder` is refused as an own folder saying `says`, `item` by the guard, and a stored
    // sweep of it touches nothing and says why.
    void refused(const std::string& folder, const std::string& says, const std::string& item, const Refusal& refusal,
                 Action action) {
        const auto reason = OwnFolder::refusal(folder);
        (*this)(reason && reason->find(says) != std::string::npos, folder + ": " + reason.value_or("accepted"));
        (*this)(CleanupGuard::check(item, 0, CleanupPolicy::standard().allowing({folder}), {}) == refusal,
                "the guard passed " + item);
        const auto swept = sweepOnly({folder}, action);
        size_t taken = 0;
        for (const auto& o : swept.outcomes) taken += o.moved() || o.wouldMove();
        (*this)(taken == 0 && swept.receipt.refusedCount == 1 &&
                    swept.receipt.withheldReason.value_or("").find(says) != std::string::npos,
                "a stored sweep of " + folder);
    }
};

struct Home {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir mnt; // mount points, outside the home
    std::string h = resolvingExistingPart(home.path()), m = resolvingExistingPart(mnt.path());
    std::string pictures = h + "/Pictures";
    Home() { test::makeDirs(h + "/.Trash"); }
};

} // namespace

TEST(MountedPlaces, ABindMountOfAFolderInsideThePicturesIsInsideThePictures) {
    Home t;
    const std::string year = t.pictures + "/2024", p24 = t.m + "/p24";
    test::writeFile(year + "/trip/beach.jpg", "only copy");
    test::makeDirs(p24);
    const int status = test::inMountNamespace([&] {
        if (::mount(year.c_str(), p24.c_str(), nullptr, MS_BIND, nullptr) != 0) return test::kSkipped;
        Checks check;
        check.refused(p24, "\u201C" + p24 + "\u201D is inside a protected location (~/Pictures)", p24 + "/trip",
                      Refusal::protectedPath(t.home.path() + "/Pictures"), Action::clean);
        check(OwnFolder::refusal(t.m).value_or("").find("holds a protected location (~/Pictures)") != std::string::npos,
              "the folder holding it accepted");
        return check.failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace;
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::exists(year + "/trip/beach.jpg") && !test::exists(year + "/.Trash-0"));
}

TEST(MountedPlaces, ABindMountOfASystemFolderIsThatFolderInDryRuns) {
    Home t;
    const std::string share = t.m + "/share";
    test::makeDirs(share);
    std::string entry;
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share", error))
        if (e.is_directory() && !e.is_symlink()) entry = share + "/" + e.path().filename().string();
    if (entry.empty()) GTEST_SKIP() << "no folder in /usr/share here";
    const int status = test::inMountNamespace([&] {
        if (::mount("/usr/share", share.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            ::mount(nullptr, share.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return test::kSkipped;
        Checks check;
        check.refused(share, "\u201C" + share + "\u201D is inside a protected location (/usr)", entry,
                      Refusal::protectedPath("/usr"), Action::report);
        const auto dry = CleanupExecutor::run({{entry, 0}}, CleanupExecutor::Mode::dryRun,
                                              CleanupPolicy::standard().allowing({share}), {});
        check(dry.size() == 1 && dry[0].refusal(), "a dry run would move " + entry);
        return check.failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace;
    EXPECT_EQ(status, 0);
}

// An overlay writes into its upper folder and shows its lower ones.
TEST(MountedPlaces, AnOverlayOverThePicturesIsThePictures) {
    Home t;
    test::writeFile(t.pictures + "/album/photo.jpg", "only copy");
    test::makeDirs(t.m + "/plain");
    for (const char* d : {"/ov-upper", "/work-a", "/work-b"}) test::makeDirs(t.h + d);
    const std::string layers[] = {"lowerdir=" + t.m + "/plain,upperdir=" + t.pictures + ",workdir=" + t.h + "/work-a",
                                  "lowerdir=" + t.pictures + ",upperdir=" + t.h + "/ov-upper,workdir=" + t.h + "/work-b"};
    const int status = test::inMountNamespace([&] {
        Checks check;
        for (const auto& options : layers) {
            const std::string ov = t.m + "/ov";
            test::makeDirs(ov);
            if (::mount("overlay", ov.c_str(), "overlay", 0, options.c_str()) != 0) return test::kSkipped;
            check.refused(ov, "\u201C" + ov + "\u201D is a protected location (~/Pictures)", ov + "/album",
                          Refusal::protectedPath(t.home.path() + "/Pictures"), Action::clean);
            check(test::exists(t.pictures + "/album/photo.jpg"), "the album moved through " + options);
            ::umount2(ov.c_str(), MNT_DETACH);
        }
        return check.failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << kNoNamespace << ", or overlays cannot be mounted";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::exists(t.pictures + "/album/photo.jpg"));
}

// A FUSE mount may show the pictures under any name: it fails closed, unless the home
// itself lies on one; so does a missing table.
TEST(MountedPlaces, AFileSystemThatIsNotUnderstoodFailsClosed) {
    Home t;
    const std::string remote = t.m + "/remote", cache = t.h + "/Library/Caches/app";
    test::writeFile(remote + "/photos/a.jpg", "maybe the pictures");
    test::writeFileOfSize(cache + "/blob", 10'000);
    test::TempDir tables;
    const std::string own = test::readFile("/proc/self/mountinfo");
    const std::string fuse = own + "901 1 0:901 / " + remote + " rw - fuse.bindfs bindfs rw\n";
    test::writeFile(tables / "copy", own);
    test::writeFile(tables / "fuse", fuse);
    test::writeFile(tables / "fuse-home", fuse + "902 1 0:902 / " + t.h + " rw - fuse.sshfs host: rw\n");
    const std::string unseen = "is on a file system Sorvel cannot see through (fuse.bindfs)";
    const std::tuple<const char*, std::string, std::optional<Refusal>, std::optional<Refusal>> cases[] = {
        {"copy", "", std::nullopt, std::nullopt},
        {"fuse", unseen, Refusal::placeUnknown("fuse.bindfs"), std::nullopt},
        {"fuse-home", unseen, Refusal::placeUnknown("fuse.bindfs"), std::nullopt}, // the home's own is compared
        {"missing", "where it lies on disk could not be worked out", Refusal::mountsUnknown(), Refusal::mountsUnknown()},
    };
    for (const auto& [table, says, item, cached] : cases) {
        setMountTablePath(tables / table);
        const auto reason = OwnFolder::refusal(remote);
        EXPECT_TRUE(says.empty() ? !reason : reason && reason->find(says) != std::string::npos)
            << table << ": " << reason.value_or("accepted");
        EXPECT_EQ(CleanupGuard::check(remote + "/photos", 0, CleanupPolicy::standard().allowing({remote}), {}), item)
            << table;
        EXPECT_EQ(CleanupGuard::check(cache, 0, CleanupPolicy::standard(), {}), cached) << table;
    }
    setMountTablePath(tables / "fuse");
    EXPECT_TRUE(OwnFolder::refusal(t.m).has_value()); // holds it
    const auto swept = sweepOnly({remote}, Action::clean);
    setMountTablePath("/proc/self/mountinfo");
    EXPECT_EQ(swept.receipt.movedCount, 0);
    EXPECT_NE(swept.receipt.withheldReason.value_or("").find("cannot see through"), std::string::npos);
    EXPECT_TRUE(test::exists(remote + "/photos/a.jpg"));
}
