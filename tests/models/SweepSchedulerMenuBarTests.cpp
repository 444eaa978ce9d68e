// The menu-bar panel's side of the scheduler: findings and ticks across a restart and a
// sweep, and moving the ticked findings to the Trash on a fake home with what it records.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "models/SweepSchedulerFixtures.h"
#include "platform/Path.h"
#include "platform/UserDefaults.h"

using namespace sorvel;
using Finding = SweepReceipt::Finding;

namespace {

CleanupOutcome outcome(std::string path, int64_t size, CleanupOutcome::Result result) {
    CleanupOutcome o;
    o.path = std::move(path);
    o.size = size;
    o.result = std::move(result);
    return o;
}

std::vector<std::string> pathsOf(const std::vector<CleanupOutcome>& outcomes) {
    std::vector<std::string> out;
    for (const auto& o : outcomes) out.push_back(o.path);
    return out;
}

bool cleanDone(const SweepScheduler& scheduler) {
    return test::waitUntil([&] { return !scheduler.isCleaning(); });
}

// A cache folder with real bytes; its finding carries its measured size.
Finding cacheFolder(const test::ModelHome& home, const std::string& name) {
    const std::string path = home.h + "/Library/Caches/" + name;
    test::writeFileOfSize(path + "/blob", 100'000);
    return Finding{path, test::independentTotal(path)};
}

} // namespace

TEST(SweepSchedulerFindings, StoredFindingsComeBackAsWouldMoveAllTicked) {
    test::SchedulerRig rig;
    SweepReceipt::record(std::vector<Finding>{{"/a", 10}, {"/b", 32}});
    SweepScheduler scheduler(rig.dependencies());
    ASSERT_EQ(scheduler.findings().size(), 2u);
    for (const auto& f : scheduler.findings()) EXPECT_TRUE(f.wouldMove());
    EXPECT_EQ(scheduler.selectedPaths(), (std::set<std::string>{"/a", "/b"}));
    EXPECT_TRUE(scheduler.allSelected());
    EXPECT_EQ(scheduler.selectedBytes(), 42);
}

TEST(SweepSchedulerFindings, HostileStoredSizesDoNotOverflowTheTickedTotal) {
    test::SchedulerRig rig;
    SweepReceipt::record(std::vector<Finding>{{"/a", INT64_MAX}, {"/b", INT64_MAX}});
    SweepScheduler scheduler(rig.dependencies());
    EXPECT_EQ(scheduler.selectedBytes(), INT64_MAX);
}

// Each tick moves the total by that finding's size, a sum at its ceiling is worked out
// afresh, and a tick of something not listed changes nothing.
TEST(SweepSchedulerFindings, TheTickedTotalFollowsEveryTickAndLeavesItsCeilingExactly) {
    test::SchedulerRig rig;
    SweepReceipt::record(std::vector<Finding>{{"/a", 10}, {"/b", 32}, {"/c", INT64_MAX - 20}});
    SweepScheduler scheduler(rig.dependencies());
    QSignalSpy ticks(&scheduler, &SweepScheduler::selectedPathsChanged);
    EXPECT_EQ(scheduler.selectedBytes(), INT64_MAX);
    scheduler.toggle("/c");
    EXPECT_EQ(scheduler.selectedBytes(), 42);
    EXPECT_FALSE(scheduler.allSelected());
    scheduler.toggle("/a");
    EXPECT_EQ(scheduler.selectedBytes(), 32);
    scheduler.toggle("/a");
    EXPECT_EQ(scheduler.selectedBytes(), 42);
    scheduler.toggle("/x");
    EXPECT_EQ(scheduler.selectedBytes(), 42);
    EXPECT_EQ(scheduler.selectedPaths().size(), 2u);
    EXPECT_EQ(ticks.count(), 3);
    scheduler.toggle("/c");
    EXPECT_EQ(scheduler.selectedBytes(), INT64_MAX);
    EXPECT_TRUE(scheduler.allSelected());
    scheduler.selectAll(false);
    EXPECT_EQ(scheduler.selectedBytes(), 0);
    scheduler.toggle("/b");
    EXPECT_EQ(scheduler.selectedBytes(), 32);
}

TEST(SweepSchedulerFindings, ASweepTicksOnlyWhatCanMove) {
    test::SchedulerRig rig;
    rig.sweeps->outcomes = {
        outcome("/moved", 5, CleanupOutcome::MovedToTrash{"/t/moved"}),
        outcome("/refused", 7, CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()}),
        outcome("/would", 11, CleanupOutcome::WouldMove{}),
        outcome("/failed", 13, CleanupOutcome::Failed{"Permission denied."}),
    };
    SweepScheduler scheduler(rig.dependencies());
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(pathsOf(scheduler.findings()), (std::vector<std::string>{"/moved", "/refused", "/would", "/failed"}));
    // What the sweep moved already is shown as moved, never offered again.
    EXPECT_EQ(pathsOf(scheduler.actionableFindings()), (std::vector<std::string>{"/would"}));
    EXPECT_EQ(scheduler.selectedPaths(), (std::set<std::string>{"/would"}));
    EXPECT_TRUE(scheduler.allSelected());
    EXPECT_EQ(scheduler.selectedBytes(), 11);

    scheduler.toggle("/would");
    EXPECT_FALSE(scheduler.allSelected());
    EXPECT_EQ(scheduler.selectedBytes(), 0);
    // Refused, moved or unlisted paths cannot be ticked, so they never pass for "all ticked".
    for (const char* stray : {"/refused", "/moved", "/elsewhere"}) scheduler.toggle(stray);
    EXPECT_TRUE(scheduler.selectedPaths().empty());
    EXPECT_FALSE(scheduler.allSelected());
    EXPECT_EQ(scheduler.selectedBytes(), 0);
    scheduler.selectAll(false);
    EXPECT_TRUE(scheduler.selectedPaths().empty());
    scheduler.selectAll(true);
    EXPECT_EQ(scheduler.selectedPaths(), (std::set<std::string>{"/would"}));
}

TEST(SweepSchedulerFindings, NothingActionableIsNeverAllSelected) {
    test::SchedulerRig rig;
    rig.sweeps->outcomes = {outcome("/refused", 7, CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()})};
    SweepScheduler scheduler(rig.dependencies());
    EXPECT_FALSE(scheduler.allSelected()); // no findings at all
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_TRUE(scheduler.selectedPaths().empty());
    EXPECT_FALSE(scheduler.allSelected());
}

TEST(SweepSchedulerMenuBarMove, TickedFindingsMoveAndTheRestArePersisted) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    const Finding b = cacheFolder(rig.home, "com.example.b");
    const Finding gone{rig.home.h + "/Library/Caches/com.example.gone", 4096};
    test::writeFile(rig.home.h + "/Documents/Project/notes.txt", "mine");
    const Finding mine{rig.home.h + "/Documents/Project", 4096}; // from an added folder
    SweepReceipt::record(std::vector<Finding>{a, b, gone, mine});
    SweepReceipt last;
    last.scannedBytes = 100'000'000;
    last.foundBytes = 50'000;
    last.action = SweepSchedule::Action::clean;
    last.movedCount = 3;
    last.movedBytes = 30'000;
    last.refusedCount = 10;
    last.withheldReason = "An older reason.";
    SweepReceipt::record(last);

    SweepScheduler scheduler(rig.dependencies());
    scheduler.toggle(b.path);
    QSignalSpy cleaning(&scheduler, &SweepScheduler::isCleaningChanged);
    scheduler.cleanSelected();
    EXPECT_TRUE(scheduler.isCleaning());
    ASSERT_TRUE(cleanDone(scheduler));
    EXPECT_EQ(cleaning.count(), 2);

    // Only the ticked finding that passes the standard policy moved.
    EXPECT_FALSE(test::exists(a.path));
    EXPECT_TRUE(test::exists(rig.home.h + "/.local/share/Trash/files/com.example.a/blob"));
    EXPECT_TRUE(test::exists(b.path + "/blob"));
    EXPECT_TRUE(test::exists(mine.path + "/notes.txt"));

    // 1. The sweep's receipt stays, with what the panel moved added to it.
    ASSERT_TRUE(scheduler.lastReceipt());
    const SweepReceipt& receipt = *scheduler.lastReceipt();
    EXPECT_EQ(receipt.action, SweepSchedule::Action::clean);
    EXPECT_EQ(receipt.movedCount, 3 + 1);
    EXPECT_EQ(receipt.movedBytes, 30'000 + a.size);
    EXPECT_EQ(receipt.scannedBytes, 100'000'000);
    EXPECT_EQ(receipt.foundBytes, 50'000);
    EXPECT_EQ(receipt.refusedCount, 10);
    EXPECT_EQ(receipt.withheldReason, std::nullopt);
    EXPECT_EQ(receipt.date, rig.clock);
    EXPECT_EQ(SweepReceipt::loadLast(), receipt);

    // 2. The history run.
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::menuBar);
    EXPECT_EQ(runs[0].scope, "findings you ticked");
    // Its own result: what it moved and the pick it refused, nothing of the sweep's; the
    // pick gone since the sweep was not tried.
    EXPECT_EQ(runs[0].receipt.date, rig.clock);
    EXPECT_EQ(runs[0].receipt.action, SweepSchedule::Action::clean);
    EXPECT_EQ(runs[0].receipt.movedCount, 1);
    EXPECT_EQ(runs[0].receipt.movedBytes, a.size);
    EXPECT_EQ(runs[0].receipt.refusedCount, 1);
    EXPECT_EQ(runs[0].receipt.scannedBytes, 0);
    EXPECT_EQ(runs[0].receipt.withheldReason, std::nullopt);
    EXPECT_TRUE(runs[0].hasDetail);
    EXPECT_EQ(runs[0].moved, (std::vector<MovedItem>{{a.path, rig.home.h + "/.local/share/Trash/files/com.example.a", a.size}}));

    // 3. The findings that remain, refused ones with their earlier result but unticked, the
    // gone one no longer offered; the panel says why each stayed.
    EXPECT_EQ(pathsOf(scheduler.findings()), (std::vector<std::string>{b.path, gone.path, mine.path}));
    for (const auto& f : scheduler.findings()) EXPECT_TRUE(f.wouldMove());
    EXPECT_EQ(pathsOf(scheduler.actionableFindings()), (std::vector<std::string>{b.path, mine.path}));
    EXPECT_TRUE(scheduler.selectedPaths().empty());
    EXPECT_EQ(scheduler.moveNote(), "2 of 3 ticked items were not moved.\n"
                                    "\u201Ccom.example.gone\u201D \u2014 no longer where the sweep found it; it was "
                                    "moved or removed since\n"
                                    "\u201CProject\u201D \u2014 outside the folders Sorvel is allowed to touch");
    EXPECT_EQ(SweepReceipt::loadFindings(), (std::vector<Finding>{b, gone, mine}));
    EXPECT_TRUE(rig.center->added.empty()); // a move from the panel posts no notice
}

TEST(SweepSchedulerMenuBarMove, WithoutALastSweepTheReceiptCountsOnlyTheMove) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    SweepReceipt::record(std::vector<Finding>{a});
    SweepScheduler scheduler(rig.dependencies());
    scheduler.cleanSelected();
    ASSERT_TRUE(cleanDone(scheduler));
    SweepReceipt expected;
    expected.date = rig.clock;
    expected.action = SweepSchedule::Action::clean;
    expected.movedBytes = a.size;
    expected.movedCount = 1;
    expected.runs = {SweepHistory::load().at(0).id}; // the move's own run, put back from History
    EXPECT_EQ(scheduler.lastReceipt(), expected);
    EXPECT_TRUE(scheduler.findings().empty());
    EXPECT_TRUE(SweepReceipt::loadFindings().empty());
    EXPECT_TRUE(UserDefaults::standard().value("SorvelLastFindings"));
}

TEST(SweepSchedulerMenuBarMove, NothingTickedOrAMoveUnderwayDoesNothing) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    const Finding b = cacheFolder(rig.home, "com.example.b");
    SweepReceipt::record(std::vector<Finding>{a, b});
    SweepScheduler scheduler(rig.dependencies());
    scheduler.selectAll(false);
    scheduler.cleanSelected();
    EXPECT_FALSE(scheduler.isCleaning());
    EXPECT_FALSE(SweepReceipt::loadLast());

    scheduler.toggle(a.path);
    scheduler.cleanSelected();
    scheduler.toggle(b.path);
    scheduler.cleanSelected(); // ignored: the first move is still underway
    ASSERT_TRUE(cleanDone(scheduler));
    EXPECT_EQ(SweepHistory::load().size(), 1u);
    EXPECT_FALSE(test::exists(a.path));
    EXPECT_TRUE(test::exists(b.path));
    EXPECT_EQ(pathsOf(scheduler.findings()), std::vector<std::string>{b.path});
}

TEST(SweepSchedulerMenuBarMove, AGoneSchedulerStillRecordsTheMove) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    SweepReceipt::record(std::vector<Finding>{a});
    {
        SweepScheduler scheduler(rig.dependencies());
        scheduler.cleanSelected();
    }
    // Items in the Trash are always in the history, whoever waits for the result.
    ASSERT_TRUE(test::waitUntil([&] { return !test::exists(a.path) && !SweepHistory::load().empty(); }));
    ASSERT_TRUE(test::waitUntil([&] { return SweepReceipt::loadFindings().empty(); }));
    QCoreApplication::processEvents();
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::menuBar);
    ASSERT_EQ(runs[0].moved.size(), 1u);
    EXPECT_EQ(runs[0].moved[0].originalPath, a.path);
    ASSERT_TRUE(SweepReceipt::loadLast());
    EXPECT_EQ(SweepReceipt::loadLast()->movedCount, 1);
}

TEST(SweepSchedulerRealSweep, SweepNowReportsTheFakeHomesCachesAndTicksThem) {
    test::SchedulerRig rig;
    const Finding a{rig.home.h + "/Library/Caches/com.example.big", 0};
    test::writeFileOfSize(a.path + "/blob", 6'000'000); // above the user-caches rule's minimum
    SweepScheduler::Dependencies dependencies = rig.dependencies();
    dependencies.runner = nullptr; // the real sweep runner
    SweepScheduler scheduler(dependencies);
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(test::waitUntil([&] { return !scheduler.isRunning(); }, 60'000));
    ASSERT_TRUE(scheduler.lastReceipt());
    EXPECT_EQ(scheduler.lastReceipt()->action, SweepSchedule::Action::report);
    EXPECT_GE(scheduler.lastReceipt()->foundBytes, 6'000'000);
    EXPECT_EQ(scheduler.lastReceipt(), SweepReceipt::loadLast());
    EXPECT_TRUE(scheduler.selectedPaths().count(a.path));
    EXPECT_TRUE(test::exists(a.path + "/blob")); // a report moves nothing
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::manual);
    ASSERT_EQ(rig.center->added.size(), 1u);
    EXPECT_EQ(rig.center->added[0].body, scheduler.lastReceipt()->headline());
}

// Whatever could not be written down, by a sweep or by a move from the panel, is said; the
// next sweep that is written down takes the message away.
TEST(SweepSchedulerSaving, ASweepOrMoveThatCannotBeRecordedIsSaid) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    SweepReceipt::record(std::vector<Finding>{a});
    SweepScheduler scheduler(rig.dependencies());
    {
        test::UnwritableSettings broken;
        scheduler.cleanSelected();
        ASSERT_TRUE(cleanDone(scheduler));
        EXPECT_TRUE(test::exists(a.path)); // nothing moves that cannot be recorded
        ASSERT_TRUE(scheduler.saveError());
        EXPECT_NE(scheduler.saveError()->find(std::strerror(ENOTDIR)), std::string::npos) << *scheduler.saveError();
    }
    rig.sweeps->saveError = "Could not be written.";
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(scheduler.saveError(), "Could not be written.");
    rig.sweeps->saveError.reset();
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_EQ(scheduler.saveError(), std::nullopt);
}

// A schedule the settings cannot take in is said like any other save, with its reason.
TEST(SweepSchedulerSaving, AScheduleThatCannotBeStoredIsSaidWithItsReason) {
    test::SchedulerRig rig;
    SweepScheduler scheduler(rig.dependencies());
    SweepSchedule schedule = scheduler.schedule();
    schedule.frequency = SweepSchedule::Frequency::off;
    schedule.hour = (schedule.hour + 1) % 24;
    {
        test::UnwritableSettings broken;
        scheduler.setSchedule(schedule);
        ASSERT_TRUE(test::waitUntil([&] { return scheduler.saveError().has_value(); }));
        EXPECT_NE(scheduler.saveError()->find(std::strerror(ENOTDIR)), std::string::npos) << *scheduler.saveError();
    }
    schedule.hour = (schedule.hour + 1) % 24;
    scheduler.setSchedule(schedule);
    EXPECT_TRUE(test::waitUntil([&] { return !scheduler.saveError().has_value(); }));
}

// What a clean sweep moved comes back after a restart as moved, not as something to move
// again; a panel move that moved nothing leaves the sweep's receipt as it was.
TEST(SweepSchedulerFindings, MovedFindingsStayMovedAndAFruitlessMoveKeepsTheReceipt) {
    test::SchedulerRig rig;
    const Finding gone{rig.home.h + "/Library/Caches/com.example.gone", 4096};
    SweepReceipt::record(std::vector<Finding>{{"/moved", 5, "/t/files/moved"}, gone});
    SweepReceipt sweep;
    sweep.action = SweepSchedule::Action::clean;
    sweep.movedCount = 1;
    sweep.movedBytes = 5;
    sweep.refusedCount = 10;
    SweepReceipt::record(sweep);

    SweepScheduler scheduler(rig.dependencies());
    ASSERT_EQ(scheduler.findings().size(), 2u);
    EXPECT_TRUE(scheduler.findings()[0].moved());
    EXPECT_EQ(pathsOf(scheduler.actionableFindings()), std::vector<std::string>{gone.path});
    EXPECT_EQ(scheduler.selectedPaths(), std::set<std::string>{gone.path});

    scheduler.cleanSelected(); // it no longer exists: not tried, and said so
    ASSERT_TRUE(cleanDone(scheduler));
    EXPECT_EQ(scheduler.lastReceipt(), sweep);
    EXPECT_EQ(SweepReceipt::loadLast(), sweep);
    EXPECT_TRUE(SweepHistory::load().empty()) << "a run that tried nothing was written down";
    EXPECT_TRUE(scheduler.actionableFindings().empty());
    ASSERT_TRUE(scheduler.moveNote());
    EXPECT_EQ(scheduler.moveNote()->rfind("Nothing was moved.\n\u201Ccom.example.gone\u201D", 0), 0u)
        << *scheduler.moveNote();
    EXPECT_TRUE(SweepReceipt::loadFindings().front().moved());
}

// The findings follow the disk: a finding moved away by someone else (the window, say)
// leaves the list and its tick; put back, it returns unticked; what a clean sweep moved and
// is back in its place is a finding again, unticked.
TEST(SweepSchedulerFindings, AFreshLookAtTheDiskHidesWhatLeftAndReturnsWhatCameBack) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    const Finding b = cacheFolder(rig.home, "com.example.b");
    const Finding back = cacheFolder(rig.home, "com.example.back");
    SweepReceipt::record(std::vector<Finding>{a, b, {back.path, back.size, rig.home.h + "/.local/share/Trash/files/x"}});
    SweepScheduler scheduler(rig.dependencies());
    EXPECT_EQ(pathsOf(scheduler.actionableFindings()), (std::vector<std::string>{a.path, b.path}));
    auto look = [&] {
        QSignalSpy listed(&scheduler, &SweepScheduler::findingsChanged);
        scheduler.refreshFindings();
        return test::waitUntil([&] { return listed.count() > 0; });
    };

    std::filesystem::rename(a.path, rig.home.h + "/elsewhere");
    ASSERT_TRUE(look());
    EXPECT_EQ(pathsOf(scheduler.actionableFindings()), (std::vector<std::string>{b.path, back.path}));
    EXPECT_EQ(scheduler.selectedPaths(), std::set<std::string>{b.path});
    EXPECT_EQ(scheduler.selectedBytes(), b.size);
    EXPECT_FALSE(scheduler.allSelected()); // "back" is offered but not ticked
    scheduler.toggle(a.path);              // what is not there cannot be ticked
    EXPECT_EQ(scheduler.selectedPaths(), std::set<std::string>{b.path});

    std::filesystem::rename(rig.home.h + "/elsewhere", a.path);
    ASSERT_TRUE(look());
    EXPECT_EQ(pathsOf(scheduler.actionableFindings()), (std::vector<std::string>{a.path, b.path, back.path}));
    EXPECT_EQ(scheduler.selectedPaths(), std::set<std::string>{b.path});
}

// The window moved what the sweep found. The panel's move then tries
// nothing, records no run, moves nothing, and says why.
TEST(SweepSchedulerMenuBarMove, FindingsTheWindowMovedAreNotTriedAndThePanelSaysWhy) {
    test::SchedulerRig rig;
    const Finding a = cacheFolder(rig.home, "com.example.a");
    const Finding b = cacheFolder(rig.home, "com.example.b");
    SweepReceipt::record(std::vector<Finding>{a, b});
    SweepScheduler scheduler(rig.dependencies());
    for (const auto& f : {a, b}) std::filesystem::rename(f.path, rig.home.h + "/" + lastPathComponent(f.path));
    scheduler.cleanSelected(); // before the list was looked at again: the button looks first
    ASSERT_TRUE(cleanDone(scheduler));
    EXPECT_TRUE(SweepHistory::load().empty());
    EXPECT_FALSE(SweepReceipt::loadLast());
    EXPECT_TRUE(scheduler.actionableFindings().empty());
    EXPECT_TRUE(scheduler.selectedPaths().empty());
    ASSERT_TRUE(scheduler.moveNote());
    EXPECT_EQ(scheduler.moveNote()->rfind("Nothing was moved.\n", 0), 0u) << *scheduler.moveNote();
    // A new sweep starts from what it finds; the note belongs to the move before.
    scheduler.run(SweepRun::Trigger::scheduled);
    ASSERT_TRUE(test::sweepDone(scheduler));
    EXPECT_FALSE(scheduler.moveNote());
}

TEST(SweepSchedulerMenuBarMove, TheNoteNamesWhatStayedAndWhy) {
    auto refused = [](const char* path) {
        return outcome(path, 1, CleanupOutcome::Refused{CleanupGuard::Refusal::notWritable()});
    };
    const auto moved = outcome("/c/m", 1, CleanupOutcome::MovedToTrash{"/t/m"});
    const auto failed = outcome("/c/f", 1, CleanupOutcome::Failed{"Input/output error"});
    const std::string gone = "\u201Cg\u201D \u2014 no longer where the sweep found it; it was moved or removed since";
    const struct {
        size_t picked;
        std::vector<std::string> gone;
        std::vector<CleanupOutcome> outcomes;
        std::optional<std::string> note;
    } rows[] = {
        {1, {}, {moved}, std::nullopt},
        {1, {"/c/g"}, {}, "Nothing was moved.\n" + gone},
        {2, {}, {moved, failed}, "1 of 2 ticked items were not moved.\n\u201C" "f\u201D \u2014 Input/output error"},
        {5, {"/c/g"}, {refused("/c/r1"), refused("/c/r2"), failed, refused("/c/r3")},
         "Nothing was moved.\n" + gone + "\n\u201Cr1\u201D \u2014 not writable by you\n\u201Cr2\u201D \u2014 not writable by you\nand 2 more."},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SweepScheduler::moveNoteFor(row.picked, row.gone, row.outcomes), row.note) << row.picked;
}
