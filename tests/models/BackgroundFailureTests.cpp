// Work on a worker that throws ends what waits for it with the reason, never the process:
// the scan, a cleanup run (the sheet hears it), a sweep, and the own-folder check.
#include <gtest/gtest.h>

#include <future>
#include <new>
#include <stdexcept>

#include "CoordinatorFixtures.h"
#include "models/BackgroundWork.h"
#include "models/SweepSchedulerFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(BackgroundFailures, AScanOrCleanupRunThatThrowsEndsWithItsReason) {
    using Phase = ScanCoordinator::Phase;
    enum class Step { scan, dryRun, move };
    struct Case {
        Step step;
        std::function<void()> raise;
        std::string sentence;
    };
    const Case cases[] = {
        {Step::scan, [] { throw std::runtime_error("[json.exception.parse_error.101] unexpected end"); },
         "Sorvel could not finish the scan ([json.exception.parse_error.101] unexpected end)."},
        {Step::dryRun, [] { throw std::bad_alloc(); },
         "Sorvel could not finish checking what can be moved (out of memory)."},
        {Step::move, [] { throw std::bad_alloc(); },
         "Sorvel could not finish the move to the Trash (out of memory). What was moved is listed in the history."},
    };
    for (const auto& c : cases) {
        CoordinatorHome home;
        auto services = ScanCoordinator::Services::standard();
        services.scan = [&c](ScanControl&, ScanScope) {
            if (c.step == Step::scan) c.raise();
            return ScanResult{};
        };
        services.recommend = [](const ScanResult&) { return std::vector<CleanupItem>{}; };
        services.runCleanup = [&c](const auto&, CleanupExecutor::Mode, const CleanupPolicy&, const auto&,
                                   const auto&) -> ScanCoordinator::Outcomes {
            c.raise();
            return {};
        };
        ScanCoordinator coordinator(services);
        coordinator.start();
        ASSERT_TRUE(waitUntil([&] { return coordinator.phase() != Phase::scanning; }));
        std::optional<std::string> heard;
        bool returned = false;
        auto onOutcomes = [&](const ScanCoordinator::Outcomes&) { returned = true; };
        auto onFailure = [&](const std::string& sentence) { heard = sentence; };
        const std::vector<CleanupExecutor::PathSize> picked{{home / "Library/Caches/app", 1}};
        if (c.step == Step::dryRun)
            coordinator.runCleanup(CleanupExecutor::Mode::dryRun, picked, onOutcomes, onFailure);
        if (c.step == Step::move) coordinator.performCleanup(picked, onOutcomes, onFailure);
        ASSERT_TRUE(c.step == Step::scan || waitUntil([&] { return heard.has_value(); })) << c.sentence;
        EXPECT_EQ(heard.value_or(c.sentence), c.sentence);
        EXPECT_FALSE(returned);
        EXPECT_EQ(coordinator.phase(), c.step == Step::scan ? Phase::cancelled : Phase::done);
        EXPECT_EQ(coordinator.failure(), c.sentence);
    }
}

TEST(BackgroundFailures, ASweepThatThrowsEndsRunningSaysWhyAndTheNextOneClearsIt) {
    SchedulerRig rig;
    rig.sweeps->raise = "Input/output error";
    SweepScheduler scheduler(rig.dependencies());
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(sweepDone(scheduler));
    EXPECT_EQ(scheduler.failure(), "Sorvel could not finish the sweep (Input/output error).");
    EXPECT_FALSE(scheduler.lastReceipt().has_value());

    rig.sweeps->raise.reset();
    scheduler.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(waitUntil([&] { return rig.sweeps->finished.load() == 1 && !scheduler.isRunning(); }));
    EXPECT_EQ(scheduler.failure(), std::nullopt);
    EXPECT_TRUE(scheduler.lastReceipt().has_value());
}

// The end of a process waits for work still running, so no job hands its result to an
// application already gone; the wait counts a job that threw, and one whose captures
// are still being let go, until they are.
TEST(BackgroundWorkAtExit, TheWaitEndsOnlyOnceEveryJobHasEnded) {
    struct Case {
        const char* what;
        bool throws;
    };
    for (const Case c : {Case{"a job that returns", false}, Case{"a job that throws", true}}) {
        auto gate = std::make_shared<std::promise<void>>();
        std::shared_future<void> opened = gate->get_future().share();
        Models::runInBackground(
            Models::WorkPriority::userInitiated,
            [opened, throws = c.throws] {
                opened.wait();
                if (throws) throw std::runtime_error("refused");
            },
            [](const std::string&) {});
        EXPECT_FALSE(Models::waitForBackgroundWork(std::chrono::milliseconds(50))) << c.what;
        gate->set_value();
        EXPECT_TRUE(Models::waitForBackgroundWork(std::chrono::seconds(30))) << c.what;
    }
}
