// A cache folder the environment names wrongly (the home, however written, the data folder,
// a folder holding other homes) is set aside: no sweep, own folder or guard takes the
// user's folders, the data folder's apps or other homes for caches.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <functional>

#include "cleanup/CloudStatus.h"
#include "platform/Path.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// A home with user folders, apps' data and a real cache, each big enough for the cache rule,
// inside a folder that holds another home.
struct Homes {
    test::TempDir root;
    std::string h = root / "home/ann";
    std::string other = root / "home/bob";
    test::ScopedEnv home{"HOME", h};
    test::ScopedEnv cache{"XDG_CACHE_HOME", std::nullopt};
    test::ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv state{"XDG_STATE_HOME", std::nullopt};
    test::TempDir system;
    test::ScopedEnv systemRoot{"SORVEL_SYSTEM_ROOT", system.path()};

    Homes() {
        for (const char* file : {"Documents/letter.odt", "Music/song.flac", ".local/share/flatpak/repo/objects",
                                 ".local/share/Steam/game.pak", ".cache/thumbnails/large.png"})
            test::writeFileOfSize(h + "/" + file, 6'000'000);
        test::writeFileOfSize(other + "/Documents/hers.odt", 6'000'000);
        test::makeDirs(h + "/.config");
        test::makeDirs(h + "/.local/share/Trash");
        EXPECT_EQ(::symlink(h.c_str(), (root / "to-ann").c_str()), 0);
    }
    // What nothing may take: each is still there.
    std::vector<std::string> kept() const {
        return {h + "/Documents/letter.odt", h + "/Music/song.flac", h + "/.local/share/flatpak/repo/objects",
                h + "/.local/share/Steam/game.pak", other + "/Documents/hers.odt"};
    }
};

struct Value {
    const char* name;
    std::function<std::string(const Homes&)> value;
};

const Value kValues[] = {
    {"the home", [](const Homes& t) { return t.h; }},
    {"the home with a slash", [](const Homes& t) { return t.h + "/"; }},
    {"the home through ..", [](const Homes& t) { return t.h + "/.cache/.."; }},
    {"the home through a link", [](const Homes& t) { return t.root / "to-ann"; }},
    {"the data folder", [](const Homes& t) { return t.h + "/.local/share"; }},
    {"a folder holding the homes", [](const Homes& t) { return t.root / "home"; }},
};

std::vector<std::string> moved(const SweepRunner::Outcome& out) {
    std::vector<std::string> paths;
    for (const auto& o : out.outcomes)
        if (o.moved()) paths.push_back(o.path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

SweepRunner::Outcome sweep(std::vector<std::string> folders, bool rules) {
    SweepSchedule s;
    s.rules = rules ? SweepSchedule::RuleSelection::allSafeRules() : SweepSchedule::RuleSelection::only({});
    s.action = SweepSchedule::Action::clean;
    s.folders = std::move(folders);
    return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
}

} // namespace

// Through each mover the cache rule takes the one real cache and nothing else.
TEST(EnvironmentPlaces, ACacheFolderSetAsideLeavesUserFoldersAppsAndOtherHomes) {
    struct Mover {
        const char* name;
        std::function<std::vector<std::string>(const Homes&)> moves; // what it moved
    };
    const Mover movers[] = {
        {"a cleaning sweep", [](const Homes&) { return moved(sweep({}, true)); }},
        {"a sweep with an own folder", [](const Homes& t) { return moved(sweep({t.h + "/Downloads"}, true)); }},
    };
    for (const auto& value : kValues)
        for (const auto& mover : movers) {
            Homes homes;
            test::makeDirs(homes.h + "/Downloads");
            test::ScopedEnv cache("XDG_CACHE_HOME", value.value(homes));
            EXPECT_EQ(mover.moves(homes), std::vector<std::string>{homes.h + "/.cache/thumbnails"})
                << mover.name << ", " << value.name;
            for (const auto& file : homes.kept()) EXPECT_TRUE(test::exists(file)) << mover.name << ", " << value.name;
        }
}

// The guard's allowed roots follow the judged cache folder: a user folder or an app's data
// is outside them, whatever the environment named.
TEST(EnvironmentPlaces, TheGuardRefusesWhatAWrongCacheFolderWouldHaveAllowed) {
    for (const auto& value : kValues) {
        Homes homes;
        test::ScopedEnv cache("XDG_CACHE_HOME", value.value(homes));
        for (const std::string& path : {homes.h + "/Music", homes.h + "/.local/share/Steam", homes.other})
            EXPECT_TRUE(CleanupGuard::check(path, 0, CleanupPolicy::standard(), CloudStatus{}).has_value())
                << value.name << ": " << path;
        EXPECT_EQ(CleanupGuard::check(homes.h + "/.cache/thumbnails", 0, CleanupPolicy::standard(), CloudStatus{}),
                  std::nullopt)
            << value.name;
    }
}

// Settings or data the environment put inside the cache folder are set aside as base
// folders, yet apps still keep their files there: no rule or sweep moves them as a cache,
// and the guard refuses them.
TEST(EnvironmentPlaces, SettingsOrDataSetAsideInsideTheCachesStayWhereTheyAre) {
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        Homes homes;
        const std::string stranded = homes.h + "/.cache/kept";
        test::writeFileOfSize(stranded + "/app/file", 6'000'000);
        test::ScopedEnv set(variable, stranded);
        EXPECT_EQ(moved(sweep({}, true)), std::vector<std::string>{homes.h + "/.cache/thumbnails"}) << variable;
        EXPECT_TRUE(test::exists(stranded + "/app/file")) << variable;
        EXPECT_TRUE(CleanupGuard::check(stranded, 0, CleanupPolicy::standard(), CloudStatus{}).has_value()) << variable;
    }
}
