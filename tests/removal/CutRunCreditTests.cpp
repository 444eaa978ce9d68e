// A run killed mid-move claims, in every reading of the history, exactly what it moved:
// never the same items moved by a later run, never an item that vanished unmoved, and past
// the items a run keeps in detail its counts lose the unmoved ones once.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <signal.h>

#include "RunHome.h"
#include "removal/CrashedRuns.h"
#include "removal/RestoreRun.h"
#include "support/ChildProcess.h"

using namespace sorvel;
using PathSize = CleanupExecutor::PathSize;
using Counts = std::pair<int64_t, int64_t>;

namespace {

constexpr const char* kRole = "cut-after-";

// Work/d<i>, each of its own size as a scan gave it, moved whatever it measures now.
RemovalRun::Request request(const std::string& work, int count) {
    RemovalRun::Request r;
    for (int i = 0; i < count; ++i) r.paths.push_back({work + "/d" + std::to_string(i), 1'000 + i});
    r.policy = CleanupPolicy::standard().allowing({work});
    r.policy.sizeDriftTolerance = 1e9;
    r.run.allowedRoots = r.policy.allowedRoots;
    return r;
}

// The child keeps its receipt ahead, as a sweep does, and is killed once `killAfter` moved.
int moveThenDie(int count, int killAfter) {
    const std::string work = std::string(std::getenv("HOME")) + "/Work";
    SweepReceipt ahead;
    ahead.cutShort = true;
    if (!SweepReceipt::record(ahead)) return 3;
    RemovalRun::Request request = ::request(work, count);
    request.receipt = [ahead](const std::vector<CleanupOutcome>&) { return ahead; };
    request.mover = test::killedAfter(killAfter);
    (void)RemovalRun::moveAndRecord(std::move(request));
    return 0; // never killed: the test fails on the status
}

// The cut run as stored, or as a window that reads it without tidying.
SweepRun cutRun(bool settled, const UUID& id) {
    auto runs = settled ? CrashedRuns::settled(SweepHistory::load()) : SweepHistory::load();
    for (const auto& run : runs)
        if (run.id == id) return run;
    return {};
}

Counts of(const SweepReceipt& receipt) { return {receipt.movedCount, receipt.movedBytes}; }

} // namespace

TEST(CutRunCredit, ClaimsExactlyWhatItMovedInEverySession) {
    enum class Then { againAfterTheStart, againBeforeTheStart, unmovedVanish };
    const struct Case {
        const char* what;
        int count, killAfter;
        Then then;
    } cases[] = {
        {"the same cleanup done again after the start", 24, 15, Then::againAfterTheStart},
        {"the same cleanup done again in another session before the start", 24, 18, Then::againBeforeTheStart},
        {"the unmoved items of the batch under way vanish before the start", 24, 18, Then::unmovedVanish},
        {"past the 2,000 items a run keeps, done again after the start", 2'300, 2'100, Then::againAfterTheStart},
    };
    if (const std::string role = test::testRole(); role.starts_with(kRole) && test::isRole(role)) {
        const Case& c = cases[std::stoul(role.substr(std::strlen(kRole)))];
        test::endAs(moveThenDie(c.count, c.killAfter));
    }
    for (size_t index = 0; index < std::size(cases); ++index) {
        const Case& c = cases[index];
        SCOPED_TRACE(c.what);
        test::RunHome home;
        const auto paths = request(home.work, c.count).paths;
        for (const auto& item : paths) test::writeFile(item.path + "/f", "x");
        ASSERT_EQ(test::runTestInNewProcess(kRole + std::to_string(index), std::chrono::minutes(3)), -1);
        Counts moved;
        std::vector<std::string> left;
        for (const auto& item : paths)
            if (test::exists(item.path)) left.push_back(item.path);
            else moved = {moved.first + 1, moved.second + item.size};
        ASSERT_EQ(moved.first, c.killAfter);
        const UUID id = SweepHistory::load().at(0).id;
        EXPECT_EQ(of(cutRun(true, id).receipt), moved) << "another session, before the start";

        std::optional<SweepRun> again;
        const auto doAgain = [&] { again = RemovalRun::moveAndRecord(request(home.work, c.count)).run; };
        if (c.then == Then::againBeforeTheStart) doAgain();
        if (c.then == Then::unmovedVanish)
            for (const auto& path : left) std::filesystem::remove_all(path);
        for (int start = 0; start < 2; ++start) {
            CrashedRuns::tidy();
            (void)CrashedRuns::settleLastSweep();
            if (c.then == Then::againAfterTheStart && !again) doAgain();
            EXPECT_EQ(of(cutRun(false, id).receipt), moved) << "as stored, start " << start;
            EXPECT_EQ(of(cutRun(true, id).receipt), moved) << "as read again, start " << start;
            EXPECT_EQ(of(SweepReceipt::loadLast().value_or(SweepReceipt{})), moved) << "the receipt, start " << start;
        }
        EXPECT_EQ(again ? again->receipt.movedCount : 0, again ? static_cast<int64_t>(left.size()) : 0);
        const SweepRun stored = cutRun(false, id);
        if (!stored.hasDetail) continue; // not put back from History
        int back = 0;
        for (const auto& outcome : RestoreRun::putBack(stored, stored.moved).outcomes) {
            back += outcome.restored();
            EXPECT_FALSE(outcome.refusal() && *outcome.refusal() == RestoreGuard::Refusal::missingFromTrash());
        }
        EXPECT_EQ(back, c.killAfter);
        for (const auto& item : again ? again->moved : std::vector<MovedItem>{})
            EXPECT_TRUE(test::exists(item.trashPath)) << "another run's item stays in the Trash";
    }
}
