#include <gtest/gtest.h>

#include <tuple>

#include <sys/stat.h>

#include "support/TestSupport.h"

using namespace sorvel;

TEST(AccessCommand, CountsMailReadableOnceItCanBeListed) {
    test::TempDir home;
    auto before = test::runSorvel({"--access"}, {{"HOME", home.path()}});
    EXPECT_EQ(before.status, 0);
    EXPECT_EQ(before.out.rfind("Full Disk Access probes:\n", 0), 0u);
    EXPECT_NE(before.out.find("\n  [absent ] ~/Library/Mail\n"), std::string::npos);
    EXPECT_NE(before.out.find("\n\nResult: nothing to grant outside an app bundle \u2014 readable by this user: 0, "
                              "blocked: 0, absent: 5\nProgram folder: /"),
              std::string::npos) << before.out;
    ASSERT_FALSE(before.out.empty());
    EXPECT_EQ(before.out.back(), '\n');

    test::makeDirs(home / "Library/Mail");
    auto after = test::runSorvel({"--access"}, {{"HOME", home.path()}});
    EXPECT_EQ(after.status, 0);
    EXPECT_NE(after.out.find("\n  [read  ] ~/Library/Mail\n"), std::string::npos);
    EXPECT_NE(after.out.find("readable by this user: 1, blocked: 0, absent: 4\n"), std::string::npos) << after.out;
}

// Mail this user may not read, or may not even look for inside an unsearchable ~/Library:
// blocked, not absent.
TEST(AccessCommand, AnUnreadableProbeIsBlockedForAnUnprivilegedUser) {
    const std::tuple<const char*, mode_t, const char*> cases[] = {
        {"Library/Mail", 0700, "readable by this user: 0, blocked: 1, absent: 4\n"}, {"Library", 0, ""}};
    for (const auto& [locked, mode, summary] : cases) {
        test::TempDir home;
        test::makeDirs(home / "Library/Mail");
        chmod((home / locked).c_str(), mode);
        const int status = test::runAsUnprivileged([&] {
            auto r = test::runSorvel({"--access"}, {{"HOME", home.path()}});
            if (r.status != 0) return 1;
            if (r.out.find("  [BLOCKED] ~/Library/Mail\n") == std::string::npos) return 2;
            if (r.out.find(summary) == std::string::npos) return 3;
            return 0;
        });
        chmod((home / locked).c_str(), 0755);
        EXPECT_EQ(status, 0) << locked;
    }
}

TEST(AccessCommand, TheProgramFolderLineNamesTheExecutablesFolder) {
    test::TempDir home;
    auto r = test::runSorvel({"--access"}, {{"HOME", home.path()}});
    const std::string binary = SORVEL_BINARY;
    const std::string folder = binary.substr(0, binary.rfind('/'));
    EXPECT_NE(r.out.find("\nProgram folder: " + folder + "\n"), std::string::npos) << r.out;
}
