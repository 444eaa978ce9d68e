// The path notes know the Linux places where the places table puts them: the XDG folders
// wherever the variables move them, and the system's folders under the system root.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/PathKnowledge.h"
#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;
using V = PathNote::Verdict;

namespace {

struct Row {
    std::string path; // "~/" the fake home, "/" the fake system root
    std::optional<std::string> title;
    V verdict = V::review;
};

std::string where(const test::FakeHome& home, const std::string& path) {
    return path.rfind("~/", 0) == 0 ? home.path() + path.substr(1) : home.systemRoot() + path;
}

void expectNotes(const test::FakeHome& home, const std::vector<Row>& rows, const char* setting) {
    for (const auto& row : rows) {
        const auto note = PathKnowledge::note(where(home, row.path));
        EXPECT_EQ(note ? std::optional(note->title) : std::nullopt, row.title) << setting << ": " << row.path;
        if (note && row.title) {
            EXPECT_EQ(note->verdict, row.verdict) << row.path;
            EXPECT_TRUE(note->guidance.has_value()) << row.path;
            EXPECT_FALSE(note->what.empty()) << row.path;
        }
    }
}

} // namespace

TEST(LinuxPathNotes, EachPlaceHasItsNote) {
    test::FakeHome home;
    test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    test::writeFile(home.systemRoot() + "/proc/swaps", "Filename Type Size Used Priority\n/swapfile file 1 0 -2\n");
    expectNotes(home,
                {
                    {"~/.cache", "Cache folder", V::safe},
                    {"~/.cache/obexd", "Files received over Bluetooth", V::keep},
                    {"~/.cache/thumbnails", "Thumbnails", V::safe},
                    {"~/.cache/google-chrome", "Browser cache", V::safe},
                    {"~/.cache/mozilla/firefox", "Browser cache", V::safe},
                    {"~/.cache/mozilla", std::nullopt},
                    {"~/.cache/pip", "pip's download cache", V::safe},
                    {"~/.cache/go-build", "Go's build cache", V::safe},
                    {"~/go/pkg/mod", "Go's module cache", V::review},
                    {"~/.cargo/registry/src", "Cargo's unpacked crate sources", V::safe},
                    {"~/.local/share", "App data", V::review},
                    {"~/.local/share/flatpak", "Flatpak apps and runtimes", V::review},
                    {"~/.local/share/keyrings", "Keyrings", V::keep},
                    {"~/.local/share/evolution", "Evolution mail", V::review},
                    {"~/.local/share/Trash", "Trash", V::safe},
                    {"~/.config", "Settings", V::keep},
                    {"~/.local/state", "App state", V::review},
                    {"~/.var/app", "Flatpak app data", V::review},
                    {"~/.var/app/org.gimp.GIMP", "Flatpak app data", V::review},
                    {"~/.var/app/org.gimp.GIMP/cache", "Flatpak app cache", V::safe},
                    {"~/.var/app/org.mozilla.firefox/cache", "Browser cache", V::safe},
                    {"~/.var/app/org.gimp.GIMP/data", "Flatpak app's own data", V::keep},
                    {"~/.var/app/org.gimp.GIMP/config", "Flatpak app's own data", V::keep},
                    {"~/.var/app/org.gimp.GIMP/other", std::nullopt},
                    {"~/snap", "Snap app data", V::review},
                    {"~/snap/firefox", "Snap app data", V::review},
                    {"~/snap/firefox/common", std::nullopt},
                    {"~/.mozilla", "Firefox profiles", V::keep},
                    {"~/.thunderbird", "Thunderbird mail", V::review},
                    {"~/.ssh", "SSH keys", V::keep},
                    {"~/.gnupg", "GnuPG keys", V::keep},
                    {"~/.password-store", "Password store", V::keep},
                    {"/var/log", "System logs", V::review},
                    {"/var/log/journal", "The journal", V::review},
                    {"/var/cache", "System caches", V::review},
                    {"/var/cache/apt/archives", "Downloaded packages", V::safe},
                    {"/var/crash", "Crash reports", V::safe},
                    {"/var/lib/systemd/coredump", "Core dumps", V::safe},
                    {"/swapfile", "Swap file", V::keep},
                    {"/swapfile2", std::nullopt},
                    {"~/.cachex", std::nullopt},
                },
                "default folders");
    // The machine's own /var/log is not the fake system's.
    EXPECT_EQ(PathKnowledge::note("/var/log"), std::nullopt);
}

// Moved by the variables, the places are known where they are now, not by their default names.
TEST(LinuxPathNotes, MovedFoldersAreKnownWhereTheyAre) {
    test::FakeHome home;
    test::ScopedEnv cache("XDG_CACHE_HOME", home.path() + "/tmp/cache");
    test::ScopedEnv config("XDG_CONFIG_HOME", home.path() + "/conf");
    test::ScopedEnv data("XDG_DATA_HOME", home.path() + "/data");
    expectNotes(home,
                {
                    {"~/tmp/cache", "Cache folder", V::safe},
                    {"~/tmp/cache/obexd", "Files received over Bluetooth", V::keep},
                    {"~/tmp/cache/pip", "pip's download cache", V::safe},
                    {"~/.cache", std::nullopt},
                    {"~/.cache/obexd", std::nullopt},
                    {"~/conf", "Settings", V::keep},
                    {"~/.config", std::nullopt},
                    {"~/data/keyrings", "Keyrings", V::keep},
                    {"~/.local/share/keyrings", std::nullopt},
                },
                "moved folders");
}

// A guidance names a tool's command only where the tool is on PATH.
TEST(LinuxPathNotes, GuidanceNamesOnlyToolsThisMachineHas) {
    test::FakeHome home;
    struct Case {
        std::string path;
        const char* tool;
        std::string command;
    };
    const Case cases[] = {
        {"/var/log/journal", "journalctl", "journalctl --vacuum-size"},
        {"/var/log", "journalctl", "journalctl --vacuum-size"},
        {"/var/cache", "apt", "apt clean"},
        {"/var/cache/apt/archives", "apt", "apt clean"},
        {"~/.local/share/flatpak", "flatpak", "flatpak uninstall --unused"},
        {"~/snap", "snap", "snap remove"},
        {"~/snap/firefox", "snap", "snap remove"},
    };
    for (const auto& c : cases) {
        for (const bool present : {true, false}) {
            test::TempDir bin;
            if (present) test::writeScript(bin, c.tool, "exit 0");
            test::ScopedEnv path("PATH", bin.path());
            const auto note = PathKnowledge::note(where(home, c.path));
            ASSERT_TRUE(note && note->guidance) << c.path;
            EXPECT_EQ(note->guidance->find(c.command) != std::string::npos, present)
                << c.path << (present ? " with " : " without ") << c.tool << ": " << *note->guidance;
            EXPECT_EQ(note->guidance->find('`') != std::string::npos, present) << c.path;
        }
    }
}

// Rotation and the core dump lister are named only where their tools are; the journal's
// trim never names a fixed size, and its limit is journald's.
TEST(LinuxPathNotes, RotationAndCoreDumpToolsOnlyWhereInstalled) {
    test::FakeHome home;
    struct Case {
        std::string path;
        const char* tool;
        const char* word;
    };
    const Case cases[] = {
        {"/var/log", "logrotate", "logrotate"},
        {"/var/log", "logrotate", "rotated"},
        {"/var/lib/systemd/coredump", "coredumpctl", "coredumpctl"},
    };
    for (const auto& c : cases) {
        for (const bool present : {true, false}) {
            test::TempDir bin;
            if (present) test::writeScript(bin, c.tool, "exit 0");
            test::ScopedEnv path("PATH", bin.path());
            const auto note = PathKnowledge::note(where(home, c.path));
            ASSERT_TRUE(note && note->guidance) << c.path;
            const std::string text = note->what + " " + *note->guidance;
            EXPECT_EQ(text.find(c.word) != std::string::npos, present)
                << c.path << (present ? " with " : " without ") << c.tool << ": " << text;
        }
    }
    test::TempDir bin;
    test::writeScript(bin, "journalctl", "exit 0");
    test::ScopedEnv path("PATH", bin.path());
    for (const char* place : {"/var/log", "/var/log/journal"}) {
        const auto note = PathKnowledge::note(where(home, place));
        ASSERT_TRUE(note && note->guidance) << place;
        const std::string text = note->what + " " + *note->guidance;
        EXPECT_EQ(text.find("--vacuum-size=5"), std::string::npos) << text;
        EXPECT_EQ(text.find("a tenth of the disk"), std::string::npos) << text;
        EXPECT_NE(text.find("journalctl --disk-usage"), std::string::npos) << text;
    }
    const auto journal = PathKnowledge::note(where(home, "/var/log/journal"));
    EXPECT_NE(journal->what.find("10% of the file system it is on, and never more than 4 GiB"), std::string::npos);
}

// The settings note names the browsers whose profiles are there, and no other.
TEST(LinuxPathNotes, SettingsNameOnlyTheBrowsersThere) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{}, ""},
        {{"chromium"}, "the profiles of Chromium:"},
        {{"google-chrome", "chromium"}, "the profiles of Chrome and Chromium:"},
        {{"google-chrome", "BraveSoftware", "vivaldi"}, "the profiles of Chrome, Brave and Vivaldi:"},
    };
    for (const auto& [folders, said] : rows) {
        test::FakeHome home;
        test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
        for (const auto& folder : folders) test::makeDirs(home.path() + "/.config/" + folder + "/Default");
        test::writeFile(home.path() + "/.config/opera", "a file, not a profile");
        const auto note = PathKnowledge::note(home.path() + "/.config");
        ASSERT_TRUE(note) << said;
        EXPECT_EQ(note->verdict, V::keep);
        if (said.empty()) {
            EXPECT_EQ(note->what.find("profiles"), std::string::npos) << note->what;
        } else {
            EXPECT_NE(note->what.find(said), std::string::npos) << note->what;
        }
        for (const char* browser : {"Opera", "Microsoft Edge"}) EXPECT_EQ(note->what.find(browser), std::string::npos);
    }
}

// Each developer folder's note is its row's own: what it holds, and its tool's command only
// where the tool is; each secret's note is its row's, and each secret is denied.
TEST(LinuxPathNotes, DeveloperFoldersAndSecretsAreToldByTheirRows) {
    test::FakeHome home;
    for (const bool present : {true, false}) {
        test::TempDir bin;
        if (present)
            for (const auto& folder : LinuxPlaces::developerFolders())
                if (!folder.tool.empty()) test::writeScript(bin, folder.tool, "exit 0");
        test::ScopedEnv path("PATH", bin.path());
        for (const auto& folder : LinuxPlaces::developerFolders()) {
            const auto note = PathKnowledge::note(folder.path);
            ASSERT_TRUE(note && note->guidance) << folder.path;
            EXPECT_EQ(note->title, folder.title);
            EXPECT_FALSE(folder.what.empty()) << folder.path;
            EXPECT_EQ(note->what, folder.what) << folder.path;
            EXPECT_EQ(folder.command.empty(), folder.tool.empty()) << folder.path;
            if (!folder.command.empty()) {
                EXPECT_EQ(note->guidance->find("`" + folder.command + "`") != std::string::npos, present)
                    << folder.path << ": " << *note->guidance;
            }
        }
    }
    const auto denied = LinuxPlaces::deniedPlaces();
    const auto secrets = LinuxPlaces::secrets();
    EXPECT_EQ(secrets.size(), 5u);
    for (const auto& secret : secrets) {
        const auto note = PathKnowledge::note(secret.path);
        ASSERT_TRUE(note) << secret.path;
        EXPECT_EQ(note->title, secret.title);
        EXPECT_EQ(note->what, secret.what);
        EXPECT_EQ(note->verdict, V::keep);
        EXPECT_NE(std::find(denied.begin(), denied.end(), secret.path), denied.end()) << secret.path;
    }
}
