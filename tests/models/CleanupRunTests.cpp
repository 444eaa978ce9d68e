// Cleanup runs from the main window: targets of the ticked recommendations, dry runs,
// real moves to the Trash and the history record of each real run.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <future>

#include "CoordinatorFixtures.h"
#include "platform/UserDefaults.h"
#include "removal/RemovalRun.h"
#include "removal/SweepHistory.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

CleanupItem item(const std::string& id, std::vector<CleanupTarget> targets, CleanupRisk risk = CleanupRisk::safe) {
    CleanupItem i;
    i.id = id;
    i.title = id;
    i.risk = risk;
    i.targets = std::move(targets);
    return i;
}

CleanupTarget target(const std::string& path, int64_t size) {
    CleanupTarget t;
    t.name = path.substr(path.rfind('/') + 1);
    t.path = path;
    t.size = size;
    return t;
}

/// A coordinator whose finished scan carries exactly these recommendations.
struct Finished {
    std::vector<CleanupItem> items;
    ScanCoordinator::Services services;
    std::unique_ptr<ScanCoordinator> coordinator;

    explicit Finished(std::vector<CleanupItem> recommended,
                      std::function<void(ScanCoordinator::Services&)> adjust = nullptr)
        : items(std::move(recommended)) {
        services = ScanCoordinator::Services::standard();
        services.scan = [](ScanControl&, ScanScope scope) {
            ScanResult r;
            r.scope = scope;
            return r;
        };
        auto copy = items;
        services.recommend = [copy](const ScanResult&) { return copy; };
        if (adjust) adjust(services);
        coordinator = std::make_unique<ScanCoordinator>(services);
        coordinator->start();
        waitUntil([&] { return coordinator->phase() == ScanCoordinator::Phase::done; });
    }
    ScanCoordinator& operator*() { return *coordinator; }
    ScanCoordinator* operator->() { return coordinator.get(); }
};

ScanCoordinator::Outcomes run(ScanCoordinator& c, CleanupExecutor::Mode mode,
                              std::optional<std::vector<CleanupExecutor::PathSize>> targets) {
    std::optional<ScanCoordinator::Outcomes> outcomes;
    c.runCleanup(mode, std::move(targets), [&](const ScanCoordinator::Outcomes& o) { outcomes = o; });
    EXPECT_TRUE(waitUntil([&] { return outcomes.has_value(); }));
    return outcomes.value_or(ScanCoordinator::Outcomes{});
}

ScanCoordinator::Outcomes perform(ScanCoordinator& c, std::optional<std::vector<CleanupExecutor::PathSize>> paths) {
    std::optional<ScanCoordinator::Outcomes> outcomes;
    c.performCleanup(std::move(paths), [&](const ScanCoordinator::Outcomes& o) { outcomes = o; });
    EXPECT_TRUE(waitUntil([&] { return outcomes.has_value(); }));
    return outcomes.value_or(ScanCoordinator::Outcomes{});
}

} // namespace

TEST(CleanupSelection, ItemsSizesAndTargetsOfTheTickedRecommendations) {
    CoordinatorHome home;
    auto reported = item("trash", {target("/t/a", 1)});
    reported.reportedSize = 900;
    Finished f({item("user-caches", {target("/c/x", 10), target("/c/y", 20)}),
                item("logs", {target("/c/x", 10)}, CleanupRisk::review), reported});
    f->setSelectedCleanupIDs({"trash", "logs", "user-caches", "nonexistent"});

    auto selected = f->selectedCleanupItems();
    ASSERT_EQ(selected.size(), 3u);
    EXPECT_EQ(selected[0].id, "user-caches");
    EXPECT_EQ(selected[1].id, "logs");
    EXPECT_EQ(selected[2].id, "trash");
    EXPECT_EQ(f->selectedCleanupSize(), 30 + 10 + 900);

    auto targets = f->selectedTargets();
    std::vector<CleanupExecutor::PathSize> expected{{"/c/x", 10}, {"/c/y", 20}, {"/c/x", 10}, {"/t/a", 1}};
    EXPECT_EQ(targets, expected);

    // The repeated path is counted once in the progress total.
    run(*f, CleanupExecutor::Mode::dryRun, std::nullopt);
    EXPECT_EQ(f->cleanupProgress().total, 3);
}

TEST(CleanupSelection, OnlySafeItemsWithTargetsAndNoOutsideActionArePreselected) {
    CoordinatorHome home;
    auto outside = item("trash", {target("/t/a", 1)});
    outside.externalAction = "File manager \u2192 Empty Trash";
    Finished f({item("user-caches", {target("/c/x", 10)}), item("logs", {target("/l", 5)}, CleanupRisk::review),
                item("developer", {}), outside});
    EXPECT_EQ(f->selectedCleanupIDs(), std::set<std::string>{"user-caches"});

    // A screen may tick a review item, but never one without targets or with an outside action.
    f->setSelectedCleanupIDs({"user-caches", "logs", "developer", "trash", "gone"});
    EXPECT_EQ(f->selectedCleanupIDs(), (std::set<std::string>{"user-caches", "logs"}));
}

TEST(CleanupDryRun, RecordsNothingAndLeavesTheResultCurrent) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/app/blob", 100'000);
    const std::string folder = home / "Library/Caches/app";
    Finished f({item("user-caches", {target(folder, independentTotal(folder))})});
    auto outcomes = run(*f, CleanupExecutor::Mode::dryRun, std::nullopt);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].wouldMove());
    EXPECT_TRUE(exists(folder));
    EXPECT_FALSE(f->resultIsStale());
    EXPECT_TRUE(SweepHistory::load().empty());
}

TEST(CleanupRealRun, NothingTickedRecordsAnEmptyReport) {
    CoordinatorHome home;
    Finished f({item("user-caches", {target("/c/x", 10)})});
    f->setSelectedCleanupIDs({});
    auto outcomes = perform(*f, std::nullopt);
    EXPECT_TRUE(outcomes.empty());
    EXPECT_EQ(f->cleanupProgress(), (CleanupProgress{0, 0}));
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].scope, "0 rules you reviewed");
    EXPECT_EQ(runs[0].trigger, SweepRun::Trigger::manual);
    EXPECT_EQ(runs[0].receipt.action, SweepSchedule::Action::report);
    EXPECT_EQ(runs[0].receipt.movedCount, 0);
    EXPECT_EQ(runs[0].receipt.refusedCount, 0);
    EXPECT_EQ(runs[0].receipt.foundBytes, 0);
    EXPECT_FALSE(runs[0].receipt.withheldReason.has_value());
}

TEST(CleanupRealRun, OneTickedRuleMovesToTheTrashAndIsRecorded) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/app/blob", 200'000);
    const std::string folder = home / "Library/Caches/app";
    const int64_t size = independentTotal(folder);
    Finished f({item("user-caches", {target(folder, size)})});
    ASSERT_EQ(f->selectedCleanupIDs(), std::set<std::string>{"user-caches"});
    auto outcomes = perform(*f, std::nullopt);
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_TRUE(outcomes[0].moved());
    EXPECT_FALSE(exists(folder));
    EXPECT_TRUE(f->resultIsStale());
    EXPECT_EQ(f->cleanupProgress(), (CleanupProgress{1, 1}));
    EXPECT_EQ(f->selectedCleanupIDs(), std::set<std::string>{"user-caches"}); // selection untouched

    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].scope, "1 rule you reviewed");
    EXPECT_TRUE(runs[0].hasDetail);
    EXPECT_EQ(runs[0].receipt.action, SweepSchedule::Action::clean);
    EXPECT_EQ(runs[0].receipt.movedCount, 1);
    EXPECT_EQ(runs[0].receipt.movedBytes, size);
    EXPECT_EQ(runs[0].receipt.foundBytes, size);
    EXPECT_EQ(runs[0].receipt.scannedBytes, 0);
    ASSERT_EQ(runs[0].moved.size(), 1u);
    EXPECT_EQ(runs[0].moved[0].originalPath, folder);
    EXPECT_TRUE(exists(runs[0].moved[0].trashPath));
}

TEST(CleanupRealRun, TwoRulesArePluralAndPickedPathsSayPicked) {
    CoordinatorHome home;
    Finished f({item("user-caches", {target("/nowhere/a", 1)}), item("browser-caches", {target("/nowhere/b", 1)})});
    perform(*f, std::nullopt);
    perform(*f, std::vector<CleanupExecutor::PathSize>{{"/nowhere/c", 1}});
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].scope, "2 rules you reviewed");
    EXPECT_EQ(runs[0].scope, "items you picked");
}

TEST(CleanupRealRun, EverythingRefusedStaysCurrentAndCountsRefusals) {
    CoordinatorHome home;
    writeFile(home / "Documents/a.txt", "a");
    writeFile(home / "Documents/b.txt", "b");
    Finished f({});
    auto outcomes = perform(*f, std::vector<CleanupExecutor::PathSize>{{home / "Documents/a.txt", 1},
                                                                      {home / "Documents/b.txt", 1}});
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_NE(outcomes[0].refusal(), nullptr);
    EXPECT_FALSE(f->resultIsStale());
    EXPECT_TRUE(exists(home / "Documents/a.txt"));
    auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].receipt.action, SweepSchedule::Action::report);
    EXPECT_EQ(runs[0].receipt.movedCount, 0);
    EXPECT_EQ(runs[0].receipt.refusedCount, 2);
    EXPECT_TRUE(runs[0].moved.empty());
}

TEST(CleanupProgressReports, LateSmallerReportsDoNotMoveDoneBackwards) {
    CoordinatorHome home;
    Finished f({}, [](ScanCoordinator::Services& s) {
        s.runCleanup = [](const std::vector<CleanupExecutor::PathSize>&, CleanupExecutor::Mode, const CleanupPolicy&,
                          const std::optional<CloudStatus>&, const CleanupExecutor::Progress& progress) {
            progress(5, 10);
            progress(4, 10);
            return std::vector<CleanupOutcome>{};
        };
    });
    run(*f, CleanupExecutor::Mode::dryRun, std::vector<CleanupExecutor::PathSize>{});
    EXPECT_EQ(f->cleanupProgress(), (CleanupProgress{5, 10}));
}

TEST(CleanupRealRun, ARunOutlivingTheCoordinatorIsStillRecorded) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/app/blob", 100'000);
    const std::string folder = home / "Library/Caches/app";
    auto f = std::make_unique<Finished>(std::vector<CleanupItem>{item("user-caches", {target(folder, independentTotal(folder))})});
    (*f)->performCleanup(std::nullopt);
    f.reset();
    ASSERT_TRUE(waitUntil([&] { return !SweepHistory::load().empty() && SweepHistory::load()[0].finished; }));
    auto runs = SweepHistory::load();
    EXPECT_EQ(runs[0].scope, "1 rule you reviewed");
    EXPECT_EQ(runs[0].receipt.movedCount, 1);
    EXPECT_FALSE(exists(folder));
}

TEST(CleanupRealRun, ARunThatCannotBeRecordedSaysSo) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/app/blob", 100'000);
    const std::string folder = home / "Library/Caches/app";
    Finished f({item("user-caches", {target(folder, independentTotal(folder))})});
    {
        UnwritableSettings broken;
        auto outcomes = perform(*f, std::nullopt);
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_FALSE(outcomes[0].moved()); // nothing moves that cannot be recorded
        EXPECT_TRUE(exists(folder));
        ASSERT_TRUE(f->cleanupSaveError());
        EXPECT_NE(f->cleanupSaveError()->find(std::strerror(ENOTDIR)), std::string::npos) << *f->cleanupSaveError();
    }
    perform(*f, std::nullopt); // recorded again: the message goes
    EXPECT_EQ(f->cleanupSaveError(), std::nullopt);
    EXPECT_EQ(SweepHistory::load().size(), 1u);
}

// A crash mid-run must not lose the run: it is in the store, saying it did not finish,
// before the first item moves, and says it finished once the last one has.
TEST(CleanupRealRun, TheRunIsStoredUnfinishedBeforeTheFirstMove) {
    CoordinatorHome home;
    const std::string folder = home / "Library/Caches/app";
    writeFileOfSize(folder + "/blob", 100'000);
    auto seen = std::make_shared<std::optional<nlohmann::json>>();
    Finished f({}, [seen](ScanCoordinator::Services& s) {
        s.runCleanup = [seen](const std::vector<CleanupExecutor::PathSize>& paths, CleanupExecutor::Mode mode,
                              const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud,
                              const CleanupExecutor::Progress& progress) {
            if (mode == CleanupExecutor::Mode::moveToTrash && !*seen)
                *seen = UserDefaults(SweepHistory::filePath()).value("SorvelSweepHistory").value_or(nlohmann::json());
            return CleanupExecutor::run(paths, mode, policy, cloud, progress);
        };
    });
    auto outcomes = perform(*f, std::vector<CleanupExecutor::PathSize>{{folder, independentTotal(folder)}});
    ASSERT_TRUE(outcomes.at(0).moved());
    ASSERT_TRUE(seen->has_value() && (*seen)->is_array() && (*seen)->size() == 1u);
    const nlohmann::json before = (**seen)[0];
    EXPECT_EQ(before.value("finished", true), false);
    ASSERT_EQ(before["moved"].size(), 1u);
    EXPECT_EQ(before["moved"][0]["originalPath"], folder);

    const auto after = UserDefaults(SweepHistory::filePath()).value("SorvelSweepHistory").value();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0]["id"], before["id"]);
    EXPECT_FALSE(after[0].contains("finished"));
    EXPECT_EQ(after[0]["moved"][0]["trashPath"], std::get<CleanupOutcome::MovedToTrash>(outcomes[0].result).trashPath);
}

// A move's items are in hand from the moment it is asked for, before its worker runs: a
// screen opened meanwhile offers none of them (nor a folder around one, nor anything
// inside), while a sibling whose name begins the same way stays free. Once it ends, all is.
TEST(CleanupRealRun, TheItemsAreInHandAsSoonAsTheMoveIsAskedFor) {
    CoordinatorHome home;
    const std::string folder = home / "Library/Caches/app";
    writeFileOfSize(folder + "/inner/blob", 100'000);
    writeFileOfSize(home / "Library/Caches/app2/blob", 100'000);
    auto gate = std::make_shared<std::promise<void>>();
    Finished f({}, [released = gate->get_future().share()](ScanCoordinator::Services& s) {
        s.runCleanup = [released](const std::vector<CleanupExecutor::PathSize>& paths, CleanupExecutor::Mode mode,
                                  const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud,
                                  const CleanupExecutor::Progress& progress) {
            if (mode == CleanupExecutor::Mode::moveToTrash) released.wait();
            return CleanupExecutor::run(paths, mode, policy, cloud, progress);
        };
    });
    std::optional<ScanCoordinator::Outcomes> outcomes;
    f->performCleanup(std::vector<CleanupExecutor::PathSize>{{folder, independentTotal(folder)}},
                      [&](const ScanCoordinator::Outcomes& o) { outcomes = o; });
    const std::pair<std::string, bool> table[] = {{folder, true},
                                                  {folder + "/inner", true},
                                                  {home / "Library/Caches", true},
                                                  {home / "Library/Caches/app2", false}};
    for (const auto& [path, busy] : table) EXPECT_EQ(RemovalRun::isBeingMoved(path), busy) << path;
    gate->set_value();
    ASSERT_TRUE(waitUntil([&] { return outcomes.has_value(); }));
    ASSERT_EQ(outcomes->size(), 1u);
    EXPECT_TRUE(outcomes->front().moved());
    for (const auto& [path, busy] : table) EXPECT_FALSE(RemovalRun::isBeingMoved(path)) << path;
}
