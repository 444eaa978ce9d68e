#include <gtest/gtest.h>

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

TEST(AccessCommand, AnUnreadableProbeIsBlockedForAnUnprivilegedUser) {
    test::TempDir home;
    test::makeDirs(home / "Library/Mail");
    chmod((home / "Library/Mail").c_str(), 0700);
    int status = test::runAsUnprivileged([&] {
        auto r = test::runSorvel({"--access"}, {{"HOME", home.path()}});
        if (r.status != 0) return 1;
        if (r.out.find("  [BLOCKED] ~/Library/Mail\n") == std::string::npos) return 2;
        if (r.out.find("readable by this user: 0, blocked: 1, absent: 4\n") == std::string::npos) return 3;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

// Inside a ~/Library this user may not search, Mail cannot be looked for: blocked, not absent.
TEST(AccessCommand, AProbeBehindAnUnsearchableFolderIsBlocked) {
    test::TempDir home;
    test::makeDirs(home / "Library/Mail");
    chmod((home / "Library").c_str(), 0);
    const int status = test::runAsUnprivileged([&] {
        auto r = test::runSorvel({"--access"}, {{"HOME", home.path()}});
        return r.status == 0 && r.out.find("  [BLOCKED] ~/Library/Mail\n") != std::string::npos ? 0 : 1;
    });
    chmod((home / "Library").c_str(), 0755);
    EXPECT_EQ(status, 0);
}

TEST(AccessCommand, TheProgramFolderLineNamesTheExecutablesFolder) {
    test::TempDir home;
    auto r = test::runSorvel({"--access"}, {{"HOME", home.path()}});
    const std::string binary = SORVEL_BINARY;
    const std::string folder = binary.substr(0, binary.rfind('/'));
    EXPECT_NE(r.out.find("\nProgram folder: " + folder + "\n"), std::string::npos) << r.out;
}
