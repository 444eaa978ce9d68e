// An installed app's folder is its own wherever the app keeps it: all of a Flatpak app's
// folder but its cache, all of a snap's but its ".cache" folders, and an emulator's disks are
// refused by every mover. Installed means in any installation the system uses.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "LinuxMovers.h"
#include "platform/LinuxPlaces.h"

using namespace sorvel;
using sorvel::test::movers;
using sorvel::test::protectedClause;

namespace {

struct AppsHome {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv user{"FLATPAK_USER_DIR", std::nullopt};
    std::string h = home.path();
    std::string sys = home.systemRoot();

    AppsHome() {
        test::makeDirs(h + "/.local/share/Trash");
        test::makeDirs(sys + "/snap/firefox");
        test::writeFile(sys + "/var/lib/snapd/snaps/signal-desktop_700.snap", "s");
        test::makeDirs(sys + "/var/lib/flatpak/app/org.mozilla.firefox");
        test::makeDirs(h + "/elsewhere/flatpak/app/org.user.App");
        ::setenv("FLATPAK_USER_DIR", (h + "/elsewhere/flatpak").c_str(), 1);
        test::writeFile(sys + "/etc/flatpak/installations.d/sd.conf", "[Installation \"sd\"]\nPath=/media/sd/flatpak\n");
        test::makeDirs(sys + "/media/sd/flatpak/app/org.extra.App");
        // A snap's revision folder, the link to it, and its common folder, each with a cache.
        for (const char* folder : {"/snap/firefox/200/.cache", "/snap/firefox/common/.cache",
                                   "/snap/gone-app/common/.cache", "/.var/app/org.mozilla.firefox/cache"})
            test::writeFile(h + folder + "/item", std::string(4000, 'c'));
        ::symlink("200", (h + "/snap/firefox/current").c_str());
    }
};

} // namespace

TEST(AppFoldersProtection, EveryMoverRefusesWhatAnInstalledAppKeeps) {
    AppsHome t;
    const std::string places[] = {
        t.h + "/snap/firefox/common/.mozilla",             // installed: /snap/<name>
        t.h + "/snap/firefox/200/.local",                  // a revision's own folder
        t.h + "/snap/signal-desktop/common/data",          // installed: its package
        t.h + "/.var/app/org.mozilla.firefox/.mozilla",    // a Flatpak app's folder beside data and config
        t.h + "/.var/app/org.user.App/data",               // in the installation FLATPAK_USER_DIR names
        t.h + "/.var/app/org.extra.App/.local",            // in an installation a .conf names
        t.h + "/.android/avd",                             // an emulator's disks
    };
    for (const auto& place : places) test::writeFile(place + "/item", std::string(4000, 's'));
    for (const auto& place : places)
        for (const auto& mover : movers()) EXPECT_TRUE(mover.refuses(place, place + "/item")) << mover.name << ": " << place;
}

// Their caches still go, and a removed app's folder goes whole; the app's folder itself is
// refused for what it holds.
TEST(AppFoldersProtection, CachesAndRemovedAppsStillGo) {
    AppsHome t;
    test::writeFile(t.h + "/snap/firefox/common/.mozilla/item", "p");
    test::writeFile(t.h + "/.var/app/org.mozilla.firefox/.mozilla/item", "p");
    struct Case {
        std::string path;
        std::optional<std::string> refusal; // none: it may go
    };
    const Case cases[] = {
        {t.h + "/snap/firefox/200/.cache/item", std::nullopt},
        {t.h + "/snap/firefox/common/.cache/item", std::nullopt},
        {t.h + "/snap/firefox/common/.cache", std::nullopt},
        {t.h + "/.var/app/org.mozilla.firefox/cache/item", std::nullopt},
        {t.h + "/snap/gone-app", std::nullopt},
        {t.h + "/snap/firefox/common", protectedClause(t.h + "/snap/firefox/common/.mozilla")},
        {t.h + "/snap/firefox", protectedClause(t.h + "/snap/firefox/200/.local")},
        {t.h + "/.var/app/org.mozilla.firefox", protectedClause(t.h + "/.var/app/org.mozilla.firefox/.mozilla")},
    };
    test::writeFile(t.h + "/snap/firefox/200/.local/item", "l");
    const CleanupPolicy policy = CleanupPolicy::standard();
    for (const auto& c : cases) {
        const auto refusal = CleanupGuard::check(c.path, 0, policy, CloudStatus{});
        EXPECT_EQ(refusal ? std::optional(refusal->description()) : std::nullopt, c.refusal) << c.path;
    }
}
