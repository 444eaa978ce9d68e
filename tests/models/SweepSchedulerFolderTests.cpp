// Own folders added through the scheduler: one that holds the home folder is refused with
// a sentence the settings window shows, and never stored. The check runs on a worker.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "models/SweepSchedulerFixtures.h"
#include "platform/Path.h"
#include "removal/FolderChecks.h"

using namespace sorvel;

namespace {

bool checked(const SweepScheduler& scheduler) {
    return test::waitUntil([&] { return scheduler.checkingFolders().empty(); });
}

std::optional<std::string> added(SweepScheduler& scheduler, const std::string& folder) {
    scheduler.addFolder(folder);
    EXPECT_TRUE(checked(scheduler)) << folder;
    return scheduler.folderRefusal();
}

// A scheduler whose folder check the test answers: folders named "Hung" wait for the gate
// (as behind a hung mount), "Refused" ones are refused, "Broken" ones throw; each call's
// thread is noted. The check shares `held`, so it may outlive the test.
struct HeldRig : test::SchedulerRig {
    struct Held {
        std::promise<void> gate;
        std::shared_future<void> opened = gate.get_future().share();
        std::mutex mutex;
        std::vector<std::thread::id> calls;
    };
    explicit HeldRig(std::optional<std::chrono::milliseconds> deadline = std::nullopt) : deadline(deadline) {}
    std::optional<std::chrono::milliseconds> deadline;
    std::shared_ptr<Held> held = std::make_shared<Held>();
    std::string h = home.h;
    SweepScheduler scheduler{[this] {
        auto deps = dependencies();
        deps.folderCheckDeadline = deadline;
        deps.folderCheck = [held = held](const std::string& folder) -> std::optional<std::string> {
            {
                std::lock_guard lock(held->mutex);
                held->calls.push_back(std::this_thread::get_id());
            }
            if (folder.find("Hung") != std::string::npos) held->opened.wait_for(std::chrono::seconds(20));
            if (folder.find("Broken") != std::string::npos) throw std::runtime_error("Stale file handle");
            if (folder.find("Refused") != std::string::npos) return "refused: " + folder;
            return std::nullopt;
        };
        return deps;
    }()};
    ~HeldRig() { scheduler.stop(); }
};

} // namespace

TEST(SweepSchedulerFolders, AddingAFolderThatHoldsTheHomeIsRefusedAndNothingIsStored) {
    test::SchedulerRig rig;
    const std::string h = rig.home.h;
    test::makeDirs(h + "/Projects");
    SweepScheduler scheduler(rig.dependencies());
    QSignalSpy refusals(&scheduler, &SweepScheduler::folderRefusalChanged);

    for (const std::string& folder : {h, std::string("/"), deletingLastPathComponent(h), std::string("~/")}) {
        const auto reason = added(scheduler, folder);
        ASSERT_TRUE(reason.has_value()) << folder;
        EXPECT_NE(reason->find("so Sorvel can't sweep it"), std::string::npos) << *reason;
        EXPECT_EQ(scheduler.folderRefusal(), reason);
        EXPECT_TRUE(scheduler.schedule().folders.empty()) << folder;
    }
    EXPECT_TRUE(test::storedSchedule().folders.empty());
    EXPECT_GE(refusals.count(), 1);

    // A folder inside the home is added once, stored, and clears the message.
    EXPECT_EQ(added(scheduler, h + "/Projects"), std::nullopt);
    EXPECT_EQ(added(scheduler, h + "/Projects"), std::nullopt);
    EXPECT_EQ(scheduler.folderRefusal(), std::nullopt);
    EXPECT_EQ(scheduler.schedule().folders, std::vector<std::string>{h + "/Projects"});
    EXPECT_EQ(test::storedSchedule().folders, std::vector<std::string>{h + "/Projects"});
    scheduler.stop();
}

TEST(SweepSchedulerFolders, AScheduleSetWithSuchAFolderKeepsTheOthersAndSaysWhy) {
    test::SchedulerRig rig;
    const std::string h = rig.home.h;
    SweepScheduler scheduler(rig.dependencies());
    SweepSchedule wanted;
    wanted.folders = {h + "/Projects", h, h + "/Downloads/Installers"};
    scheduler.setSchedule(wanted);
    ASSERT_TRUE(checked(scheduler));
    EXPECT_EQ(scheduler.schedule().folders,
              (std::vector<std::string>{h + "/Projects", h + "/Downloads/Installers"}));
    EXPECT_EQ(test::storedSchedule().folders, scheduler.schedule().folders);
    ASSERT_TRUE(scheduler.folderRefusal().has_value());
    EXPECT_EQ(*scheduler.folderRefusal(),
              "\u201C" + h + "\u201D is your home folder, so Sorvel can't sweep it. Add a folder inside it instead.");
    scheduler.stop();
}

TEST(SweepSchedulerFolders, AFolderHoldingProtectedPlacesIsRefusedWhenAdded) {
    test::SchedulerRig rig;
    const std::string h = rig.home.h;
    test::makeDirs(h + "/Library/Preferences");
    SweepScheduler scheduler(rig.dependencies());
    const auto reason = added(scheduler, h + "/Library");
    ASSERT_TRUE(reason.has_value());
    EXPECT_EQ(*reason, "\u201C~/Library\u201D is your Library folder, so Sorvel can't sweep it. Add a folder inside it "
                       "instead.");
    EXPECT_EQ(scheduler.folderRefusal(), reason);
    EXPECT_TRUE(scheduler.schedule().folders.empty());
    EXPECT_TRUE(test::storedSchedule().folders.empty());
    scheduler.stop();
}

TEST(SweepSchedulerFolders, TheCheckRunsOnceOnAWorkerWhileOtherChangesApplyAtOnce) {
    HeldRig t;
    auto& scheduler = t.scheduler;
    scheduler.addFolder(t.h + "/Hung");
    // Back at once, the check still held: shown as being checked, not yet in the schedule.
    EXPECT_EQ(scheduler.checkingFolders(), std::vector<std::string>{t.h + "/Hung"});
    EXPECT_TRUE(scheduler.schedule().folders.empty());
    SweepSchedule weekly = scheduler.schedule();
    weekly.frequency = SweepSchedule::Frequency::weekly;
    scheduler.setSchedule(weekly);
    EXPECT_EQ(scheduler.schedule().frequency, SweepSchedule::Frequency::weekly);
    scheduler.addFolder(t.h + "/Hung"); // asked again while it is checked: not checked again

    t.held->gate.set_value();
    ASSERT_TRUE(checked(scheduler));
    // Joined to the schedule as it is now: the frequency set meanwhile stays.
    EXPECT_EQ(scheduler.schedule().folders, std::vector<std::string>{t.h + "/Hung"});
    EXPECT_EQ(scheduler.schedule().frequency, SweepSchedule::Frequency::weekly);
    std::lock_guard lock(t.held->mutex);
    ASSERT_EQ(t.held->calls.size(), 1u);
    EXPECT_NE(t.held->calls[0], std::this_thread::get_id());
}

TEST(SweepSchedulerFolders, TheAnswerForAFolderTheUserMovedOnFromIsDropped) {
    HeldRig t;
    t.scheduler.addFolder(t.h + "/Hung Refused");
    t.scheduler.addFolder(t.h + "/Projects"); // chosen while the first is still being checked
    ASSERT_TRUE(checked(t.scheduler));
    EXPECT_EQ(t.scheduler.schedule().folders, std::vector<std::string>{t.h + "/Projects"});
    // The first answer, a refusal, comes late: it says nothing about the folder now shown.
    t.held->gate.set_value();
    EXPECT_FALSE(test::waitUntil([&] { return t.scheduler.folderRefusal().has_value(); }, 1'000));

    // A check that throws adds nothing, and says why in the place of a refusal.
    EXPECT_EQ(added(t.scheduler, t.h + "/Broken"),
              "Sorvel could not finish checking \u201C~/Broken\u201D (Stale file handle). It was not added.");
    EXPECT_EQ(t.scheduler.schedule().folders, std::vector<std::string>{t.h + "/Projects"});
}

TEST(SweepSchedulerFolders, AFolderThatDoesNotAnswerInTimeIsRefusedAndTheSweepGoesOn) {
    HeldRig t(std::chrono::milliseconds(1'500)); // long enough for a folder that answers
    SweepSchedule daily;
    daily.frequency = SweepSchedule::Frequency::daily; // due at once: no sweep yet
    daily.folders = {t.h + "/Hung", t.h + "/Projects"};
    t.scheduler.setSchedule(daily);
    ASSERT_TRUE(checked(t.scheduler));
    // The folder that answered joins; the hung one is refused, and the held-back sweep runs.
    EXPECT_EQ(t.scheduler.schedule().folders, std::vector<std::string>{t.h + "/Projects"});
    const std::string refusal = "\u201C~/Hung\u201D did not answer in time (its disk may be disconnected or not "
                                "responding), so it was not added. Try again once it answers.";
    EXPECT_EQ(t.scheduler.folderRefusal(), refusal);
    ASSERT_TRUE(test::waitUntil([&] { return t.sweeps->finished.load() == 1; }));
    EXPECT_EQ(t.sweeps->schedules.at(0).folders, std::vector<std::string>{t.h + "/Projects"});
    {
        // Each folder on a thread of its own: the hung one holds up no other check.
        std::lock_guard lock(t.held->mutex);
        ASSERT_EQ(t.held->calls.size(), 2u);
        EXPECT_NE(t.held->calls[0], t.held->calls[1]);
    }
    // Its late answer changes nothing; asked for again, it is checked again.
    t.held->gate.set_value();
    EXPECT_FALSE(test::waitUntil([&] { return t.scheduler.schedule().folders.size() != 1; }, 500));
    EXPECT_EQ(t.scheduler.folderRefusal(), refusal);
    EXPECT_EQ(added(t.scheduler, t.h + "/Hung"), std::nullopt);
    EXPECT_EQ(t.scheduler.schedule().folders, (std::vector<std::string>{t.h + "/Projects", t.h + "/Hung"}));
}

// Asked for again while its first check is still held, a hung folder is refused at once
// with the same sentence: no second thread is left stuck beside the first.
TEST(SweepSchedulerFolders, AFolderWhoseCheckIsStillHeldIsRefusedAtOnceNotCheckedAgain) {
    HeldRig t(std::chrono::milliseconds(1'500)); // long enough for a folder that answers
    const std::string refusal = "\u201C~/Hung\u201D did not answer in time (its disk may be disconnected or not "
                                "responding), so it was not added. Try again once it answers.";
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(added(t.scheduler, t.h + "/Hung"), refusal) << i;
        EXPECT_EQ(added(t.scheduler, t.h + "/Projects " + std::to_string(i)), std::nullopt) << i;
    }
    EXPECT_EQ(t.scheduler.schedule().folders.size(), 20u);
    {
        std::lock_guard lock(t.held->mutex);
        EXPECT_EQ(t.held->calls.size(), 21u); // the hung folder once, each other folder once
    }
    t.held->gate.set_value();
    ASSERT_TRUE(FolderChecks::waitForAll(std::chrono::seconds(10)));
    EXPECT_EQ(added(t.scheduler, t.h + "/Hung"), std::nullopt); // answering again, it is checked again
}

// The scheduler goes while a check is held (the process quits): going waits for nothing,
// and the check, let go later, hands its answer to nobody and lets go of what it was given.
TEST(SweepSchedulerFolders, ACheckHeldPastTheSchedulerDeliversNothingAndEnds) {
    auto rig = std::make_unique<HeldRig>();
    rig->scheduler.addFolder(rig->h + "/Hung");
    ASSERT_TRUE(test::waitUntil([&] {
        std::lock_guard lock(rig->held->mutex);
        return rig->held->calls.size() == 1;
    }));
    const std::weak_ptr<HeldRig::Held> held = rig->held;
    auto gate = std::move(rig->held->gate);
    rig.reset();
    EXPECT_FALSE(FolderChecks::waitForAll(std::chrono::milliseconds(0)));
    EXPECT_FALSE(held.expired()); // the held check keeps its own copy alive
    gate.set_value();
    ASSERT_TRUE(FolderChecks::waitForAll(std::chrono::seconds(10)));
    EXPECT_TRUE(held.expired());
    QCoreApplication::processEvents(); // a delivery, had there been one, would reach freed state here
}
