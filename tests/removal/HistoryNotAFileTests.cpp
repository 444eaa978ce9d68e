// Something other than a file in place of the history file or its lock: a move that could
// record itself nowhere does not start and says why, and nothing waits on a pipe there.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

#include "RunHome.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct Occupant {
    const char* name;
    bool lock; // in place of the lock, else of the file itself
    std::function<int(const std::string&)> make;
    const char* said;
};

const Occupant kOccupants[] = {
    {"a pipe as the file", false, [](const std::string& p) { return ::mkfifo(p.c_str(), 0600); }, "a named pipe"},
    {"a folder as the file", false, [](const std::string& p) { return ::mkdir(p.c_str(), 0700); }, "a folder"},
    {"a pipe as the lock", true, [](const std::string& p) { return ::mkfifo(p.c_str(), 0600); }, "a named pipe"},
    {"a link as the lock", true, [](const std::string& p) { return ::symlink("elsewhere", p.c_str()); },
     "a symbolic link"},
    {"a folder as the lock", true, [](const std::string& p) { return ::mkdir(p.c_str(), 0700); }, "a folder"},
};

// Lets go of whoever opened the pipe and waits on it, so a test that failed still ends.
void freePipe(const std::string& path) {
    for (const int flags : {O_WRONLY | O_NONBLOCK, O_RDONLY | O_NONBLOCK}) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
}

template <class Call> auto within(Call call, const std::string& pipe) {
    auto future = std::async(std::launch::async, call);
    const bool ended = future.wait_for(20s) == std::future_status::ready;
    if (!ended) freePipe(pipe);
    auto value = future.get();
    return ended ? std::optional<decltype(value)>(std::move(value)) : std::nullopt;
}

size_t inTrash(const test::RunHome& home) {
    return fs::exists(home.trash + "/files") ? std::distance(fs::directory_iterator(home.trash + "/files"), {}) : 0;
}

} // namespace

TEST(HistoryNotAFile, AMoveThatCouldRecordItselfNowhereDoesNotStart) {
    for (const auto& occupant : kOccupants) {
        SCOPED_TRACE(occupant.name);
        test::RunHome home;
        test::makeDirs(fs::path(SweepHistory::filePath()).parent_path());
        const std::string place = SweepHistory::filePath() + (occupant.lock ? ".lock" : "");
        ASSERT_EQ(occupant.make(place), 0);
        EXPECT_NE(SweepHistory::notAFile(true).value_or("").find(occupant.said), std::string::npos);
        const auto items = home.folders(3);

        const auto read = within([] { return SweepHistory::read().runs.size(); }, place);
        ASSERT_TRUE(read.has_value()) << "a read waited on it";
        EXPECT_EQ(*read, 0u);
        const auto result = within([&] { return RemovalRun::moveAndRecord(home.request(items)); }, place);
        ASSERT_TRUE(result.has_value()) << "a move waited on it";
        const auto said = SweepHistory::notAFile(true);
        ASSERT_TRUE(said);
        EXPECT_EQ(result->saveError, said);
        EXPECT_NE(said->find("nothing was moved"), std::string::npos) << *said;
        ASSERT_EQ(result->outcomes.size(), items.size());
        for (const auto& outcome : result->outcomes) {
            ASSERT_NE(outcome.failure(), nullptr) << outcome.path;
            EXPECT_EQ(*outcome.failure(), *said);
        }
        for (const auto& item : items) EXPECT_TRUE(test::exists(item.path + "/f")) << item.path;
        EXPECT_EQ(inTrash(home), 0u);

        fs::remove_all(place);
        EXPECT_EQ(SweepHistory::notAFile(true), std::nullopt);
        EXPECT_EQ(RemovalRun::moveAndRecord(home.request(items)).saveError, std::nullopt) << "once it is gone";
        EXPECT_EQ(inTrash(home), items.size());
        ASSERT_EQ(SweepHistory::load().size(), 1u);
        EXPECT_EQ(SweepHistory::load()[0].moved.size(), items.size());
    }
}

// Put in place part way: the moves stop before the next batch, which stays put.
TEST(HistoryNotAFile, AMoveStopsWhenAPipeTakesTheFilesPlacePartWay) {
    test::RunHome home;
    const auto items = home.folders(static_cast<int>(RemovalRun::kFirstBatch) + 4);
    auto request = home.request(items);
    int batches = 0;
    std::string recorded;
    request.mover = [&](const std::vector<CleanupExecutor::PathSize>& chunk, const CleanupPolicy& policy,
                        const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        if (++batches == 1) {
            recorded = test::readFile(SweepHistory::filePath());
            fs::remove(SweepHistory::filePath());
            ::mkfifo(SweepHistory::filePath().c_str(), 0600);
        }
        return CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
    };
    const auto result = within([&] { return RemovalRun::moveAndRecord(std::move(request)); }, SweepHistory::filePath());
    ASSERT_TRUE(result.has_value()) << "the move waited on the pipe";
    EXPECT_EQ(batches, 1);
    EXPECT_EQ(result->saveError, SweepHistory::notAFile(false));
    EXPECT_EQ(inTrash(home), RemovalRun::kFirstBatch);
    for (size_t i = RemovalRun::kFirstBatch; i < items.size(); ++i) EXPECT_TRUE(test::exists(items[i].path + "/f"));
    EXPECT_NE(recorded.find(items[0].path), std::string::npos) << "the first batch was recorded ahead";
}
