// What a target is and what removing it costs, from the five sources in their order.
#include <gtest/gtest.h>

#include <tuple>

#include "cleanup/TargetExplainer.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::TargetExplainer::explain;

TEST(TargetExplainer, AnOwnNoteWinsOverTheCacheTable) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto e = explain("/Users/u/Library/Caches/org.swift.swiftpm");
    EXPECT_EQ(e.what, "Cloned git repositories and downloaded binary artifacts for every Swift package any of your "
                      "projects depends on, shared across projects so the same dependency is fetched once.");
    EXPECT_EQ(e.cost, "Purely a download cache — the resolved versions live in each project's Package.resolved, not "
                      "here. Deleting it means the next build re-fetches from the network.");
    EXPECT_EQ(explain("/Users/u/Library/Caches/org.swift.swiftpm", std::string("rule detail")).cost, "rule detail");
}

TEST(TargetExplainer, KnownCacheFoldersMatchByLastNameInAnyCase) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    test::TempDir bin;
    test::writeScript(bin, "brew", "exit 0");
    test::ScopedEnv path("PATH", bin.path());
    // Inside the caches folder the Homebrew path note answers first, with the same text.
    EXPECT_EQ(explain("/Users/u/Library/Caches/Homebrew").what,
              "Downloaded bottles and source archives from past installs and upgrades.");
    const auto brew = explain("/opt/stuff/homebrew");
    EXPECT_EQ(brew.what, "Downloaded bottles and source archives from past installs and upgrades.");
    EXPECT_EQ(brew.cost, "`brew cleanup` does this properly and knows what is still referenced.");
    EXPECT_EQ(explain("/opt/x/com.apple.dt.Xcode").cost, "Re-downloaded from Apple if Xcode needs them again.");
    // A trailing "/" matches no row.
    EXPECT_EQ(explain("/opt/stuff/yarn/").what, "No description available for this location.");
}

TEST(TargetExplainer, AnythingInACachesFolderNamesItsOwnLastComponent) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto e = explain("/Users/u/Library/Caches/com.example.app/data.db");
    EXPECT_EQ(e.what, "Cached data written by data.db. Caches hold things an app can recreate — downloads, "
                      "thumbnails, computed results.");
    EXPECT_EQ(e.cost, "Rebuilt the next time that app needs it.");
    EXPECT_EQ(explain("/Library/Caches/com.apple.something").cost, "Rebuilt the next time that app needs it.");
    EXPECT_EQ(explain("/Library/Caches/com.apple.something", std::string("why")).cost, "why");
}

TEST(TargetExplainer, NearestNotedAncestorWithinFourFolders) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto near = explain("/Users/u/Library/Developer/CoreSimulator/Devices/ABC/data");
    EXPECT_EQ(near.what, "One of the items in CoreSimulator. Runtime images for each simulated OS version, plus a "
                         "full filesystem per simulated device including anything your apps wrote to them.");
    EXPECT_TRUE(near.cost.has_value());
    // Five levels below: nothing found.
    EXPECT_EQ(explain("/Users/u/Library/Developer/CoreSimulator/a/b/c/d/e").what,
              "No description available for this location.");
    // The home stops the climb.
    EXPECT_EQ(explain("/Users/u/Documents").what, "No description available for this location.");
}

TEST(TargetExplainer, FallbackDescribesWhenNothingElseIsKnown) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto none = explain("/srv/data/thing");
    EXPECT_EQ(none.what, "No description available for this location.");
    EXPECT_EQ(none.cost, std::nullopt);
    const auto fb = explain("/srv/data/thing", std::string("Last used 3 years ago."));
    EXPECT_EQ(fb.what, "Last used 3 years ago.");
    EXPECT_EQ(fb.cost, std::nullopt);
}

// A cost or guidance names a tool's command only where that tool is on PATH.
TEST(TargetExplainer, CommandsNamedOnlyWhereTheirToolIsOnPath) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"/Users/u/Library/Caches/Homebrew", "brew", "`brew cleanup`"},
        {"/Users/u/.cache/Homebrew", "brew", "`brew cleanup`"},
        {"/Users/u/Library/Caches/pip", "pip", "`pip cache purge`"},
        {"/Users/u/.cache/pip", "pip", "`pip cache purge`"},
    };
    for (const auto& [target, tool, command] : cases) {
        test::TempDir bin;
        test::ScopedEnv path("PATH", bin.path());
        const auto without = explain(target).cost.value_or("");
        EXPECT_EQ(without.find(command), std::string::npos) << target << ": " << without;
        EXPECT_FALSE(without.empty()) << target;
        test::writeScript(bin, tool, "exit 0");
        EXPECT_NE(explain(target).cost.value_or("").find(command), std::string::npos) << target;
    }
}
