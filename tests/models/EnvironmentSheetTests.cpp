// The cleanup sheet over a real scan whose cache folder the environment names wrongly:
// the value is set aside (the result says so, for the window), and neither the dry run
// nor the move lists or takes a user folder, an app's data or another home.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <functional>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Homes {
    TempDir root;
    std::string h = root / "home/ann";
    ScopedEnv home{"HOME", h};
    ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv state{"XDG_STATE_HOME", std::nullopt};
    TempDir system;
    ScopedEnv systemRoot{"SORVEL_SYSTEM_ROOT", system.path()};
    Homes() {
        for (const char* file : {"Documents/Thesis/letter.odt", "Music/Album/song.flac",
                                 ".local/share/Steam/game.pak", ".cache/thumbnails/large.png"})
            writeFileOfSize(h + "/" + file, 6'000'000);
        writeFileOfSize(root / "home/bob/Documents/hers.odt", 6'000'000);
        makeDirs(h + "/.config");
        makeDirs(h + "/.local/share/Trash");
        EXPECT_EQ(::symlink(h.c_str(), (root / "to-ann").c_str()), 0);
    }
};

std::vector<std::string> paths(const ScanCoordinator::Outcomes& outcomes, bool movedOnly) {
    std::vector<std::string> out;
    for (const auto& o : outcomes)
        if (!movedOnly || o.moved()) out.push_back(o.path);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(EnvironmentSheet, DryRunAndMoveTakeOnlyTheRealCache) {
    struct Value {
        const char* name;
        std::function<std::string(const Homes&)> value;
    };
    const Value values[] = {
        {"the home", [](const Homes& t) { return t.h; }},
        {"the home through ..", [](const Homes& t) { return t.h + "/.cache/.."; }},
        {"the home through a link", [](const Homes& t) { return t.root / "to-ann"; }},
        {"the data folder", [](const Homes& t) { return t.h + "/.local/share"; }},
        {"a folder holding the homes", [](const Homes& t) { return t.root / "home"; }},
    };
    for (const auto& v : values) {
        Homes homes;
        ScopedEnv cache("XDG_CACHE_HOME", v.value(homes));
        ScanCoordinator coordinator(ScanCoordinator::Services::standard());
        coordinator.start();
        ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; })) << v.name;
        ASSERT_EQ(coordinator.result().setAsideFolders.size(), 1u) << v.name;
        EXPECT_EQ(coordinator.result().setAsideFolders[0].variable, "XDG_CACHE_HOME");

        const std::vector<std::string> onlyCache = {homes.h + "/.cache/thumbnails"};
        std::optional<ScanCoordinator::Outcomes> dry;
        coordinator.runCleanup(CleanupExecutor::Mode::dryRun, std::nullopt,
                               [&](const ScanCoordinator::Outcomes& o) { dry = o; });
        ASSERT_TRUE(waitUntil([&] { return dry.has_value(); })) << v.name;
        EXPECT_EQ(paths(*dry, false), onlyCache) << v.name;

        std::optional<ScanCoordinator::Outcomes> moved;
        coordinator.performCleanup(std::nullopt, [&](const ScanCoordinator::Outcomes& o) { moved = o; });
        ASSERT_TRUE(waitUntil([&] { return moved.has_value(); })) << v.name;
        EXPECT_EQ(paths(*moved, true), onlyCache) << v.name;
        for (const std::string& kept : {homes.h + "/Documents/Thesis/letter.odt", homes.h + "/Music/Album/song.flac",
                                        homes.h + "/.local/share/Steam/game.pak",
                                        homes.root / "home/bob/Documents/hers.odt"})
            EXPECT_TRUE(exists(kept)) << v.name << ": " << kept;
    }
}
