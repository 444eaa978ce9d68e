// `sorvel --apps` end to end on a fake home.
#include <gtest/gtest.h>

#include "analysis/AppInventory.h"
#include "cli/AppsCommand.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(AppsCommand, PrintsTheInventoryOfTheHomeAndMovesNothing) {
    test::FakeHome home;
    const std::string bundle = home / "Applications/Drawing Board.app";
    test::writeFile(bundle + "/Contents/Info.plist",
                    test::binaryPlist(test::xmlPlist(test::key("CFBundleIdentifier", test::text("com.example.Board")) +
                                                     test::key("CFBundleShortVersionString", test::text("3.1")))));
    test::writeFileOfSize(bundle + "/Contents/MacOS/board", 64'000);
    test::writeFileOfSize(home / "Library/Caches/com.example.board/cache.db", 300'000);
    test::writeFileOfSize(home / "Library/Preferences/com.example.board.plist", 4096);
    test::writeFileOfSize(home / "Library/Application Support/Drawing Board/settings", 4096);

    const auto r = test::runSorvel({"--apps"}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.rfind("\n  Scanning applications\u2026\n\n", 0), 0u);
    EXPECT_NE(r.out.find("  Drawing Board 3.1  "), std::string::npos);
    EXPECT_NE(r.out.find("   ~/Applications/Drawing Board.app\n"), std::string::npos);
    EXPECT_NE(r.out.find("      3 leftover files"), std::string::npos);
    EXPECT_NE(r.out.find("\u00b7 ~/Library/Caches/com.example.board "), std::string::npos);
    EXPECT_NE(r.out.find("\u00b7 ~/Library/Application Support/Drawing Board "), std::string::npos);
    EXPECT_NE(r.out.find("matches the app's name\n"), std::string::npos);

    // Whatever the machine has besides, the report is the inventory's, printed.
    ScanControl control;
    EXPECT_EQ(r.out, "\n  Scanning applications\u2026\n\n" + HeadlessReport::appsReport(AppInventory::scan(control)));
    EXPECT_TRUE(test::exists(home / "Library/Caches/com.example.board/cache.db"));
    EXPECT_TRUE(test::exists(bundle + "/Contents/MacOS/board"));
}

TEST(AppsCommand, AClosedOutputIsAnError) {
    test::FakeHome home;
    const auto r = test::runCommand({"/bin/sh", "-c", "exec \"$0\" --apps >&-", SORVEL_BINARY}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("sorvel: could not write the report"), std::string::npos);
}
