// A history that cannot be written (its disk full, its folder read-only): nothing moves
// that is not recorded ahead, what moved before stays listed, and the sentence says what
// moved, what is recorded and what stayed. A real small file system in the test's own
// mount namespace holds the history.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "RunHome.h"
#include "platform/FileDescriptor.h"
#include "removal/CrashedRuns.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;
using PathSize = CleanupExecutor::PathSize;

namespace {

enum class Block { full, readOnly };
enum class When { fromTheStart, afterTheFirstBatch, afterTheLastBatch };

// Takes away every byte the history's file system has left, or all writing to it.
bool block(const std::string& folder, Block how) {
    // Read-only through a bind of its own, whatever is open on it.
    if (how == Block::readOnly)
        return ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
               ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    const FileDescriptor fd(::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    static const std::string chunk(4096, 'f');
    while (fd.valid() && ::write(fd.get(), chunk.data(), chunk.size()) > 0) {
    }
    return fd.valid() && errno == ENOSPC;
}

int failures = 0;
void check(bool ok, const std::string& what) {
    if (!ok) ++failures, std::fprintf(stderr, "failed: %s\n", what.c_str());
}

size_t countIn(const std::string& folder) {
    return fs::exists(folder) ? static_cast<size_t>(std::distance(fs::directory_iterator(folder), {})) : 0;
}

} // namespace

TEST(HistoryFull, NothingMovesThatIsNotRecordedAhead) {
    const size_t kItems = RemovalRun::kFirstBatch + 24;
    struct Case {
        const char* what;
        Block how;
        When when;
        size_t moved;
        std::string said;
    };
    const std::string nothing = "so nothing was moved: Sorvel moves nothing it cannot record.";
    const std::string stopped = "so Sorvel stopped moving: the 16 items it moved are recorded and can be put back "
                                "from there, and the 24 items not yet moved are still in their places.";
    const std::string unfinished = "so History shows it as not finished: what it moved was recorded before it moved "
                                   "and can be put back from there.";
    const Case cases[] = {
        {"disk full from the start", Block::full, When::fromTheStart, 0,
         "Sorvel could not save this run to its history (No space left on device), " + nothing},
        {"read-only from the start", Block::readOnly, When::fromTheStart, 0,
         "Sorvel could not save this run to its history (Read-only file system), " + nothing},
        {"disk filled by the first batch", Block::full, When::afterTheFirstBatch, RemovalRun::kFirstBatch,
         "Sorvel could not save the rest of this run to its history (No space left on device), " + stopped},
        {"made read-only after the first batch", Block::readOnly, When::afterTheFirstBatch, RemovalRun::kFirstBatch,
         "Sorvel could not save the rest of this run to its history (Read-only file system), " + stopped},
        {"disk filled by the last batch", Block::full, When::afterTheLastBatch, kItems,
         "Sorvel could not save the end of this run to its history (No space left on device), " + unfinished},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::RunHome home;
        const std::string folder = fs::path(SweepHistory::filePath()).parent_path();
        test::makeDirs(folder);
        const auto items = home.folders(static_cast<int>(kItems));
        const int status = test::inMountNamespace([&] {
            failures = 0;
            if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k") != 0) return test::kSkipped;
            auto request = home.request(items);
            size_t done = 0;
            request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                                const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
                auto outcomes = CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
                done += chunk.size();
                if ((c.when == When::afterTheFirstBatch && done == chunk.size()) ||
                    (c.when == When::afterTheLastBatch && done == items.size()))
                    check(block(folder, c.how), "blocked");
                return outcomes;
            };
            if (c.when == When::fromTheStart && !block(folder, c.how)) return test::kSkipped;
            const auto result = RemovalRun::moveAndRecord(std::move(request));

            check(result.saveError == c.said, result.saveError.value_or("no error"));
            size_t moved = 0;
            for (const auto& outcome : result.outcomes) {
                if (outcome.moved()) ++moved;
                else check(outcome.failure() && *outcome.failure() == c.said, outcome.path + " not told why");
            }
            check(moved == c.moved, "moved " + std::to_string(moved));
            check(countIn(home.trash + "/files") == c.moved, "in the Trash");
            for (size_t i = c.moved; i < items.size(); ++i)
                check(test::exists(items[i].path + "/f"), items[i].path + " left its place");
            // Every item in the Trash is listed where History finds it, with its place there.
            const auto runs = CrashedRuns::settled(SweepHistory::load());
            check(runs.size() == (c.moved ? 1u : 0u), "runs stored: " + std::to_string(runs.size()));
            if (!runs.empty()) {
                check(runs[0].moved.size() == c.moved, "listed: " + std::to_string(runs[0].moved.size()));
                for (const auto& item : runs[0].moved)
                    check(test::exists(item.trashPath + "/f"), item.originalPath + " not found in the Trash");
            }
            return failures ? 1 : 0;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "no mount namespace or tmpfs here";
        EXPECT_EQ(status, 0);
    }
}
