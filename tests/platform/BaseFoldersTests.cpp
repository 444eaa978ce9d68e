// The XDG base folders are taken from the environment only where they are safe for their
// data: a value naming the home, a user folder, a protected place or another base folder,
// however it is written, is set aside with its reason, and the default stands.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include "platform/BaseFolders.h"
#include "platform/LinuxPlaces.h"
#include "platform/Trash.h"
#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

using namespace sorvel;
using BaseFolders::Base;

namespace {

struct XdgUnset {
    test::ScopedEnv cache{"XDG_CACHE_HOME", std::nullopt};
    test::ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv state{"XDG_STATE_HOME", std::nullopt};
};

// A home with the places the values below name: a link to it, a German pictures folder.
struct Home {
    test::FakeHome fake;
    XdgUnset unset;
    std::string h = fake.path();
    Home() {
        for (const char* folder : {"Documents", "Music", "Bilder", ".ssh", "elsewhere/cache"})
            test::makeDirs(h + "/" + folder);
        test::writeFile(h + "/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
        EXPECT_EQ(::symlink(h.c_str(), (h + "/elsewhere/home").c_str()), 0);
        EXPECT_EQ(::symlink((h + "/.local/share").c_str(), (h + "/elsewhere/data").c_str()), 0);
    }
};

struct Case {
    const char* name;
    std::vector<std::pair<const char*, std::string>> values; // "~" stands for the home
    Base base;
    std::string used;   // "~" stands for the home
    std::string reason; // empty: no value of this base set aside
};

std::string at(const std::string& h, const std::string& path) {
    return !path.empty() && path[0] == '~' ? h + path.substr(1) : path;
}

} // namespace

TEST(BaseFolders, AValueUnsafeForItsDataIsSetAsideAndTheDefaultStands) {
    const Case cases[] = {
        {"the home", {{"XDG_CACHE_HOME", "~"}}, Base::cache, "~/.cache", "it is the home folder"},
        {"the home with a slash", {{"XDG_CACHE_HOME", "~/"}}, Base::cache, "~/.cache", "it is the home folder"},
        {"the home through ..", {{"XDG_CACHE_HOME", "~/.cache/.."}}, Base::cache, "~/.cache", "it is the home folder"},
        {"the home through a link", {{"XDG_CACHE_HOME", "~/elsewhere/home"}}, Base::cache, "~/.cache",
         "it is the home folder"},
        {"the home through a link and ..", {{"XDG_CACHE_HOME", "~/elsewhere/home/Music/.."}}, Base::cache, "~/.cache",
         "it is the home folder"},
        {"the root holds the home", {{"XDG_DATA_HOME", "/"}}, Base::data, "~/.local/share", "it holds the home folder"},
        {"the home's parent", {{"XDG_STATE_HOME", "~/.."}}, Base::state, "~/.local/state", "it holds the home folder"},
        {"documents", {{"XDG_CACHE_HOME", "~/Documents"}}, Base::cache, "~/.cache", "it is the user folder ~/Documents"},
        {"the pictures the desktop names", {{"XDG_CACHE_HOME", "~/Bilder/"}}, Base::cache, "~/.cache",
         "it is the user folder ~/Bilder"},
        {"inside music", {{"XDG_CACHE_HOME", "~/Music/cache"}}, Base::cache, "~/.cache",
         "it lies inside the user folder ~/Music"},
        {"the home through a link to a user folder and ..", {{"XDG_CONFIG_HOME", "~/elsewhere/home/Downloads/.."}}, Base::config,
         "~/.config", "it is the home folder"},
        {"the keys", {{"XDG_CACHE_HOME", "~/.ssh"}}, Base::cache, "~/.cache", "it is the protected place ~/.ssh"},
        {"relative", {{"XDG_CACHE_HOME", "relative/cache"}}, Base::cache, "~/.cache", "it is not an absolute path"},
        {"the data folder", {{"XDG_CACHE_HOME", "~/.local/share"}}, Base::cache, "~/.cache",
         "it is also the data folder (~/.local/share)"},
        {"the data folder through a link", {{"XDG_CACHE_HOME", "~/elsewhere/data"}}, Base::cache, "~/.cache",
         "it is also the data folder (~/.local/share)"},
        {"a folder holding data and state", {{"XDG_CACHE_HOME", "~/.local"}}, Base::cache, "~/.cache",
         "it holds the data folder (~/.local/share)"},
        {"settings in the caches", {{"XDG_CONFIG_HOME", "~/.cache"}}, Base::config, "~/.config",
         "it is also the cache folder (~/.cache)"},
        {"data inside the caches", {{"XDG_DATA_HOME", "~/.cache/data"}}, Base::data, "~/.local/share",
         "it lies inside the cache folder (~/.cache)"},
        {"caches inside the settings", {{"XDG_CACHE_HOME", "~/.config/cache"}}, Base::cache, "~/.cache",
         "it lies inside the settings folder (~/.config)"},
        {"caches holding the data folder",
         {{"XDG_DATA_HOME", "~/elsewhere/cache/data"}, {"XDG_CACHE_HOME", "~/elsewhere/cache"}}, Base::cache, "~/.cache",
         "it holds the data folder (~/elsewhere/cache/data)"},
        {"two values alike, the first", {{"XDG_CACHE_HOME", "~/elsewhere/x"}, {"XDG_STATE_HOME", "~/elsewhere/x"}},
         Base::cache, "~/.cache", "it is also the state folder (~/elsewhere/x)"},
        {"two values alike: the other one stands", {{"XDG_CACHE_HOME", "~/elsewhere/x"}, {"XDG_STATE_HOME", "~/elsewhere/x"}},
         Base::state, "~/elsewhere/x", ""},
        // Values that stand.
        {"a folder of its own", {{"XDG_CACHE_HOME", "~/elsewhere/cache/"}}, Base::cache, "~/elsewhere/cache", ""},
        {"caches nested in the data folder", {{"XDG_CACHE_HOME", "~/.local/share/cache"}}, Base::cache,
         "~/.local/share/cache", ""},
        {"not there yet", {{"XDG_STATE_HOME", "/nowhere/state"}}, Base::state, "/nowhere/state", ""},
        {"the default written otherwise", {{"XDG_CACHE_HOME", "~/.cache/./"}}, Base::cache, "~/.cache", ""},
    };
    for (const auto& c : cases) {
        Home home;
        std::vector<test::ScopedEnv> set;
        set.reserve(c.values.size());
        for (const auto& [variable, value] : c.values)
            set.emplace_back(variable, at(home.h, value));
        const std::string used = at(home.h, c.used);
        EXPECT_EQ(BaseFolders::folder(c.base), used) << c.name;
        std::string reason;
        for (const auto& aside : BaseFolders::setAside())
            if (aside.variable == BaseFolders::variable(c.base)) {
                reason = aside.reason;
                EXPECT_EQ(aside.used, used) << c.name;
            }
        EXPECT_EQ(reason, c.reason) << c.name;
    }
}

// Every reader of a base folder takes the judged one: the places table, the Trash and the
// settings file.
TEST(BaseFolders, EveryReaderTakesTheJudgedFolder) {
    Home home;
    test::ScopedEnv cache("XDG_CACHE_HOME", home.h);
    test::ScopedEnv data("XDG_DATA_HOME", home.h + "/Documents");
    test::ScopedEnv config("XDG_CONFIG_HOME", home.h + "/.cache");
    test::ScopedEnv state("XDG_STATE_HOME", home.h + "/Music");
    EXPECT_EQ(LinuxPlaces::cacheHome(), home.h + "/.cache");
    EXPECT_EQ(LinuxPlaces::dataHome(), home.h + "/.local/share");
    EXPECT_EQ(LinuxPlaces::configHome(), home.h + "/.config");
    EXPECT_EQ(LinuxPlaces::stateHome(), home.h + "/.local/state");
    EXPECT_EQ(Trash::directory(), home.h + "/.local/share/Trash");
    EXPECT_EQ(UserDefaults::standardFilePath(), home.h + "/.config/sorvel/defaults.json");
    const auto aside = BaseFolders::setAside();
    ASSERT_EQ(aside.size(), 4u);
    EXPECT_EQ(BaseFolders::sentence(aside[0]),
              "XDG_CACHE_HOME (" + home.h + ") was set aside: it is the home folder. Sorvel uses ~/.cache.");
}

// A bind mount shows the home under another name: it is the home all the same.
TEST(BaseFolders, ABindMountOfTheHomeIsTheHome) {
    Home home;
    test::TempDir elsewhere;
    const std::string view = elsewhere / "view";
    test::makeDirs(view);
    const int status = test::inMountNamespace([&] {
        if (::mount(home.h.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) != 0) return test::kSkipped;
        test::ScopedEnv cache("XDG_CACHE_HOME", view + "/Music/..");
        const auto aside = BaseFolders::setAside();
        const bool right = LinuxPlaces::cacheHome() == home.h + "/.cache" && aside.size() == 1 &&
                           aside[0].reason == "it is the home folder";
        return right ? 0 : 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
}
