#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "platform/UserDefaults.h"
#include "support/ChildProcess.h"
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
    EXPECT_EQ(test::readFile(dir / "defaults.corrupt-1.json"), "{ not json");
    EXPECT_EQ(*defaults.value("x"), 1);
}

// Each unreadable file gets its own copy, the newest as number 1; past the cap the
// oldest copy goes, and a gap is filled before anything is dropped.
TEST(UserDefaultsValues, KeptAsideCopiesAreNumberedAndCapped) {
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    EXPECT_EQ(defaults.keptAsidePath(3), dir / "defaults.corrupt-3.json");
    EXPECT_EQ(UserDefaults(dir / "settings").keptAsidePath(1), dir / "settings.corrupt-1");

    const std::vector<std::string> corruptions{"{ not json", "[1, 2]", "42", "", "{\"a\": ", "null", "\"text\""};
    for (const auto& text : corruptions) {
        test::writeFile(defaults.filePath(), text);
        ASSERT_TRUE(defaults.set("x", 1)) << text;
    }
    const int cap = UserDefaults::kKeptAsideCopies;
    for (int n = 1; n <= cap; ++n)
        EXPECT_EQ(test::readFile(defaults.keptAsidePath(n)), corruptions[corruptions.size() - n]) << n;
    EXPECT_FALSE(test::exists(defaults.keptAsidePath(cap + 1)));

    ::unlink(defaults.keptAsidePath(2).c_str());
    test::writeFile(defaults.filePath(), "newest");
    ASSERT_TRUE(defaults.set("x", 1));
    EXPECT_EQ(test::readFile(defaults.keptAsidePath(1)), "newest");
    EXPECT_EQ(test::readFile(defaults.keptAsidePath(2)), corruptions.back());
    EXPECT_EQ(test::readFile(defaults.keptAsidePath(cap)), corruptions[corruptions.size() - cap]); // untouched
}

// Copying, comparing or writing a hostile nesting recurses once per level: such a file
// must be refused as unreadable and kept aside, in a child so a crash cannot take the
// test program with it.
TEST(UserDefaultsValues, DeepNestingIsRefusedAndKeptAside) {
    struct Case {
        int depth;
        bool readable;
    };
    const int limit = UserDefaults::kMaximumDepth;
    for (const Case c : {Case{limit, true}, Case{limit + 1, false}, Case{100'000, false}}) {
        test::TempDir dir;
        UserDefaults defaults(dir / "defaults.json");
        // The outer object is the first level.
        const std::string text =
            "{\"deep\": " + std::string(c.depth - 1, '[') + std::string(c.depth - 1, ']') + ", \"kept\": true}";
        test::writeFile(defaults.filePath(), text);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool readable = defaults.value("deep").has_value();
            const bool written = defaults.set("x", 1) && defaults.value("x") == nlohmann::json(1);
            const bool copyKept = test::exists(defaults.keptAsidePath(1));
            _exit(readable == c.readable && written && copyKept != c.readable ? 0 : 1);
        }
        const int status = test::waitForChild(child, test::kChildDeadline);
        ASSERT_GE(status, 0) << "depth " << c.depth << " crashed the reader, or hung";
        EXPECT_EQ(status, 0) << c.depth;
        if (!c.readable) {
            EXPECT_EQ(test::readFile(defaults.keptAsidePath(1)), text);
        }
    }
    // Brackets inside a text are no nesting, escaped quotes included.
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    const std::string brackets = "\\\"" + std::string(100'000, '[') + "\\\"{";
    test::writeFile(defaults.filePath(), "{\"text\": \"" + brackets + "\"}");
    EXPECT_EQ(defaults.string("text"), "\"" + std::string(100'000, '[') + "\"{");
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

TEST(UserDefaultsValues, AFileThatCannotBeReadIsNeverReplaced) {
    test::TempDir dir;
    test::makeDirs(dir / "open");
    chmod((dir / "open").c_str(), 0777);
    const std::string path = dir / "open/defaults.json";
    UserDefaults(path).set("kept", true);
    const std::string before = test::readFile(path);
    chmod((path + ".lock").c_str(), 0666); // the lock can be taken; only the file is closed
    // Not saved, for the reason the file could not be read.
    int status = test::runAsUnprivileged([&] { return UserDefaults(path).set("new", 1).error; });
    EXPECT_EQ(status, EACCES);
    EXPECT_EQ(test::readFile(path), before);
    EXPECT_FALSE(test::exists(UserDefaults(path).keptAsidePath(1)));
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

// Temporary files a killed writer left beside the store go with the next write.
TEST(UserDefaultsWrites, StrayTemporaryFilesAreRemovedByTheNextWrite) {
    test::TempDir dir;
    UserDefaults defaults(dir / "sorvel/defaults.json");
    ASSERT_TRUE(defaults.set("a", 1));
    const std::pair<const char*, bool> files[] = {
        {".defaults.json.123456.tmp", false}, {".defaults.json.9.tmp", false},
        {".defaults.json.x1.tmp", true}, {"notes.tmp", true}};
    for (const auto& [name, kept] : files) test::writeFile(dir / "sorvel/" + name, std::string(96 * 1024, 'x'));
    ASSERT_TRUE(defaults.set("b", 2));
    for (const auto& [name, kept] : files) EXPECT_EQ(test::exists(dir / "sorvel/" + name), kept) << name;
    EXPECT_EQ(defaults.value("a"), nlohmann::json(1));
}

// A failed write says which step failed and why, not just that it failed.
TEST(UserDefaultsWrites, AFailedWriteCarriesItsReason) {
    test::TempDir dir;
    test::writeFile(dir / "file", "x");
    const SaveStatus status = UserDefaults(dir / "file/sorvel/defaults.json").set("a", 1);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.error, ENOTDIR);
    EXPECT_EQ(status.reason(), std::strerror(ENOTDIR));
}

// Served from memory while the file stays as it is; a write by another process is seen at
// the next read, also one of the same size within the same coarse file-time instant.
TEST(UserDefaultsCache, ServedFromMemoryUntilAnotherProcessChangesTheFile) {
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    ASSERT_TRUE(defaults.set("SorvelAppearance", "light"));
    const auto first = defaults.snapshot();
    EXPECT_EQ(defaults.snapshot(), first) << "read again without a change";
    EXPECT_EQ(UserDefaults(dir / "defaults.json").snapshot(), first) << "shared by every reader";
    // The last two: same size, same instant, and possibly the same inode number again.
    const std::vector<std::vector<const char*>> writes{{"dark!"}, {"light"}, {"dark!"}, {"xxxxx", "yyyyy"}};
    for (const auto& values : writes) {
        ASSERT_EQ(test::runInChild([&] {
                      UserDefaults other(defaults.filePath());
                      for (const char* value : values)
                          if (!other.set("SorvelAppearance", value)) return 1;
                      return 0;
                  }),
                  0);
        EXPECT_EQ(defaults.string("SorvelAppearance"), values.back());
    }
    ::unlink(defaults.filePath().c_str());
    EXPECT_FALSE(defaults.contains("SorvelAppearance"));
}

// A version taken without a parse (by a reader that parses the open file itself) is the
// one every other reader then gets, and they still see what the file holds.
TEST(UserDefaultsCache, AVersionTakenWithoutAParseIsSharedAndReadersStillParse) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"an object", R"({"x": 1})", true},
        {"not JSON", "{ not json", false},
    };
    for (const auto& [what, contents, readable] : cases) {
        SCOPED_TRACE(what);
        test::TempDir dir;
        UserDefaults defaults(dir / "defaults.json", UserDefaults::Retention::whileHeld);
        test::writeFile(defaults.filePath(), contents);
        const auto opened = defaults.openVersion();
        ASSERT_TRUE(opened.file.valid());
        char first = 0;
        EXPECT_EQ(::read(opened.file.get(), &first, 1), 1);
        EXPECT_EQ(first, '{') << "open at the start";
        EXPECT_EQ(defaults.isReadable(), readable);
        EXPECT_EQ(defaults.value("x"), readable ? std::optional<nlohmann::json>(1) : std::nullopt);
        EXPECT_EQ(defaults.version().number, opened.number);
        test::writeFile(defaults.filePath(), R"({"x": 2})");
        EXPECT_NE(defaults.openVersion().number, opened.number);
        EXPECT_EQ(defaults.value("x"), 2);
    }
}
