// A run killed mid-batch, put back: the items it recorded but never moved are said to be
// still in their places, and the records of nothing its moves left in the Trash go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>

#include "platform/TrashInfo.h"
#include "platform/TrashRecords.h"
#include "removal/CrashedRuns.h"
#include "removal/RemovalRun.h"
#include "removal/RestoreExecutor.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"
#include "RunHome.h"

using namespace sorvel;
namespace fs = std::filesystem;
using PathSize = CleanupExecutor::PathSize;
using Refusal = RestoreGuard::Refusal;

// Killed once 2 of its 16 items are in the Trash: those come back; the rest never left
// their places and are said so, but for one removed meanwhile. A record the kill left
// naming nothing goes; another program's record and an older item stay.
TEST(CrashedRunPutBack, ItemsNeverMovedAreStillInPlaceAndRecordsOfNothingGo) {
    test::RunHome home;
    test::writeFile(home.work + "/old/d0/f", "old"); // the run's own "d0" becomes "d0 2"
    ASSERT_TRUE(test::moveToTrash(home.work + "/old/d0").moved());
    auto request = home.request(home.folders(16));
    request.mover = [](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                       const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        CleanupExecutor::run({chunk[0], chunk[1]}, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
        ::_exit(0); // as a kill: nothing after the moves is written
        return std::vector<CleanupOutcome>{};
    };
    ASSERT_EQ(test::runInChild([&] { return RemovalRun::moveAndRecord(std::move(request)), 1; }), 0);
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    const std::string phantom = home.reservation("d2");
    const std::string theirs = home.info + "theirs.trashinfo";
    test::writeFile(theirs, TrashInfo::text(home.work + "/theirs", 0));
    fs::remove_all(home.work + "/d3");

    const auto outcomes = RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0]));
    ASSERT_EQ(outcomes.size(), 16u);
    for (const auto& outcome : outcomes) {
        const std::string name = fs::path(outcome.item.originalPath).filename();
        const bool moved = name == "d0" || name == "d1";
        const auto expected = name == "d3" ? Refusal::missingFromTrash() : Refusal::stillInPlace();
        EXPECT_EQ(outcome.restored() ? "put back" : outcome.refusal() ? outcome.refusal()->description() : "failed",
                  moved ? "put back" : expected.description()) << name;
        EXPECT_EQ(test::exists(outcome.item.originalPath + "/f"), name != "d3") << name;
    }
    EXPECT_NE(Refusal::stillInPlace().description().find("the run stopped before moving it"), std::string::npos);
    EXPECT_FALSE(test::exists(phantom));
    EXPECT_TRUE(test::exists(theirs));
    EXPECT_TRUE(test::exists(home.info + "d0.trashinfo"));
    EXPECT_EQ(test::readFile(home.trash + "/files/d0/f"), "old");
}

// While a move into the Trash is halfway (it holds the lock from its record to its
// rename), any record may be its reservation and stays, however old.
TEST(CrashedRunRecords, AMoveHalfwayKeepsItsReservation) {
    test::RunHome home;
    test::makeDirs(home.trash + "/files");
    const std::string young = home.reservation("young"), old = home.reservation("old");
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), times, 0), 0);
    {
        std::string error;
        const auto folder = Trash::openHome(false, Trash::Use::moveInto, error);
        ASSERT_TRUE(folder) << error;
        const Trash::MovesLock moving(*folder, Trash::MovesLock::Mode::shared);
        ASSERT_TRUE(moving.held());
        EXPECT_EQ(Trash::Records({}).removeOrphans(), 0);
        EXPECT_TRUE(test::exists(young));
        EXPECT_TRUE(test::exists(old));
    }
    EXPECT_EQ(Trash::Records({}).removeOrphans(), 2); // the move is over
    EXPECT_FALSE(test::exists(young));
    EXPECT_FALSE(test::exists(old));
}

// A record a mover created and was killed before writing is given back by the tidy at the
// next start, as Sorvel's records of nothing are; one younger than a moment may be another
// program's being written, and another program's written record stays.
TEST(CrashedRunRecords, ARecordLeftEmptyByAKilledMoverGoesAtTheStart) {
    struct Case {
        const char* what;
        bool written;     // else created and left empty by a killed process
        bool sorvels;     // written by Sorvel
        time_t age;       // seconds
        bool goes;
    };
    const Case cases[] = {
        {"left empty by a killed mover", false, false, 60, true},
        {"left empty a moment ago", false, false, 0, false},
        {"Sorvel's, naming nothing", true, true, 60, true},
        {"another program's, naming nothing", true, false, 60, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::RunHome home;
        test::makeDirs(home.trash + "/files");
        test::makeDirs(home.info);
        const std::string record = home.info + "item.trashinfo";
        if (c.written) {
            test::writeFile(record, c.sorvels ? TrashInfo::sorvelText(home.work + "/item", 0)
                                              : TrashInfo::text(home.work + "/item", 0));
        } else {
            // Created the way a move reserves its name, then the process is killed.
            ASSERT_EQ(test::runInChild([&] {
                          const int fd = ::open(record.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
                          if (fd >= 0) ::raise(SIGKILL);
                          return 1;
                      }),
                      -1);
        }
        const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - c.age, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, record.c_str(), times, 0), 0);
        CrashedRuns::tidy();
        EXPECT_EQ(test::exists(record), !c.goes);
    }
}

// Killed with 3 of its 6 files in the Trash while an app appends to every one of them, in
// the Trash and in place: the tidy finds each where it is by what it is, counts only those
// in the Trash, and a put back brings those back and says the others never left.
TEST(CrashedRunPutBack, FilesWrittenToSinceTheirRecordAreFoundWhereTheyAre) {
    test::RunHome home;
    std::vector<PathSize> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back({home.work + "/live" + std::to_string(i) + ".log", 0});
        test::writeFile(files.back().path, "line\n");
    }
    const auto append = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        const bool written = fd >= 0 && ::write(fd, "more\n", 5) == 5;
        if (fd >= 0) ::close(fd);
        return written;
    };
    auto request = home.request(files);
    request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                        const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        const auto outcomes = CleanupExecutor::run({chunk[0], chunk[1], chunk[2]}, CleanupExecutor::Mode::moveToTrash,
                                                   policy, cloud, progress);
        for (const auto& outcome : outcomes)
            if (!outcome.moved() || !append(std::get<CleanupOutcome::MovedToTrash>(outcome.result).trashPath))
                ::_exit(2);
        for (size_t i = 3; i < chunk.size(); ++i)
            if (!append(chunk[i].path)) ::_exit(2);
        ::_exit(0); // as a kill: nothing after the moves is written
        return std::vector<CleanupOutcome>{};
    };
    ASSERT_EQ(test::runInChild([&] { return RemovalRun::moveAndRecord(std::move(request)), 1; }), 0);
    CrashedRuns::tidy();
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].receipt.movedCount, 3);
    size_t placed = 0;
    for (const auto& item : runs[0].moved)
        if (!item.isPending()) {
            ++placed;
            EXPECT_EQ(test::readFile(item.trashPath), "line\nmore\n");
        }
    EXPECT_EQ(placed, 3u);

    const auto outcomes = RestoreExecutor::run(runs[0].moved, RestoreExecutor::policyFor(runs[0]));
    ASSERT_EQ(outcomes.size(), 6u);
    size_t back = 0, inPlace = 0;
    for (const auto& outcome : outcomes) {
        back += outcome.restored();
        inPlace += outcome.refusal() && *outcome.refusal() == Refusal::stillInPlace();
        EXPECT_EQ(test::readFile(outcome.item.originalPath), "line\nmore\n");
    }
    EXPECT_EQ(back, 3u);
    EXPECT_EQ(inPlace, 3u);
}
