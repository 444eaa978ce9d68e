// A run keeps what it moved whoever else records meanwhile: the newest-runs rule and the
// run cap wait until it has settled (finished, or cut short and tidied). A mover killed
// while others record leaves every item it moved listed, so it can be put back.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>

#include "RunHome.h"
#include "platform/UserDefaults.h"
#include "removal/CrashedRuns.h"
#include "removal/RestoreExecutor.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using PathSize = CleanupExecutor::PathSize;

namespace {

SweepRun runOf(const std::string& scope, int items) {
    SweepRun run;
    run.scope = scope;
    for (int i = 0; i < items; ++i)
        run.moved.push_back(
            {"/home/u/Work/" + scope + std::to_string(i), "/home/u/.Trash/" + scope + std::to_string(i), 1});
    run.recount();
    return run;
}

struct State {
    const char* name;
    bool finished;
    bool cutShortAndTidied;
    bool moverHolds;       // this process moves it, holding its lock
    bool keepsWhatItLists; // past the newest runs and past the cap
};

const State kStates[] = {
    {"still being moved", false, false, true, true},
    {"cut short, not yet tidied", false, false, false, true},
    {"cut short and tidied", false, true, false, false},
    {"finished", true, false, false, false},
};

// Puts `count` runs ahead of the stored ones in one write, as if recorded since.
void recordedSince(size_t count) {
    nlohmann::json list = nlohmann::json::array();
    for (size_t i = 0; i < count; ++i) list.push_back(runOf("more", 0).toJSON());
    for (const auto& run : SweepHistory::load()) list.push_back(run.toJSON());
    ASSERT_TRUE(UserDefaults(SweepHistory::filePath()).set("SorvelSweepHistory", list));
}

std::optional<SweepRun> stored(const UUID& id) {
    for (const auto& run : SweepHistory::load())
        if (run.id == id) return run;
    return std::nullopt;
}

} // namespace

// Both ways a record is written (a stream through the file, or the whole list).
TEST(UnsettledRun, TheBoundsWaitUntilTheRunHasSettled) {
    for (const bool streamed : {true, false}) {
        UserDefaults::setStreamedLists(streamed);
        for (const auto& state : kStates) {
            SCOPED_TRACE(std::string(state.name) + (streamed ? ", streamed" : ", whole"));
            test::RunHome home;
            SweepRun target = runOf("target", 3);
            target.finished = state.finished;
            target.receipt.cutShort = state.cutShortAndTidied;
            std::optional<RemovalRun::Owner> mover;
            if (state.moverHolds) mover.emplace(target.id);
            ASSERT_TRUE(SweepHistory::store(target));
            for (int i = 0; i < 25; ++i) ASSERT_TRUE(SweepHistory::store(runOf("other", 1)));
            auto now = stored(target.id);
            ASSERT_TRUE(now);
            EXPECT_EQ(now->moved.size(), state.keepsWhatItLists ? 3u : 0u);
            EXPECT_EQ(now->hasDetail, state.keepsWhatItLists);
            EXPECT_EQ(SweepHistory::load().at(20).moved.size(), 0u) << "a settled run at 20 is trimmed all the same";

            recordedSince(SweepHistory::kMaximumRuns);
            ASSERT_TRUE(SweepHistory::store(runOf("newest", 0)));
            EXPECT_EQ(stored(target.id).has_value(), state.keepsWhatItLists) << "past the run cap";
            EXPECT_EQ(SweepHistory::load().size(), SweepHistory::kMaximumRuns + (state.keepsWhatItLists ? 1 : 0));
            if (!state.keepsWhatItLists) continue;

            // Settled by its mover in place: the next record takes it as it takes any other.
            mover.reset();
            target.finished = true;
            ASSERT_TRUE(SweepHistory::store(target));
            ASSERT_TRUE(SweepHistory::store(runOf("after", 0)));
            EXPECT_FALSE(stored(target.id).has_value()) << "settled, it goes with the cap";
            EXPECT_EQ(SweepHistory::load().size(), SweepHistory::kMaximumRuns);
        }
    }
    UserDefaults::setStreamedLists(true);
}

// The mover in a process of its own: its first batch moved and recorded, its second moved
// but not yet written down, when this process records 25 runs and then kills it. Every
// item it moved is still listed, and put back.
TEST(UnsettledRun, AMoverKilledWhileAnotherProcessRecordsLeavesEveryMovedItemListed) {
    constexpr size_t kItems = RemovalRun::kFirstBatch * 3; // two batches: 16, then 32
    const auto workOf = [](const std::string& home) { return home + "/Work"; };
    const auto pidFile = [](const std::string& home) { return home + "/mover.pid"; };
    if (test::isRole("mover")) {
        const std::string home = std::getenv("HOME");
        RemovalRun::Request request;
        for (size_t i = 0; i < kItems; ++i) request.paths.push_back({workOf(home) + "/d" + std::to_string(i), 0});
        request.policy = CleanupPolicy::standard().allowing({workOf(home)});
        request.run.scope = "held mover";
        request.run.allowedRoots = request.policy.allowedRoots;
        int batches = 0;
        request.mover = [&](const std::vector<PathSize>& chunk, const CleanupPolicy& policy,
                            const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
            auto outcomes = CleanupExecutor::run(chunk, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
            if (++batches == 2) {
                // Whole when it appears: written aside, then renamed into place.
                test::writeFile(pidFile(home) + ".new", std::to_string(::getpid()));
                std::filesystem::rename(pidFile(home) + ".new", pidFile(home));
                for (;;) ::pause(); // killed here, its second batch in the Trash unrecorded
            }
            return outcomes;
        };
        RemovalRun::moveAndRecord(std::move(request));
        test::endAs(4); // never held
    }
    test::RunHome home;
    home.folders(static_cast<int>(kItems));
    auto mover = std::async(std::launch::async, [] { return test::runTestInNewProcess("mover", 120s); });
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!test::exists(pidFile(home.h)) && std::chrono::steady_clock::now() < deadline &&
           mover.wait_for(10ms) == std::future_status::timeout) {
    }
    ASSERT_TRUE(test::exists(pidFile(home.h))) << "the mover never reached its second batch";
    const pid_t pid = std::stoi(test::readFile(pidFile(home.h)));
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(SweepHistory::store(runOf("recorded meanwhile", 1)));
    const auto listed = SweepHistory::load();
    ASSERT_EQ(listed.size(), 26u);
    EXPECT_EQ(listed.back().scope, "held mover");
    EXPECT_EQ(listed.back().moved.size(), kItems) << "detail kept while it moves";
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    EXPECT_EQ(mover.get(), -1);

    // The next start tidies it and counts what really moved; every item comes back.
    EXPECT_EQ(CrashedRuns::tidy().runsRewritten, 1);
    const auto run = SweepHistory::load().back();
    ASSERT_EQ(run.scope, "held mover");
    EXPECT_EQ(run.receipt.movedCount, static_cast<int64_t>(kItems));
    const auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
    size_t back = 0;
    for (const auto& outcome : outcomes) back += outcome.restored() ? 1 : 0;
    EXPECT_EQ(back, kItems) << "every moved item put back";
    for (size_t i = 0; i < kItems; ++i) EXPECT_TRUE(test::exists(home.work + "/d" + std::to_string(i) + "/f")) << i;
}
