// A run cut short by a crash, told truly afterwards: the items it recorded but never moved
// are said to be still in their places and leave its figures, and the records its moves
// left in the Trash without an item are removed when it is put back. Each crash is made
// by a child killed at a chosen point of the run, or written directly as the state one
// leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"
#include "platform/TrashInfo.h"
#include "platform/TrashRecords.h"
#include "removal/CrashedRuns.h"
#include "removal/RemovalRun.h"
#include "removal/RestoreExecutor.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;
using PathSize = CleanupExecutor::PathSize;
using Refusal = RestoreGuard::Refusal;

namespace {

constexpr size_t kFileBytes = 200'000;

struct CrashHome {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string work = home / "Work";
    std::string trash = home / ".local/share/Trash";

    // Folders of one file each, with their real sizes, so the guard moves them.
    std::vector<PathSize> folders(int count) {
        std::vector<PathSize> out;
        for (int i = 0; i < count; ++i) {
            const std::string path = work + "/d" + std::to_string(i);
            test::writeFileOfSize(path + "/f", kFileBytes);
            out.push_back({path, test::independentTotal(path)});
        }
        return out;
    }

    // A run of these folders killed once `moved` items of its first batch are in the
    // Trash, before their places are written down.
    SweepRun crashAfter(std::vector<PathSize> paths, size_t moved) {
        RemovalRun::Request request;
        request.paths = std::move(paths);
        request.policy = CleanupPolicy::standard().allowing({work});
        request.run.scope = "test";
        request.run.allowedRoots = request.policy.allowedRoots;
        request.mover = [moved](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                                const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
            const std::vector<PathSize> first(chunk.begin(), chunk.begin() + static_cast<long>(moved));
            CleanupExecutor::run(first, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
            ::_exit(0); // as a kill: nothing after the moves is written
            return std::vector<CleanupOutcome>{};
        };
        EXPECT_EQ(test::runInChild([&] { return RemovalRun::moveAndRecord(std::move(request)), 1; }), 0);
        const auto runs = SweepHistory::load();
        EXPECT_EQ(runs.size(), 1u);
        return runs.empty() ? SweepRun{} : runs[0];
    }

    // What a kill between writing an item's record and its rename leaves: Sorvel's record,
    // no entry.
    std::string reservation(const std::string& original) {
        test::makeDirs(trash + "/files");
        const std::string info = trash + "/info/" + lastPathComponent(original) + ".trashinfo";
        test::writeFile(info, TrashInfo::sorvelText(original, std::time(nullptr)));
        return info;
    }

    std::vector<std::string> trashed() const {
        std::vector<std::string> out;
        if (fs::exists(trash + "/files"))
            for (const auto& entry : fs::directory_iterator(trash + "/files")) out.push_back(entry.path().string());
        return out;
    }
};

size_t count(const std::vector<RestoreOutcome>& outcomes, const std::optional<Refusal>& refusal) {
    return static_cast<size_t>(std::count_if(outcomes.begin(), outcomes.end(), [&](const RestoreOutcome& outcome) {
        return refusal ? outcome.refusal() && *outcome.refusal() == *refusal : outcome.restored();
    }));
}

int64_t sizeOf(const std::vector<PathSize>& paths, size_t first) {
    int64_t sum = 0;
    for (size_t i = 0; i < first; ++i) sum += paths[i].size;
    return sum;
}

} // namespace

// Killed with 2 of its first 16 items moved: those 2 come back, and the 14 it never
// touched are said to be where they always were, not gone from the Trash.
TEST(CrashedRunPutBack, ItemsNeverMovedAreSaidToBeStillInTheirPlace) {
    CrashHome home;
    const SweepRun run = home.crashAfter(home.folders(16), 2);
    ASSERT_FALSE(run.finished);
    ASSERT_EQ(home.trashed().size(), 2u);

    const auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
    EXPECT_EQ(count(outcomes, std::nullopt), 2u);
    EXPECT_EQ(count(outcomes, Refusal::stillInPlace()), 14u);
    EXPECT_EQ(count(outcomes, Refusal::missingFromTrash()), 0u);
    EXPECT_EQ(Refusal::stillInPlace().description(), "still in its place; the run stopped before moving it");
    EXPECT_TRUE(home.trashed().empty());
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(test::exists(home.work + "/d" + std::to_string(i) + "/f")) << i;
}

// An item recorded ahead of its move that is neither in the Trash nor its own self at its
// place (changed, or gone) is not claimed to be in place.
TEST(CrashedRunPutBack, OnlyTheVeryItemCountsAsStillInPlace) {
    CrashHome home;
    const SweepRun run = home.crashAfter(home.folders(4), 1);
    ASSERT_EQ(run.moved.size(), 4u);
    // The run is largest first, all of one size: find each pending folder by its path.
    std::vector<std::string> pending;
    for (const auto& item : run.moved)
        if (item.isPending() && test::exists(item.originalPath)) pending.push_back(item.originalPath);
    ASSERT_EQ(pending.size(), 3u);
    fs::remove_all(pending[0]);                                 // gone meanwhile
    fs::rename(pending[1], home.work + "/elsewhere");           // another folder took its place
    test::writeFile(pending[1] + "/f", "new");

    for (const auto& outcome : RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run))) {
        const auto& path = outcome.item.originalPath;
        if (path == pending[0] || path == pending[1]) {
            ASSERT_TRUE(outcome.refusal()) << path;
            EXPECT_EQ(*outcome.refusal(), Refusal::missingFromTrash()) << path;
        } else if (path == pending[2]) {
            ASSERT_TRUE(outcome.refusal());
            EXPECT_EQ(*outcome.refusal(), Refusal::stillInPlace());
        } else {
            EXPECT_TRUE(outcome.restored()) << path;
        }
    }
}

// The figures of a crashed run count what reached the Trash, not what was only recorded.
TEST(CrashedRunFigures, CountOnlyWhatMoved) {
    CrashHome home;
    const auto paths = home.folders(16);
    const SweepRun stored = home.crashAfter(paths, 2);
    ASSERT_EQ(stored.receipt.movedCount, 16); // as written ahead of the moves

    const auto runs = CrashedRuns::settled({stored});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].receipt.movedCount, 2);
    EXPECT_EQ(runs[0].receipt.movedBytes, sizeOf(paths, 2));
    ASSERT_EQ(runs[0].moved.size(), 2u);
    for (const auto& item : runs[0].moved) {
        EXPECT_FALSE(item.isPending());
        EXPECT_TRUE(test::exists(item.trashPath)) << item.trashPath;
    }
    EXPECT_FALSE(runs[0].finished);
    EXPECT_EQ(runs[0].id, stored.id);

    // Put back from the settled run, every item it lists comes back.
    for (const auto& outcome : RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0])))
        EXPECT_TRUE(outcome.restored()) << outcome.item.originalPath;
}

// A finished run and one recorded before items were recorded ahead of their moves are
// left exactly as stored, and nothing on disk changes.
TEST(CrashedRunFigures, RunsWithNothingPendingStayAsStored) {
    CrashHome home;
    SweepRun finished;
    finished.moved = {MovedItem{home.work + "/gone", home.trash + "/files/gone", 10}};
    finished.receipt.movedCount = 7; // whatever was written stays
    finished.receipt.movedBytes = 70;
    const auto info = home.reservation(home.work + "/unrelated");
    EXPECT_EQ(CrashedRuns::settled({finished}), std::vector<SweepRun>{finished});
    EXPECT_TRUE(test::exists(info));
}

// A kill between writing an item's record and its rename leaves a record of nothing,
// which file managers list as an item. Putting the run back removes it, however young,
// while other programs' records and Sorvel's records of items present stay.
TEST(CrashedRunRecords, PuttingTheRunBackRemovesItsRecordsOfNothing) {
    CrashHome home;
    const auto paths = home.folders(16);
    const SweepRun run = home.crashAfter(paths, 2);
    std::string halfway;
    for (const auto& item : run.moved)
        if (item.isPending() && test::exists(item.originalPath)) halfway = item.originalPath;
    ASSERT_FALSE(halfway.empty());
    const std::string phantom = home.reservation(halfway);
    const std::string theirs = home.trash + "/info/theirs.trashinfo";
    test::writeFile(theirs, TrashInfo::text(home.work + "/theirs", 0));
    test::writeFile(home.work + "/kept/f", "k");
    ASSERT_TRUE(test::moveToTrash(home.work + "/kept").moved());

    const auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
    EXPECT_EQ(count(outcomes, std::nullopt), 2u);
    EXPECT_FALSE(test::exists(phantom));
    EXPECT_TRUE(test::exists(theirs));
    EXPECT_TRUE(test::exists(home.trash + "/info/kept.trashinfo"));
    EXPECT_TRUE(test::exists(home.trash + "/files/kept"));
    EXPECT_TRUE(test::exists(halfway + "/f"));
}

// While a move into the Trash is halfway (it holds the lock from its record to its
// rename), its young record is its reservation and stays; an old one still goes.
TEST(CrashedRunRecords, AMoveHalfwayKeepsItsReservation) {
    CrashHome home;
    const std::string young = home.reservation(home.work + "/young");
    const std::string old = home.reservation(home.work + "/old");
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
    {
        std::string error;
        auto folder = Trash::openHome(false, Trash::Use::moveInto, error);
        ASSERT_TRUE(folder) << error;
        const Trash::MovesLock moving(*folder, Trash::MovesLock::Mode::shared);
        ASSERT_TRUE(moving.held());
        EXPECT_EQ(Trash::Records({home.work + "/young"}).removeOrphans(), 1);
        EXPECT_TRUE(test::exists(young));
        EXPECT_FALSE(test::exists(old));
    }
    EXPECT_EQ(Trash::Records({}).removeOrphans(), 1); // the move is over
    EXPECT_FALSE(test::exists(young));
}

// A taken name makes a move pick "name 2", "name 3", ...: an item recorded ahead of its
// move is found under whichever it got, among records of the same names that are not its.
TEST(CrashedRunRecords, ItemsAreFoundUnderEveryNameAMoveCouldGive) {
    struct Case {
        std::string name;       // the item's own name
        std::string trashName;  // the name it got in the Trash
        std::vector<std::string> takenBefore;
    };
    const std::vector<Case> cases{
        {"a", "a", {}},
        {"b", "b 3", {"b", "b 2"}},
        {"c 2", "c 2 2", {"c 2"}},
        {"d 2", "d 2", {"d"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CrashHome home;
        for (const auto& taken : c.takenBefore) {
            test::writeFile(home.work + "/other/" + taken + "/f", "other");
            ASSERT_TRUE(test::moveToTrash(home.work + "/other/" + taken).moved());
        }
        const std::string original = home.work + "/" + c.name;
        test::writeFile(original + "/f", "mine");
        const auto identity = Trash::identityOf(original);
        const auto moved = test::moveToTrash(original);
        ASSERT_TRUE(moved.moved());
        ASSERT_EQ(*moved.trashPath, home.trash + "/files/" + c.trashName);

        const Trash::Records records({original});
        EXPECT_EQ(records.findMoved(original, identity, true), *moved.trashPath);
        EXPECT_EQ(records.findMoved(home.work + "/other/" + c.name, identity, true), std::nullopt);
        EXPECT_EQ(Trash::findMoved(original, identity, true), *moved.trashPath);
    }
}
