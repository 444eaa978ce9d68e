// Every scanned root is followed through removal and return: removed, it leaves the figures;
// made again by another process, it is measured whole and followed from then on; a move of
// Sorvel's into it adds to what is there; removed again, it leaves again. After every step
// each root reads what a fresh walk of the disk reads, and the header sums the categories.
// A root moved away whole from the cleanup sheet leaves the tree, the header and the offers
// at once; one that comes into being between the look for it and the watch above it is not
// missed.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "engine/TreeUpdater.h"
#include "models/ScanCoordinator.h"
#include "models/ToolFixtures.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "platform/UserDefaults.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// What the window shows against a fresh walk, for every root below the home; empty when all
// agree. A root not on disk shows no bytes.
std::string disagreement(const ScanCoordinator& c) {
    std::ostringstream out;
    const std::string home = homeDirectory();
    const ScanResult& result = c.result();
    int64_t total = 0;
    for (const auto& category : result.categories)
        for (const auto& root : category.roots) total += root->size;
    if (total != c.scannedBytes()) out << "categories sum to " << total << ", the header says " << c.scannedBytes() << "\n";
    for (const auto& category : DisplayCategory::categories(result.scope))
        for (const auto& root : category.roots) {
            if (!isPathInside(root, home)) continue;
            ScanControl control;
            const ScanNodePtr disk = FileWalker::walk(root, control, MultiRootScan::walkOptions(root, result.scope));
            const ScanNodePtr shown = result.node(root);
            if (disk && !shown) out << root << ": on disk, not shown\n";
            else if (!disk && shown && shown->size > 0) out << root << ": shows " << shown->size << " B, not on disk\n";
            else if (disk && (shown->size != disk->size || shown->fileCount != disk->fileCount))
                out << root << ": shows " << shown->size << " B " << shown->fileCount << " files, disk " << disk->size
                    << " B " << disk->fileCount << " files\n";
        }
    return out.str();
}

std::string settled(const ScanCoordinator& c) {
    std::string last;
    waitUntil([&] { return (last = disagreement(c)).empty(); }, 20'000);
    return last;
}

// Files made by another process, as a file manager or `gio trash` would make them.
void madeElsewhere(const std::string& root, int64_t bytes) {
    ASSERT_EQ(runInChild([&] {
                  writeFileOfSize(root + "/came back", bytes);
                  writeFileOfSize(root + "/a folder/inside", bytes / 2);
                  return 0;
              }),
              0);
}

struct RootCase {
    std::string name;
    std::string root;    // below the home; "TRASH" for the Trash's files
    std::string removed; // the folder removed, below the home; "TRASH" for the whole Trash
    bool sorvelMovesIn = false;
};

void PrintTo(const RootCase& c, std::ostream* os) { *os << c.name; }

std::string place(const ToolMachine& m, const std::string& relative) {
    if (relative == "TRASH") return Trash::directory();
    if (relative.starts_with("TRASH/")) return Trash::directory() + relative.substr(5);
    return m.home(relative);
}

class RemovedRoot : public ::testing::TestWithParam<RootCase> {};

TEST_P(RemovedRoot, IsFollowedAgainWhenMadeAgainAndItsFiguresReadTheDiskAfterEveryStep) {
    ToolMachine machine;
    const std::string root = place(machine, GetParam().root), removed = place(machine, GetParam().removed);
    const std::string cache = machine.home("/Library/Caches/com.example.big");
    writeFileOfSize(root + "/first", 30'000);
    writeFileOfSize(cache + "/blob", 600'000);
    ScanCoordinator coordinator(ScanCoordinator::Services::standard());
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done && coordinator.isWatching(); }));
    ASSERT_EQ(settled(coordinator), "") << "after the scan";
    ASSERT_TRUE(coordinator.result().node(root));

    std::filesystem::remove_all(removed);
    EXPECT_EQ(settled(coordinator), "") << "removed";
    madeElsewhere(root, 70'000);
    EXPECT_EQ(settled(coordinator), "") << "made again by another process";
    if (GetParam().sorvelMovesIn) {
        bool done = false;
        coordinator.performCleanup(std::vector<CleanupExecutor::PathSize>{{cache, 600'000}},
                                   [&](const ScanCoordinator::Outcomes&) { done = true; });
        ASSERT_TRUE(waitUntil([&] { return done; }));
        ASSERT_FALSE(exists(cache));
        EXPECT_EQ(settled(coordinator), "") << "a move of Sorvel's into it";
    }
    std::filesystem::remove_all(removed);
    EXPECT_EQ(settled(coordinator), "") << "removed again";
    madeElsewhere(root, 40'000);
    EXPECT_EQ(settled(coordinator), "") << "made again, again";
}

INSTANTIATE_TEST_SUITE_P(Roots, RemovedRoot,
                         ::testing::Values(RootCase{"Trash", "TRASH/files", "TRASH", true},
                                           RootCase{"LibraryLogs", "/Library/Logs", "/Library/Logs"},
                                           RootCase{"LinuxCache", "/.cache", "/.cache"}),
                         [](const auto& info) { return info.param.name; });

// The watch above a missing root is started by the test: between the worker's look (the
// Trash's files folder not there yet) and the watch on the Trash folder, the files folder
// is made. It is looked for once the watch is in place, so it is not missed.
TEST(MissingRootWatch, ARootMadeBetweenTheLookAndTheWatchIsMeasured) {
    ToolMachine machine;
    writeFileOfSize(machine.home("/Library/Caches/x/blob"), 10'000);
    const std::string trash = Trash::directory(), trashFiles = trash + "/files";
    ASSERT_FALSE(exists(trash));
    std::mutex lock;
    std::vector<std::vector<std::string>> watched;
    auto services = ScanCoordinator::Services::standard();
    services.watchAboveMissing = [&](FileSystemWatcher& watcher, const std::vector<std::string>& above) {
        {
            std::lock_guard<std::mutex> hold(lock);
            watched.push_back(above);
        }
        if (std::find(above.begin(), above.end(), trash) != above.end() && !exists(trashFiles))
            writeFileOfSize(trashFiles + "/thrown away", 50'000);
        watcher.start(above);
    };
    ScanCoordinator coordinator(services);
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done && coordinator.isWatching(); }));
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> hold(lock);
        return !watched.empty();
    }));
    ASSERT_FALSE(coordinator.result().node(trashFiles));
    // The Trash folder alone: the watch moves closer, and the files folder comes meanwhile.
    makeDirs(trash);
    EXPECT_TRUE(waitUntil([&] {
        const ScanNodePtr shown = coordinator.result().node(trashFiles);
        return shown && shown->size > 0;
    }, 20'000)) << "the Trash made between the look and the watch is not shown";
    EXPECT_EQ(settled(coordinator), "");
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_TRUE(std::any_of(watched.begin(), watched.end(), [&](const auto& above) {
        return std::find(above.begin(), above.end(), trash) != above.end();
    })) << "the watch never moved to the Trash folder";
}

// An app's cache folder is a root of its own and a cleanup target whole. Ticked and moved
// from the cleanup sheet, it leaves its category, the header and the offers once the move
// is done, and the Trash counts its bytes once; with live updates on or off.
class MovedRootFromTheSheet : public ::testing::TestWithParam<bool> {};

TEST_P(MovedRootFromTheSheet, LeavesTheCategoryTheHeaderAndTheOffersAtOnce) {
    ToolMachine machine;
    const std::string app = machine.home("/.var/app/org.example.Viewer"), cache = app + "/cache";
    writeFileOfSize(cache + "/blob", 6'000'000);
    writeFileOfSize(cache + "/thumbs/a", 20'000);
    writeFileOfSize(app + "/data/state", 30'000);
    writeFileOfSize(Trash::directory() + "/files/old", 40'000);
    auto services = ScanCoordinator::Services::standard();
    // A rule that offers each app's cache folder whole, while the tree holds it.
    services.recommend = [cache](const ScanResult& result) {
        std::vector<CleanupItem> items;
        if (const ScanNodePtr node = result.node(cache)) {
            CleanupItem item;
            item.id = "app-cache";
            item.title = "App cache";
            CleanupTarget target;
            target.name = "cache";
            target.path = cache;
            target.size = node->size;
            item.targets.push_back(std::move(target));
            items.push_back(std::move(item));
        }
        return items;
    };
    ScanCoordinator coordinator(services);
    coordinator.setLiveUpdatesEnabled(GetParam());
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }));
    ASSERT_TRUE(coordinator.result().node(cache)) << "the cache folder is no root of its own here";
    ASSERT_EQ(settled(coordinator), "") << "after the scan";
    coordinator.setSelectedCleanupIDs({"app-cache"});
    ASSERT_EQ(coordinator.selectedCleanupItems().size(), 1u);
    std::string atOnce;
    bool done = false;
    coordinator.performCleanup(std::nullopt, [&](const ScanCoordinator::Outcomes& outcomes) {
        done = true;
        ASSERT_EQ(outcomes.size(), 1u);
        ASSERT_TRUE(outcomes.front().moved());
        // The done page's first frame.
        atOnce = disagreement(coordinator);
    });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(atOnce, "");
    EXPECT_FALSE(coordinator.result().node(cache));
    EXPECT_TRUE(waitUntil([&] { return coordinator.result().cleanupItems.empty(); })) << "still offered";
    EXPECT_TRUE(coordinator.selectedCleanupIDs().empty()) << "still ticked";
    EXPECT_EQ(settled(coordinator), "");
}

INSTANTIATE_TEST_SUITE_P(LiveUpdates, MovedRootFromTheSheet, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

} // namespace

namespace {

// A root joins the tree (made by another program) while a fold is being worked out on a copy
// taken before it joined: the fold is worked out again on the tree as it is, so the root that
// joined stays, and every figure reads the disk.
TEST(FoldOnAnOlderTree, IsFoldedAgainSoARootThatJoinedMeanwhileStays) {
    ToolMachine machine;
    const std::string cache = machine.home("/Library/Caches/com.example.big"), linuxCache = machine.home("/.cache");
    writeFileOfSize(cache + "/blob", 600'000);
    std::filesystem::remove_all(linuxCache);
    struct Gate {
        std::mutex lock;
        std::condition_variable changed;
        std::string path; // the first walk of it waits until released
        bool held = false, released = false;
    };
    auto gate = std::make_shared<Gate>();
    auto services = ScanCoordinator::Services::standard();
    services.walk = [gate, standard = services.walk](const std::string& path, ScanControl& control,
                                                      const FileWalker::Options& options) {
        {
            std::unique_lock<std::mutex> hold(gate->lock);
            if (!gate->path.empty() && path == gate->path && !gate->held) {
                gate->held = true;
                gate->changed.notify_all();
                gate->changed.wait_for(hold, std::chrono::seconds(60), [&] { return gate->released; });
            }
        }
        return standard(path, control, options);
    };
    ScanCoordinator coordinator(services);
    coordinator.start();
    ASSERT_TRUE(waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done && coordinator.isWatching(); }));
    ASSERT_FALSE(coordinator.result().node(linuxCache));
    // Sorvel's own folder, measured again by every fold.
    const auto records = TreeUpdater::locate(deletingLastPathComponent(UserDefaults::standardFilePath()), coordinator.result());
    ASSERT_TRUE(records) << "Sorvel's own folder is in no scanned root here";
    {
        std::lock_guard<std::mutex> hold(gate->lock);
        gate->path = records->chain.back()->path;
    }
    bool done = false;
    coordinator.performCleanup(std::vector<CleanupExecutor::PathSize>{{cache, 600'000}},
                               [&](const ScanCoordinator::Outcomes&) { done = true; });
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> hold(gate->lock);
        return gate->held;
    }, 20'000));
    madeElsewhere(linuxCache, 50'000);
    EXPECT_TRUE(waitUntil([&] { return coordinator.result().node(linuxCache) != nullptr; }, 20'000));
    {
        std::lock_guard<std::mutex> hold(gate->lock);
        gate->released = true;
        gate->changed.notify_all();
    }
    ASSERT_TRUE(waitUntil([&] { return done; }, 20'000));
    EXPECT_TRUE(coordinator.result().node(linuxCache)) << "the root that joined during the fold is gone again";
    EXPECT_EQ(settled(coordinator), "");
}

} // namespace
