// The uninstaller's inventory and ticks: what is listed, what starts ticked, what a
// tick may touch, and which inventory run gets published.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <chrono>
#include <thread>

#include "models/AppsFixtures.h"

using namespace sorvel;
using test::OrchardMachine;

TEST(AppsModelListing, AnInventoryRunPublishesAppsWithTheirLeftovers) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    EXPECT_FALSE(model.scannedAt());
    model.scanIfNeeded();
    EXPECT_TRUE(model.isScanning());
    ASSERT_TRUE(test::waitFor([&] { return !model.isScanning(); }));

    ASSERT_EQ(model.apps().size(), 1u);
    const InstalledApp& app = model.apps().front();
    EXPECT_EQ(app.name, "Orchard");
    EXPECT_EQ(app.bundlePath, machine.bundle);
    EXPECT_EQ(app.leftovers.size(), 4u);
    EXPECT_TRUE(model.scannedAt().has_value());
    EXPECT_EQ(model.removableApps().size(), 1u);
    EXPECT_TRUE(model.appsNeedingAdministrator().empty());
    EXPECT_EQ(model.totalLeftovers(), app.leftoverSize());
    EXPECT_GT(model.totalLeftovers(), 0);
}

TEST(AppsModelListing, ScanIfNeededDoesNothingWhileRunningOrOnceLoaded) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    QSignalSpy scanning(&model, &AppsModel::isScanningChanged);
    model.scanIfNeeded();
    model.scanIfNeeded(); // under way
    EXPECT_EQ(scanning.count(), 1);
    ASSERT_TRUE(test::waitFor([&] { return !model.isScanning(); }));
    const int afterRun = scanning.count();
    model.scanIfNeeded(); // loaded
    EXPECT_EQ(scanning.count(), afterRun);
    EXPECT_FALSE(model.isScanning());
}

TEST(AppsModelListing, SealedAndSelfProtectedAppsAddNoLeftovers) {
    OrchardMachine machine;
    auto services = machine.services([](std::vector<InstalledApp>& apps) {
        InstalledApp sealed = apps.front();
        sealed.bundlePath += "-sealed";
        sealed.removability = InstalledApp::Removability::sealed("on the sealed system volume");
        InstalledApp own = apps.front();
        own.bundlePath += "-own";
        own.removability = InstalledApp::Removability::selfProtected();
        apps.push_back(sealed);
        apps.push_back(own);
    });
    AppsModel model(services);
    model.rescan();
    ASSERT_TRUE(test::waitFor([&] { return !model.isScanning(); }));
    ASSERT_EQ(model.apps().size(), 3u);
    EXPECT_EQ(model.removableApps().size(), 1u);
    EXPECT_EQ(model.totalLeftovers(), model.apps().front().leftoverSize());
}

TEST(AppsModelListing, TwoQuickRescansPublishOnlyTheSecond) {
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    std::atomic<bool> firstDone{false};
    AppsModel::Services services;
    services.inventory = [&](ScanControl&) {
        InstalledApp app;
        if (calls.fetch_add(1) == 0) {
            // The first run is still walking when the second one starts.
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            app.name = "First";
            app.bundlePath = "/nowhere/First.app";
            firstDone = true;
        } else {
            app.name = "Second";
            app.bundlePath = "/nowhere/Second.app";
        }
        return std::vector<InstalledApp>{app};
    };
    AppsModel model(services);
    QSignalSpy published(&model, &AppsModel::appsChanged);
    model.rescan();
    ASSERT_TRUE(test::waitFor([&] { return calls.load() == 1; }));
    model.rescan();
    release = true;
    ASSERT_TRUE(test::waitFor([&] { return firstDone.load() && calls.load() == 2 && !model.isScanning(); }));
    test::settle();
    EXPECT_FALSE(model.isScanning());
    ASSERT_EQ(model.apps().size(), 1u);
    EXPECT_EQ(model.apps().front().name, "Second");
    EXPECT_EQ(published.count(), 1);
}

TEST(AppsModelSelection, ARemovableAppTicksItsBundleAndItsOwnLeftovers) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    test::loadAndSelectFirst(model);
    EXPECT_EQ(model.selectedPaths(), (std::set<std::string>{machine.bundle, machine.support, machine.preference}));
    EXPECT_EQ(model.stage(), AppsModel::Stage::browsing);

    // Guesses by name and shared folders start unticked but can be ticked.
    model.toggle(machine.byName);
    model.toggle(machine.shared);
    EXPECT_TRUE(model.selectedPaths().count(machine.byName));
    EXPECT_TRUE(model.selectedPaths().count(machine.shared));
    model.toggle(machine.byName);
    EXPECT_FALSE(model.selectedPaths().count(machine.byName));

    // Targets: the bundle first, then leftovers in the app's order.
    const auto targets = model.targets();
    ASSERT_FALSE(targets.empty());
    EXPECT_EQ(targets.front().path, machine.bundle);
    int64_t total = 0;
    for (const auto& t : targets) total += t.size;
    EXPECT_EQ(model.selectedSize(), total);
}

TEST(AppsModelSelection, ABundleThatNeedsAnAdministratorIsNeverTicked) {
    OrchardMachine machine;
    AppsModel model(machine.services(test::needAdministrator));
    test::loadAndSelectFirst(model);
    EXPECT_EQ(model.appsNeedingAdministrator().size(), 1u);
    EXPECT_FALSE(model.selectedPaths().count(machine.bundle));
    EXPECT_TRUE(model.selectedPaths().count(machine.support));
    model.toggle(machine.bundle);
    EXPECT_FALSE(model.selectedPaths().count(machine.bundle));
    model.toggle(machine.support);
    EXPECT_FALSE(model.selectedPaths().count(machine.support));
}

TEST(AppsModelSelection, SelectingByPathAndSyncing) {
    OrchardMachine machine;
    AppsModel model(machine.services());
    model.rescan();
    ASSERT_TRUE(test::waitFor([&] { return !model.isScanning(); }));

    model.selectBundlePath(machine.bundle);
    ASSERT_TRUE(model.selectedApp());
    model.toggle(machine.byName);
    QSignalSpy selections(&model, &AppsModel::selectedAppChanged);
    model.syncSelection(machine.bundle); // already selected: the ticks stay
    EXPECT_EQ(selections.count(), 0);
    EXPECT_TRUE(model.selectedPaths().count(machine.byName));

    model.selectBundlePath(std::string("/no/such.app"));
    EXPECT_FALSE(model.selectedApp());
    EXPECT_TRUE(model.selectedPaths().empty());
    EXPECT_TRUE(model.targets().empty());
    model.syncSelection(std::nullopt); // both absent
    EXPECT_EQ(selections.count(), 1);
}

// With an app of unknown identity installed, a leftover matched by less than the app's
// whole identifier may be that app's: it starts unticked, and can still be ticked.
TEST(AppsModelSelection, WhatAnUnreadAppMayOwnStartsUnticked) {
    for (const bool unread : {false, true}) {
        SCOPED_TRACE(unread ? "an app with a malformed Info.plist is installed" : "every app read");
        OrchardMachine machine;
        const std::string helper = machine.home("/Library/Caches/com.example.orchard.helper");
        test::writeFileOfSize(helper + "/blob", 6000);
        if (unread) test::makeBundle(machine.system("/Applications"), "Broken.app", std::string("<plist><dict>"));
        AppsModel model(machine.services());
        model.rescan();
        ASSERT_TRUE(test::waitFor([&] { return !model.isScanning(); }));
        model.selectBundlePath(machine.bundle);
        std::set<std::string> expected{machine.bundle, machine.support, machine.preference};
        if (!unread) expected.insert(helper);
        EXPECT_EQ(model.selectedPaths(), expected);
        model.toggle(helper);
        EXPECT_EQ(model.selectedPaths().count(helper), unread ? 1u : 0u);
    }
}
