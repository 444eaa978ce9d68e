// The path notes know the Linux places where the places table puts them: the XDG folders
// wherever the variables move them, and the system's folders under the system root.
#include <gtest/gtest.h>

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
