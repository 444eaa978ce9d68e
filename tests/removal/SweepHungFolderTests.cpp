// A sweep whose own folder does not answer (a disk that hangs) ends all the same: the folder
// is skipped with the sentence the settings window shows, the others are swept, and a
// folder whose check is still held is not checked again. A Trash held by a tidy past one
// move's wait fails the rest of the run at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <mutex>

#include "platform/Trash.h"
#include "platform/TrashFolders.h"
#include "platform/TrashRecords.h"
#include "removal/FolderChecks.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "RunHome.h"

using namespace sorvel;

namespace {

// A check that holds folders named "Hung" until the gate opens, as a hung mount holds a
// stat; every call is counted. Shared with the check threads, which may outlive the test.
struct HeldCheck {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::mutex mutex;
    std::vector<std::string> calls;

    static FolderChecks::Check of(const std::shared_ptr<HeldCheck>& held) {
        return [held](const std::string& folder) {
            {
                std::lock_guard lock(held->mutex);
                held->calls.push_back(folder);
            }
            if (folder.find("Hung") != std::string::npos) held->opened.wait();
            return OwnFolder::refusal(folder);
        };
    }
    size_t callsFor(const std::string& folder) {
        std::lock_guard lock(mutex);
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), folder));
    }
};

struct HungRig {
    test::RunHome home;
    std::string h = home.h;
    std::shared_ptr<HeldCheck> held = std::make_shared<HeldCheck>();
    HungRig() {
        test::writeFile(h + "/Hung/old/a", "x");
        test::writeFile(h + "/Work/old1/a", std::string(40'000, 'w'));
    }
    ~HungRig() {
        held->gate.set_value();
        EXPECT_TRUE(FolderChecks::waitForAll(std::chrono::seconds(10)));
    }
    SweepRunner::Outcome sweep(std::chrono::milliseconds deadline) {
        SweepSchedule s;
        s.rules = SweepSchedule::RuleSelection::only({});
        s.action = SweepSchedule::Action::clean;
        s.folders = {h + "/Hung", h + "/Work"};
        return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{}, [] { return false; },
                                {HeldCheck::of(held), deadline});
    }
};

} // namespace

TEST(SweepHungFolder, TheSweepEndsSweepsTheOthersAndSaysWhichFolderDidNotAnswer) {
    HungRig rig;
    const std::string notAnswering = "\u201C~/Hung\u201D did not answer in time (its disk may be disconnected or not "
                                     "responding), so it was not swept. It is checked again at the next sweep.";
    struct Case {
        std::chrono::milliseconds deadline;
        bool workFirst; // ~/Work/old1 is there to be swept
    };
    // The first sweep waits out its deadline (long enough for a folder that answers); the
    // second finds the first's check still held and refuses the folder without waiting.
    const Case cases[] = {{std::chrono::milliseconds(1'500), true}, {std::chrono::hours(1), false}};
    for (const auto& c : cases) {
        if (!c.workFirst) test::writeFile(rig.h + "/Work/old2/a", std::string(40'000, 'w'));
        const auto out = rig.sweep(c.deadline);
        std::vector<std::string> moved;
        for (const auto& o : out.outcomes)
            if (o.moved()) moved.push_back(o.path);
        EXPECT_EQ(moved, std::vector<std::string>{rig.h + (c.workFirst ? "/Work/old1" : "/Work/old2")});
        EXPECT_EQ(out.receipt.withheldReason, notAnswering);
        EXPECT_EQ(out.receipt.refusedCount, 1);
        EXPECT_EQ(SweepReceipt::loadLast(), out.receipt);
        EXPECT_TRUE(test::exists(rig.h + "/Hung/old/a"));
    }
    EXPECT_EQ(rig.held->callsFor(rig.h + "/Hung"), 1u); // one thread held, not two
    EXPECT_EQ(rig.held->callsFor(rig.h + "/Work"), 2u);
}

// A tidy holding the Trash (a stopped process) costs one move its wait; the moves after it
// fail at once with the same reason, even once the tidy lets go during the run.
TEST(SweepHungFolder, ATrashHeldPastOneMovesWaitFailsTheRestOfTheRunAtOnce) {
    test::RunHome home;
    const auto before = Trash::setMoveWaitBound(std::chrono::milliseconds(20));
    const auto paths = home.folders(12);
    std::string error;
    auto folder = Trash::openHome(true, Trash::Use::moveInto, error);
    ASSERT_TRUE(folder) << error;
    auto tidying = std::make_unique<Trash::MovesLock>(*folder, Trash::MovesLock::Mode::exclusiveIfFree);
    ASSERT_TRUE(tidying->held());
    RemovalRun::Request request = home.request(paths);
    request.onProgress = [&](int, int) { tidying.reset(); }; // the tidy ends after the first move gave up
    const auto result = RemovalRun::moveAndRecord(std::move(request));
    Trash::setMoveWaitBound(before);

    ASSERT_EQ(result.outcomes.size(), 12u);
    for (const auto& o : result.outcomes) {
        ASSERT_NE(o.failure(), nullptr) << o.path;
        EXPECT_NE(o.failure()->find("is held by another Sorvel process tidying it"), std::string::npos)
            << *o.failure();
        EXPECT_TRUE(test::exists(o.path + "/f")) << o.path;
    }
}
