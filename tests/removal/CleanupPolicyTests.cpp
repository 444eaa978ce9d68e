// The standard policy, widening it, and the uninstall policy.
#include <gtest/gtest.h>

#include "engine/StorageCategory.h"
#include "removal/CleanupPolicy.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(CleanupPolicy, StandardRootsPrefixesAndScalars) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    const auto policy = CleanupPolicy::standard();
    ASSERT_GE(policy.allowedRoots.size(), 7u);
    ASSERT_LE(policy.allowedRoots.size(), 9u);
    const std::vector<std::string> fixed(policy.allowedRoots.begin(), policy.allowedRoots.begin() + 7);
    EXPECT_EQ(fixed, (std::vector<std::string>{"/Users/u/Library/Caches", "/Users/u/Library/Logs",
                                               "/Users/u/Library/Developer", "/Users/u/Library/Application Support",
                                               "/Users/u/Library/Containers", "/Users/u/Library/Group Containers",
                                               "/Users/u/.local/share/Trash"}));
    size_t extra = 7;
    if (auto cache = StorageCategories::darwinUserCacheDirectory()) {
        EXPECT_EQ(policy.allowedRoots[extra++], *cache);
    }
    if (auto temp = StorageCategories::darwinUserTempDirectory()) {
        EXPECT_EQ(policy.allowedRoots[extra++], *temp);
    }
    EXPECT_EQ(policy.allowedRoots.size(), extra);

    // The 23 of the shared table, this system's 11 own folders, and Sorvel's store last.
    ASSERT_EQ(policy.deniedPrefixes.size(), 35u);
    EXPECT_EQ(policy.deniedPrefixes.back(), "/Users/u/.config/sorvel");
    EXPECT_EQ(policy.deniedPrefixes[0], "/Users/u/Library/Messages");
    EXPECT_EQ(policy.deniedPrefixes[8], "/Users/u/Library/Application Support/MobileSync");
    EXPECT_EQ(policy.deniedPrefixes[14], "/Users/u/Pictures");
    EXPECT_EQ(policy.deniedPrefixes[15], "/Users/u/Library/Photos");
    EXPECT_EQ(std::vector<std::string>(policy.deniedPrefixes.begin() + 16, policy.deniedPrefixes.begin() + 23),
              (std::vector<std::string>{"/System", "/private/var/vm", "/private/var/db", "/Library", "/usr", "/bin",
                                        "/sbin"}));
    EXPECT_EQ(policy.minimumDepthBelowRoot, 1);
    EXPECT_EQ(policy.sizeDriftTolerance, 0.25);
    EXPECT_TRUE(policy.requiresWritability);
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
