// While a move of this process has an item in hand, every dry run leaves it out or says it is being moved.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "CoordinatorFixtures.h"
#include "SweepSchedulerFixtures.h"
#include "models/AppsModel.h"
#include "models/DuplicatesModel.h"
#include "removal/RemovalRun.h"

using namespace sorvel;
using namespace sorvel::test;

static std::string name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The names offered, then "; name: reason" for each refused; for a sweep, what it found and refused.
static std::string listed(const std::vector<CleanupOutcome>& outcomes, const SweepReceipt* receipt = nullptr,
                          int64_t freeSize = 0) {
    std::string text;
    for (const auto& o : outcomes) text += o.wouldMove() ? name(o.path) : "";
    for (const auto& o : outcomes) text += o.refusal() ? "; " + name(o.path) + ": " + o.refusal()->description() : "";
    if (!receipt) return text;
    for (const auto& f : SweepReceipt::loadFindings()) text += " | found " + name(f.path);
    return text + " | " + std::to_string(receipt->refusedCount) + " refused" +
           (receipt->foundBytes == freeSize ? "" : " | found bytes " + std::to_string(receipt->foundBytes));
}

TEST(DryRunInHand, EveryDryRunLeavesOutWhatAMoveHasInHand) {
    using PathSizes = std::vector<CleanupExecutor::PathSize>;
    const struct {
        const char* caller;
        std::function<std::string(const std::string& caches, int64_t freeSize)> dryRun;
        const char* expected;
    } rows[] = {
        {"the window's preview", [](auto& caches, auto freeSize) {
             ScanCoordinator c(ScanCoordinator::Services::standard());
             ScanCoordinator::Outcomes outcomes;
             c.runCleanup(CleanupExecutor::Mode::dryRun, PathSizes{{caches + "/held", 2}, {caches + "/free", freeSize}},
                          [&](auto& o) { outcomes = o; });
             waitUntil([&] { return !outcomes.empty(); });
             return listed(outcomes);
         }, "free; held: already being moved to the Trash"},
        {"the uninstaller's review", [](auto& caches, auto freeSize) {
             const PathSizes items{{caches + "/held/app", 2}, {caches + "/free", freeSize}};
             return listed(AppsModel::Services::standard().dryRun(items, CleanupPolicy::standard()));
         }, "free; app: already being moved to the Trash"},
        {"a sweep, as the panel's Sweep now runs it", [](auto& caches, auto freeSize) {
             SweepSchedule::store({.rules = SweepSchedule::RuleSelection::only({}), .folders = {caches}});
             Models::waitForSettings();
             SweepScheduler::Dependencies deps;
             deps.notifications = std::make_shared<RecordingCenter>();
             SweepScheduler scheduler(deps);
             scheduler.run(SweepRun::Trigger::manual);
             sweepDone(scheduler);
             const auto receipt = scheduler.lastReceipt().value_or(SweepReceipt{});
             return listed(scheduler.findings(), &receipt, freeSize);
         }, "free | found free | 0 refused"},
        {"the duplicates' check of each copy", [](auto& caches, auto) {
             DuplicateFinder::Report report;
             for (const char* copy : {"../../kept", "held/dup", "free/copy"})
                 report.groups.resize(1), report.groups[0].files.emplace_back().path = caches + "/" + copy;
             std::string refused;
             for (const auto& [path, why] : DuplicatesModel::refusalsOf(report, CleanupPolicy::standard()))
                 refused += name(path) + ": " + why;
             return refused;
         }, "kept: outside the folders Sorvel is allowed to touchdup: already being moved to the Trash"},
    };
    for (const auto& row : rows) {
        CoordinatorHome home;
        const std::string caches = home / "Library/Caches";
        writeFileOfSize(caches + "/held/app/blob", 8192);
        writeFileOfSize(caches + "/free/copy", 4096);
        writeFileOfSize(home / "kept", 4096);
        const int64_t freeSize = independentTotal(caches + "/free");
        std::promise<void> entered, release;
        std::thread move([&] { // holds "held" in hand, through the path every move takes, till released
            RemovalRun::Request request;
            request.paths = {{caches + "/held", 1}};
            request.mover = [&](auto&, auto&, auto&, auto&) {
                entered.set_value();
                return release.get_future().wait(), std::vector<CleanupOutcome>{};
            };
            RemovalRun::moveAndRecord(std::move(request));
        });
        entered.get_future().wait();
        EXPECT_EQ(row.dryRun(caches, freeSize), row.expected) << row.caller;
        release.set_value();
        move.join();
    }
}
