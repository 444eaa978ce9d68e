// Moving and recording in one place: the run is stored before the first move and kept
// current batch by batch, so a process killed mid-run leaves every trashed item in a run
// that can be put back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <future>
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

struct Home : test::RunHome {
    size_t inTrash() const {
        return fs::exists(trash + "/files") ? std::distance(fs::directory_iterator(trash + "/files"), {}) : 0;
    }
};

} // namespace

// Each batch is in the store, as not finished, before any of its items moves; a run costs
// a handful of writes, not one per item.
TEST(RemovalRunRecord, EveryBatchIsStoredBeforeItMoves) {
    Home home;
    auto request = home.request(home.folders(100));
    const UUID id = request.run.id;
    size_t batches = 0;
    request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                        const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        ++batches;
        EXPECT_TRUE(RemovalRun::isMoving(id)); // so a restore leaves it alone meanwhile
        const auto runs = SweepHistory::load();
        EXPECT_TRUE(runs.size() == 1 && !runs[0].finished);
        for (const auto& path : chunk)
            EXPECT_TRUE(!runs.empty() && std::any_of(runs[0].moved.begin(), runs[0].moved.end(), [&](auto& item) {
                return item.originalPath == path.path && item.isPending() && item.identity;
            })) << path.path;
        return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    EXPECT_EQ(RemovalRun::moveAndRecord(std::move(request)).saveError, std::nullopt);
    EXPECT_LE(batches, 4u);
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].moved.size(), 100u);
    EXPECT_EQ(runs[0].receipt.movedCount, 100);
    EXPECT_TRUE(std::none_of(runs[0].moved.begin(), runs[0].moved.end(), [](auto& i) { return i.isPending(); }));
    EXPECT_EQ(RemovalRun::movesInFlight(), 0);
    EXPECT_FALSE(RemovalRun::isMoving(id));
}

// A bounded loop of kills at random moments: whatever reached the Trash is listed by the
// run, which says whether it finished and puts every item back.
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
        ::waitpid(child, nullptr, 0);

        const size_t trashed = home.inTrash();
        if (trashed == 0) continue;
        const auto runs = SweepHistory::load();
        ASSERT_EQ(runs.size(), 1u);
        const auto& moved = runs[0].moved; // only a finished run knows every place in the Trash
        EXPECT_TRUE(!runs[0].finished || std::none_of(moved.begin(), moved.end(), [](auto& i) { return i.isPending(); }));
        const auto outcomes = RestoreExecutor::run(moved, RestoreExecutor::policyFor(runs[0]));
        EXPECT_EQ(static_cast<size_t>(std::count_if(outcomes.begin(), outcomes.end(), [](auto& o) { return o.restored(); })),
                  trashed);
        EXPECT_EQ(home.inTrash(), 0u);
        for (int i = 0; i < 300; ++i) EXPECT_TRUE(test::exists(home.work + "/d" + std::to_string(i) + "/f")) << i;
    }
}

// Folders an app writes into after they were recorded ahead of their move are still found
// when the process is killed between the move and its record.
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
    ASSERT_EQ(home.inTrash(), 8u);
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    for (const auto& outcome : RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0])))
        EXPECT_TRUE(outcome.restored()) << outcome.item.originalPath;
    EXPECT_EQ(home.inTrash(), 0u);
}

// A record Sorvel left for an item that never arrived goes the next time that Trash is
// used while no move into it is halfway, however young; other programs' and present items' stay.
TEST(RemovalRunRecord, ReservationsACrashLeftAreGivenBack) {
    Home home;
    const std::string info = home.trash + "/info/";
    test::writeFile(info + "lost.trashinfo", TrashInfo::sorvelText(home.work + "/lost", 0));
    test::writeFile(info + "young.trashinfo", TrashInfo::sorvelText(home.work + "/young", 0));
    test::writeFile(info + "theirs.trashinfo", TrashInfo::text(home.work + "/theirs", 0));
    test::writeFile(home.trash + "/files/kept", "k");
    test::writeFile(info + "kept.trashinfo", TrashInfo::sorvelText(home.work + "/kept", 0));
    for (const std::string& d : {home.trash, home.trash + "/files", info})
        fs::permissions(d, fs::perms::owner_all, fs::perm_options::replace);
    const timespec old[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    for (const char* name : {"lost.trashinfo", "theirs.trashinfo", "kept.trashinfo"})
        ASSERT_EQ(::utimensat(AT_FDCWD, (info + name).c_str(), old, 0), 0);

    test::writeFile(home.work + "/first/f", "1");
    ASSERT_TRUE(test::moveToTrash(home.work + "/first").moved());
    EXPECT_FALSE(test::exists(info + "lost.trashinfo"));
    EXPECT_FALSE(test::exists(info + "young.trashinfo"));
    for (const char* kept : {"theirs.trashinfo", "kept.trashinfo", "first.trashinfo"})
        EXPECT_TRUE(test::exists(info + kept)) << kept;
}

// A move queued but not yet begun counts as in flight, so quitting can wait for it.
TEST(RemovalRunInFlight, QueuedAndRunningMovesAreCountedUntilRecorded) {
    Home home;
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

// What one move has in hand, the same path, a folder around it or something inside it, is
// neither offered (isBeingMoved) nor moved a second time by another move meanwhile; a
// sibling whose name merely begins the same way is free. Once the move ends, all is free.
TEST(RemovalRunInHand, ASecondMoveRefusesWhatTheFirstHasInHand) {
    Home home;
    const std::string held = home.work + "/cache";
    test::writeFile(held + "/inner/f", "x");
    test::writeFile(home.work + "/cache2/f", "x");
    std::promise<void> entered, release;
    auto released = release.get_future().share();
    auto first = home.request({{held, 0}});
    first.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                      const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        entered.set_value();
        released.wait();
        return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    std::thread worker([&] { RemovalRun::moveAndRecord(std::move(first)); });
    entered.get_future().wait();

    const std::pair<std::string, bool> table[] = {
        {held, true}, {held + "/", true}, {held + "/inner", true}, {home.work, true}, {home.work + "/cache2", false}};
    for (const auto& [path, busy] : table) {
        EXPECT_EQ(RemovalRun::isBeingMoved(path), busy) << path;
        if (path == home.work) continue; // the allowed root itself: refused as such anyway
        const auto second = RemovalRun::moveAndRecord(home.request({{path, 0}}));
        ASSERT_EQ(second.outcomes.size(), 1u) << path;
        const auto* refusal = second.outcomes[0].refusal();
        EXPECT_EQ(refusal && refusal->kind == CleanupGuard::Refusal::Kind::beingMoved, busy) << path;
        if (refusal) {
            EXPECT_EQ(refusal->description(), "already being moved to the Trash");
        }
    }
    EXPECT_TRUE(fs::exists(held + "/inner/f")) << "moved while the first move had it in hand";

    release.set_value();
    worker.join();
    EXPECT_FALSE(fs::exists(held));
    EXPECT_FALSE(RemovalRun::isBeingMoved(held));
    EXPECT_FALSE(RemovalRun::isBeingMoved(home.work));
}
