// Runs ended before they finished (a kill, or a quit that could wait no longer), tidied at
// the next start: stored as they stand, their receipts saying they were cut short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "RunHome.h"
#include "removal/CrashedRuns.h"
#include "support/ChildProcess.h"
#include "support/MoveToTrash.h"

using namespace sorvel;
using Trigger = SweepRun::Trigger;

TEST(CutShortRunTidy, StoredAsItStandsAndTheSweepsReceiptTakesItsCounts) {
    // finished: only the receipt's write was lost; keptAhead: a sweep kept its receipt as cut short first.
    for (const auto& [trigger, finished, keptAhead] :
         {std::tuple{Trigger::scheduled, false, true}, std::tuple{Trigger::manual, true, true},
          std::tuple{Trigger::manual, false, false}, std::tuple{Trigger::menuBar, false, true}}) {
        SCOPED_TRACE(rawValue(trigger) + (finished ? " finished" : " killed mid-move"));
        test::RunHome home;
        SweepRun run;
        run.trigger = trigger;
        run.finished = finished;
        const auto items = home.folders(2);
        for (int i = 0; i < (finished ? 1 : 2); ++i)
            run.moved.push_back({items[i].path, "", 1'000, Trash::identityOf(items[i].path)});
        const std::string trashed = test::moveToTrash(items[0].path).trashPath.value_or("");
        if (finished) run.moved[0].trashPath = trashed;
        run.recount();
        ASSERT_TRUE(SweepHistory::store(run));
        SweepReceipt ahead;
        ahead.date = run.receipt.date;
        ahead.cutShort = true;
        if (keptAhead) SweepReceipt::record(ahead);
        CrashedRuns::tidy();
        const bool settles = keptAhead && trigger != Trigger::menuBar;
        EXPECT_EQ(CrashedRuns::settleLastSweep().has_value(), settles);
        const SweepRun stored = SweepHistory::load().at(0);
        EXPECT_EQ(stored.receipt.movedCount, 1);
        EXPECT_EQ(stored.receipt.headline().ends_with(" to the Trash before it was cut short"), !finished);
        EXPECT_EQ(stored.moved.size(), run.moved.size()) << "what never moved stays listed for a put back";
        EXPECT_EQ(stored.moved[0].trashPath, trashed);
        const std::optional<SweepReceipt> none;
        SweepReceipt settled = stored.receipt;
        settled.runs = {stored.id}; // named, so what is put back of it is told with it
        EXPECT_EQ(SweepReceipt::loadLast(), settles ? settled : keptAhead ? ahead : none);
        EXPECT_EQ(SweepReceipt::loadFindings().size(), settles ? 1u : 0u);
    }
}

// A run this process is still moving is left to its move, which rewrites it batch by batch.
TEST(CutShortRunTidy, ARunStillMovingHereIsLeftAlone) {
    test::RunHome home;
    auto request = home.request(home.folders(2));
    std::promise<void> entered, release;
    request.mover = [&, gate = release.get_future().share()](auto&&...) {
        entered.set_value();
        gate.wait();
        return std::vector<CleanupOutcome>{};
    };
    std::thread mover([&] { RemovalRun::moveAndRecord(std::move(request)); });
    entered.get_future().wait();
    const SweepRun before = SweepHistory::load().at(0);
    EXPECT_EQ(CrashedRuns::tidy().runsRewritten, 0);
    EXPECT_EQ(SweepHistory::load().at(0), before);
    release.set_value();
    mover.join();
}

namespace {

constexpr int kPastTheKeptItems = 2'300;
constexpr int kMovedBeforeTheKill = 100;
constexpr int kKilledMidBatch = 9;

// Moves every batch whole but the one that starts past the items a run keeps: of that,
// a hundred items, and then the process ends as a kill would leave it.
int movePastTheKeptItemsThenDie() {
    const std::string work = std::string(std::getenv("HOME")) + "/Work"; // the parent's home
    RemovalRun::Request request;
    request.policy = CleanupPolicy::standard().allowing({work});
    request.run.scope = "test";
    request.run.allowedRoots = request.policy.allowedRoots;
    for (int i = 0; i < kPastTheKeptItems; ++i) request.paths.push_back({work + "/d" + std::to_string(i), 0});
    size_t before = 0;
    request.mover = [&before](const std::vector<CleanupExecutor::PathSize>& chunk, const CleanupPolicy& policy,
                              const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        const size_t start = before;
        before += chunk.size();
        if (start < SweepHistory::kMaximumItemsPerRun)
            return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
        const std::vector<CleanupExecutor::PathSize> some(chunk.begin(), chunk.begin() + kMovedBeforeTheKill);
        (void)CleanupExecutor::run(some, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
        test::endAs(kKilledMidBatch);
    };
    RemovalRun::moveAndRecord(std::move(request));
    return 0; // never ended mid-batch: the test fails on the status
}

} // namespace

// A run killed in a batch that starts past the 2,000 items a run keeps in detail: the
// batch's items are not all listed, yet the tidy counts only those that reached the Trash.
TEST(CutShortRunTidy, PastTheItemsARunKeepsItCountsOnlyWhatReachedTheTrash) {
    constexpr const char* kRole = "killed-past-the-kept-items";
    if (test::isRole(kRole)) test::endAs(movePastTheKeptItemsThenDie());
    test::RunHome home;
    (void)home.folders(kPastTheKeptItems);
    ASSERT_EQ(test::runTestInNewProcess(kRole, std::chrono::minutes(3)), kKilledMidBatch);
    int inTrash = 0;
    for (const auto& entry : std::filesystem::directory_iterator(home.trash + "/files")) inTrash += entry.is_directory();
    // Every batch before the last whole, and a hundred of the last.
    size_t whole = 0, batch = RemovalRun::kFirstBatch;
    while (whole < SweepHistory::kMaximumItemsPerRun) {
        whole += batch;
        batch = std::min(batch * 2, RemovalRun::kLargestBatch);
    }
    ASSERT_EQ(inTrash, static_cast<int>(whole) + kMovedBeforeTheKill);

    CrashedRuns::tidy();
    const SweepRun run = SweepHistory::load().at(0);
    EXPECT_EQ(run.receipt.movedCount, inTrash);
    EXPECT_TRUE(run.receipt.cutShort);
    EXPECT_FALSE(run.hasDetail);
    EXPECT_LE(run.moved.size(), SweepHistory::kMaximumItemsPerRun);
}
