// Items moved to the Trash from the main window count in exactly one place: the moment the
// run's outcomes arrive, every category and the Trash read what is on disk, run after run;
// while any move is in flight, live updates do not measure a folder it leaves apart from
// the Trash it enters.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CoordinatorFixtures.h"
#include "engine/FileWalker.h"
#include "platform/Trash.h"
#include "removal/RemovalRun.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

int64_t onDisk(const std::string& root) {
    ScanControl control;
    FileWalker::Options options;
    options.everyFileFolder = root;
    const ScanNodePtr node = FileWalker::walkParallel(root, control, options);
    return node ? node->size : 0;
}

struct Case {
    std::string name;
    std::vector<std::string> files; // below the fake home, 30 KB each
    bool trashHadSomething = true;  // else the Trash folder does not exist at the scan
    std::vector<std::vector<std::string>> runs; // items moved by each run, below the home
};

const std::vector<Case> kCases = {
    {"FoldersAndFilesInThreeRuns",
     {"Library/Logs/app/a.log", "Library/Logs/app/b.log", "Library/Logs/big/x", "Library/Logs/c.log",
      "Library/Caches/one/blob", "Library/Caches/two/blob"},
     true,
     {{"Library/Logs/app"}, {"Library/Logs/c.log", "Library/Caches/one"}, {"Library/Logs/big", "Library/Caches/two/blob"}}},
    {"IntoATrashThatDidNotExistAtTheScan",
     {"Library/Logs/app/a.log", "Library/Caches/one/blob", "Library/Caches/two.bin"},
     false,
     {{"Library/Logs/app"}, {"Library/Caches/one", "Library/Caches/two.bin"}}},
    {"ManyItemsOfOneFolderInOneRun",
     {"Library/Logs/m/1.log", "Library/Logs/m/2.log", "Library/Logs/m/3.log", "Library/Logs/m/4.log",
      "Library/Logs/m/d5/x", "Library/Logs/m/d6/x", "Library/Logs/keep.log"},
     true,
     {{"Library/Logs/m/1.log", "Library/Logs/m/2.log", "Library/Logs/m/3.log", "Library/Logs/m/4.log",
       "Library/Logs/m/d5", "Library/Logs/m/d6"}}},
};

struct Home {
    CoordinatorHome home;
    std::string trashFiles = Trash::directory() + "/files";
    std::vector<std::string> roots() const {
        return {home / "Library/Logs", home / "Library/Caches", trashFiles};
    }
    // What the window shows for a root (0 when it shows nothing for it).
    static int64_t shown(const ScanCoordinator& c, const std::string& root) {
        const ScanNodePtr node = c.result().node(root);
        return node ? node->size : 0;
    }
    void expectMatchesDisk(const ScanCoordinator& c, const std::string& when) const {
        int64_t shownTotal = 0, diskTotal = 0;
        for (const auto& root : roots()) {
            EXPECT_EQ(shown(c, root), onDisk(root)) << root << " " << when;
            shownTotal += shown(c, root);
            diskTotal += onDisk(root);
        }
        EXPECT_EQ(shownTotal, diskTotal) << when;
        // The total shown is the categories' sum, Sorvel's own records among them.
        int64_t categories = 0;
        for (const auto& category : c.result().categories) categories += category.total();
        EXPECT_EQ(c.scannedBytes(), categories) << when;
    }
};

std::unique_ptr<ScanCoordinator> scanned(ScanCoordinator::Services services = ScanCoordinator::Services::standard()) {
    auto c = std::make_unique<ScanCoordinator>(std::move(services));
    c->setLiveUpdatesEnabled(false);
    c->start();
    EXPECT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
    return c;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MovedItemsCount : public ::testing::TestWithParam<Case> {};

TEST_P(MovedItemsCount, EveryFigureMatchesTheDiskWhenTheOutcomesArrive) {
    const Case& k = GetParam();
    Home h;
    for (const auto& f : k.files) writeFileOfSize(h.home / f, 30'000);
    if (k.trashHadSomething) writeFileOfSize(h.trashFiles + "/older", 30'000);
    auto c = scanned();
    h.expectMatchesDisk(*c, "after the scan");
    for (size_t r = 0; r < k.runs.size(); ++r) {
        std::vector<CleanupExecutor::PathSize> paths;
        for (const auto& item : k.runs[r]) {
            const std::string path = h.home / item;
            const ScanNodePtr node = c->result().node(path);
            paths.push_back({path, node ? node->size : allocatedSize(path)});
        }
        bool checked = false;
        c->performCleanup(paths, [&](const ScanCoordinator::Outcomes& outcomes) {
            for (const auto& o : outcomes) EXPECT_TRUE(o.moved()) << o.path;
            // Right from the first moment the done page can show.
            h.expectMatchesDisk(*c, "run " + std::to_string(r));
            checked = true;
        });
        ASSERT_TRUE(waitUntil([&] { return checked; })) << "run " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, MovedItemsCount, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// A move that is still in flight: its mover waits until the test lets it go.
struct HeldMove {
    std::shared_ptr<std::atomic<bool>> go = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<int>> begun = std::make_shared<std::atomic<int>>(0);
    ScanCoordinator::Services services() {
        auto s = ScanCoordinator::Services::standard();
        auto standard = s.runCleanup;
        s.runCleanup = [standard, go = go, begun = begun](const auto& paths, auto mode, const auto& policy,
                                                          const auto& cloud, const auto& progress) {
            ++*begun;
            while (!go->load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return standard(paths, mode, policy, cloud, progress);
        };
        return s;
    }
};

TEST(MovedItemsLiveUpdates, ChangesWaitWhileAMoveIsInFlightAndAreMeasuredAfter) {
    Home h;
    writeFileOfSize(h.home / "Library/Logs/app/a.log", 30'000);
    writeFileOfSize(h.home / "Library/Logs/other/b.log", 30'000);
    writeFileOfSize(h.trashFiles + "/older", 30'000);
    HeldMove held;
    auto c = scanned(held.services());
    const std::string app = h.home / "Library/Logs/app";
    bool done = false;
    c->performCleanup(std::vector<CleanupExecutor::PathSize>{{app, Home::shown(*c, app)}},
                      [&](const ScanCoordinator::Outcomes&) { done = true; });
    ASSERT_TRUE(waitUntil([&] { return *held.begun == 1; }));

    // Another item reaches the Trash while the move is in flight (as a sweep from the panel
    // would move it), and both folders report the change: nothing is measured meanwhile.
    const std::string other = h.home / "Library/Logs/other";
    const int64_t logsBefore = Home::shown(*c, h.home / "Library/Logs");
    ASSERT_EQ(std::rename(other.c_str(), (h.trashFiles + "/other").c_str()), 0);
    c->absorb({h.home / "Library/Logs", h.trashFiles});
    spin(900);
    EXPECT_EQ(Home::shown(*c, h.home / "Library/Logs"), logsBefore);
    EXPECT_FALSE(c->lastLiveUpdate().has_value());
    EXPECT_TRUE(c->result().node(other)) << "measured while a move was in flight";

    *held.go = true;
    ASSERT_TRUE(waitUntil([&] { return done; }));
    // Once no move is in flight, the waiting changes are measured together.
    ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value() && RemovalRun::movesInFlight() == 0; }));
    h.expectMatchesDisk(*c, "after the held changes");
}

} // namespace
