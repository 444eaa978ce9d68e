// Live updates of a finished scan: quiet-period batching, re-walks spliced into the tree,
// what is refreshed after a change of size, and the budget that asks for a rescan.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

/// A finished real scan of the fake home; the watcher is off so the tests feed batches.
std::unique_ptr<ScanCoordinator> scanned(bool live = false,
                                         ScanCoordinator::Services services = ScanCoordinator::Services::standard()) {
    auto c = std::make_unique<ScanCoordinator>(std::move(services));
    c->setLiveUpdatesEnabled(live);
    c->start();
    EXPECT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
    return c;
}

/// Watcher set-ups that each wait until the test lets that one (1, 2, ...) go on.
struct HeldSetUps {
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        int begun = 0;
        std::set<int> released;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    ScanCoordinator::Services services() {
        auto s = ScanCoordinator::Services::standard();
        s.startWatcher = [state = state](FileSystemWatcher& watcher, const std::vector<std::string>& roots) {
            std::unique_lock lock(state->mutex);
            const int me = ++state->begun;
            state->changed.notify_all();
            state->changed.wait(lock, [&] { return state->released.count(me) > 0; });
            lock.unlock();
            watcher.start(roots);
        };
        return s;
    }
    int begun() {
        std::lock_guard lock(state->mutex);
        return state->begun;
    }
    void release(int which) {
        std::lock_guard lock(state->mutex);
        state->released.insert(which);
        state->changed.notify_all();
    }
};

int64_t rootTotal(const ScanCoordinator& c) {
    int64_t total = 0;
    for (const auto& category : c.result().categories)
        for (const auto& root : category.roots) total += root->size;
    return total;
}

} // namespace

TEST(LiveUpdatePass, AChangedFolderIsReWalkedAndWhatDependsOnSizesRefreshed) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 6'000'000);
    auto c = scanned();
    ASSERT_EQ(c->selectedCleanupIDs(), std::set<std::string>{"user-caches"});
    c->loadInsights(app);
    ASSERT_TRUE(waitUntil([&] { return c->insights().has_value(); }));
    ASSERT_EQ(c->insights()->fileCount, 1);
    const int64_t before = c->result().node(app)->size;

    writeFileOfSize(app + "/more", 1'000'000);
    writeFileOfSize(home / "Library/Caches/com.apple.Safari/page", 100'000); // a new recommendation
    c->absorb({app + "/", home / "Library/Caches/com.apple.Safari"});
    ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value(); }));
    EXPECT_GT(c->result().node(app)->size, before);
    EXPECT_EQ(c->scannedBytes(), rootTotal(*c));
    bool browser = false;
    for (const auto& item : c->result().cleanupItems) browser |= item.id == "browser-caches";
    EXPECT_TRUE(browser);
    EXPECT_EQ(c->selectedCleanupIDs(), std::set<std::string>{"user-caches"}); // the new one is not ticked
    ASSERT_TRUE(waitUntil([&] { return c->insights().has_value() && c->insights()->fileCount == 2; }));
    EXPECT_FALSE(c->hasPendingChanges());
}

TEST(LiveUpdatePass, AVanishedTickedRecommendationLosesItsTick) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 6'000'000);
    auto c = scanned();
    ASSERT_EQ(c->selectedCleanupIDs(), std::set<std::string>{"user-caches"});
    std::remove((app + "/blob").c_str());
    c->absorb({app});
    ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value(); }));
    EXPECT_TRUE(c->selectedCleanupIDs().empty());
}

TEST(LiveUpdatePass, SameSizesRefreshNothing) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 6'000'000);
    auto c = scanned();
    ASSERT_FALSE(c->result().cleanupItems.empty());
    const UUID target = c->result().cleanupItems[0].targets[0].id;
    const ScanNode* old = c->result().node(app).get();
    const auto selection = c->selectedCleanupIDs();
    c->absorb({app});
    ASSERT_TRUE(waitUntil([&] { return c->result().node(app).get() != old; })); // the subtree is replaced
    spin(100);
    EXPECT_FALSE(c->lastLiveUpdate().has_value());
    EXPECT_EQ(c->result().cleanupItems[0].targets[0].id, target); // recommendations not redone
    EXPECT_EQ(c->selectedCleanupIDs(), selection);
}

TEST(LiveUpdatePass, ChangesWhileScanningAreIgnored) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 100'000);
    ScriptedScan scan;
    ScanCoordinator c(scan.services());
    c.start();
    c.absorb({app});
    spin(700);
    EXPECT_FALSE(c.lastLiveUpdate().has_value());
    scan.release(1);
    ASSERT_TRUE(waitUntil([&] { return c.phase() == ScanCoordinator::Phase::done; }));
}

namespace {

// A root inside a folder of another category, whose walk leaves it out, changed in the
// same batch as that folder: a file thrown away while an app writes beside the Trash.
struct NestedRootCase {
    std::string name;
    std::string outer;  // a root, relative to the home
    std::string nested; // a root of another category inside it
};

void PrintTo(const NestedRootCase& c, std::ostream* os) { *os << c.name; }

class LiveUpdateNestedRoot : public ::testing::TestWithParam<NestedRootCase> {};

TEST_P(LiveUpdateNestedRoot, IsMeasuredWhenTheFolderHoldingItChangedInTheSameBatch) {
    CoordinatorHome home;
    const std::string outer = home / GetParam().outer, nested = home / GetParam().nested;
    writeFileOfSize(nested + "/old", 10'000);
    auto c = scanned();
    ASSERT_TRUE(c->result().node(outer));
    ASSERT_TRUE(c->result().node(nested));
    const int64_t before = c->result().node(nested)->size, outerBefore = c->result().node(outer)->size;
    writeFileOfSize(nested + "/new", 100'000);
    writeFileOfSize(outer + "/beside", 20'000);
    c->absorb({outer, nested});
    // One pass measures both: the folder holding it grew by then.
    ASSERT_TRUE(waitUntil([&] { return c->result().node(outer)->size >= outerBefore + 20'000; }));
    EXPECT_GE(c->result().node(nested)->size, before + 100'000);
    EXPECT_EQ(c->scannedBytes(), rootTotal(*c));
}

INSTANTIATE_TEST_SUITE_P(Places, LiveUpdateNestedRoot,
                         ::testing::Values(NestedRootCase{"TrashInTheDataFolder", ".local/share", ".local/share/Trash/files"},
                                           NestedRootCase{"CachesInTheLibrary", "Library", "Library/Caches"}),
                         [](const auto& info) { return info.param.name; });

} // namespace

TEST(LiveUpdateBudget, FortyEightFoldersAreReWalkedFortyNineAskForARescan) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    for (int i = 0; i < 49; ++i) writeFileOfSize(app + "/d" + std::to_string(i) + "/f", 10'000);
    auto c = scanned();
    std::vector<std::string> changed;
    for (int i = 0; i < 49; ++i) {
        writeFileOfSize(app + "/d" + std::to_string(i) + "/g", 10'000);
        changed.push_back(app + "/d" + std::to_string(i));
    }
    // A folder and one of its subfolders count once.
    std::vector<std::string> first(changed.begin(), changed.begin() + 48);
    first.push_back(changed[0] + "/inner");
    c->absorb(first);
    ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value(); }));
    EXPECT_FALSE(c->hasPendingChanges());
    EXPECT_EQ(c->result().node(changed[0])->fileCount, 2);

    const auto before = c->scannedBytes();
    c->absorb(changed);
    ASSERT_TRUE(waitUntil([&] { return c->hasPendingChanges(); }));
    EXPECT_EQ(c->scannedBytes(), before);
    EXPECT_EQ(c->result().node(changed[48])->fileCount, 1); // nothing re-walked
}

TEST(LiveUpdateQuietPeriod, ThreeBatchesLeadToOnePassAfterTheLast) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 100'000);
    auto c = scanned();
    writeFileOfSize(app + "/more", 100'000);
    QSignalSpy updates(c.get(), &ScanCoordinator::lastLiveUpdateChanged);
    QElapsedTimer timer, gap;
    // Only a gap of a whole quiet period between two batches lets a pass run early.
    qint64 longestGap = 0;
    gap.start();
    c->absorb({app});
    spin(200);
    longestGap = std::max(longestGap, gap.restart());
    c->absorb({app});
    spin(200);
    longestGap = std::max(longestGap, gap.restart());
    if (longestGap >= 500) GTEST_SKIP() << "the machine stalled longer than the quiet period between batches";
    EXPECT_EQ(updates.count(), 0);
    c->absorb({app});
    timer.start();
    ASSERT_TRUE(waitUntil([&] { return updates.count() == 1; }));
    EXPECT_GE(timer.elapsed(), 500);
    spin(700);
    EXPECT_EQ(updates.count(), 1);
}

TEST(LiveUpdateWatching, RealChangesArriveThroughTheWatcherAfterSwitchingBackOn) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 100'000);
    auto c = scanned(true);
    c->setLiveUpdatesEnabled(false);
    EXPECT_FALSE(c->isWatching());
    c->setLiveUpdatesEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return c->isWatching(); }, 15000));
    writeFileOfSize(app + "/more", 300'000);
    // The folder's own figure, not the first pass: another change may land one first.
    EXPECT_TRUE(waitUntil([&] { return c->result().node(app)->fileCount == 2; }, 15000))
        << c->result().node(app)->fileCount;
    EXPECT_TRUE(c->lastLiveUpdate().has_value());
}

TEST(LiveUpdateWatching, SwitchedOffNothingArrives) {
    CoordinatorHome home;
    const std::string app = home / "Library/Caches/com.example.app";
    writeFileOfSize(app + "/blob", 100'000);
    auto c = scanned(true);
    ASSERT_TRUE(waitUntil([&] { return c->isWatching(); }, 15000));
    c->setLiveUpdatesEnabled(false);
    writeFileOfSize(app + "/more", 300'000);
    spin(2500);
    EXPECT_FALSE(c->lastLiveUpdate().has_value());
}

TEST(LiveUpdateWatching, ASetUpOvertakenByAStopOrANewScanIsNeverInstalled) {
    enum class Overtaken { switchedOff, newScan };
    for (const Overtaken overtaken : {Overtaken::switchedOff, Overtaken::newScan}) {
        SCOPED_TRACE(overtaken == Overtaken::switchedOff ? "switched off" : "new scan");
        CoordinatorHome home;
        writeFileOfSize(home / "Library/Caches/com.example.app/blob", 100'000);
        HeldSetUps setUps;
        auto c = scanned(true, setUps.services());
        QSignalSpy watching(c.get(), &ScanCoordinator::watchingChanged);
        ASSERT_TRUE(waitUntil([&] { return setUps.begun() == 1; }));
        if (overtaken == Overtaken::switchedOff) {
            c->setLiveUpdatesEnabled(false);
            setUps.release(1);
            spin(300);
            EXPECT_FALSE(c->isWatching());
            EXPECT_EQ(watching.count(), 0);
            c->setLiveUpdatesEnabled(true); // a later set-up still goes in
        } else {
            c->start();
            ASSERT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
        }
        ASSERT_TRUE(waitUntil([&] { return setUps.begun() == 2; }));
        setUps.release(2);
        ASSERT_TRUE(waitUntil([&] { return c->isWatching(); }, 15000));
        const int installs = watching.count();
        setUps.release(1); // the overtaken one finishes last: it must not replace the newer
        spin(300);
        EXPECT_TRUE(c->isWatching());
        EXPECT_EQ(watching.count(), installs);
    }
}

TEST(LiveUpdateWatching, TheEventLoopTurnsWhileTheWatcherIsSetUp) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/com.example.app/blob", 100'000);
    // The set-up posts a sentinel to the main thread and waits for it to run: it can only
    // run while the set-up is still going if the main thread is not the one doing it.
    auto turned = std::make_shared<std::atomic<bool>>(false);
    auto sawTurn = std::make_shared<std::atomic<bool>>(false);
    auto services = ScanCoordinator::Services::standard();
    services.startWatcher = [turned, sawTurn](FileSystemWatcher& watcher, const std::vector<std::string>& roots) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [turned] { turned->store(true); }, Qt::QueuedConnection);
        for (int i = 0; i < 1000 && !turned->load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        sawTurn->store(turned->load());
        watcher.start(roots);
    };
    auto c = scanned(true, std::move(services));
    ASSERT_TRUE(waitUntil([&] { return c->isWatching(); }, 15000));
    EXPECT_TRUE(sawTurn->load());
}
