// Go's module cache is where Go itself puts it: GOMODCACHE, else the first GOPATH folder's
// pkg/mod, else ~/go/pkg/mod. The developer folders name it there, for review never.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(GoModuleCache, FollowsGoModCacheThenGoPathThenTheHome) {
    struct Case {
        std::optional<std::string> modcache, gopath;
        std::string expected; // "~" for the home
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, "~/go/pkg/mod"},
        {"/srv/mods", std::nullopt, "/srv/mods"},
        {"/srv/mods/", "/opt/go", "/srv/mods"},
        {std::nullopt, "/opt/go", "/opt/go/pkg/mod"},
        {std::nullopt, "/opt/go:/opt/other", "/opt/go/pkg/mod"},
        {"relative/mods", "also/relative", "~/go/pkg/mod"}, // values Go itself refuses
        {std::nullopt, ":/opt/go", "~/go/pkg/mod"},
    };
    for (const auto& c : cases) {
        test::FakeHome home;
        test::ScopedEnv modcache{"GOMODCACHE", c.modcache};
        test::ScopedEnv gopath{"GOPATH", c.gopath};
        const std::string expected = c.expected[0] == '~' ? home.path() + c.expected.substr(1) : c.expected;
        EXPECT_EQ(LinuxPlaces::goModuleCache(), expected) << c.modcache.value_or("-") << " " << c.gopath.value_or("-");
        const auto folders = LinuxPlaces::developerFolders();
        const auto go = std::find_if(folders.begin(), folders.end(),
                                     [&](const LinuxPlaces::DeveloperFolder& f) { return f.path == expected; });
        ASSERT_NE(go, folders.end()) << expected;
        EXPECT_TRUE(go->review) << "Go's modules are advice, never a target";
    }
}
