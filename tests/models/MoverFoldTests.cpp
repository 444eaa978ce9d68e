// Every mover of the window folds what it moved into the scanned tree the same way, on an
// account whose Trash did not exist at the scan: once the move is done, every root below
// the home reads what a fresh walk of it reads (the Trash too, measured whole from its first
// item), and the categories sum to the disk. With live updates off, only the fold can make
// that so; a Trash made by another program is noticed by the watch above it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <sstream>

#include "analysis/DuplicateFixtures.h"
#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "models/AppsFixtures.h"
#include "models/DuplicatesModel.h"
#include "models/EventLoop.h"
#include "models/HistoryModel.h"
#include "models/MoverLinks.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "removal/RemovalRun.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// What the window shows against the disk, for every root below the home; empty when all agree.
std::string disagreement(const ScanCoordinator& c) {
    std::ostringstream out;
    const std::string home = homeDirectory();
    const ScanResult& result = c.result();
    int64_t total = 0;
    for (const auto& category : result.categories)
        for (const auto& root : category.roots) total += root->size;
    if (total != c.scannedBytes()) out << "categories sum to " << total << ", shown " << c.scannedBytes() << "\n";
    for (const auto& category : DisplayCategory::categories(result.scope))
        for (const auto& root : category.roots) {
            if (!isPathInside(root, home)) continue;
            ScanControl control;
            const ScanNodePtr disk = FileWalker::walk(root, control, MultiRootScan::walkOptions(root, result.scope));
            const ScanNodePtr shown = result.node(root);
            if (!disk && !shown) continue;
            if (!shown) {
                out << root << ": on disk, not shown\n";
                continue;
            }
            if (!disk) {
                out << root << ": shown, not on disk\n";
                continue;
            }
            if (shown->size != disk->size || shown->fileCount != disk->fileCount || shown->dirCount != disk->dirCount)
                out << root << ": shown " << shown->size << " B " << shown->fileCount << " files " << shown->dirCount
                    << " folders, disk " << disk->size << " B " << disk->fileCount << " files " << disk->dirCount
                    << " folders\n";
        }
    return out.str();
}

// A fresh account with an app, its leftovers, caches and duplicate copies; the Trash
// folder does not exist until something goes there.
struct Account {
    OrchardMachine machine;
    std::string trashFiles = Trash::directory() + "/files";
    std::string caches = machine.home("/Library/Caches");
    ScanCoordinator coordinator{ScanCoordinator::Services::standard()};
    AppsModel apps{machine.services()};
    DuplicatesModel duplicates;
    SweepScheduler sweeper;
    HistoryModel history;

    explicit Account(bool live) {
        writeFileOfSize(caches + "/com.example.big/blob", 6'000'000);
        writeFileOfSize(caches + "/com.example.big/deep/er/x", 0);
        makeDirs(caches + "/com.example.empty/one/two");
        const std::string copy = patterned(kTwoMB, 'q');
        writeDated(caches + "/dups/a.bin", copy, 1'400'000'000);
        writeDated(caches + "/dups/b.bin", copy, 1'500'000'000);
        EXPECT_FALSE(exists(Trash::directory()));
        linkMovers(coordinator, apps, duplicates, sweeper, history);
        coordinator.setLiveUpdatesEnabled(live);
        coordinator.start();
        EXPECT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }, 60000));
    }

    // The moves are done and folded: the figures agree with the disk (or the deadline says not).
    std::string settled() {
        std::string last;
        waitUntil([&] { return (last = disagreement(coordinator)).empty(); }, 10000);
        return last;
    }
};

void cleanupSheet(Account& a) {
    bool done = false;
    a.coordinator.performCleanup(std::vector<CleanupExecutor::PathSize>{{a.caches + "/com.example.big", 6'000'000},
                                                                        {a.caches + "/com.example.empty", 0}},
                                 [&](const ScanCoordinator::Outcomes&) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
}

void uninstaller(Account& a) {
    loadAndSelectFirst(a.apps);
    a.apps.review();
    ASSERT_TRUE(waitUntil([&] { return !a.apps.isPreviewing(); }));
    a.apps.uninstall();
    ASSERT_TRUE(waitUntil([&] { return a.apps.stage() == AppsModel::Stage::done && !a.apps.isScanning(); }));
}

void duplicatesScreen(Account& a) {
    a.duplicates.scan(a.caches + "/dups");
    ASSERT_TRUE(waitUntil([&] { return !a.duplicates.isScanning(); }));
    ASSERT_FALSE(a.duplicates.selected().empty());
    a.duplicates.removeSelected();
    ASSERT_TRUE(waitUntil([&] { return a.duplicates.stage() == DuplicatesModel::Stage::done; }));
}

void sweepPanel(Account& a) {
    // A sweep that found the cache folder, then the panel's move of the ticked finding.
    CleanupOutcome finding;
    finding.path = a.caches + "/com.example.big";
    finding.size = 6'000'000;
    SweepScheduler::Dependencies deps;
    deps.runner = [finding](const SweepSchedule&, SweepRun::Trigger) {
        SweepRunner::Outcome outcome;
        outcome.outcomes = {finding};
        return outcome;
    };
    SweepScheduler panel(deps);
    linkMovers(a.coordinator, a.apps, a.duplicates, panel, a.history);
    panel.run(SweepRun::Trigger::manual);
    ASSERT_TRUE(waitUntil([&] { return !panel.isRunning(); }));
    panel.selectAll(true);
    ASSERT_FALSE(panel.selectedPaths().empty());
    panel.cleanSelected();
    ASSERT_TRUE(waitUntil([&] { return !panel.isCleaning(); }));
    ASSERT_FALSE(exists(finding.path));
}

void putBack(Account& a) {
    cleanupSheet(a);
    ASSERT_EQ(a.settled(), "");
    const auto runs = SweepHistory::load();
    ASSERT_FALSE(runs.empty());
    // The list may have last seen the run still moving: put back once it shows it let go.
    ASSERT_TRUE(waitUntil([&] { return !a.history.isMoving(runs.front().id); }));
    a.history.restore(runs.front());
    ASSERT_TRUE(waitUntil([&] { return !a.history.restoring(); }));
    ASSERT_TRUE(exists(a.caches + "/com.example.big/blob"));
}

// The Trash made by the first mover, then grown by the next: counted whole both times.
void uninstallerThenCleanupSheet(Account& a) {
    uninstaller(a);
    if (::testing::Test::HasFatalFailure()) return;
    ASSERT_EQ(a.settled(), "");
    cleanupSheet(a);
}

void anotherProgram(Account& a) {
    // Made by another program, the way a file manager makes it at its first deletion.
    writeFileOfSize(a.trashFiles + "/thrown away", 50'000);
    makeDirs(a.trashFiles + "/a folder/inside");
}

struct Case {
    std::string name;
    void (*move)(Account&);
    bool live = false;
    bool trashHoldsSomething = true;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MoverFold : public ::testing::TestWithParam<Case> {};

TEST_P(MoverFold, EveryRootReadsTheDiskAndTheTrashIsCountedFromItsFirstItem) {
    Account account(GetParam().live);
    ASSERT_EQ(account.settled(), "") << "after the scan";
    ASSERT_FALSE(account.coordinator.result().node(account.trashFiles));
    ASSERT_FALSE(account.coordinator.result().cleanupItems.empty()) << "a cache folder large enough to offer";
    GetParam().move(account);
    if (HasFatalFailure()) return;
    EXPECT_EQ(account.settled(), "");
    const ScanNodePtr trash = account.coordinator.result().node(account.trashFiles);
    ASSERT_TRUE(trash) << "the Trash is not shown";
    EXPECT_EQ(trash->size > 0, GetParam().trashHoldsSomething) << trash->size;
    // Nothing that moved is still offered: every target recommended is where it was.
    std::string gone;
    EXPECT_TRUE(waitUntil([&] {
        gone.clear();
        for (const auto& item : account.coordinator.result().cleanupItems)
            for (const auto& target : item.targets)
                if (!exists(target.path)) gone += target.path + "\n";
        return gone.empty();
    })) << gone;
}

INSTANTIATE_TEST_SUITE_P(Movers, MoverFold,
                         ::testing::Values(Case{"CleanupSheet", cleanupSheet}, Case{"Uninstaller", uninstaller},
                                           Case{"DuplicatesScreen", duplicatesScreen}, Case{"SweepPanel", sweepPanel},
                                           Case{"PutBack", putBack, false, false},
                                           Case{"UninstallerThenCleanupSheet", uninstallerThenCleanupSheet}, Case{"AnotherProgram", anotherProgram, true}),
                         [](const auto& info) { return info.param.name; });

} // namespace

namespace {

// Each set-up of watches, with the roots it was given; the stream is the real one.
struct SetUps {
    std::mutex lock;
    std::vector<std::vector<std::string>> roots;
    size_t watching = 0; // set-ups whose watches are in place: changes from then on are seen
    size_t count() {
        std::lock_guard<std::mutex> hold(lock);
        return roots.size();
    }
    size_t inPlace() {
        std::lock_guard<std::mutex> hold(lock);
        return watching;
    }
};

TEST(JoiningRoot, IsWatchedOnItsOwnWhileTheTreesWatchesGoOnAndIsFollowedFromThen) {
    OrchardMachine machine;
    const std::string caches = machine.home("/Library/Caches");
    writeFileOfSize(caches + "/com.example.big/blob", 10'000);
    auto setUps = std::make_shared<SetUps>();
    auto services = ScanCoordinator::Services::standard();
    services.startWatcher = [setUps](FileSystemWatcher& watcher, const std::vector<std::string>& roots) {
        {
            std::lock_guard<std::mutex> hold(setUps->lock);
            setUps->roots.push_back(roots);
        }
        watcher.start(roots);
        std::lock_guard<std::mutex> hold(setUps->lock);
        ++setUps->watching;
    };
    ScanCoordinator coordinator(services);
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done && coordinator.isWatching(); }));
    ASSERT_EQ(setUps->count(), 1u);
    const std::string trashFiles = Trash::directory() + "/files";
    ASSERT_FALSE(exists(Trash::directory()));

    ASSERT_TRUE(waitUntil([&] { return coordinator.watchedFolders() > 0 && !coordinator.stillCountingUnwatched(); }));
    const size_t treesWatched = coordinator.watchedFolders();
    writeFileOfSize(trashFiles + "/thrown away", 50'000);
    ASSERT_TRUE(waitUntil([&] { return coordinator.result().node(trashFiles) != nullptr; }));
    ASSERT_TRUE(waitUntil([&] { return setUps->count() == 2; }));
    {
        std::lock_guard<std::mutex> hold(setUps->lock);
        ASSERT_EQ(setUps->roots.back().size(), 1u);
        EXPECT_TRUE(isPathInside(setUps->roots.back().front(), Trash::directory())) << setUps->roots.back().front();
    }
    // The joined root and the trees are both followed by live updates, with no set-up again.
    // The trees' watch of the folder holding the Trash takes in its new folders too, so the
    // count alone does not say the joined root's own watch is in place.
    ASSERT_TRUE(waitUntil([&] { return setUps->inPlace() == 2 && coordinator.watchedFolders() > treesWatched; }));
    writeFileOfSize(trashFiles + "/later", 20'000);
    writeFileOfSize(caches + "/com.example.big/more", 30'000);
    EXPECT_TRUE(waitUntil([&] {
        const ScanNodePtr trash = coordinator.result().node(trashFiles);
        const ScanNodePtr cache = coordinator.result().node(caches + "/com.example.big");
        return trash && cache && trash->size >= 70'000 && cache->size >= 40'000;
    }, 30'000));
    EXPECT_EQ(setUps->count(), 2u);
    EXPECT_TRUE(coordinator.isWatching());
}

} // namespace

namespace {

// A live pass that finds no new size lands while the recommendations after a move are still
// being worked out: they are kept all the same, and nothing that moved is offered.
TEST(FoldRecommendations, AreKeptWhenALivePassWithTheSameSizesLandsMeanwhile) {
    OrchardMachine machine;
    const std::string caches = machine.home("/Library/Caches"), big = caches + "/com.example.big";
    writeFileOfSize(big + "/blob", 6'000'000);
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto gate = std::make_shared<std::atomic<bool>>(false);
    auto services = ScanCoordinator::Services::standard();
    services.recommend = [calls, gate, standard = services.recommend](const ScanResult& result) {
        // The one after the move waits for the test (at most a minute).
        if (++*calls == 2)
            for (int i = 0; i < 12000 && !gate->load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return standard(result);
    };
    ScanCoordinator coordinator(services);
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done && coordinator.isWatching(); }));
    auto offered = [&] {
        for (const auto& item : coordinator.result().cleanupItems)
            for (const auto& target : item.targets)
                if (target.path == big) return true;
        return false;
    };
    ASSERT_TRUE(offered());
    bool done = false;
    coordinator.performCleanup(std::vector<CleanupExecutor::PathSize>{{big, 6'000'000}},
                               [&](const ScanCoordinator::Outcomes&) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done && calls->load() >= 2; }));
    // An empty file: a pass measures the folder again and finds the same size.
    const int64_t files = coordinator.result().node(caches)->fileCount;
    writeFile(caches + "/empty", "");
    EXPECT_TRUE(waitUntil([&] { return coordinator.result().node(caches)->fileCount == files + 1; }));
    gate->store(true);
    EXPECT_TRUE(waitUntil([&] { return !offered(); }));
}

} // namespace
