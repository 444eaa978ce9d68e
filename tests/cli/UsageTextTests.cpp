#include <algorithm>
#include <map>
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "cli/SorvelMain.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    out.push_back(current);
    return out;
}

} // namespace

TEST(UsageText, HasTheFixedShape) {
    const auto text = SorvelMain::usageText();
    auto all = lines(text);
    ASSERT_EQ(all.size(), 51u);
    EXPECT_EQ(all[0].rfind("Sorvel \u2014 ", 0), 0u);
    EXPECT_GT(all[0].size(), std::string("Sorvel \u2014 ").size());
    EXPECT_EQ(all[1], "");
    EXPECT_EQ(text.find('\t'), std::string_view::npos);
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(all[2], "  Sorvel              open the app");
    EXPECT_EQ(all[14], "  Sorvel --size PATH  measure one directory (compare against du -sk)");
    EXPECT_EQ(all[27], "                       \u2014 clones and hard links share their blocks,");
    EXPECT_EQ(all[30], "  Sorvel --backups    identify every local iPhone & iPad backup \u2014");
    EXPECT_EQ(all[37], "  Sorvel --watch PATH  scan a directory, then report changes live");
    EXPECT_EQ(all[46], "after a dry run, are recorded in --history, and can be put back.");
    // Every option the dispatch takes is listed, and what the exit statuses mean.
    EXPECT_EQ(all[11], "  Sorvel --report --progress");
    EXPECT_EQ(all[33], "  Sorvel --backups PATH");
    EXPECT_EQ(all[48].rfind("Exit status: 0 when done; 1 for a path or file it cannot read", 0), 0u) << all[48];
    EXPECT_NE(all[49].find("2 when there is no display"), std::string::npos) << all[49];
    // Continued descriptions start after 23 spaces.
    for (size_t i = 2; i < 43; ++i) {
        if (all[i].rfind("  Sorvel", 0) == 0) continue;
        EXPECT_EQ(all[i].rfind(std::string(23, ' '), 0), 0u) << all[i];
        EXPECT_NE(all[i][23], ' ') << all[i];
    }
}

TEST(UsageText, HelpAndHPrintItAndSucceed) {
    const std::string expected = std::string(SorvelMain::usageText()) + "\n";
    for (const char* option : {"--help", "-h"}) {
        auto r = test::runSorvel({"ignored", option});
        EXPECT_EQ(r.status, 0) << option;
        EXPECT_EQ(r.out, expected) << option;
        EXPECT_EQ(r.err, "");
    }
}

TEST(UsageText, WithoutADisplayTheWindowSaysSoInOneLineAndPointsToHelp) {
    const std::map<std::string, std::string> noDisplay{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"--scan"}, std::vector<std::string>{"HELP"}}) {
        auto r = test::runSorvel(args, noDisplay);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("sorvel --help"), std::string::npos) << r.err;
    }
}
