// The scan lifecycle of the coordinator: when a launch starts a scan, how finished roots
// are folded in while scanning, completion, cancel, replacement and the scope change.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <cstring>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

DisplayCategory definition(const std::string& id) {
    for (auto& d : DisplayCategory::categories(ScanScope::systemData))
        if (d.id == id) return d;
    return {};
}

} // namespace

TEST(ScanLaunch, ScanArgumentIsRecognisedOnlyWhole) {
    EXPECT_TRUE(ScanCoordinator::argumentsRequestScan({"sorvel", "-x", "--scan"}));
    EXPECT_FALSE(ScanCoordinator::argumentsRequestScan({"sorvel", "--scanning", "scan"}));
}

TEST(ScanLaunch, WithoutAccessOrScanArgumentStaysIdle) {
    CoordinatorHome home;
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    ASSERT_FALSE(coordinator.fullDiskAccess());
    coordinator.startIfNeeded(false);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::idle);
    coordinator.startIfNeeded(true);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::scanning);
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
}

TEST(ScanLaunch, AccessStartsOnceAndASecondLaunchDoesNothing) {
    CoordinatorHome home;
    makeDirs(home / "Library/Mail");
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    ASSERT_TRUE(coordinator.fullDiskAccess());
    coordinator.startIfNeeded();
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::scanning);
    coordinator.cancel();
    coordinator.startIfNeeded(true);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return scan.returned() == 1; }));
    spin(50);
    EXPECT_EQ(scan.started(), 1);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
}

TEST(ScanFolding, CategoriesFollowDefinitionOrderAndRootsLargestFirst) {
    CoordinatorHome home;
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    coordinator.start();
    scan.hand({{"logs", node("/l/a", 10)}, {"caches", node("/c/small", 5)}, {"caches", node("/c/big", 50)}});
    ASSERT_TRUE(waitUntil([&] { return coordinator.completedRoots() == 3; }));
    const auto& categories = coordinator.result().categories;
    ASSERT_EQ(categories.size(), 2u);
    EXPECT_EQ(categories[0].id(), "caches");
    EXPECT_EQ(categories[1].id(), "logs");
    ASSERT_EQ(categories[0].roots.size(), 2u);
    EXPECT_EQ(categories[0].roots[0]->path, "/c/big");
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::scanning);

    // Polls that find nothing new leave the result alone.
    QSignalSpy republished(&coordinator, &ScanCoordinator::resultChanged);
    spin(400);
    EXPECT_EQ(republished.count(), 0);
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
}

TEST(ScanFolding, StartCountsOnlyExistingRootsAndKeepsVolumeFigures) {
    CoordinatorHome home;
    makeDirs(home / "Library/Caches");
    makeDirs(home / ".local/share/Trash/files");
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    const auto volume = coordinator.result().volume;
    coordinator.start();
    int expected = 0;
    for (const auto& d : DisplayCategory::categories(ScanScope::systemData))
        for (const auto& root : d.roots) expected += exists(root) ? 1 : 0;
    EXPECT_EQ(coordinator.totalRoots(), expected);
    EXPECT_GE(coordinator.totalRoots(), 3); // Caches, Library, the Trash at least
    EXPECT_EQ(coordinator.result().volume.totalCapacity, volume.totalCapacity);
    EXPECT_TRUE(coordinator.result().categories.empty());
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
}

TEST(ScanCompletion, RealScanPublishesRecommendationsPreselectionTotalsAndTrend) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/com.example.app/blob", 6'000'000);
    writeFileOfSize(home / ".local/share/Trash/files/old.bin", 100'000);
    ScanCoordinator coordinator;
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }, 60000));
    const auto& result = coordinator.result();
    int64_t roots = 0;
    for (const auto& c : result.categories)
        for (const auto& r : c.roots) roots += r->size;
    EXPECT_EQ(coordinator.scannedBytes(), roots);
    EXPECT_GT(result.duration, 0);
    EXPECT_EQ(coordinator.elapsed(), result.duration);
    EXPECT_TRUE(coordinator.currentPath().empty());

    bool sawTrash = false;
    for (const auto& item : result.cleanupItems) sawTrash |= item.id == "trash";
    EXPECT_TRUE(sawTrash);
    // Safe with targets: ticked. Safe with an action outside the app: not ticked.
    EXPECT_EQ(coordinator.selectedCleanupIDs(), std::set<std::string>{"user-caches"});

    ASSERT_EQ(coordinator.trends().size(), 1u);
    EXPECT_EQ(coordinator.trends()[0].scope, "System Data");
    EXPECT_EQ(StorageTrends::load().size(), 1u); // stored in the fake home's defaults
    EXPECT_TRUE(exists(home / ".config/sorvel/defaults.json"));
}

TEST(ScanCancel, CancelWhileScanningKeepsPartialResult) {
    CoordinatorHome home;
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    coordinator.start();
    coordinator.cancel();
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
    EXPECT_FALSE(coordinator.hasResult()); // nothing folded in yet
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return scan.returned() == 1; }));

    coordinator.start();
    scan.hand({{"caches", node("/c/a", 10)}});
    ASSERT_TRUE(waitUntil([&] { return coordinator.completedRoots() == 1; }));
    coordinator.cancel();
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
    EXPECT_TRUE(coordinator.hasResult());
    scan.release(2);
    ASSERT_TRUE(waitUntil([&] { return scan.returned() == 2; }));
    spin(50);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
    EXPECT_EQ(coordinator.result().categories.size(), 1u);
}

TEST(ScanCancel, CancelAfterDoneKeepsDone) {
    CoordinatorHome home;
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    coordinator.start();
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
    coordinator.cancel();
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::done);
    EXPECT_TRUE(coordinator.hasResult());
}

TEST(ScanReplacement, ReplacedScanDoesNotDisturbTheNewOne) {
    CoordinatorHome home;
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return scan.started() == 1; }));
    coordinator.start(); // cancels the first control
    ASSERT_TRUE(waitUntil([&] { return scan.started() == 2; }));
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return scan.returned() >= 1; }));
    EXPECT_EQ(scan.cancelledAtReturn(), std::vector<bool>{true});
    spin(100);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::scanning);

    // The new scan's poll still folds roots in.
    scan.hand({{"logs", node("/l/a", 7)}});
    ASSERT_TRUE(waitUntil([&] { return coordinator.completedRoots() == 1; }));
    CategoryResult logs{definition("logs"), {node("/l/a", 7)}};
    scan.release(2, {logs});
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
    EXPECT_EQ(coordinator.scannedBytes(), 7);
}

TEST(ScanScopeChange, SameScopeDoesNothingOtherScopeClearsPageAndRescans) {
    CoordinatorHome home;
    ScriptedScan scan;
    ScanCoordinator coordinator(scan.services());
    coordinator.start();
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
    coordinator.show(Tool::history);
    coordinator.setScope(ScanScope::systemData);
    EXPECT_EQ(coordinator.selectedCategory(), std::optional<std::string>("tool:history"));
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::done);

    coordinator.setScope(ScanScope::wholeDisk);
    EXPECT_EQ(coordinator.selectedCategory(), std::nullopt);
    EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::scanning);
    EXPECT_EQ(coordinator.result().scope, ScanScope::wholeDisk);
    coordinator.cancel();
    scan.release(2);
    ASSERT_TRUE(waitUntil([&] { return scan.returned() == 2; }));
}

// A measurement the settings cannot take in is said, with the system's reason.
TEST(ScanCompletion, ATrendThatCannotBeStoredIsSaidWithItsReason) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/com.example.app/blob", 100'000);
    UnwritableSettings broken;
    ScanCoordinator coordinator;
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }, 60000));
    ASSERT_TRUE(coordinator.trendsSaveError().has_value());
    EXPECT_EQ(*coordinator.trendsSaveError(), ScanCoordinator::trendsNotSavedMessage(SaveStatus::failed(ENOTDIR)));
    EXPECT_NE(coordinator.trendsSaveError()->find(std::strerror(ENOTDIR)), std::string::npos);
}
