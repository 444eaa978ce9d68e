// While a move of this process has an item in hand, no dry run offers it, counts it as
// found or records it as refused: the window's preview lists it as being moved, and every
// other caller leaves it out.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "CoordinatorFixtures.h"
#include "SweepSchedulerFixtures.h"
#include "models/AppsModel.h"
#include "models/DuplicatesModel.h"
#include "removal/RemovalRun.h"
#include "removal/SweepRunner.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

using PathSize = CleanupExecutor::PathSize;

// A move that has `held` in hand until the rig goes, through the path every move takes.
struct HeldMove {
    std::promise<void> entered, release;
    std::thread worker;

    explicit HeldMove(const std::string& held) {
        RemovalRun::Request request;
        request.paths = {{held, 1}};
        request.policy = CleanupPolicy::standard();
        request.mover = [this](const std::vector<PathSize>&, const CleanupPolicy&, const std::optional<CloudStatus>&,
                               const CleanupExecutor::Progress&) {
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

// "free; held: why" for the items offered, then those refused with their reason.
std::string listed(const std::vector<CleanupOutcome>& outcomes) {
    std::string offered, refused;
    for (const auto& o : outcomes) {
        if (o.wouldMove()) offered += (offered.empty() ? "" : ", ") + name(o.path);
        else if (o.refusal()) refused += "; " + name(o.path) + ": " + o.refusal()->description();
    }
    return offered + refused;
}

std::string sweepRecord(const SweepReceipt& receipt, const std::vector<CleanupOutcome>& outcomes, int64_t freeSize) {
    std::string findings;
    for (const auto& f : SweepReceipt::loadFindings()) findings += name(f.path) + " ";
    return listed(outcomes) + " | findings " + findings + "| refused " + std::to_string(receipt.refusedCount) +
           (receipt.foundBytes == freeSize ? " | found free's size" : " | found " + std::to_string(receipt.foundBytes));
}

SweepSchedule reportOn(const std::string& folder) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.action = SweepSchedule::Action::report;
    s.folders = {folder};
    return s;
}

} // namespace

TEST(DryRunInHand, EveryDryRunLeavesOutWhatAMoveHasInHand) {
    struct Row {
        const char* caller;
        std::function<std::string(const std::string& caches, int64_t freeSize)> dryRun;
        std::string expected;
    };
    const std::string sweepExpected = "free | findings free | refused 0 | found free's size";
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
        {"a sweep that reports",
         [](const std::string& caches, int64_t freeSize) {
             const auto out = SweepRunner::run(reportOn(caches), SweepRun::Trigger::scheduled, CloudStatus{});
             return sweepRecord(out.receipt, out.outcomes, freeSize);
         },
         sweepExpected},
        {"the panel's Sweep now",
         [](const std::string& caches, int64_t freeSize) {
             SweepSchedule::store(reportOn(caches));
             Models::waitForSettings();
             SweepScheduler::Dependencies deps;
             deps.notifications = std::make_shared<RecordingCenter>();
             SweepScheduler scheduler(deps);
             scheduler.run(SweepRun::Trigger::manual);
             sweepDone(scheduler);
             return sweepRecord(scheduler.lastReceipt().value_or(SweepReceipt{}), scheduler.findings(), freeSize);
         },
         sweepExpected},
        {"the duplicates' check of each copy",
         [](const std::string& caches, int64_t) {
             DuplicateGroup group;
             for (const char* copy : {"../../kept", "held/dup", "free/copy"}) {
                 group.files.emplace_back();
                 group.files.back().path = caches + "/" + copy;
             }
             DuplicateFinder::Report report;
             report.groups = {group};
             std::string refused;
             for (const auto& [path, why] : DuplicatesModel::refusalsOf(report, CleanupPolicy::standard().allowing({caches})))
                 refused += name(path) + ": " + why;
             return refused;
         },
         "dup: already being moved to the Trash"}, // the free copy may go
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
