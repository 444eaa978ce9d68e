// Which command the arguments select: a fixed order of tests, options found anywhere.
#include <gtest/gtest.h>

#include "cli/SorvelMain.h"

using namespace sorvel;
using SorvelMain::Command;
using SorvelMain::dispatch;

TEST(Dispatch, NoArgumentsStartTheApplication) {
    EXPECT_EQ(dispatch({}).command, Command::app);
    EXPECT_EQ(dispatch({"--scan"}).command, Command::app);
    EXPECT_EQ(dispatch({"--json"}).command, Command::app);
    EXPECT_EQ(dispatch({"--progress"}).command, Command::app);
    EXPECT_EQ(dispatch({"--whole-disk", "--scan"}).command, Command::app);
}

TEST(Dispatch, TheFixedOrderDecidesNotTheCommandLine) {
    EXPECT_EQ(dispatch({"--report", "--plan"}).command, Command::plan);
    EXPECT_EQ(dispatch({"--plan", "--report"}).command, Command::plan);
    auto size = dispatch({"--size", "/tmp", "--report"});
    EXPECT_EQ(size.command, Command::size);
    EXPECT_EQ(size.argument, "/tmp");
    auto insights = dispatch({"--plan", "--insights", "/some/folder"});
    EXPECT_EQ(insights.command, Command::insights);
    EXPECT_EQ(insights.argument, "/some/folder");
    EXPECT_EQ(dispatch({"--help", "--cloud"}).command, Command::cloud);
    EXPECT_EQ(dispatch({"--access", "--size", "x"}).command, Command::access);
    EXPECT_EQ(dispatch({"--watch", "w", "--cloud"}).command, Command::watch);
    EXPECT_EQ(dispatch({"--docker", "--watch", "w"}).command, Command::docker);
    EXPECT_EQ(dispatch({"--xcode", "--docker"}).command, Command::xcode);
    EXPECT_EQ(dispatch({"--history", "--xcode"}).command, Command::history);
    EXPECT_EQ(dispatch({"--duplicates", "d", "--history"}).command, Command::duplicates);
    EXPECT_EQ(dispatch({"--apps", "--duplicates", "d"}).command, Command::apps);
    EXPECT_EQ(dispatch({"--backups", "--apps"}).command, Command::backups);
}

TEST(Dispatch, AValueIsWhateverFollowsTheFirstOccurrence) {
    auto d = dispatch({"--insights", "--plan"});
    EXPECT_EQ(d.command, Command::insights);
    EXPECT_EQ(d.argument, "--plan");
    auto twice = dispatch({"--size", "first", "--size", "second"});
    EXPECT_EQ(twice.argument, "first");
    auto empty = dispatch({"--size", ""});
    EXPECT_EQ(empty.command, Command::size);
    EXPECT_EQ(empty.argument, "");
}

TEST(Dispatch, AValueOptionStandingLastCountsAsAbsent) {
    EXPECT_EQ(dispatch({"--insights"}).command, Command::app);
    EXPECT_EQ(dispatch({"--plan", "--insights"}).command, Command::plan);
    EXPECT_EQ(dispatch({"--report", "--size"}).command, Command::report);
    EXPECT_EQ(dispatch({"-h", "--watch"}).command, Command::help);
    // The first occurrence decides, even when a later one has a value.
    EXPECT_EQ(dispatch({"x", "--size", "y", "--size"}).argument, "y");
}

TEST(Dispatch, BackupsTakeAnOptionalRoot) {
    auto alone = dispatch({"--backups"});
    EXPECT_EQ(alone.command, Command::backups);
    EXPECT_FALSE(alone.root.has_value());
    auto withJson = dispatch({"--backups", "--json"});
    ASSERT_TRUE(withJson.root.has_value());
    EXPECT_EQ(*withJson.root, "--json");
}

TEST(Dispatch, ReportFlagsAreSearchedAnywhere) {
    auto d = dispatch({"--progress", "--report", "x", "--json"});
    EXPECT_EQ(d.command, Command::report);
    EXPECT_TRUE(d.json);
    EXPECT_TRUE(d.progress);
    EXPECT_FALSE(d.wholeDisk);
    EXPECT_TRUE(dispatch({"--whole-disk", "--report"}).wholeDisk);
}

TEST(Dispatch, OnlyWholeExactOptionsMatch) {
    EXPECT_EQ(dispatch({"-h"}).command, Command::help);
    EXPECT_EQ(dispatch({"--help"}).command, Command::help);
    for (const char* near : {"help", "-help", "HELP", "--HELP", "--help=1", "--hel", "--plans", "-hp", "--", " --plan"})
        EXPECT_EQ(dispatch({near}).command, Command::app) << near;
}
