// The Flatpak installations an app may be installed in: the user's wherever FLATPAK_USER_DIR
// puts it, the system's, and each one a .conf file in /etc/flatpak/installations.d names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(FlatpakInstallations, EachOneAFileNamesByItsPath) {
    struct Row {
        const char* name;
        std::optional<std::string> userDir; // FLATPAK_USER_DIR
        std::map<std::string, std::string> files; // in installations.d
        std::vector<std::string> extra;           // below the system root, after the user's and the system's
        bool unread = false; // a.conf names no place Flatpak could find
    };
    const Row rows[] = {
        {"none", std::nullopt, {}, {}},
        {"one", std::nullopt, {{"a.conf", "[Installation \"a\"]\nPath=/media/a\n"}}, {"/media/a/app"}},
        {"blanks around the value", std::nullopt, {{"a.conf", "[Installation \"a\"]\n  Path = /media/a \r\n"}},
         {"/media/a/app"}},
        {"two sections and two files", std::nullopt,
         {{"a.conf", "[Installation \"a\"]\nPath=/media/a\n[Installation \"b\"]\nDisplayName=B\nPath=/media/b\n"},
          {"c.conf", "[Installation \"c\"]\nPath=/srv/c\n"}},
         {"/media/a/app", "/media/b/app", "/srv/c/app"}},
        {"a relative path, another key, a file not .conf", std::nullopt,
         {{"a.conf", "[Installation \"a\"]\nPath=media/a\nPathless=/x\n"}, {"b.conf.off", "Path=/media/b\n"}}, {}, true},
        {"the user's elsewhere", "/opt/mine/flatpak", {}, {}},
        {"a relative FLATPAK_USER_DIR", "mine/flatpak", {}, {}},
    };
    for (const auto& row : rows) {
        test::FakeHome home;
        test::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
        test::ScopedEnv user("FLATPAK_USER_DIR", row.userDir);
        const std::string sys = home.systemRoot();
        for (const auto& [name, text] : row.files) test::writeFile(sys + "/etc/flatpak/installations.d/" + name, text);
        // The installation FLATPAK_USER_DIR names, and the default all the same.
        std::vector<std::string> expected;
        if (row.userDir && (*row.userDir)[0] == '/') expected.push_back(*row.userDir + "/app");
        expected.push_back(home.path() + "/.local/share/flatpak/app");
        expected.push_back(sys + "/var/lib/flatpak/app");
        for (const auto& e : row.extra) expected.push_back(sys + e);
        EXPECT_EQ(LinuxPlaces::flatpakInstallations(), expected) << row.name;
        EXPECT_EQ(LinuxPlaces::unreadableInstallations(),
                  row.unread ? std::vector<std::string>{sys + "/etc/flatpak/installations.d/a.conf"} : std::vector<std::string>{})
            << row.name;
    }
}

// A file that cannot be read may name the installation holding any app: unknown, naming it.
TEST(FlatpakInstallations, AFileThatCannotBeReadMakesEveryAppUnknown) {
    test::FakeHome home;
    const std::string conf = home.systemRoot() + "/etc/flatpak/installations.d/a.conf";
    test::writeFile(conf, "Path=/media/a\n");
    ASSERT_EQ(::chmod(conf.c_str(), 0600), 0);
    test::makeDirs(home.systemRoot() + "/var/lib/flatpak/app/org.there.App");
    const int status = test::runAsUnprivileged([&] {
        const auto gone = LinuxPlaces::flatpakInstalled("org.gone.App");
        const auto there = LinuxPlaces::flatpakInstalled("org.there.App");
        int wrong = 0;
        if (gone.answer != LinuxPlaces::Installed::Answer::unknown || gone.unreadableFolder != conf) wrong |= 1;
        if (there.answer != LinuxPlaces::Installed::Answer::yes) wrong |= 2;
        if (LinuxPlaces::unreadableInstallations() != std::vector<std::string>{conf}) wrong |= 4;
        return wrong;
    });
    EXPECT_EQ(status, 0);
}

namespace {

// A home, a fake system root and a place outside both, with every variable Flatpak reads unset.
struct FlatpakEnv {
    test::FakeHome home;
    test::TempDir other;
    test::ScopedEnv user{"FLATPAK_USER_DIR", std::nullopt};
    test::ScopedEnv system{"FLATPAK_SYSTEM_DIR", std::nullopt};
    test::ScopedEnv config{"FLATPAK_CONFIG_DIR", std::nullopt};
    test::ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    std::string h = home.path(), sys = home.systemRoot(), o = other.path();
    static constexpr const char* kApp = "/app/org.example.Notes";
};

} // namespace

// Installed means held by any installation Flatpak would read here: each variable's own value
// and the default both. A file naming installations that is no key file, or names one with no
// place Flatpak could find, may name the one holding the app: unknown, naming the file.
TEST(FlatpakInstallations, EveryPlaceFlatpakWouldReadHoldsApps) {
    using Answer = LinuxPlaces::Installed::Answer;
    struct Row {
        const char* name;
        std::function<void(const FlatpakEnv&)> set;
        Answer answer;
        std::string unread = {}; // below the outside place ("@") or the system root ("%")
    };
    const auto conf = [](const std::string& text, bool variable) {
        return [=](const FlatpakEnv& t) {
            const std::string folder = variable ? t.o + "/conf" : t.sys + "/etc/flatpak";
            if (variable) ::setenv("FLATPAK_CONFIG_DIR", folder.c_str(), 1);
            test::writeFile(folder + "/installations.d/x.conf", text);
        };
    };
    const std::string named = "[Installation \"x\"]\nPath=/srv/x\n";
    const Row rows[] = {
        {"installed nowhere", [](const FlatpakEnv&) {}, Answer::no},
        {"FLATPAK_USER_DIR's own",
         [](const FlatpakEnv& t) {
             ::setenv("FLATPAK_USER_DIR", (t.o + "/user").c_str(), 1);
             test::makeDirs(t.o + "/user" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"the default user one while FLATPAK_USER_DIR names another",
         [](const FlatpakEnv& t) {
             ::setenv("FLATPAK_USER_DIR", (t.o + "/user").c_str(), 1);
             test::makeDirs(t.h + "/.local/share/flatpak" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"XDG_DATA_HOME's own value, set aside as the home",
         [](const FlatpakEnv& t) {
             ::setenv("XDG_DATA_HOME", t.h.c_str(), 1);
             test::makeDirs(t.h + "/flatpak" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"the default while XDG_DATA_HOME names another",
         [](const FlatpakEnv& t) {
             ::setenv("XDG_DATA_HOME", (t.o + "/data").c_str(), 1);
             test::makeDirs(t.h + "/.local/share/flatpak" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"FLATPAK_SYSTEM_DIR's own",
         [](const FlatpakEnv& t) {
             ::setenv("FLATPAK_SYSTEM_DIR", (t.o + "/system").c_str(), 1);
             test::makeDirs(t.o + "/system" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"the default system one while FLATPAK_SYSTEM_DIR names another",
         [](const FlatpakEnv& t) {
             ::setenv("FLATPAK_SYSTEM_DIR", (t.o + "/system").c_str(), 1);
             test::makeDirs(t.sys + "/var/lib/flatpak" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"named in FLATPAK_CONFIG_DIR's installations.d",
         [](const FlatpakEnv& t) {
             ::setenv("FLATPAK_CONFIG_DIR", (t.o + "/conf").c_str(), 1);
             test::writeFile(t.o + "/conf/installations.d/x.conf", "[Installation \"x\"]\nPath=" + t.o + "/x\n");
             test::makeDirs(t.o + "/x" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"named in /etc/flatpak's while FLATPAK_CONFIG_DIR names another",
         [](const FlatpakEnv& t) {
             ::setenv("FLATPAK_CONFIG_DIR", (t.o + "/conf").c_str(), 1);
             test::writeFile(t.sys + "/etc/flatpak/installations.d/x.conf", "[Installation \"x\"]\nPath=/srv/x\n");
             test::makeDirs(t.sys + "/srv/x" + FlatpakEnv::kApp);
         },
         Answer::yes},
        {"comments, blanks and another section's Path",
         [](const FlatpakEnv& t) {
             test::writeFile(t.sys + "/etc/flatpak/installations.d/x.conf",
                             "# mine\n\n[Remote \"r\"]\nPath=/srv/r\n[Installation \"x\"]\n  Path = /srv/x\n");
             test::makeDirs(t.sys + "/srv/x" + FlatpakEnv::kApp);
             test::makeDirs(t.sys + "/srv/r/app/org.other.App");
         },
         Answer::yes},
        {"a line outside any section", conf("Path=/srv/x\n" + named, false), Answer::unknown,
         "%/etc/flatpak/installations.d/x.conf"},
        {"a line that is no key", conf(named + "garbage\n", true), Answer::unknown, "@/conf/installations.d/x.conf"},
        {"an installation without Path", conf("[Installation \"x\"]\nDisplayName=X\n", false), Answer::unknown,
         "%/etc/flatpak/installations.d/x.conf"},
        {"a relative Path", conf("[Installation \"x\"]\nPath=srv/x\n", true), Answer::unknown,
         "@/conf/installations.d/x.conf"},
        {"a header left open", conf("[Installation \"x\"\nPath=/srv/x\n", false), Answer::unknown,
         "%/etc/flatpak/installations.d/x.conf"},
    };
    for (const auto& row : rows) {
        FlatpakEnv t;
        row.set(t);
        const auto found = LinuxPlaces::flatpakInstalled("org.example.Notes");
        EXPECT_EQ(found.answer, row.answer) << row.name;
        std::string unread = row.unread;
        if (!unread.empty()) unread = (unread[0] == '@' ? t.o : t.sys) + unread.substr(1);
        EXPECT_EQ(found.unreadableFolder, unread) << row.name;
        EXPECT_EQ(LinuxPlaces::unreadableInstallations(),
                  unread.empty() ? std::vector<std::string>{} : std::vector<std::string>{unread})
            << row.name;
    }
}

// An installation a variable names that this user cannot read may hold the app: unknown,
// naming it; one that is there and readable still answers for its own apps.
TEST(FlatpakInstallations, OneAVariableNamesThatCannotBeReadIsSaid) {
    struct Row {
        const char* name;
        std::string variable, value, locked; // below the outside place
        std::string file;                    // written there, when not empty
    };
    const Row rows[] = {
        {"FLATPAK_SYSTEM_DIR's apps", "FLATPAK_SYSTEM_DIR", "/system", "/system/app", ""},
        {"FLATPAK_USER_DIR's apps", "FLATPAK_USER_DIR", "/user", "/user/app", ""},
        {"XDG_DATA_HOME's apps", "XDG_DATA_HOME", "/data", "/data/flatpak/app", ""},
        {"a file in FLATPAK_CONFIG_DIR", "FLATPAK_CONFIG_DIR", "/conf", "/conf/installations.d/x.conf",
         "[Installation \"x\"]\nPath=/srv/x\n"},
        {"FLATPAK_CONFIG_DIR's installations.d", "FLATPAK_CONFIG_DIR", "/conf", "/conf/installations.d", ""},
    };
    for (const auto& row : rows) {
        FlatpakEnv t;
        ::setenv(row.variable.c_str(), (t.o + row.value).c_str(), 1);
        const std::string locked = t.o + row.locked;
        if (row.file.empty()) test::makeDirs(locked + "/org.some.App");
        else test::writeFile(locked, row.file);
        ASSERT_EQ(::chmod(locked.c_str(), 0700), 0);
        test::makeDirs(t.sys + "/var/lib/flatpak/app/org.there.App");
        const int status = test::runAsUnprivileged([&] {
            const auto gone = LinuxPlaces::flatpakInstalled("org.example.Notes");
            int wrong = 0;
            if (gone.answer != LinuxPlaces::Installed::Answer::unknown || gone.unreadableFolder != locked) wrong |= 1;
            if (LinuxPlaces::flatpakInstalled("org.there.App").answer != LinuxPlaces::Installed::Answer::yes) wrong |= 2;
            if (LinuxPlaces::unreadableInstallations() != std::vector<std::string>{locked}) wrong |= 4;
            return wrong;
        });
        EXPECT_EQ(status, 0) << row.name;
    }
}
