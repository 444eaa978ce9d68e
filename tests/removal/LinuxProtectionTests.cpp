// A Linux home's secrets, mail, settings and installed Flatpak apps' data are protected
// places: every mover refuses them, as it refuses ~/Pictures. The cache, Flatpak, snap and
// developer folders are places whose children may go, never the folder itself.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "cleanup/CloudStatus.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/OwnFolder.h"
#include "removal/RestoreGuard.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"
#include "LinuxMovers.h"

using namespace sorvel;
using Refusal = CleanupGuard::Refusal;
using sorvel::test::movers;
using sorvel::test::protectedClause;

namespace {

struct LinuxHome {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path();
    std::string sys = home.systemRoot();

    LinuxHome() {
        test::makeDirs(h + "/.local/share/Trash");
        // One Flatpak app installed system-wide, one installed for the user, one removed.
        test::makeDirs(sys + "/var/lib/flatpak/app/org.gimp.GIMP");
        test::makeDirs(h + "/.local/share/flatpak/app/org.gnome.Maps");
        for (const char* app : {"org.gimp.GIMP", "org.gnome.Maps", "org.removed.App"})
            for (const char* folder : {"data", "config", "cache"})
                test::writeFile(h + "/.var/app/" + app + "/" + folder + "/item", std::string(4000, 'f'));
    }
};

// Each protected place of a Linux home, with one item inside.
std::vector<std::string> protectedPlaces(const std::string& h) {
    return {h + "/.ssh",
            h + "/.gnupg",
            h + "/.pki",
            h + "/.password-store",
            h + "/.local/share/keyrings",
            h + "/.mozilla",
            h + "/.thunderbird",
            h + "/.local/share/evolution",
            h + "/.config",
            h + "/.var/app/org.gimp.GIMP/data",
            h + "/.var/app/org.gimp.GIMP/config",
            h + "/.var/app/org.gnome.Maps/data",
            h + "/.var/app/org.gnome.Maps/config"};
}

} // namespace

TEST(LinuxProtection, EveryMoverRefusesEveryProtectedPlace) {
    LinuxHome home;
    for (const auto& place : protectedPlaces(home.h)) {
        const std::string item = place + "/item";
        if (!test::exists(item)) test::writeFile(item, std::string(4000, 's'));
        for (const auto& mover : movers()) EXPECT_TRUE(mover.refuses(place, item)) << mover.name << ": " << place;
    }
}

// The Flatpak apps' folders: a cache item of any app may go, an installed app's own data
// and settings never, nor its folder whole; a removed app's folder goes whole.
TEST(LinuxProtection, FlatpakAppsGoOnlyWholeOnceRemoved) {
    LinuxHome home;
    const std::string apps = home.h + "/.var/app";
    struct Case {
        std::string path;
        std::optional<std::string> refusal; // none: it may go
    };
    const Case cases[] = {
        {apps + "/org.gimp.GIMP/cache/item", std::nullopt},
        {apps + "/org.gimp.GIMP/data/item", protectedClause(apps + "/org.gimp.GIMP/data")},
        {apps + "/org.gimp.GIMP", protectedClause(apps + "/org.gimp.GIMP/data")},
        {apps + "/org.gnome.Maps/config", protectedClause(apps + "/org.gnome.Maps/config")},
        {apps + "/org.gnome.Maps/cache", std::nullopt},
        {apps + "/org.removed.App", std::nullopt},
        {apps + "/org.removed.App/data", std::nullopt},
    };
    const CleanupPolicy policy = CleanupPolicy::standard();
    for (const auto& c : cases) {
        const auto refusal = CleanupGuard::check(c.path, 0, policy, CloudStatus{});
        EXPECT_EQ(refusal ? std::optional(refusal->description()) : std::nullopt, c.refusal) << c.path;
    }
    // The apps' folder itself holds installed apps' data: protected, and no own folder.
    const auto whole = CleanupGuard::check(apps, 0, policy, CloudStatus{});
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->description().rfind("protected location (~/.var/app/org.", 0), 0u) << whole->description();
    const auto own = OwnFolder::refusal(apps);
    ASSERT_TRUE(own.has_value());
    EXPECT_NE(own->find("holds a protected location"), std::string::npos) << *own;
    // A sweep of a removed app's folder takes all of it; an installed one's is no own folder.
    std::vector<std::string> moved;
    for (const char* app : {"org.removed.App", "org.gimp.GIMP"}) {
        SweepSchedule s;
        s.rules = SweepSchedule::RuleSelection::only({});
        s.action = SweepSchedule::Action::clean;
        s.folders = {apps + "/" + app};
        const auto out = SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
        for (const auto& o : out.outcomes)
            if (o.moved()) moved.push_back(o.path.substr(apps.size()));
    }
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(moved,
              (std::vector<std::string>{"/org.removed.App/cache", "/org.removed.App/config", "/org.removed.App/data"}));
    EXPECT_TRUE(OwnFolder::refusal(apps + "/org.gimp.GIMP").has_value());
    EXPECT_TRUE(test::exists(apps + "/org.gimp.GIMP/data/item"));
    EXPECT_TRUE(test::exists(apps + "/org.gimp.GIMP/config/item"));
}

// Where the system's installation folder cannot be read, no app's data is known to be a
// leftover: every app's data and settings are protected.
TEST(LinuxProtection, AnUnreadableInstallationProtectsEveryAppsData) {
    LinuxHome home;
    ASSERT_EQ(chmod((home.sys + "/var/lib/flatpak/app").c_str(), 0700), 0);
    const std::string data = home.h + "/.var/app/org.removed.App/data";
    const int status = test::runAsUnprivileged([&] {
        const auto refusal = CleanupGuard::check(data + "/item", 0, CleanupPolicy::standard(), CloudStatus{});
        return refusal && refusal->description() == protectedClause(data) ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

// The cache, Flatpak and snap folders are allowed roots: their children may go, the
// folders themselves never. A developer tool's cache may also go whole (its tool makes it
// again), but not while it holds the tool's settings; Go's module cache not at all.
TEST(LinuxProtection, LinuxAllowedRootsTakeChildrenOnly) {
    LinuxHome home;
    const std::string h = home.h;
    struct Case {
        std::string path;
        std::optional<Refusal> refusal;
    };
    const Case cases[] = {
        {h + "/.cache", Refusal::tooShallow()},
        {h + "/.cache/thumbnails", std::nullopt},
        {h + "/snap", Refusal::tooShallow()},
        {h + "/snap/firefox", std::nullopt},
        {h + "/.cache/pip", std::nullopt},
        {h + "/.cache/pip/http", std::nullopt},
        {h + "/.cargo/registry/cache", std::nullopt},
        {h + "/.cargo/registry/cache/index.crates.io", std::nullopt},
        {h + "/.npm/_cacache", std::nullopt},
        {h + "/.ccache/0", std::nullopt},
        {h + "/.ccache", Refusal::tooShallow()}, // holds ccache.conf
        {h + "/.cargo/registry", Refusal::outsideAllowedRoots()},
        {h + "/go/pkg/mod", Refusal::outsideAllowedRoots()},
        {h + "/go/pkg/mod/cache", Refusal::outsideAllowedRoots()},
        {h + "/.cargo/bin/cargo", Refusal::outsideAllowedRoots()},
        {h + "/.rustup/toolchains", Refusal::outsideAllowedRoots()},
        {h + "/.local/share/app", Refusal::outsideAllowedRoots()},
    };
    test::writeFile(h + "/.ccache/ccache.conf", "max_size = 5G\n");
    for (const auto& c : cases) {
        test::makeDirs(deletingLastPathComponent(c.path));
        if (!test::exists(c.path)) test::makeDirs(c.path);
        EXPECT_EQ(CleanupGuard::check(c.path, 0, CleanupPolicy::standard(), CloudStatus{}), c.refusal) << c.path;
    }
}

// A swap file in use is protected wherever it lies, even in a folder the user sweeps.
TEST(LinuxProtection, SwapFilesInUseAreNeverMoved) {
    LinuxHome home;
    test::writeFile(home.sys + "/proc/swaps", "Filename Type Size Used Priority\n/data/swap\\040file file 1 0 -2\n");
    const std::string swap = home.sys + "/data/swap file";
    test::writeFile(swap, std::string(4096, 's'));
    test::writeFile(home.sys + "/data/other", "o");
    const CleanupPolicy policy = CleanupPolicy::standard().allowing({home.sys + "/data"});
    EXPECT_EQ(CleanupGuard::check(swap, 0, policy, CloudStatus{}), Refusal::protectedPath(swap));
    EXPECT_EQ(CleanupGuard::check(home.sys + "/data/other", 0, policy, CloudStatus{}), std::nullopt);
    // Not listed as swap, the same file is an ordinary one.
    test::writeFile(home.sys + "/proc/swaps", "Filename Type Size Used Priority\n");
    EXPECT_EQ(CleanupGuard::check(swap, 0, CleanupPolicy::standard().allowing({home.sys + "/data"}), CloudStatus{}),
              std::nullopt);
}
