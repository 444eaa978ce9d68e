// The Flatpak installations an app may be installed in: the user's wherever FLATPAK_USER_DIR
// puts it, the system's, and each one a .conf file in /etc/flatpak/installations.d names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(FlatpakInstallations, EachOneAFileNamesByItsPath) {
    struct Row {
        const char* name;
        std::optional<std::string> userDir; // FLATPAK_USER_DIR
        std::map<std::string, std::string> files; // in installations.d
        std::vector<std::string> extra;           // below the system root, after the user's and the system's
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
         {{"a.conf", "[Installation \"a\"]\nPath=media/a\nPathless=/x\n"}, {"b.conf.off", "Path=/media/b\n"}}, {}},
        {"the user's elsewhere", "/opt/mine/flatpak", {}, {}},
        {"a relative FLATPAK_USER_DIR", "mine/flatpak", {}, {}},
    };
    for (const auto& row : rows) {
        test::FakeHome home;
        test::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
        test::ScopedEnv user("FLATPAK_USER_DIR", row.userDir);
        const std::string sys = home.systemRoot();
        for (const auto& [name, text] : row.files) test::writeFile(sys + "/etc/flatpak/installations.d/" + name, text);
        const std::string userApps =
            row.userDir && (*row.userDir)[0] == '/' ? *row.userDir + "/app" : home.path() + "/.local/share/flatpak/app";
        std::vector<std::string> expected = {userApps, sys + "/var/lib/flatpak/app"};
        for (const auto& e : row.extra) expected.push_back(sys + e);
        EXPECT_EQ(LinuxPlaces::flatpakInstallations(), expected) << row.name;
        EXPECT_TRUE(LinuxPlaces::unreadableInstallations().empty()) << row.name;
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
