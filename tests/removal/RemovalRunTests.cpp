// Moving and recording in one place: the run is stored before the first move and kept
// current batch by batch, a process killed mid-run leaves every trashed item in a run
// that can be put back, and moves in flight are counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/TrashInfo.h"
#include "platform/TrashRecords.h"
#include "removal/ManualRun.h"
#include "removal/RemovalRun.h"
#include "removal/RestoreExecutor.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"
#include "RunHome.h"

using namespace sorvel;
namespace fs = std::filesystem;
using PathSize = CleanupExecutor::PathSize;

namespace {

using Home = test::RunHome;

std::vector<std::string> trashEntries(const std::string& trash) {
    std::vector<std::string> out;
    if (!fs::exists(trash + "/files")) return out;
    for (const auto& entry : fs::directory_iterator(trash + "/files")) out.push_back(entry.path().string());
    return out;
}

} // namespace

// Each batch is in the store, as not finished, before any of its items moves.
TEST(RemovalRunRecord, EveryBatchIsStoredBeforeItMoves) {
    Home home;
    auto request = home.request(home.folders(100));
    const UUID id = request.run.id;
    std::vector<size_t> storedAtEachBatch, batchSizes;
    request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                        const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        EXPECT_TRUE(RemovalRun::isMoving(id)); // so a restore leaves it alone meanwhile
        const auto runs = SweepHistory::load();
        EXPECT_EQ(runs.size(), 1u);
        if (runs.empty()) return std::vector<CleanupOutcome>{};
        EXPECT_FALSE(runs[0].finished);
        storedAtEachBatch.push_back(runs[0].moved.size());
        batchSizes.push_back(chunk.size());
        for (const auto& path : chunk)
            EXPECT_TRUE(std::any_of(runs[0].moved.begin(), runs[0].moved.end(), [&](const MovedItem& item) {
                return item.originalPath == path.path && item.isPending() && item.identity;
            })) << path.path;
        return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    const auto result = RemovalRun::moveAndRecord(std::move(request));
    EXPECT_EQ(batchSizes, (std::vector<size_t>{16, 32, 52}));
    EXPECT_EQ(storedAtEachBatch, (std::vector<size_t>{16, 48, 100}));
    EXPECT_EQ(result.saveError, std::nullopt);
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].moved.size(), 100u);
    EXPECT_EQ(runs[0].receipt.movedCount, 100);
    for (const auto& item : runs[0].moved) EXPECT_FALSE(item.isPending());
    EXPECT_EQ(RemovalRun::movesInFlight(), 0);
    EXPECT_FALSE(RemovalRun::isMoving(id));
}

// A bounded loop of kills at random moments: whatever reached the Trash is listed by the
// run, which says it did not finish and puts every item back.
TEST(RemovalRunRecord, AKilledRunCanBePutBackWhole) {
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        Home home;
        auto request = home.request(home.folders(300));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RemovalRun::moveAndRecord(std::move(request));
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2 + round * 7));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const auto trashed = trashEntries(home.trash);
        const auto runs = SweepHistory::load();
        if (trashed.empty()) continue;
        ASSERT_EQ(runs.size(), 1u);
        // Cut short, it says so; only a finished run knows every place in the Trash.
        if (runs[0].finished) {
            for (const auto& item : runs[0].moved) EXPECT_FALSE(item.isPending());
        }
        const auto outcomes = RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0]));
        size_t restored = 0;
        for (const auto& outcome : outcomes) restored += outcome.restored() ? 1 : 0;
        EXPECT_EQ(restored, trashed.size());
        EXPECT_TRUE(trashEntries(home.trash).empty());
        for (int i = 0; i < 300; ++i) EXPECT_TRUE(test::exists(home.work + "/d" + std::to_string(i) + "/f")) << i;
    }
}

// Folders written into after being recorded ahead of their move are found after a crash.
TEST(RemovalRunRecord, FoldersWrittenIntoBeforeTheirMoveAreFoundAfterACrash) {
    Home home;
    auto request = home.request(home.folders(8));
    request.mover = [](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                       const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        for (const auto& item : chunk) {
            test::writeFile(item.path + "/written meanwhile", "new");
            fs::last_write_time(item.path, fs::last_write_time(item.path) + std::chrono::seconds(5)); // coarse clocks
        }
        CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
        ::_exit(0); // before the places in the Trash are written down
        return std::vector<CleanupOutcome>{};
    };
    ASSERT_EQ(test::runInChild([&] { return RemovalRun::moveAndRecord(std::move(request)), 1; }), 0);
    ASSERT_EQ(trashEntries(home.trash).size(), 8u);
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    for (const auto& outcome : RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0])))
        EXPECT_TRUE(outcome.restored()) << outcome.item.originalPath;
    EXPECT_TRUE(trashEntries(home.trash).empty());
}

// A record the Trash holds for an item that never arrived is given back the next time a
// move uses that Trash, once it is old enough not to be another move's reservation; the
// records of other programs and of items present stay.
TEST(RemovalRunRecord, ReservationsACrashLeftAreGivenBack) {
    Home home;
    const std::string& info = home.info;
    for (const char* name : {"lost", "young", "kept"}) home.reservation(name);
    test::writeFile(info + "theirs.trashinfo", TrashInfo::text(home.work + "/theirs", 0));
    test::writeFile(home.trash + "/files/kept", "k");
    for (const char* d : {"", "/files", "/info"})
        fs::permissions(home.trash + d, fs::perms::owner_all, fs::perm_options::replace);
    const timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    for (const char* name : {"lost.trashinfo", "theirs.trashinfo", "kept.trashinfo"})
        ASSERT_EQ(::utimensat(AT_FDCWD, (info + name).c_str(), old, 0), 0);

    test::writeFile(home.work + "/first/f", "1");
    ASSERT_TRUE(test::moveToTrash(home.work + "/first").moved()); // the Trash is used
    EXPECT_FALSE(test::exists(info + "lost.trashinfo"));
    for (const char* kept : {"young.trashinfo", "theirs.trashinfo", "kept.trashinfo", "first.trashinfo"})
        EXPECT_TRUE(test::exists(info + kept)) << kept;
}

// A move queued but not yet begun counts as in flight, so quitting can wait for it.
TEST(RemovalRunInFlight, QueuedAndRunningMovesAreCountedUntilRecorded) {
    Home home;
    EXPECT_EQ(RemovalRun::movesInFlight(), 0);
    EXPECT_TRUE(RemovalRun::waitForMoves(std::chrono::milliseconds(0)));
    auto hold = RemovalRun::holdInFlight();
    EXPECT_EQ(RemovalRun::movesInFlight(), 1);
    std::atomic<bool> recorded{false};
    std::thread worker([&, request = home.request(home.folders(3))]() mutable {
        RemovalRun::moveAndRecord(std::move(request));
        recorded = !SweepHistory::load().empty();
        hold.reset();
    });
    EXPECT_TRUE(RemovalRun::waitForMoves(std::chrono::seconds(30)));
    EXPECT_TRUE(recorded);
    EXPECT_EQ(RemovalRun::movesInFlight(), 0);
    worker.join();
}

// Sizes may be anything a caller recorded: the byte figures of the stored run, while it
// moves and once done, stop at the 64-bit limit instead of wrapping.
TEST(RemovalRunRecord, ByteFiguresStopAtTheLimit) {
    Home home;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    auto request = home.request({{home.work + "/a", kMax}, {home.work + "/b", kMax}, {home.work + "/c", 1}});
    std::vector<int64_t> storedWhileMoving;
    request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy&, const std::optional<CloudStatus>&,
                        const CleanupExecutor::Progress&) {
        const auto runs = SweepHistory::load();
        if (!runs.empty()) storedWhileMoving.push_back(runs[0].receipt.movedBytes);
        std::vector<CleanupOutcome> moved;
        for (const auto& path : chunk)
            moved.push_back({UUID::random(), path.path, path.size, CleanupOutcome::MovedToTrash{"/Trash/x"}});
        return moved;
    };
    const auto result = RemovalRun::moveAndRecord(std::move(request));
    EXPECT_EQ(storedWhileMoving, std::vector<int64_t>{kMax});
    EXPECT_EQ(result.run.receipt.movedBytes, kMax);
    EXPECT_EQ(ManualRun::make(result.outcomes, "test").receipt.movedBytes, kMax);
}
