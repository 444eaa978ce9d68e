// While a move of this process has an item in hand, no dry run offers it, counts it as
// found or records it as refused: the window's preview says it is being moved, every other
// caller leaves it out.
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

namespace {

using PathSize = CleanupExecutor::PathSize;

// Holds `held` in hand, through the path every move takes, until it goes.
struct HeldMove {
    std::promise<void> entered, release;
    std::thread worker;

    explicit HeldMove(const std::string& held) {
        RemovalRun::Request request;
        request.paths = {{held, 1}};
        request.mover = [this](auto&, auto&, auto&, auto&) {
            entered.set_value();
            release.get_future().wait();
            return std::vector<CleanupOutcome>{};
        };
        worker = std::thread([request = std::move(request)]() mutable { RemovalRun::moveAndRecord(std::move(request)); });
        entered.get_future().wait();
    }
    ~HeldMove() {
        release.set_value();
        worker.join();
    }
};

std::string name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The names offered, then "; name: reason" for each refused; for a sweep, what it recorded.
std::string listed(const std::vector<CleanupOutcome>& outcomes, const SweepReceipt* receipt = nullptr,
                   int64_t freeSize = 0) {
    std::string text;
    for (const auto& o : outcomes)
        if (o.wouldMove()) text += name(o.path);
    for (const auto& o : outcomes)
        if (o.refusal()) text += "; " + name(o.path) + ": " + o.refusal()->description();
    if (!receipt) return text;
    for (const auto& f : SweepReceipt::loadFindings()) text += " | found " + name(f.path);
    return text + " | " + std::to_string(receipt->refusedCount) + " refused" +
           (receipt->foundBytes == freeSize ? "" : " | found bytes " + std::to_string(receipt->foundBytes));
}

SweepSchedule reportOn(const std::string& folder) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.folders = {folder};
    return s;
}

} // namespace

TEST(DryRunInHand, EveryDryRunLeavesOutWhatAMoveHasInHand) {
    struct Row {
        const char* caller;
        std::function<std::string(const std::string& caches, int64_t freeSize)> dryRun;
        const char* expected;
    };
    const Row rows[] = {
        {"the window's preview",
         [](const std::string& caches, int64_t freeSize) {
             ScanCoordinator c(ScanCoordinator::Services::standard());
             std::optional<ScanCoordinator::Outcomes> outcomes;
             c.runCleanup(CleanupExecutor::Mode::dryRun, std::vector<PathSize>{{caches + "/held", 2}, {caches + "/free", freeSize}},
                          [&](const ScanCoordinator::Outcomes& o) { outcomes = o; });
             waitUntil([&] { return outcomes.has_value(); });
             return listed(outcomes.value_or(ScanCoordinator::Outcomes{}));
         },
         "free; held: already being moved to the Trash"},
        {"the uninstaller's review",
         [](const std::string& caches, int64_t freeSize) {
             return listed(AppsModel::Services::standard().dryRun({{caches + "/held/app", 2}, {caches + "/free", freeSize}},
                                                                 CleanupPolicy::standard()));
         },
         "free; app: already being moved to the Trash"},
        {"a sweep",
         [](const std::string& caches, int64_t freeSize) {
             const auto out = SweepRunner::run(reportOn(caches), SweepRun::Trigger::scheduled, CloudStatus{});
             return listed(out.outcomes, &out.receipt, freeSize);
         },
         "free | found free | 0 refused"},
        {"the panel's Sweep now",
         [](const std::string& caches, int64_t freeSize) {
             SweepSchedule::store(reportOn(caches));
             Models::waitForSettings();
             SweepScheduler::Dependencies deps;
             deps.notifications = std::make_shared<RecordingCenter>();
             SweepScheduler scheduler(deps);
             scheduler.run(SweepRun::Trigger::manual);
             sweepDone(scheduler);
             const auto receipt = scheduler.lastReceipt().value_or(SweepReceipt{});
             return listed(scheduler.findings(), &receipt, freeSize);
         },
         "free | found free | 0 refused"},
        {"the duplicates' check of each copy",
         [](const std::string& caches, int64_t) {
             DuplicateFinder::Report report;
             for (const char* copy : {"../../kept", "held/dup", "free/copy"})
                 report.groups.resize(1), report.groups[0].files.emplace_back().path = caches + "/" + copy;
             std::string refused;
             for (const auto& [path, why] : DuplicatesModel::refusalsOf(report, CleanupPolicy::standard()))
                 refused += name(path) + ": " + why;
             return refused;
         },
         "dup: already being moved to the Trash"},
    };
    for (const auto& row : rows) {
        CoordinatorHome home;
        const std::string caches = home / "Library/Caches";
        writeFileOfSize(caches + "/held/app/blob", 8192);
        writeFileOfSize(caches + "/free/copy", 4096);
        writeFileOfSize(home / "kept", 4096);
        ScanControl control;
        const int64_t freeSize = FileWalker::walk(caches + "/free", control)->size;
        HeldMove move(caches + "/held");
        EXPECT_EQ(row.dryRun(caches, freeSize), row.expected) << row.caller;
    }
}
