// The uninstall flow: the dry run, the move of what it allowed into the Trash with its
// history record, and the Finder hand-off for bundles owned by someone else.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <atomic>
#include <filesystem>

#include <unistd.h>

#include "models/AppsFixtures.h"
#include "removal/SweepHistory.h"

using namespace sorvel;
using test::OrchardMachine;

TEST(AppsModelReview, NothingTickedLeavesTheFlowBrowsing) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    for (const auto& path : std::set<std::string>(model.selectedPaths())) model.toggle(path);
    model.review();
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);
    EXPECT_FALSE(model.isPreviewing());
}

TEST(AppsModelReview, ADryRunJudgesEveryTickAndMovesNothing) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    model.toggle(machine.shared);
    model.review();
    EXPECT_EQ(model.stage(), AppsModel::Stage::reviewing);
    EXPECT_TRUE(model.isPreviewing());
    ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));

    EXPECT_EQ(model.stage(), AppsModel::Stage::reviewing);
    ASSERT_EQ(model.preview().size(), 4u);
    ASSERT_EQ(model.allowed().size(), 3u);
    for (const auto& outcome : model.allowed()) EXPECT_TRUE(outcome.wouldMove());
    ASSERT_EQ(model.refused().size(), 1u);
    EXPECT_EQ(model.refused().front().path, machine.shared);
    for (const auto& path : {machine.bundle, machine.support, machine.preference, machine.shared})
        EXPECT_TRUE(test::exists(path)) << path;
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(AppsModelReview, UninstallBeforeAnyReviewOrAfterAllRefusedDoesNothing) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    model.uninstall();
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);

    for (const auto& path : std::set<std::string>(model.selectedPaths())) model.toggle(path);
    model.toggle(machine.shared); // only a path outside every allowed folder
    model.review();
    ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));
    ASSERT_EQ(model.refused().size(), 1u);
    model.uninstall();
    EXPECT_EQ(model.stage(), AppsModel::Stage::reviewing);
    test::settle();
    EXPECT_TRUE(test::exists(machine.shared));
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(AppsModelReview, ADryRunOfAnEarlierSelectionIsDropped) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    model.review();
    model.select(std::optional<InstalledApp>()); // before the dry run comes back
    ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));
    test::settle();
    EXPECT_TRUE(model.preview().empty());
    EXPECT_TRUE(model.allowed().empty());
    model.uninstall();
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);
}

TEST(AppsModelUninstall, MovesBundleAndLeftoversToTheTrashAndRecordsTheRun) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    model.review();
    ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));
    ASSERT_EQ(model.allowed().size(), 3u);

    QSignalSpy stages(&model, &AppsModel::stageChanged);
    model.uninstall();
    EXPECT_EQ(model.stage(), AppsModel::Stage::working);
    ASSERT_TRUE(test::waitFor([&] { return model.stage() == AppsModel::Stage::done && !model.isScanning(); }));
    // working, then done, which the inventory that follows leaves on screen.
    ASSERT_EQ(stages.count(), 2);

    for (const auto& path : {machine.bundle, machine.support, machine.preference})
        EXPECT_FALSE(test::exists(path)) << path;
    EXPECT_TRUE(test::exists(machine.byName));
    EXPECT_TRUE(test::exists(machine.shared));
    EXPECT_TRUE(test::exists(machine.home("/.local/share/Trash/files/Orchard.app/Contents/Info.plist")));
    EXPECT_TRUE(test::exists(machine.home("/.local/share/Trash/files/com.example.orchard.plist")));

    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    const SweepRun& run = runs.front();
    EXPECT_EQ(run.scope, "uninstalling Orchard");
    EXPECT_EQ(run.trigger, SweepRun::Trigger::manual);
    EXPECT_TRUE(run.hasDetail);
    ASSERT_EQ(run.moved.size(), 3u);
    int64_t moved = 0;
    for (const auto& item : run.moved) {
        EXPECT_TRUE(test::exists(item.trashPath)) << item.trashPath;
        EXPECT_FALSE(test::exists(item.originalPath)) << item.originalPath;
        moved += item.size;
    }
    EXPECT_EQ(run.receipt.action, SweepSchedule::Action::clean);
    EXPECT_EQ(run.receipt.movedCount, 3);
    EXPECT_EQ(run.receipt.movedBytes, moved);
    EXPECT_EQ(run.receipt.foundBytes, moved);
    EXPECT_EQ(run.receipt.scannedBytes, 0);
    EXPECT_EQ(run.receipt.refusedCount, 0);
    EXPECT_FALSE(run.receipt.withheldReason);

    // The bundle is gone from the inventory, but the outcome stays until the user leaves it.
    EXPECT_TRUE(model.apps().empty());
    ASSERT_TRUE(model.selectedApp());
    EXPECT_EQ(model.allowed().size(), 3u);
    model.syncSelection(std::nullopt); // "Done" shows the list again
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);
    EXPECT_FALSE(model.selectedApp());
    EXPECT_TRUE(model.preview().empty());
}

// The inventory that follows an uninstall used to re-select the app at once, which ended the
// done stage before anyone could read it: a failed item vanished with it.
TEST(AppsModelUninstall, TheOutcomeOutlastsTheInventoryThatFollows) {
    struct Case {
        const char* name;
        bool keepBundle;    // unticked, so the app is still installed afterwards
        bool removeSupport; // gone between the dry run and the move: a failure
        size_t moved, failed, appsAfter;
    };
    for (const Case& c : {Case{"everything moves", false, false, 3, 0, 0},
                          Case{"app stays, one item fails", true, true, 1, 1, 1}}) {
        SCOPED_TRACE(c.name);
        OrchardMachine machine;
        AppsModel model(machine.services());
        test::loadAndSelectFirst(model);
        if (c.keepBundle) model.toggle(machine.bundle);
        model.review();
        ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));
        if (c.removeSupport) std::filesystem::remove_all(machine.support);
        model.uninstall();
        ASSERT_TRUE(test::waitFor([&] { return model.stage() == AppsModel::Stage::done && !model.isScanning(); }));
        test::settle();
        EXPECT_EQ(model.stage(), AppsModel::Stage::done);
        EXPECT_EQ(model.apps().size(), c.appsAfter);
        size_t moved = 0;
        for (const auto& outcome : model.preview()) moved += outcome.moved() ? 1 : 0;
        EXPECT_EQ(moved, c.moved);
        EXPECT_EQ(model.refused().size(), c.failed);
    }
}

TEST(AppsModelHandoff, WithoutTheScriptRunnerTheFailureIsShownAndNothingIsRecorded) {
    OrchardMachine machine;
    auto services = machine.services(test::needAdministrator);
    services.finderHandoff = nullptr; // the real one: there is no script runner here
    AppsModel model(services);
    test::loadAndSelectFirst(model);
    QSignalSpy scanning(&model, &AppsModel::isScanningChanged);
    model.moveBundleWithFinder();
    EXPECT_EQ(model.handoff(), AppsModel::HandoffState::working());
    ASSERT_TRUE(test::waitFor([&] { return model.handoff().kind != AppsModel::HandoffState::Kind::working; }));
    EXPECT_EQ(model.handoff(),
              AppsModel::HandoffState::failed("The Finder could not be asked to move the item, because the script "
                                              "runner /usr/bin/osascript could not be started."));
    test::settle();
    EXPECT_EQ(scanning.count(), 0);
    EXPECT_TRUE(test::exists(machine.bundle));
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(AppsModelHandoff, OnlyForBundlesThatNeedAnAdministrator) {
    OrchardMachine machine;
    std::atomic<int> asked{0};
    auto services = machine.services();
    services.finderHandoff = [&](const std::string&, const CleanupPolicy&) -> FinderHandoff::Outcome {
        ++asked;
        return FinderHandoff::Failure::notPermitted();
    };
    AppsModel model(services);
    model.moveBundleWithFinder(); // no selection
    test::loadAndSelectFirst(model);
    model.moveBundleWithFinder(); // removable by the user: no hand-off
    test::settle();
    EXPECT_EQ(asked.load(), 0);
    EXPECT_EQ(model.handoff(), AppsModel::HandoffState::idle());
}

TEST(AppsModelHandoff, ARunningAppIsNeverHandedToTheFinder) {
    OrchardMachine machine;
    std::atomic<int> asked{0};
    auto services = machine.services(test::needAdministrator);
    services.runningBundleIdentifiers = [] { return std::vector<std::string>{"org.other", "com.example.orchard"}; };
    services.finderHandoff = [&](const std::string& path, const CleanupPolicy&) -> FinderHandoff::Outcome {
        ++asked;
        return FinderHandoff::Result{path, std::nullopt};
    };
    AppsModel model(services);
    test::loadAndSelectFirst(model);
    QSignalSpy handoffs(&model, &AppsModel::handoffChanged);
    model.moveBundleWithFinder();
    EXPECT_EQ(model.handoff(), AppsModel::HandoffState::failed("Quit Orchard first."));
    EXPECT_EQ(handoffs.count(), 1); // never through working
    test::settle();
    EXPECT_EQ(asked.load(), 0);
}

TEST(AppsModelHandoff, FailuresReadAsTheirMessages) {
    OrchardMachine machine;
    auto services = machine.services(test::needAdministrator);
    FinderHandoff::Outcome next = FinderHandoff::Failure::notPermitted();
    services.finderHandoff = [&](const std::string&, const CleanupPolicy&) { return next; };
    AppsModel model(services);
    test::loadAndSelectFirst(model);
    auto attempt = [&] {
        model.moveBundleWithFinder();
        return test::waitFor([&] { return model.handoff().kind != AppsModel::HandoffState::Kind::working; });
    };
    ASSERT_TRUE(attempt());
    EXPECT_EQ(model.handoff().message,
              "macOS has not granted Sorvel permission to control the Finder. Allow it under System Settings → "
              "Privacy & Security → Automation.");
    next = FinderHandoff::Failure::refusedBy(CleanupGuard::Refusal::isSymlink());
    ASSERT_TRUE(attempt()); // a failure does not block the next attempt
    EXPECT_EQ(model.handoff().message, "Refused: " + CleanupGuard::Refusal::isSymlink().description());
    next = FinderHandoff::Failure::finderFailed("Finder got an error: The operation can’t be completed.");
    ASSERT_TRUE(attempt());
    EXPECT_EQ(model.handoff(),
              AppsModel::HandoffState::failed("Finder got an error: The operation can’t be completed."));
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(AppsModelHandoff, ASuccessRecordsTheBundleAndRescans) {
    OrchardMachine machine;
    auto services = machine.services(test::needAdministrator);
    CleanupPolicy seen;
    std::string handed;
    services.finderHandoff = [&](const std::string& path, const CleanupPolicy& policy) -> FinderHandoff::Outcome {
        seen = policy;
        handed = path;
        return FinderHandoff::Result{path, std::nullopt}; // the Finder did not say where
    };
    AppsModel model(services);
    test::loadAndSelectFirst(model);
    const int64_t bundleSize = model.selectedApp()->bundleSize;
    // The inventory that follows may land in the same turn of the loop: keep every state.
    std::vector<AppsModel::HandoffState> states;
    QObject::connect(&model, &AppsModel::handoffChanged, [&] { states.push_back(model.handoff()); });
    model.moveBundleWithFinder();
    ASSERT_TRUE(test::waitFor([&] { return states.size() >= 2; }));
    EXPECT_EQ(states[0], AppsModel::HandoffState::working());
    EXPECT_EQ(states[1], AppsModel::HandoffState::done("Orchard is in the Trash."));
    EXPECT_EQ(handed, machine.bundle);
    // Only the Finder can move a bundle the user cannot write: the guard must not refuse
    // it for being unwritable.
    EXPECT_FALSE(seen.requiresWritability);
    CleanupPolicy expected = CleanupPolicy::forUninstalling(machine.bundle);
    expected.requiresWritability = false;
    EXPECT_EQ(seen, expected);

    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope, "Orchard, moved by the Finder");
    ASSERT_EQ(runs.front().moved.size(), 1u);
    // The Finder named no place: none is made up; a restore finds it by the Trash's record.
    EXPECT_TRUE(runs.front().moved.front().isPending());
    EXPECT_EQ(runs.front().moved.front().originalPath, machine.bundle);
    EXPECT_EQ(runs.front().moved.front().size, bundleSize);
    EXPECT_EQ(runs.front().receipt.action, SweepSchedule::Action::clean);

    // The inventory that follows re-selects the app (it is still there in this fake) and
    // resets the hand-off.
    ASSERT_TRUE(test::waitFor([&] { return model.handoff() == AppsModel::HandoffState::idle(); }));
    EXPECT_FALSE(model.isScanning());
}

TEST(AppsModelUninstall, AnUninstallFinishingAfterTheModelIsGoneIsStillRecorded) {
    OrchardMachine machine;
    auto model = std::make_unique<AppsModel>(machine.services());
    test::loadAndSelectFirst(*model);
    model->review();
    ASSERT_TRUE(test::waitFor([&] { return !model->isPreviewing(); }));
    ASSERT_FALSE(model->allowed().empty());
    model->uninstall();
    model.reset();
    // Stored before the first move, then marked finished after the last.
    ASSERT_TRUE(test::waitFor([] { return !SweepHistory::load().empty() && SweepHistory::load()[0].finished; }));
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs.front().scope.rfind("uninstalling ", 0), 0u);
    EXPECT_FALSE(runs.front().moved.empty());
    for (const auto& item : runs.front().moved) EXPECT_TRUE(test::exists(item.trashPath)) << item.trashPath;
}

// Back during a dry run, new ticks and a second review: the first run returns last, out
// of order, and must not become what "Move to Trash" moves.
TEST(AppsModelReview, AStaleDryRunLandingAfterANewerOneIsDropped) {
    OrchardMachine machine;
    auto services = machine.services();
    std::atomic<int> calls{0};
    services.dryRun = [&calls](const std::vector<CleanupExecutor::PathSize>& paths, const CleanupPolicy&) {
        // The first run is held back until long after the second has returned.
        if (calls.fetch_add(1) == 0) ::usleep(600'000);
        std::vector<CleanupOutcome> outcomes;
        for (const auto& p : paths) outcomes.push_back(CleanupOutcome{UUID::random(), p.path, p.size, CleanupOutcome::WouldMove{}});
        return outcomes;
    };
    AppsModel model(services);
    test::loadAndSelectFirst(model);
    ASSERT_TRUE(model.selectedPaths().count(machine.support));
    model.review();
    model.back();
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);
    EXPECT_FALSE(model.isPreviewing());
    model.toggle(machine.support); // unticked after the first review
    model.review();
    ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));
    std::vector<UUID> second;
    for (const auto& outcome : model.preview()) second.push_back(outcome.id);
    ASSERT_TRUE(test::waitFor([&] { return calls.load() == 2; }));
    test::settle(900); // the first run returns in here
    std::vector<UUID> shown;
    for (const auto& outcome : model.preview()) shown.push_back(outcome.id);
    EXPECT_EQ(shown, second);
    for (const auto& outcome : model.allowed()) EXPECT_NE(outcome.path, machine.support);
    EXPECT_FALSE(model.isPreviewing());
}

TEST(AppsModelStages, EachStepHoldsOnlyFromItsStageAndAMoveRunsOnce) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    model.confirm(); // nothing reviewed yet
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);

    model.review();
    model.confirm(); // the dry run has not come back
    EXPECT_EQ(model.stage(), AppsModel::Stage::reviewing);
    ASSERT_TRUE(test::waitFor([&] { return !model.isPreviewing(); }));
    model.confirm();
    EXPECT_EQ(model.stage(), AppsModel::Stage::confirming);
    model.review(); // a new dry run would replace what the user is confirming
    EXPECT_EQ(model.stage(), AppsModel::Stage::confirming);
    EXPECT_FALSE(model.isPreviewing());
    model.cancelConfirm();
    EXPECT_EQ(model.stage(), AppsModel::Stage::reviewing);
    model.confirm();

    model.uninstall();
    ASSERT_EQ(model.stage(), AppsModel::Stage::working);
    model.uninstall(); // a second press
    model.back();
    EXPECT_EQ(model.stage(), AppsModel::Stage::working);
    ASSERT_TRUE(test::waitFor([&] { return model.stage() == AppsModel::Stage::done && !model.isScanning(); }));
    model.uninstall(); // the done page still lists the moved paths
    test::settle();
    EXPECT_EQ(model.stage(), AppsModel::Stage::done);
    EXPECT_EQ(SweepHistory::load().size(), 1u);
}
