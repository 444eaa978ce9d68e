// One unattended sweep on a fake home: what it looks at, the cap, what it moves, and the
// three values it records.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "engine/Bytes.h"
#include "platform/UserDefaults.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"
#include "RunHome.h"

using namespace sorvel;
using Rules = SweepSchedule::RuleSelection;
using Action = SweepSchedule::Action;

namespace {

struct Home : test::RunHome {
    std::string big = h + "/Library/Caches/com.example.big";
    std::string log = h + "/Library/Logs/ExampleApp";

    Home() {
        test::writeFileOfSize(big + "/blob", 6'000'000);
        test::writeFileOfSize(log + "/app.log", 1'500'000);
        test::writeFile(h + "/Documents/keep.txt", "mine");
        test::makeDirs(h + "/.local/share/Trash");
    }
};

SweepSchedule schedule(Rules rules, Action action, std::vector<std::string> folders = {}) {
    SweepSchedule s;
    s.rules = std::move(rules);
    s.action = action;
    s.folders = std::move(folders);
    return s;
}

SweepRunner::Outcome sweep(const SweepSchedule& s, SweepRun::Trigger trigger = SweepRun::Trigger::scheduled) {
    return SweepRunner::run(s, trigger, CloudStatus{});
}

std::vector<std::string> findingPaths() {
    std::vector<std::string> out;
    for (const auto& f : SweepReceipt::loadFindings()) out.push_back(f.path);
    return out;
}

} // namespace

TEST(SweepRunnerSelection, NothingSelectedRunsNothingAndSaysWhy) {
    Home home;
    SweepReceipt::record(std::vector<SweepReceipt::Finding>{{"/old", 1}});
    auto out = sweep(schedule(Rules::only({}), Action::clean), SweepRun::Trigger::manual);
    EXPECT_TRUE(out.outcomes.empty());
    EXPECT_EQ(out.receipt.action, Action::clean);
    EXPECT_EQ(out.receipt.withheldReason,
              "Nothing is selected to sweep \u2014 no rules are ticked and no folders have been added. Open Sweep "
              "settings to choose what to look at.");
    EXPECT_EQ(out.receipt.scannedBytes + out.receipt.foundBytes + out.receipt.movedBytes + out.receipt.movedCount +
                  out.receipt.refusedCount,
              0);
    EXPECT_EQ(SweepReceipt::loadLast(), out.receipt);
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
    EXPECT_TRUE(UserDefaults::standard().value("SorvelLastFindings"));
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::manual);
    EXPECT_EQ(runs[0].scope, "nothing \u2014 no rules are ticked and no folders added");
    EXPECT_TRUE(runs[0].moved.empty());
    EXPECT_TRUE(runs[0].hasDetail);
    EXPECT_TRUE(test::exists(home.big + "/blob"));
}

TEST(SweepRunnerSelection, CategoriesToScan) {
    EXPECT_EQ(SweepRunner::scannedCategories(schedule(Rules::allSafeRules(), Action::report)), std::nullopt);
    EXPECT_EQ(SweepRunner::scannedCategories(schedule(Rules::only({"user-caches", "derived-data-live"}), Action::report)),
              std::nullopt);
    EXPECT_EQ(SweepRunner::scannedCategories(schedule(Rules::only({"user-caches"}), Action::report)),
              std::set<std::string>{"caches"});
    EXPECT_EQ(SweepRunner::scannedCategories(schedule(Rules::only({"user-caches", "logs"}), Action::report)),
              (std::set<std::string>{"caches", "logs"}));
}

TEST(SweepRunnerActions, ReportMovesNothing) {
    Home home;
    auto out = sweep(schedule(Rules::only({"user-caches"}), Action::report));
    ASSERT_EQ(out.outcomes.size(), 1u);
    EXPECT_TRUE(out.outcomes[0].wouldMove());
    EXPECT_EQ(out.outcomes[0].path, home.big);
    EXPECT_TRUE(test::exists(home.big + "/blob"));
    EXPECT_EQ(out.receipt.action, Action::report);
    EXPECT_EQ(out.receipt.foundBytes, out.outcomes[0].size);
    EXPECT_GE(out.receipt.foundBytes, 6'000'000);
    EXPECT_GE(out.receipt.scannedBytes, out.receipt.foundBytes);
    EXPECT_EQ(out.receipt.movedCount, 0);
    EXPECT_EQ(out.receipt.movedBytes, 0);
    EXPECT_FALSE(out.receipt.withheldReason);
    EXPECT_EQ(findingPaths(), std::vector<std::string>{home.big});
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].scope, "1 rule");
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::scheduled);
    EXPECT_TRUE(runs[0].moved.empty());
    EXPECT_EQ(runs[0].receipt, out.receipt);
}

TEST(SweepRunnerActions, CleanWithinCapMovesToTheTrash) {
    Home home;
    const int64_t found = sweep(schedule(Rules::only({"user-caches", "logs"}), Action::report)).receipt.foundBytes;
    SweepSchedule s = schedule(Rules::only({"user-caches", "logs"}), Action::clean);
    s.maximumBytesPerRun = found; // equal counts as within
    auto out = sweep(s, SweepRun::Trigger::manual);

    EXPECT_EQ(out.receipt.action, Action::clean);
    EXPECT_EQ(out.receipt.movedCount, 2);
    EXPECT_EQ(out.receipt.movedBytes, found);
    EXPECT_EQ(out.receipt.refusedCount, 0);
    EXPECT_FALSE(test::exists(home.big));
    EXPECT_FALSE(test::exists(home.log));
    EXPECT_TRUE(test::exists(home.h + "/.local/share/Trash/files/com.example.big/blob"));
    EXPECT_TRUE(test::exists(home.h + "/.local/share/Trash/files/ExampleApp/app.log"));
    EXPECT_EQ(test::readFile(home.h + "/Documents/keep.txt"), "mine");
    EXPECT_EQ(findingPaths(), (std::vector<std::string>{home.big, home.log}));

    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::manual);
    ASSERT_EQ(runs[0].moved.size(), 2u);
    EXPECT_EQ(runs[0].moved[0].originalPath, home.big);
    EXPECT_EQ(runs[0].moved[0].trashPath, home.h + "/.local/share/Trash/files/com.example.big");
    EXPECT_EQ(runs[0].moved[1].trashPath, home.h + "/.local/share/Trash/files/ExampleApp");
    EXPECT_EQ(SweepReceipt::loadLast(), out.receipt);
}

TEST(SweepRunnerActions, CleanAboveCapIsWithheld) {
    Home home;
    const int64_t found = sweep(schedule(Rules::only({"user-caches", "logs"}), Action::report)).receipt.foundBytes;
    SweepSchedule s = schedule(Rules::only({"user-caches", "logs"}), Action::clean);
    s.maximumBytesPerRun = found - 1;
    auto out = sweep(s);

    EXPECT_EQ(out.receipt.action, Action::report);
    EXPECT_EQ(out.receipt.movedCount, 0);
    EXPECT_EQ(out.receipt.foundBytes, found);
    EXPECT_EQ(out.receipt.withheldReason, "Found " + Bytes::format(found) + ", more than the " +
                                              Bytes::format(found - 1) +
                                              " limit for an unattended run. Nothing was moved \u2014 open Sorvel "
                                              "to review it.");
    EXPECT_TRUE(test::exists(home.big + "/blob"));
    EXPECT_TRUE(test::exists(home.log + "/app.log"));
    for (const auto& o : out.outcomes) EXPECT_TRUE(o.wouldMove());
    EXPECT_EQ(findingPaths(), (std::vector<std::string>{home.big, home.log}));
    EXPECT_TRUE(SweepHistory::load()[0].moved.empty());
}

TEST(SweepRunnerFolders, OwnFoldersOnlyWalksSubfoldersWithoutAScan) {
    Home home;
    const std::string mine = home.h + "/Projects/scratch";
    test::writeFileOfSize(mine + "/build/out.o", 200'000);
    test::makeDirs(mine + "/empty");
    test::writeFile(mine + "/loose.txt", "a file directly inside is never a candidate");
    auto out = sweep(schedule(Rules::only({}), Action::report, {"~/Projects/scratch"}));

    ASSERT_EQ(out.outcomes.size(), 1u);
    EXPECT_EQ(out.outcomes[0].path, mine + "/build");
    EXPECT_TRUE(out.outcomes[0].wouldMove());
    EXPECT_EQ(out.receipt.scannedBytes, out.receipt.foundBytes);
    EXPECT_EQ(out.receipt.foundBytes, out.outcomes[0].size);
    EXPECT_EQ(SweepHistory::load()[0].scope, "only the 1 folder you added");
}

TEST(SweepRunnerFolders, FilesOnlyOrMissingFolderContributesNothing) {
    Home home;
    test::writeFile(home.h + "/Flat/a.txt", "a");
    auto out = sweep(schedule(Rules::only({}), Action::clean, {home.h + "/Flat", home.h + "/Missing"}));
    EXPECT_TRUE(out.outcomes.empty());
    EXPECT_EQ(out.receipt.foundBytes, 0);
    EXPECT_EQ(out.receipt.action, Action::clean);
    EXPECT_EQ(out.receipt.headline(), "Nothing needed cleaning");
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
    EXPECT_EQ(SweepHistory::load().size(), 1u);
}

TEST(SweepRunnerFolders, FolderOverlappingARuleTargetCountsOnce) {
    Home home;
    auto out = sweep(schedule(Rules::only({"user-caches"}), Action::report, {home.h + "/Library/Caches"}));
    ASSERT_EQ(out.outcomes.size(), 1u);
    EXPECT_EQ(out.outcomes[0].path, home.big);
    EXPECT_EQ(out.receipt.foundBytes, out.outcomes[0].size);
}

TEST(SweepRunnerFolders, AddedFolderOutsideTheStandardRootsIsAllowedForTheSweep) {
    Home home;
    test::writeFileOfSize(home.h + "/Downloads/Installers/old/setup.bin", 100'000);
    SweepSchedule s = schedule(Rules::only({}), Action::clean, {"~/Downloads/Installers"});
    auto out = sweep(s);
    ASSERT_EQ(out.outcomes.size(), 1u);
    EXPECT_TRUE(out.outcomes[0].moved());
    EXPECT_TRUE(test::exists(home.h + "/.local/share/Trash/files/old/setup.bin"));
    EXPECT_EQ(out.receipt.movedCount, 1);
}

TEST(SweepRunnerSelection, AllSafeRulesSkipsItemsWithAnExternalAction) {
    Home home;
    test::writeFileOfSize(home.h + "/.local/share/Trash/files/deleted-already/file", 300'000);
    auto out = sweep(schedule(Rules::allSafeRules(), Action::report));
    EXPECT_EQ(findingPaths(), (std::vector<std::string>{home.big, home.log}));
    EXPECT_EQ(SweepHistory::load()[0].scope, "every safe rule");
    EXPECT_TRUE(test::exists(home.h + "/.local/share/Trash/files/deleted-already/file"));
}

// A sweep whose results cannot be written down says so instead of passing for done, and
// moves nothing it cannot record.
TEST(SweepRunnerSaving, AStoreThatCannotBeWrittenIsReported) {
    Home home;
    EXPECT_EQ(sweep(schedule(Rules::only({}), Action::clean)).saveError, std::nullopt);
    test::UnwritableSettings broken;
    // The message carries the system's reason, not a guess.
    const std::string reason = std::strerror(ENOTDIR);
    EXPECT_NE(sweep(schedule(Rules::only({}), Action::clean)).saveError.value_or("").find(reason), std::string::npos);
    const auto cleaning = sweep(schedule(Rules::only({"user-caches"}), Action::clean));
    EXPECT_NE(cleaning.saveError.value_or("").find(reason), std::string::npos);
    EXPECT_TRUE(test::exists(home.big)); // the clean did not go ahead
    // Held off with its reason, as for a held lock: never a sweep that found nothing to clean.
    EXPECT_TRUE(cleaning.receipt.heldOff);
    EXPECT_NE(cleaning.receipt.withheldReason.value_or("").find(reason), std::string::npos);
    EXPECT_EQ(cleaning.receipt.movedCount, 0);
}
