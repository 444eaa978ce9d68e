// The one table of where a Linux desktop keeps each kind of data.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;
using LinuxPlaces::Installed;
using LinuxPlaces::Kind;

namespace {

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

struct XdgUnset {
    test::ScopedEnv cache{"XDG_CACHE_HOME", std::nullopt};
    test::ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv state{"XDG_STATE_HOME", std::nullopt};
};

} // namespace

TEST(LinuxPlaces, BaseFoldersFollowTheVariablesOnlyWhenAbsolute) {
    test::FakeHome home;
    XdgUnset unset;
    const std::string h = home.path();
    struct Case {
        const char* variable;
        std::optional<std::string> value;
        std::string (*read)();
        std::string expected;
    };
    const Case cases[] = {
        {"XDG_CACHE_HOME", std::nullopt, LinuxPlaces::cacheHome, h + "/.cache"},
        {"XDG_CACHE_HOME", "/elsewhere/cache/", LinuxPlaces::cacheHome, "/elsewhere/cache"},
        {"XDG_CACHE_HOME", "relative", LinuxPlaces::cacheHome, h + "/.cache"},
        {"XDG_CACHE_HOME", "", LinuxPlaces::cacheHome, h + "/.cache"},
        {"XDG_DATA_HOME", std::nullopt, LinuxPlaces::dataHome, h + "/.local/share"},
        {"XDG_DATA_HOME", "/d", LinuxPlaces::dataHome, "/d"},
        {"XDG_CONFIG_HOME", std::nullopt, LinuxPlaces::configHome, h + "/.config"},
        {"XDG_CONFIG_HOME", "/c", LinuxPlaces::configHome, "/c"},
        {"XDG_STATE_HOME", std::nullopt, LinuxPlaces::stateHome, h + "/.local/state"},
        {"XDG_STATE_HOME", "/s/./t", LinuxPlaces::stateHome, "/s/t"},
    };
    for (const auto& c : cases) {
        test::ScopedEnv set(c.variable, c.value);
        EXPECT_EQ(c.read(), c.expected) << c.variable << "=" << c.value.value_or("(unset)");
    }
}

TEST(LinuxPlaces, SystemPlacesAreReadUnderTheSeam) {
    {
        test::ScopedEnv none("SORVEL_SYSTEM_ROOT", std::nullopt);
        LinuxPlaces::ScopedSystemRoot fake("/fake/root/");
        EXPECT_EQ(LinuxPlaces::systemLogs(), "/fake/root/var/log");
        EXPECT_EQ(LinuxPlaces::systemCache(), "/fake/root/var/cache");
        EXPECT_EQ(LinuxPlaces::crashFolders(),
                  (std::vector<std::string>{"/fake/root/var/crash", "/fake/root/var/lib/systemd/coredump"}));
        EXPECT_EQ(LinuxPlaces::snapInstallations(),
                  (std::vector<std::string>{"/fake/root/snap", "/fake/root/var/lib/snapd/snap"}));
    }
    test::ScopedEnv env("SORVEL_SYSTEM_ROOT", "/from/env");
    EXPECT_EQ(LinuxPlaces::systemLogs(), "/from/env/var/log");
    {
        LinuxPlaces::ScopedSystemRoot real("/"); // a set root wins over the environment
        EXPECT_EQ(LinuxPlaces::systemLogs(), "/var/log");
    }
    test::ScopedEnv relative("SORVEL_SYSTEM_ROOT", "from/env");
    EXPECT_EQ(LinuxPlaces::systemLogs(), "/var/log");
}

TEST(LinuxPlaces, SwapFilesAreTheFileRowsOfTheKernelsTable) {
    struct Case {
        std::string text;
        std::vector<std::string> files;
    };
    const std::string header = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
    const Case cases[] = {
        {header + "/swapfile                               file\t\t2097148\t\t0\t\t-2\n", {"/swapfile"}},
        {header + "/dev/dm-1                               partition\t8388604\t\t0\t\t-2\n", {}},
        {header + "/var/my\\040swap file\t\t8\t0\t-3\n", {"/var/my swap"}},
        {header + "/a file 1 0 -2\n/dev/sda2 partition 1 0 -3\n/b file 1 0 -4", {"/a", "/b"}},
        {header, {}},
        {"", {}},
        {header + "relative file 1 0 -2\n", {}},
        {header + "/bad\\09 file 1 0 -2\n", {"/bad\\09"}}, // not an octal escape: as it stands
    };
    for (const auto& c : cases) EXPECT_EQ(LinuxPlaces::swapFilesIn(c.text), c.files) << c.text;
}

TEST(LinuxPlaces, SwapFilesAreReadUnderTheSystemRootAndAnUnreadableTableIsSaid) {
    test::TempDir root;
    LinuxPlaces::ScopedSystemRoot fake(root.path());
    EXPECT_TRUE(LinuxPlaces::swapFiles().files.empty()); // no table: no swap files, nothing unread
    EXPECT_FALSE(LinuxPlaces::swapFiles().unreadable);
    test::writeFile(root / "proc/swaps", "Filename Type Size Used Priority\n/swapfile file 4 0 -2\n");
    EXPECT_EQ(LinuxPlaces::swapFiles().files, std::vector<std::string>{root / "swapfile"});
    EXPECT_EQ(LinuxPlaces::roots(Kind::swap), std::vector<std::string>{root / "swapfile"});
    ::chmod((root / "proc/swaps").c_str(), 0);
    const int status = test::runAsUnprivileged([&] {
        LinuxPlaces::ScopedSystemRoot again(root.path());
        const auto swaps = LinuxPlaces::swapFiles();
        return swaps.unreadable && swaps.files.empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(LinuxPlaces, RootsOfEachKind) {
    test::FakeHome home;
    XdgUnset unset;
    test::TempDir system;
    LinuxPlaces::ScopedSystemRoot fake(system.path());
    const std::string h = home.path();
    test::makeDirs(h + "/.var/app/org.gnome.Maps/cache");
    test::makeDirs(h + "/.var/app/org.mozilla.firefox/cache");
    test::writeFile(h + "/.var/app/stray-file", "x"); // a file is no app folder
    test::makeDirs(h + "/.cache/pip");
    test::makeDirs(h + "/.cargo/registry/cache");

    const auto caches = LinuxPlaces::roots(Kind::caches);
    EXPECT_EQ(caches.front(), h + "/.cache");
    EXPECT_EQ(caches.back(), system / "var/cache");
    EXPECT_TRUE(contains(caches, h + "/.var/app/org.gnome.Maps/cache"));
    EXPECT_TRUE(contains(caches, h + "/.var/app/org.mozilla.firefox/cache"));
    EXPECT_EQ(caches.size(), 4u);

    EXPECT_EQ(LinuxPlaces::roots(Kind::appSupport), std::vector<std::string>{h + "/.local/share"});
    EXPECT_EQ(LinuxPlaces::roots(Kind::containers), (std::vector<std::string>{h + "/.var/app", h + "/snap"}));
    // Developer folders only where they exist.
    EXPECT_EQ(LinuxPlaces::roots(Kind::developer),
              (std::vector<std::string>{h + "/.cache/pip", h + "/.cargo/registry/cache"}));
    EXPECT_EQ(LinuxPlaces::roots(Kind::mail),
              (std::vector<std::string>{h + "/.thunderbird", h + "/.local/share/evolution"}));
    EXPECT_EQ(LinuxPlaces::roots(Kind::logs),
              (std::vector<std::string>{system / "var/log", system / "var/crash", system / "var/lib/systemd/coredump"}));
    EXPECT_EQ(LinuxPlaces::roots(Kind::otherLibrary),
              (std::vector<std::string>{h + "/.config", h + "/.local/state"}));
}

TEST(LinuxPlaces, EachByteBelongsToOneKind) {
    test::FakeHome home;
    XdgUnset unset;
    const std::string h = home.path();
    test::makeDirs(h + "/.var/app/org.gnome.Maps/cache");
    test::makeDirs(h + "/.cache/go-build");
    test::makeDirs(h + "/.npm/_cacache");
    EXPECT_EQ(LinuxPlaces::carvedOut(Kind::containers), std::vector<std::string>{h + "/.var/app/org.gnome.Maps/cache"});
    // Only developer folders inside the cache folder are carved out of it.
    EXPECT_EQ(LinuxPlaces::carvedOut(Kind::caches), std::vector<std::string>{h + "/.cache/go-build"});
    const auto appSupport = LinuxPlaces::carvedOut(Kind::appSupport);
    EXPECT_TRUE(contains(appSupport, h + "/.local/share/Trash"));
    EXPECT_TRUE(contains(appSupport, h + "/.local/share/evolution"));
    EXPECT_TRUE(LinuxPlaces::carvedOut(Kind::logs).empty());
}

TEST(LinuxPlaces, AnAppIsInstalledWhereAnyInstallationHoldsItAndUnknownWhereOneCannotBeRead) {
    test::TempDir root;
    const std::string user = root / "user/app";
    const std::string system = root / "system/app";
    test::makeDirs(user + "/org.present.App");
    test::makeDirs(system);
    struct Case {
        std::vector<std::string> installations;
        std::string name;
        Installed::Answer answer;
    };
    const Case cases[] = {
        {{user, system}, "org.present.App", Installed::Answer::yes},
        {{user, system}, "org.gone.App", Installed::Answer::no},
        {{root / "missing", root / "also-missing"}, "org.gone.App", Installed::Answer::no},
        {{user}, "../app/org.present.App", Installed::Answer::no}, // never a path
        {{user}, "", Installed::Answer::no},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinuxPlaces::installedIn(c.installations, c.name).answer, c.answer) << c.name;

    // A folder that cannot be read: absent from the readable one means unknown, present
    // in the readable one is still installed.
    const std::string locked = root / "locked/app";
    test::makeDirs(locked + "/org.hidden.App");
    ::chmod((root / "locked/app").c_str(), 0700);
    const int status = test::runAsUnprivileged([&] {
        const auto hidden = LinuxPlaces::installedIn({user, locked}, "org.hidden.App");
        if (hidden.answer != Installed::Answer::unknown || hidden.unreadableFolder != locked || hidden.reason.empty())
            return 1;
        if (LinuxPlaces::installedIn({locked, user}, "org.present.App").answer != Installed::Answer::yes) return 2;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(LinuxPlaces, DeniedPlacesHoldSecretsSettingsAndInstalledFlatpakData) {
    test::FakeHome home;
    XdgUnset unset;
    test::TempDir system;
    LinuxPlaces::ScopedSystemRoot fake(system.path());
    const std::string h = home.path();
    test::makeDirs(h + "/.var/app/org.installed.App/data");
    test::makeDirs(h + "/.var/app/org.removed.App/data");
    test::makeDirs(system / "var/lib/flatpak/app/org.installed.App");
    const auto denied = LinuxPlaces::deniedPlaces();
    for (const std::string& place :
         {h + "/.ssh", h + "/.gnupg", h + "/.pki", h + "/.password-store", h + "/.local/share/keyrings",
          h + "/.mozilla", h + "/.thunderbird", h + "/.local/share/evolution", h + "/.config",
          h + "/.var/app/org.installed.App/data", h + "/.var/app/org.installed.App/config"})
        EXPECT_TRUE(contains(denied, place)) << place;
    EXPECT_FALSE(contains(denied, h + "/.var/app/org.removed.App/data"));
}

TEST(LinuxPlaces, UnreadableInstallationsAreThoseThereThatWillNotList) {
    struct Case {
        std::string locked; // relative to the system root, or "~" + relative to the home
        bool listed;        // expected among the unreadable ones
    };
    const Case cases[] = {
        {"", false},                           // all missing: no apps, nothing unknown
        {"/var/lib/flatpak/app", true},
        {"/snap", true},
        {"/var/lib/snapd/snap", true},
        {"~/.local/share/flatpak/app", true},
        {"/var/lib/flatpak", true},            // a folder on the way that refuses the search
    };
    for (const auto& c : cases) {
        test::FakeHome home;
        XdgUnset unset;
        test::TempDir system;
        LinuxPlaces::ScopedSystemRoot fake(system.path());
        std::string folder;
        if (!c.locked.empty()) {
            folder = c.locked[0] == '~' ? home.path() + c.locked.substr(1) : system.path() + c.locked;
            test::makeDirs(folder + "/app/org.some.App");
            ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
        }
        // The installation folder whose answer is unknown: the locked one, or the one inside it.
        const std::string expected = c.locked == "/var/lib/flatpak" ? folder + "/app" : folder;
        const int status = test::runAsUnprivileged([&] {
            const auto unreadable = LinuxPlaces::unreadableInstallations();
            if (!c.listed) return unreadable.empty() ? 0 : 1;
            return unreadable == std::vector<std::string>{expected} ? 0 : 2;
        });
        EXPECT_EQ(status, 0) << c.locked;
        EXPECT_TRUE(LinuxPlaces::unreadableInstallations().empty()) << "as root, " << c.locked;
    }
}

TEST(LinuxPlaces, FlatpakAppIdsAreTheAppFoldersSorted) {
    test::FakeHome home;
    const std::string h = home.path();
    EXPECT_TRUE(LinuxPlaces::flatpakAppIds().empty()); // no ~/.var/app at all
    test::makeDirs(h + "/.var/app/org.gnome.Maps");
    test::makeDirs(h + "/.var/app/com.example.App");
    test::writeFile(h + "/.var/app/stray-file", "x");
    ASSERT_EQ(::symlink((h + "/elsewhere").c_str(), (h + "/.var/app/org.linked.App").c_str()), 0);
    EXPECT_EQ(LinuxPlaces::flatpakAppIds(), (std::vector<std::string>{"com.example.App", "org.gnome.Maps"}));
}
