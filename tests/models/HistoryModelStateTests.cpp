// The history screen's model without restores: what it loads, its totals, opened runs and
// clearing the log.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <stdexcept>

#include "models/SweepModelsFixtures.h"
#include "platform/UserDefaults.h"
#include "models/HistoryModel.h"

using namespace sorvel;

namespace {

SweepRun runOf(int64_t bytes, int64_t count, std::string scope = "items you picked") {
    SweepRun run;
    run.scope = std::move(scope);
    run.receipt.action = SweepSchedule::Action::clean;
    run.receipt.movedBytes = bytes;
    run.receipt.movedCount = count;
    return run;
}

} // namespace

TEST(HistoryModelState, LoadsTheStoredRunsNewestFirstWithTheirTotals) {
    test::ModelHome home;
    SweepHistory::store(runOf(1'000, 2, "older"));
    SweepHistory::store(runOf(250, 1, "newer"));
    HistoryModel model;
    EXPECT_TRUE(model.isLoading() && model.runs().empty()); // read on a worker, handed over by the event loop
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    ASSERT_EQ(model.runs().size(), 2u);
    EXPECT_EQ(model.runs()[0].scope, "newer");
    EXPECT_EQ(model.totalMoved(), 1'250);
    EXPECT_EQ(model.totalCount(), 3);
    EXPECT_TRUE(model.expanded().empty());
    EXPECT_FALSE(model.restoring());
    EXPECT_TRUE(model.lastRestore().empty());
}

TEST(HistoryModelState, EmptyOrUnreadableHistoryHasZeroTotals) {
    test::ModelHome home;
    {
        HistoryModel model;
        ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
        EXPECT_TRUE(model.runs().empty());
        EXPECT_EQ(model.totalMoved(), 0);
        EXPECT_EQ(model.totalCount(), 0);
    }
    UserDefaults(SweepHistory::filePath()).set("SorvelSweepHistory", nlohmann::json::array({{{"id", "nonsense"}}}));
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    EXPECT_TRUE(model.runs().empty());
    EXPECT_EQ(model.totalMoved(), 0);
}

TEST(HistoryModelState, RunsRecordedElsewhereArriveWhenTheScreenReloads) {
    test::ModelHome home;
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    SweepHistory::store(runOf(10, 1));
    EXPECT_TRUE(model.runs().empty());
    QSignalSpy spy(&model, &HistoryModel::runsChanged);
    model.reload();
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(model.runs().size(), 1u);
    EXPECT_EQ(model.totalMoved(), 10);
}

TEST(HistoryModelState, ToggleOpensAndClosesARun) {
    test::ModelHome home;
    HistoryModel model;
    QSignalSpy spy(&model, &HistoryModel::expandedChanged);
    const UUID a = UUID::random(), b = UUID::random();
    model.toggle(a);
    model.toggle(b);
    EXPECT_EQ(model.expanded(), (std::set<UUID>{a, b}));
    model.toggle(a);
    EXPECT_EQ(model.expanded(), std::set<UUID>{b});
    model.toggle(a);
    model.toggle(a);
    EXPECT_EQ(model.expanded(), std::set<UUID>{b}); // twice leaves it as it was
    EXPECT_EQ(spy.count(), 5);
}

TEST(HistoryModelState, ClearForgetsTheStoredHistoryAndTheLists) {
    test::ModelHome home;
    SweepRun stored = runOf(5, 1);
    SweepHistory::store(stored);
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    model.toggle(stored.id);
    model.clearHistory();
    ASSERT_TRUE(test::waitUntil([&] { return model.runs().empty(); }));
    EXPECT_FALSE(UserDefaults(SweepHistory::filePath()).value("SorvelSweepHistory"));
    EXPECT_TRUE(model.runs().empty());
    EXPECT_TRUE(model.expanded().empty());
    EXPECT_EQ(model.totalCount(), 0);
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(HistoryModelState, HostileStoredCountsDoNotOverflowTheTotals) {
    test::ModelHome home;
    SweepHistory::store(runOf(INT64_MAX, INT64_MAX, "edited"));
    SweepHistory::store(runOf(INT64_MAX, 1, "edited too"));
    HistoryModel model;
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    EXPECT_EQ(model.totalMoved(), INT64_MAX);
    EXPECT_EQ(model.totalCount(), INT64_MAX);
}

// A clear whose work throws ends like one that could not be written: no longer clearing,
// with the reason shown and the runs still listed.
TEST(HistoryModelState, AClearThatThrowsEndsWithItsReason) {
    test::ModelHome home;
    SweepHistory::store(runOf(5, 1));
    HistoryModel model([]() -> SaveStatus { throw std::runtime_error("Input/output error"); });
    ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
    model.clearHistory();
    ASSERT_TRUE(test::waitUntil([&] { return model.failure().has_value() && !model.isLoading(); }));
    EXPECT_FALSE(model.isClearing());
    EXPECT_EQ(model.failure(), "Sorvel could not finish clearing the history (Input/output error).");
    EXPECT_EQ(model.runs().size(), 1u);
}
