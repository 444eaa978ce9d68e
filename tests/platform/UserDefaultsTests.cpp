#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <vector>

#include "platform/UserDefaults.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(UserDefaultsLocation, FollowsXdgConfigHomeElseHome) {
    test::FakeHome home;
    {
        test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(UserDefaults::standardFilePath(), home.path() + "/.config/sorvel/defaults.json");
    }
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::string("/elsewhere/conf"));
    EXPECT_EQ(UserDefaults::standardFilePath(), "/elsewhere/conf/sorvel/defaults.json");
}

TEST(UserDefaultsValues, RoundTripAndRemove) {
    test::TempDir dir;
    UserDefaults defaults(dir / "sorvel/defaults.json");
    EXPECT_FALSE(defaults.value("SorvelAppearance").has_value());
    ASSERT_TRUE(defaults.set("SorvelAppearance", "dark"));
    ASSERT_TRUE(defaults.set("SorvelAutomaticUpdateChecks", false));
    ASSERT_TRUE(defaults.set("SorvelSweepHistory", nlohmann::json::array({{{"a", 1}}})));
    EXPECT_EQ(defaults.string("SorvelAppearance"), "dark");
    EXPECT_EQ(defaults.boolean("SorvelAutomaticUpdateChecks"), false);
    EXPECT_EQ((*defaults.value("SorvelSweepHistory"))[0]["a"], 1);
    EXPECT_FALSE(defaults.string("SorvelAutomaticUpdateChecks").has_value()); // wrong type
    ASSERT_TRUE(defaults.remove("SorvelAppearance"));
    EXPECT_FALSE(defaults.value("SorvelAppearance").has_value());
    EXPECT_EQ(defaults.boolean("SorvelAutomaticUpdateChecks"), false);
    struct stat st;
    ASSERT_EQ(stat(defaults.filePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(UserDefaultsValues, AnUnreadableFileIsKeptAsideNotLost) {
    test::TempDir dir;
    const std::string path = dir / "defaults.json";
    test::writeFile(path, "{ not json");
    UserDefaults defaults(path);
    EXPECT_FALSE(defaults.value("x").has_value());
    ASSERT_TRUE(defaults.set("x", 1));
    EXPECT_EQ(test::readFile(path + ".unreadable"), "{ not json");
    EXPECT_EQ(*defaults.value("x"), 1);
}

TEST(UserDefaultsValues, ConcurrentWritersKeepEveryKey) {
    test::TempDir dir;
    const std::string path = dir / "defaults.json";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            UserDefaults defaults(path);
            for (int i = 0; i < 25; ++i) defaults.set("k" + std::to_string(t) + "-" + std::to_string(i), i);
        });
    }
    for (auto& th : threads) th.join();
    UserDefaults defaults(path);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(defaults.value("k" + std::to_string(t) + "-" + std::to_string(i)), nlohmann::json(i));
}

TEST(UserDefaultsValues, AFolderThatCannotBeWrittenFailsWithoutChange) {
    test::TempDir dir;
    test::makeDirs(dir / "locked");
    const std::string path = dir / "locked/defaults.json";
    UserDefaults(path).set("kept", true);
    chmod(path.c_str(), 0644); // readable by the unprivileged child, as the owner's file would be
    chmod((dir / "locked").c_str(), 0555);
    int status = test::runAsUnprivileged([&] {
        UserDefaults defaults(path);
        if (defaults.set("new", 1)) return 1;
        return defaults.boolean("kept") == true ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}
