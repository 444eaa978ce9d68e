// The standard policy, widening it, and the uninstall policy.
#include <gtest/gtest.h>

#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

TEST(CleanupPolicy, StandardRefusesPersonalAndSystemPlacesEvenWhenTheHomeIsAllowed) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    test::makeDirs(home / "Library/Caches/app");
    test::makeDirs(home / "Documents/work");
    const auto standard = CleanupPolicy::standard();
    const auto wide = standard.allowing({home.path(), "/"});
    const std::vector<std::tuple<std::string, const CleanupPolicy*, std::optional<Refusal>>> cases{
        {home / "Pictures/holiday.jpg", &wide, Refusal::protectedPath(home / "Pictures")},
        {home / "Library/Photos/library", &wide, Refusal::protectedPath(home / "Library/Photos")},
        {home / "Library/Mail/V10", &wide, Refusal::protectedPath(home / "Library/Mail")},
        {home / "Library/Application Support/MobileSync/Backup",
         &standard, Refusal::protectedPath(home / "Library/Application Support/MobileSync")},
        {home / ".config/sorvel/defaults.json", &wide, Refusal::protectedPath(home / ".config/sorvel")},
        {"/usr/lib/x", &wide, Refusal::protectedPath("/usr")},
        {"/Library/Caches/x", &wide, Refusal::protectedPath("/Library")},
        {home / "Documents/work", &standard, Refusal::outsideAllowedRoots()},
        {home / "Library/Caches", &standard, Refusal::tooShallow()},
        {home / "Library/Caches/app", &standard, std::nullopt},
    };
    for (const auto& [path, policy, expected] : cases)
        EXPECT_EQ(CleanupGuard::check(path, 0, *policy, std::nullopt), expected) << path;
}

TEST(CleanupPolicy, StandardFollowsTheCurrentHome) {
    test::ScopedEnv a("HOME", std::string("/Users/a"));
    const auto first = CleanupPolicy::standard();
    test::ScopedEnv b("HOME", std::string("/Users/b"));
    EXPECT_EQ(CleanupPolicy::standard().allowedRoots[0], "/Users/b/Library/Caches");
    EXPECT_EQ(first.allowedRoots[0], "/Users/a/Library/Caches");
}

TEST(CleanupPolicy, AllowingAppendsStandardisedRootsAndChangesNothingElse) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto base = CleanupPolicy::standard();
    EXPECT_EQ(base.allowing({}), base);
    const auto wider = base.allowing({"~/Projects/", "/tmp/./scratch/../work/"});
    ASSERT_EQ(wider.allowedRoots.size(), base.allowedRoots.size() + 2);
    EXPECT_EQ(wider.allowedRoots[base.allowedRoots.size()], "/Users/u/Projects");
    EXPECT_EQ(wider.allowedRoots.back(), "/tmp/work");
    EXPECT_EQ(wider.deniedPrefixes, base.deniedPrefixes);
    EXPECT_EQ(base.allowedRoots.size(), CleanupPolicy::standard().allowedRoots.size());
}

TEST(CleanupPolicy, UninstallingAddsTheBundleFolderThenSevenLibraryFolders) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto standard = CleanupPolicy::standard();
    const auto policy = CleanupPolicy::forUninstalling("/Applications/Thing.app");
    ASSERT_EQ(policy.allowedRoots.size(), standard.allowedRoots.size() + 8);
    const std::vector<std::string> added(policy.allowedRoots.begin() + standard.allowedRoots.size(),
                                         policy.allowedRoots.end());
    EXPECT_EQ(added, (std::vector<std::string>{"/Applications", "/Users/u/Library/Preferences",
                                               "/Users/u/Library/Saved Application State",
                                               "/Users/u/Library/HTTPStorages", "/Users/u/Library/WebKit",
                                               "/Users/u/Library/Application Scripts", "/Users/u/Library/Cookies",
                                               "/Users/u/Library/LaunchAgents"}));
    EXPECT_EQ(policy.deniedPrefixes, standard.deniedPrefixes);
}
