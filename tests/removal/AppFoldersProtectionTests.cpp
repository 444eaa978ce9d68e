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

// Installed in an installation only the environment names, or the default beside it: the
// app's data is its own for every mover, as for an app of the system's installation.
TEST(AppFoldersProtection, AnAppInAnyInstallationFlatpakWouldReadKeepsItsData) {
    struct Row {
        const char* variable;
        std::string value;     // "~" the home, "@" the outside place
        std::string installed; // the app's folder, the same way
    };
    const Row rows[] = {
        {"XDG_DATA_HOME", "~", "~/flatpak/app/org.example.Notes"},
        {"XDG_DATA_HOME", "@/data", "~/.local/share/flatpak/app/org.example.Notes"},
        {"FLATPAK_USER_DIR", "@/user", "~/.local/share/flatpak/app/org.example.Notes"},
        {"FLATPAK_SYSTEM_DIR", "@/system", "@/system/app/org.example.Notes"},
        {"FLATPAK_CONFIG_DIR", "@/conf", "@/sd/app/org.example.Notes"},
    };
    for (const auto& row : rows) {
        test::FakeHome home;
        test::TempDir other;
        test::ScopedEnv vars[] = {{"FLATPAK_USER_DIR", std::nullopt}, {"FLATPAK_SYSTEM_DIR", std::nullopt},
                                  {"FLATPAK_CONFIG_DIR", std::nullopt}, {"XDG_DATA_HOME", std::nullopt},
                                  {"XDG_CONFIG_HOME", std::nullopt}};
        const auto place = [&](const std::string& text) {
            return (text[0] == '~' ? home.path() : other.path()) + text.substr(1);
        };
        ::setenv(row.variable, place(row.value).c_str(), 1);
        test::makeDirs(place(row.installed));
        test::writeFile(other.path() + "/conf/installations.d/sd.conf",
                        "[Installation \"sd\"]\nPath=" + other.path() + "/sd\n");
        test::makeDirs(home.path() + "/.local/share/Trash");
        const std::string data = home.path() + "/.var/app/org.example.Notes/data";
        test::writeFile(data + "/notes/notes.db", std::string(4000, 'n'));
        for (const auto& mover : movers())
            EXPECT_TRUE(mover.refuses(data, data + "/notes/notes.db")) << mover.name << ": " << row.variable << "=" << row.value;
        // The folder itself is refused for what it holds, never moved whole.
        const auto refusal = CleanupGuard::check(home.path() + "/.var/app/org.example.Notes", 0, CleanupPolicy::standard(),
                                                 CloudStatus{});
        EXPECT_EQ(refusal ? std::optional(refusal->description()) : std::nullopt, protectedClause(data)) << row.variable;
    }
}
