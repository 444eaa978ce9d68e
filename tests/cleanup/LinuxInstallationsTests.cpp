// A Flatpak or snap app is installed when any installation the system uses holds it: the
// user's wherever FLATPAK_USER_DIR puts it, the system's, each extra one a file in
// /etc/flatpak/installations.d names, and a snap's package. Its folder is then no leftover, and
// while an installation cannot be read only folders of apps installed nowhere readable count
// as held back.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "ResultBuilder.h"
#include "cleanup/CleanupRules.h"
#include "engine/InstalledApps.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

struct LinuxHome {
    test::FakeHome home;
    test::ScopedEnv cache{"XDG_CACHE_HOME", std::nullopt};
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv user{"FLATPAK_USER_DIR", std::nullopt};
    test::TempDir system;
    LinuxPlaces::ScopedSystemRoot root{system.path()};
    std::string h = home.path();
    std::string sys = system.path();
};

bool offered(const CleanupItem& item, const std::string& path) {
    return std::any_of(item.targets.begin(), item.targets.end(), [&](const CleanupTarget& t) { return t.path == path; });
}

} // namespace

TEST(LinuxInstallations, AnAppInAnyInstallationIsNoLeftover) {
    struct Row {
        const char* name;
        std::string folder;                                  // below the home
        std::function<void(const LinuxHome&)> install;       // none: installed nowhere
        bool offered;
    };
    const auto extra = [](const std::string& conf, const std::string& path) {
        return [=](const LinuxHome& t) {
            test::writeFile(t.sys + "/etc/flatpak/installations.d/" + conf,
                            "[Installation \"extra\"]\nPath = " + path + "\nDisplayName=Extra\n");
            test::makeDirs(t.sys + path + "/app/org.some.App");
        };
    };
    const Row rows[] = {
        {"installed nowhere", ".var/app/org.some.App", nullptr, true},
        {"in the installation FLATPAK_USER_DIR names", ".var/app/org.some.App",
         [](const LinuxHome& t) {
             test::makeDirs(t.h + "/elsewhere/flatpak/app/org.some.App");
             ::setenv("FLATPAK_USER_DIR", (t.h + "/elsewhere/flatpak").c_str(), 1);
         },
         false},
        {"in an extra installation", ".var/app/org.some.App", extra("extra.conf", "/run/media/sd/flatpak"), false},
        {"named by a file that is no .conf", ".var/app/org.some.App", extra("extra.conf.bak", "/run/media/sd/flatpak"),
         true},
        {"a snap whose package is there", "snap/some-app",
         [](const LinuxHome& t) { test::writeFile(t.sys + "/var/lib/snapd/snaps/some-app_42.snap", "s"); }, false},
        {"a snap whose package of a longer name is there", "snap/some-app",
         [](const LinuxHome& t) { test::writeFile(t.sys + "/var/lib/snapd/snaps/some-app-two_42.snap", "s"); }, true},
    };
    for (const auto& row : rows) {
        LinuxHome t;
        if (row.install) row.install(t);
        const std::string path = t.h + "/" + row.folder;
        auto result = resultWith({node(deletingLastPathComponent(path), 6'000'000, {node(path, 6'000'000)})});
        const CleanupItem item = CleanupRules::leftovers(result, t.h);
        EXPECT_EQ(offered(item, path), row.offered) << row.name;
        EXPECT_FALSE(item.withheld) << row.name;
        ::unsetenv("FLATPAK_USER_DIR");
    }
}

// A file naming an installation that cannot be read, or the system's installation: nothing is
// offered, the row names what could not be read, and the folders it counts are only those of
// apps installed nowhere readable.
TEST(LinuxInstallations, WhileOneCannotBeReadOnlyAppsInstalledNowhereAreCounted) {
    struct Row {
        const char* name;
        std::string locked; // below the system root
        bool folder;        // the locked one is a folder (else a file)
    };
    const Row rows[] = {
        {"a file naming an extra installation", "/etc/flatpak/installations.d/extra.conf", false},
        {"the folder of such files", "/etc/flatpak/installations.d", true},
        {"the system's installation", "/var/lib/flatpak/app", true},
    };
    for (const auto& row : rows) {
        LinuxHome t;
        const std::string locked = t.sys + row.locked;
        if (row.folder) test::makeDirs(locked + "/x");
        else test::writeFile(locked, "[Installation \"extra\"]\nPath=/srv/flatpak\n");
        ASSERT_EQ(::chmod(locked.c_str(), 0700), 0);
        // One app installed for the user, one snap installed, one app gone.
        test::makeDirs(t.h + "/.local/share/flatpak/app/org.user.App");
        test::makeDirs(t.sys + "/snap/kept");
        const std::string apps = t.h + "/.var/app", snaps = t.h + "/snap";
        auto result = resultWith({node(apps, 18'000'000,
                                       {node(apps + "/org.user.App", 6'000'000), node(apps + "/org.gone.App", 6'000'000)}),
                                  node(snaps, 6'000'000, {node(snaps + "/kept", 6'000'000)})});
        const int status = test::runAsUnprivileged([&] {
            result.installedApps = InstalledApps::scan();
            const CleanupItem item = CleanupRules::leftovers(result, t.h);
            int wrong = 0;
            if (!item.withheld || !item.targets.empty()) wrong |= 1;
            if (item.detail.find(tildeAbbreviated(locked)) == std::string::npos) wrong |= 2;
            if (item.detail.find("1 folder (") == std::string::npos) wrong |= 4;
            if (wrong) std::fprintf(stderr, "%s\n", item.detail.c_str());
            return wrong;
        });
        EXPECT_EQ(status, 0) << row.name;
    }
}

// Installed in any installation Flatpak would read in this environment, each variable's own
// value and the default both: the app's folder is no leftover. A file naming installations
// that names none Flatpak could find holds every leftover back, and the row names it.
TEST(LinuxInstallations, EveryInstallationFlatpakWouldReadKeepsItsAppsFolder) {
    struct Row {
        const char* name;
        std::string variable, value; // "~" the home, "@" the outside place
        std::string installed;       // the app's folder, the same way
        std::string badConf;         // below the outside place: written into FLATPAK_CONFIG_DIR
    };
    const Row rows[] = {
        {"XDG_DATA_HOME is the home", "XDG_DATA_HOME", "~", "~/flatpak/app/org.example.Notes", ""},
        {"the default beside FLATPAK_USER_DIR", "FLATPAK_USER_DIR", "@/user",
         "~/.local/share/flatpak/app/org.example.Notes", ""},
        {"FLATPAK_SYSTEM_DIR", "FLATPAK_SYSTEM_DIR", "@/system", "@/system/app/org.example.Notes", ""},
        {"FLATPAK_CONFIG_DIR names it", "FLATPAK_CONFIG_DIR", "@/conf", "@/sd/app/org.example.Notes",
         "[Installation \"sd\"]\nPath=@/sd\n"},
        {"FLATPAK_CONFIG_DIR names one with no Path", "FLATPAK_CONFIG_DIR", "@/conf", "",
         "[Installation \"sd\"]\nDisplayName=SD\n"},
    };
    for (const auto& row : rows) {
        LinuxHome t;
        test::TempDir other;
        test::ScopedEnv vars[] = {{"FLATPAK_SYSTEM_DIR", std::nullopt}, {"FLATPAK_CONFIG_DIR", std::nullopt},
                                  {"XDG_DATA_HOME", std::nullopt}};
        const auto place = [&](std::string text) {
            for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, other.path());
            return text[0] == '~' ? t.h + text.substr(1) : text;
        };
        ::setenv(row.variable.c_str(), place(row.value).c_str(), 1);
        if (!row.installed.empty()) test::makeDirs(place(row.installed));
        const std::string conf = other.path() + "/conf/installations.d/sd.conf";
        if (!row.badConf.empty()) test::writeFile(conf, place(row.badConf));
        const std::string apps = t.h + "/.var/app", notes = apps + "/org.example.Notes";
        auto result = resultWith({node(apps, 12'000'000, {node(notes, 6'000'000), node(apps + "/org.gone.App", 6'000'000)})});
        result.installedApps = InstalledApps::scan();
        const CleanupItem item = CleanupRules::leftovers(result, t.h);
        EXPECT_FALSE(offered(item, notes)) << row.name;
        const bool named = row.installed.empty();
        EXPECT_EQ(item.withheld, named) << row.name;
        EXPECT_EQ(offered(item, apps + "/org.gone.App"), !named) << row.name;
        EXPECT_EQ(item.detail.find(tildeAbbreviated(conf)) != std::string::npos, named) << row.name << ": " << item.detail;
        ::unsetenv("FLATPAK_USER_DIR");
    }
}
