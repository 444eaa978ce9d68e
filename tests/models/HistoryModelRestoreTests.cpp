// Putting a run's items back through the history model: real moves out of the Trash on a
// fake home, the outcomes kept, and the run rewritten with what stayed.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <cstring>
#include <filesystem>

#include "models/SweepModelsFixtures.h"
#include "models/HistoryModel.h"

using namespace sorvel;
namespace fs = std::filesystem;
using Refusal = RestoreGuard::Refusal;

namespace {

SweepRun recordedRun(std::vector<MovedItem> items) {
    SweepRun run;
    run.scope = "items you picked";
    run.receipt.action = SweepSchedule::Action::clean;
    run.receipt.movedCount = 99; // deliberately stale: a restore recomputes both
    run.receipt.movedBytes = 99'999;
    run.moved = std::move(items);
    SweepHistory::store(run);
    return run;
}

bool finished(const HistoryModel& model) { return test::waitUntil([&] { return !model.restoring(); }); }

} // namespace

TEST(HistoryModelRestore, RestoredItemsLeaveTheRunAndRefusedOnesStay) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/com.example.a", "aaaa");
    MovedItem b = home.trashed("Library/Caches/com.example.b", "bbbbbbbb");
    MovedItem c = home.trashed("Library/Logs/Example", "cc");
    test::writeFile(b.originalPath + "/data.bin", "re-created"); // b's place is taken
    SweepRun run = recordedRun({a, b, c});
    SweepHistory::store(SweepRun{}); // a newer run: the restored one is not first

    HistoryModel model;
    QSignalSpy restoring(&model, &HistoryModel::restoringChanged);
    model.restore(run);
    EXPECT_EQ(model.restoring(), run.id);
    ASSERT_TRUE(finished(model));
    EXPECT_EQ(restoring.count(), 2);

    ASSERT_EQ(model.lastRestore().size(), 3u);
    EXPECT_EQ(model.lastRestore()[0].item, a);
    EXPECT_TRUE(model.lastRestore()[0].restored());
    EXPECT_EQ(model.lastRestore()[1].item, b);
    ASSERT_TRUE(model.lastRestore()[1].refusal());
    EXPECT_EQ(*model.lastRestore()[1].refusal(), Refusal::destinationOccupied());
    EXPECT_TRUE(model.lastRestore()[2].restored());

    EXPECT_EQ(test::readFile(a.originalPath + "/data.bin"), "aaaa");
    EXPECT_EQ(test::readFile(c.originalPath + "/data.bin"), "cc");
    EXPECT_EQ(test::readFile(b.originalPath + "/data.bin"), "re-created");
    EXPECT_EQ(test::readFile(b.trashPath + "/data.bin"), "bbbbbbbb");

    auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].id, run.id); // kept its place
    EXPECT_EQ(stored[1].moved, std::vector<MovedItem>{b});
    EXPECT_EQ(stored[1].receipt.movedCount, 1);
    EXPECT_EQ(stored[1].receipt.movedBytes, b.size);
    EXPECT_EQ(stored[1].scope, run.scope);
    EXPECT_TRUE(stored[1].hasDetail);
    EXPECT_EQ(model.runs(), stored);
}

TEST(HistoryModelRestore, EveryItemRefusedKeepsThemAllWithRecomputedCounts) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/one", "123");
    MovedItem b = home.trashed("Library/Caches/two", "12345");
    SweepRun run = recordedRun({a, b});
    fs::remove_all(home.h + "/.local/share/Trash");
    test::makeDirs(home.h + "/.local/share/Trash"); // emptied

    HistoryModel model;
    model.restore(run);
    ASSERT_TRUE(finished(model));
    ASSERT_EQ(model.lastRestore().size(), 2u);
    for (const auto& outcome : model.lastRestore()) {
        ASSERT_TRUE(outcome.refusal());
        EXPECT_EQ(*outcome.refusal(), Refusal::missingFromTrash());
    }
    auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].moved, (std::vector<MovedItem>{a, b}));
    EXPECT_EQ(stored[0].receipt.movedCount, 2);
    EXPECT_EQ(stored[0].receipt.movedBytes, 8);
}

TEST(HistoryModelRestore, RunsWithoutFullDetailOrItemsAreNotRestored) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/one");
    SweepRun first = recordedRun({a});
    HistoryModel model;
    model.restore(first);
    ASSERT_TRUE(finished(model));
    const auto kept = model.lastRestore();
    ASSERT_EQ(kept.size(), 1u);

    MovedItem b = home.trashed("Library/Caches/two");
    SweepRun cut = recordedRun({b});
    cut.hasDetail = false; // e.g. stored with only its first 2000 items
    SweepRun empty = recordedRun({});
    QSignalSpy spy(&model, &HistoryModel::changed);
    model.restore(cut);
    model.restore(empty);
    EXPECT_FALSE(model.restoring());
    EXPECT_EQ(spy.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(model.lastRestore().size(), 1u);
    EXPECT_EQ(model.lastRestore()[0].id, kept[0].id);
    EXPECT_TRUE(test::exists(b.trashPath));
}

TEST(HistoryModelRestore, ASecondRestoreWhileOneRunsIsIgnored) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/one");
    MovedItem b = home.trashed("Library/Caches/two");
    SweepRun first = recordedRun({a});
    SweepRun second = recordedRun({b});
    HistoryModel model;
    model.restore(first);
    model.restore(second);
    model.restore(first);
    EXPECT_EQ(model.restoring(), first.id);
    ASSERT_TRUE(finished(model));
    ASSERT_EQ(model.lastRestore().size(), 1u);
    EXPECT_EQ(model.lastRestore()[0].item, a);
    EXPECT_TRUE(test::exists(a.originalPath));
    EXPECT_TRUE(test::exists(b.trashPath));
    EXPECT_FALSE(test::exists(b.originalPath));
}

TEST(HistoryModelRestore, ClearingDuringARestoreLeavesNothingStored) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/one");
    SweepRun run = recordedRun({a});
    HistoryModel model;
    model.restore(run);
    model.clearHistory(); // before the restore's result comes back through the event loop
    EXPECT_EQ(model.restoring(), run.id);
    EXPECT_TRUE(model.isClearing());
    ASSERT_TRUE(finished(model));
    // The list is empty before the first load is in, too: wait for the clear itself.
    ASSERT_TRUE(test::waitUntil([&] { return !model.isClearing(); }));
    EXPECT_TRUE(model.runs().empty());
    EXPECT_TRUE(SweepHistory::load().empty());
    EXPECT_EQ(model.lastRestore().size(), 1u);
    EXPECT_TRUE(test::exists(a.originalPath + "/data.bin")); // the files are back all the same
}

TEST(HistoryModelRestore, AModelGoneBeforeTheResultStillRewritesTheRun) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/one");
    SweepRun run = recordedRun({a});
    {
        HistoryModel model;
        model.restore(run);
    }
    // What came back leaves the stored run on the worker, whoever waits for the result.
    ASSERT_TRUE(test::waitUntil([&] { return SweepHistory::load().at(0).moved.empty(); }));
    EXPECT_TRUE(test::exists(a.originalPath));
}

// A restore or a clear the history cannot take in is said, and a failed clear forgets
// nothing.
TEST(HistoryModelRestore, AHistoryThatCannotBeWrittenIsSaid) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/com.example.a", "aaaa");
    SweepRun run = recordedRun({a});
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    test::UnwritableSettings broken;
    model.restore(run);
    ASSERT_TRUE(finished(model));
    EXPECT_TRUE(model.lastRestore().at(0).restored());
    const auto restoreError = model.saveError();
    EXPECT_EQ(restoreError, HistoryModel::restoreNotSavedMessage(SaveStatus::failed(ENOTDIR)));
    EXPECT_NE(restoreError.value_or("").find(std::strerror(ENOTDIR)), std::string::npos); // with the reason
    model.toggle(run.id);
    model.clearHistory();
    ASSERT_TRUE(test::waitUntil([&] { return model.saveError() != restoreError; }));
    EXPECT_EQ(model.saveError(), HistoryModel::clearNotSavedMessage(SaveStatus::failed(ENOTDIR)));
    EXPECT_EQ(model.expanded(), std::set<UUID>{run.id});
}

// The run is changed in the store while its items come back (here the moving run records
// one more item): the restore takes out only what it put back and keeps the rest.
TEST(HistoryModelRestore, ARestoreKeepsWhatChangedInTheStoreMeanwhile) {
    test::ModelHome home;
    MovedItem a = home.trashed("Library/Caches/one", "1");
    MovedItem b = home.trashed("Library/Caches/two", "22");
    SweepRun run = recordedRun({a});
    HistoryModel model;
    SweepRun later = run;
    later.moved.push_back(b);
    ASSERT_TRUE(SweepHistory::store(later));
    model.restore(run); // the copy the screen showed, without b
    ASSERT_TRUE(finished(model));
    EXPECT_TRUE(model.lastRestore().at(0).restored());
    auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].moved, std::vector<MovedItem>{b});
    EXPECT_EQ(stored[0].receipt.movedCount, 1);
    EXPECT_EQ(stored[0].receipt.movedBytes, b.size);
}
