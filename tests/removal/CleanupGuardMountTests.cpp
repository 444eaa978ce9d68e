// What Linux can hide from a text comparison: mounts inside a folder, allowed roots that
// lead into the system's own folders, and Sorvel's own store.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/Path.h"
#include "platform/UserDefaults.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/OwnFolder.h"
#include "support/ChildProcess.h"
#include "support/MountNaming.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

std::string real(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string out = resolved ? resolved : path;
    std::free(resolved);
    return out;
}

} // namespace

TEST(CleanupGuardMounts, AMountAtOrBelowThePathIsRefusedByItsMountPoint) {
    test::FakeHome home;
    const std::string caches = real(home / "Library/Caches");
    test::makeDirs(caches + "/app/deep/pics");
    test::makeDirs(caches + "/app/deep/pics2");
    test::makeDirs(caches + "/disk/inside");
    test::makeDirs(caches + "/other");
    ASSERT_EQ(::symlink((caches + "/app").c_str(), (home / "Library/Caches/other/via").c_str()), 0);
    const std::vector<MountEntry> mounts{{"/", "ext4", 1, "/", {}, 1, 0},
                                         {caches + "/app/deep/pics", "ext4", 2, "/", {}, 2, 1},
                                         {caches + "/disk", "vfat", 3, "/", {}, 3, 1}};
    const test::NamedByListing listing(mounts);
    const auto policy = CleanupPolicy::standard();
    struct Case {
        std::string path;
        std::optional<Refusal> expected;
    };
    const Case cases[] = {
        {caches + "/app", Refusal::protectedPath(caches + "/app/deep/pics")},           // holds one, deep down
        {caches + "/app/deep/pics", Refusal::protectedPath(caches + "/app/deep/pics")}, // is one
        {caches + "/disk", Refusal::protectedPath(caches + "/disk")},
        {caches + "/disk/inside", std::nullopt},   // below a mount: an ordinary folder of that disk
        {caches + "/app/deep/pics2", std::nullopt}, // a name that only begins like the mount point
        // Reached through a link in a parent: judged where it really is.
        {caches + "/other/via/deep", Refusal::protectedPath(caches + "/app/deep/pics")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanupGuard::check(c.path, 0, policy, std::nullopt, mounts), c.expected) << c.path;
}

TEST(CleanupGuardSystemFolders, AnAllowedRootThatLeadsIntoThemAdmitsNothing) {
    test::FakeHome home;
    for (const char* system : {"/etc", "/boot", "/opt", "/srv", "/var/lib", "/lib", "/proc", "/sys", "/dev", "/run"}) {
        if (!test::exists(system)) continue;
        std::string name = system;
        std::replace(name.begin(), name.end(), '/', '-');
        const std::string link = home / "to" + name;
        ASSERT_EQ(::symlink(system, link.c_str()), 0) << link;
        // Inside the link is inside the system folder, whatever it is called here.
        const auto refusal = CleanupGuard::check(link + "/x", 0, CleanupPolicy::standard().allowing({link}),
                                                 std::nullopt, {});
        EXPECT_EQ(refusal.value_or(Refusal::notFound()).kind, Refusal::Kind::protectedPath) << system;
    }
}

TEST(CleanupGuardOwnStore, SorvelsStoreIsProtectedInEveryPolicy) {
    test::FakeHome home;
    test::TempDir elsewhere;
    for (const auto& xdgValue : {std::optional<std::string>{}, std::optional<std::string>{elsewhere.path()}}) {
        test::ScopedEnv xdg("XDG_CONFIG_HOME", xdgValue);
        const std::string parent = xdgValue ? elsewhere.path() : home / ".config";
        const std::string store = parent + "/sorvel";
        const auto mounts = readMountTable();
        ASSERT_TRUE(UserDefaults::standard().set("probe", 1));
        test::makeDirs(parent + "/other-app");
        for (const auto& policy : {CleanupPolicy::standard().allowing({parent}),
                                   CleanupPolicy::forUninstalling(store + "/x.app").allowing({parent})}) {
            EXPECT_EQ(CleanupGuard::check(store, 0, policy, std::nullopt, mounts), Refusal::protectedPath(store));
            // The rest of the settings folder is protected too, by the folder's own name.
            EXPECT_EQ(CleanupGuard::check(parent + "/other-app", 0, policy, std::nullopt, mounts),
                      Refusal::protectedPath(parent));
        }
        // The folder that holds the store is refused: it is the settings folder.
        EXPECT_EQ(CleanupGuard::check(parent, 0, CleanupPolicy::standard().allowing({real(parent + "/..")}),
                                      std::nullopt, mounts),
                  Refusal::protectedPath(parent));
    }
}

// A real bind mount of the pictures inside a cache folder, in a mount namespace of its own
// so nothing outside the child sees it.
TEST(CleanupGuardMounts, ABindMountedPicturesFolderKeepsItsFolderInPlace) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    const std::string pictures = real(home.path()) + "/Pictures";
    const std::string folder = real(home.path()) + "/Library/Caches/app";
    test::writeFile(pictures + "/wedding.jpg", "only copy");
    test::makeDirs(folder + "/view");
    test::makeDirs(home / ".Trash");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0) ::_exit(77);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(77);
        if (::mount(pictures.c_str(), (folder + "/view").c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(77);
        const auto policy = CleanupPolicy::standard();
        const auto refusal = CleanupGuard::check(folder, 0, policy, std::nullopt);
        if (refusal != Refusal::protectedPath(folder + "/view")) ::_exit(1);
        // The mount point is the pictures folder itself under another name.
        if (CleanupGuard::check(folder + "/view", 0, policy, std::nullopt) != Refusal::protectedPath(pictures))
            ::_exit(2);
        const auto run = CleanupExecutor::run({{folder, 0}}, CleanupExecutor::Mode::moveToTrash, policy, std::nullopt);
        if (run.size() != 1 || !run[0].refusal()) ::_exit(3);
        if (!test::exists(folder + "/view/wedding.jpg")) ::_exit(4);
        ::_exit(0);
    }
    const int status = test::waitForChild(child, test::kChildDeadline);
    ASSERT_GE(status, 0);
    if (status == 77) GTEST_SKIP() << "cannot make a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0) << "1: folder not refused, 2: mount point not refused, 3: moved, 4: pictures gone";
    EXPECT_TRUE(test::exists(pictures + "/wedding.jpg"));
    EXPECT_TRUE(test::exists(folder + "/view"));
}

// Homes bind-mounted from a data disk: the same folders under a second path.
TEST(CleanupGuardMounts, ABindMountOfTheHomeIsTheHomeByIdentity) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    test::TempDir mnt;
    const std::string h = real(home.path()), alias = mnt / "alias", store = h + "/.config/sorvel";
    for (const char* d : {"/Documents", "/Pictures", "/Library/Mail"}) test::makeDirs(h + d);
    test::makeDirs(alias);
    ASSERT_TRUE(UserDefaults::standard().set("probe", 1));

    const int status = test::inMountNamespace([&] {
        if (::mount(h.c_str(), alias.c_str(), nullptr, MS_BIND, nullptr) != 0) return test::kSkipped;
        const auto says = [](const std::string& folder, const char* text) {
            const auto reason = OwnFolder::refusal(folder);
            return reason && reason->find(text) != std::string::npos;
        };
        if (!says(alias, "is your home folder")) return 1;
        if (!says(alias + "/Library", "holds a protected location")) return 2;
        if (OwnFolder::refusal(alias + "/Documents")) return 3;
        if (!says(mnt.path(), "holds your home folder")) return 4;
        const auto policy = CleanupPolicy::standard().allowing({alias});
        const auto check = [&](const char* under) { return CleanupGuard::check(alias + under, 0, policy, {}); };
        if (check("/Pictures") != Refusal::protectedPath(h + "/Pictures")) return 5;
        if (check("/.config") != Refusal::protectedPath(h + "/.config")) return 6;
        return check("/.config/sorvel/defaults.json") == Refusal::protectedPath(store) ? 0 : 7;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot bind-mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0) << "1: alias accepted, 2: its library accepted, 3: a plain folder refused, "
                            "4: the folder around it accepted, 5-7: protected places passed under the alias";
}

// A table that cannot be read could hide any bind mount: nothing passes without it.
TEST(CleanupGuardMounts, AnUnreadableMountTableLetsNothingThrough) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    test::TempDir tables;
    const std::string cache = real(home.path()) + "/Library/Caches/app";
    test::makeDirs(cache);
    test::makeDirs(tables / "a-folder");
    test::writeFile(tables / "empty", "");
    test::writeFile(tables / "copy", test::readFile("/proc/self/mountinfo"));
    const auto policy = CleanupPolicy::standard();
    const std::pair<const char*, std::optional<Refusal>> cases[] = {
        {"missing", Refusal::mountsUnknown()},
        {"a-folder", Refusal::mountsUnknown()}, // opens, then fails to read
        {"empty", Refusal::mountsUnknown()},
        {"copy", std::nullopt},
    };
    for (const auto& [table, expected] : cases) {
        setMountTablePath(tables / table);
        EXPECT_EQ(CleanupGuard::check(cache, 0, policy, std::nullopt), expected) << table;
    }
    setMountTablePath("/proc/self/mountinfo");
}

// The same where the table really is gone: /proc covered, the pictures bind-mounted inside.
TEST(CleanupGuardMounts, WithProcGoneAFolderHoldingABindMountStays) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    const std::string pictures = real(home.path()) + "/Pictures", folder = real(home.path()) + "/Library/Caches/app";
    test::writeFile(pictures + "/wedding.jpg", "only copy");
    test::makeDirs(folder + "/view");
    const int status = test::inMountNamespace([&] {
        if (::mount(pictures.c_str(), (folder + "/view").c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount("none", "/proc", "tmpfs", 0, nullptr) != 0)
            return test::kSkipped;
        const auto run =
            CleanupExecutor::run({{folder, 0}}, CleanupExecutor::Mode::moveToTrash, CleanupPolicy::standard(), {});
        if (run.size() != 1 || !run[0].refusal() || *run[0].refusal() != Refusal::mountsUnknown()) return 1;
        return test::exists(folder + "/view/wedding.jpg") ? 0 : 2;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot make a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0) << "1: moved or refused for another reason, 2: pictures gone";
    EXPECT_TRUE(test::exists(pictures + "/wedding.jpg"));
}
