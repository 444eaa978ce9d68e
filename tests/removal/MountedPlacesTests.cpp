#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cstdio>
#include <filesystem>

#include "platform/MountTable.h"
#include "removal/CleanupGuard.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using Action = SweepSchedule::Action;

namespace {

SweepRunner::Outcome sweepOnly(std::vector<std::string> folders, Action action) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.action = action;
    s.folders = std::move(folders);
    return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
}

struct Home {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir mnt; // mount points, outside the home
    std::string h = resolvingExistingPart(home.path()), m = resolvingExistingPart(mnt.path());
    std::string pictures = h + "/Pictures";
    Home() { test::makeDirs(h + "/.Trash"); }
};

} // namespace

// Binds of a folder in the pictures and of /usr/share (read-only, dry only), an overlay onto them.
TEST(MountedPlaces, AMountShowingAProtectedPlaceIsThatPlace) {
    Home t;
    test::writeFile(t.pictures + "/2024/trip/beach.jpg", "only copy");
    test::writeFile(t.pictures + "/album/photo.jpg", "only copy");
    std::string entry = "x";
    std::error_code error;
    for (const auto& e : std::filesystem::directory_iterator("/usr/share", error))
        if (e.is_directory() && !e.is_symlink()) entry = e.path().filename();
    test::makeDirs(t.h + "/work-a");
    for (const char* d : {"/p24", "/share", "/ov0", "/plain"}) test::makeDirs(t.m + d);
    const auto pictures = Refusal::protectedPath(t.home.path() + "/Pictures");
    const std::tuple<std::string, const char*, std::string, const char*, std::string, Refusal, Action> cases[] = {
        {t.pictures + "/2024", "/p24", "", "is inside a protected location (~/Pictures)", "trip", pictures, Action::clean},
        {"/usr/share", "/share", "", "is inside a protected location (/usr)", entry, Refusal::protectedPath("/usr"),
         Action::report},
        {"overlay", "/ov0", "lowerdir=" + t.m + "/plain,upperdir=" + t.pictures + ",workdir=" + t.h + "/work-a",
         "is a protected location (~/Pictures)", "album", pictures, Action::clean},
    };
    const int status = test::inMountNamespace([&] {
        int mounted = 0, failed = 0;
        const auto check = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        for (const auto& [source, name, options, says, child, refusal, action] : cases) {
            const std::string folder = t.m + name, item = folder + "/" + child;
            const bool ov = !options.empty(), dry = action == Action::report;
            if (::mount(source.c_str(), folder.c_str(), ov ? "overlay" : nullptr, ov ? 0 : MS_BIND | MS_REC,
                        ov ? options.c_str() : nullptr) != 0 ||
                (dry && ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)) {
                std::fprintf(stderr, "skipped: %s cannot be mounted here\n", name);
                continue;
            }
            ++mounted;
            const auto reason = OwnFolder::refusal(folder);
            check(reason && reason->find(says) != std::string::npos, folder + ": " + reason.value_or("accepted"));
            const auto policy = CleanupPolicy::standard().allowing({folder});
            check(CleanupGuard::check(item, 0, policy, {}) == refusal, "the guard passed " + item);
            const auto swept = sweepOnly({folder}, action);
            size_t taken = 0;
            for (const auto& o : swept.outcomes) taken += o.moved() || o.wouldMove();
            check(taken == 0 && swept.receipt.refusedCount == 1 &&
                      swept.receipt.withheldReason.value_or("").find(says) != std::string::npos,
                  "a stored sweep of " + folder);
        }
        if (mounted == 0) return test::kSkipped;
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
    for (const char* photo : {"/2024/trip/beach.jpg", "/album/photo.jpg"}) EXPECT_TRUE(test::exists(t.pictures + photo));
}

// A FUSE mount may show the pictures under any name: it fails closed; so does a missing table.
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
    const std::string unseen = "is on a file system Sorvel cannot see through (fuse.bindfs)";
    const std::tuple<const char*, std::string, std::optional<Refusal>, std::optional<Refusal>> cases[] = {
        {"copy", "", std::nullopt, std::nullopt},
        {"fuse", unseen, Refusal::placeUnknown("fuse.bindfs"), std::nullopt},
        {"missing", "where it lies on disk could not be worked out", Refusal::mountsUnknown(), Refusal::mountsUnknown()},
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
    setMountTablePath("/proc/self/mountinfo");
}
