// A run killed having moved no more items than a run keeps in detail lists every item it
// moved, and History can put them all back, whichever batch the kill came in.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cstdio>
#include <cstring>

#include "RunHome.h"
#include "removal/CrashedRuns.h"
#include "removal/RestoreRun.h"
#include "support/ChildProcess.h"

using namespace sorvel;

namespace {

constexpr const char* kRole = "cut-under-the-cap-";
constexpr int kItems = 2'600;

int moveThenDie(int killAfter) {
    const std::string work = std::string(std::getenv("HOME")) + "/Work";
    RemovalRun::Request request;
    for (int i = 0; i < kItems; ++i) request.paths.push_back({work + "/d" + std::to_string(i), 0});
    request.policy = CleanupPolicy::standard().allowing({work});
    request.run.allowedRoots = request.policy.allowedRoots;
    request.mover = test::killedAfter(killAfter);
    (void)RemovalRun::moveAndRecord(std::move(request));
    return 0; // never killed: the test fails on the status
}

} // namespace

TEST(CutUnderTheCap, ARunCutShortUnderTheCapIsListedWholeAndPutBackWhole) {
    // Killed within the batch that crosses the cap, and just as it reaches the cap.
    const int kills[] = {1'801, 2'000};
    if (const std::string role = test::testRole(); role.starts_with(kRole) && test::isRole(role))
        test::endAs(moveThenDie(std::stoi(role.substr(std::strlen(kRole)))));
    test::TempDir scratch;
    const int status = test::inMountNamespace([&] {
        // On a memory file system of its own: thousands of records, each synced.
        if (::mount("tmpfs", scratch.path().c_str(), "tmpfs", 0, "size=256m") != 0) return test::kSkipped;
        const test::ScopedEnv tmp("TMPDIR", scratch.path());
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what, int64_t was) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s: %lld\n", what.c_str(), static_cast<long long>(was));
        };
        for (const int killAfter : kills) {
            const std::string after = "killed after " + std::to_string(killAfter) + ": ";
            test::RunHome home;
            (void)home.folders(kItems);
            const int killed = test::runTestInNewProcess(kRole + std::to_string(killAfter), std::chrono::minutes(5));
            expect(killed == -1, after + "the mover ended with", killed);
            CrashedRuns::tidy();
            const SweepRun run = CrashedRuns::settled(SweepHistory::load()).at(0);
            expect(run.hasDetail, after + "its list trimmed", run.hasDetail);
            expect(run.receipt.movedCount == killAfter, after + "counted", run.receipt.movedCount);
            expect(run.moved.size() == static_cast<size_t>(killAfter), after + "listed",
                   static_cast<int64_t>(run.moved.size()));
            int restored = 0;
            for (const auto& outcome : RestoreRun::putBack(run, run.moved).outcomes) restored += outcome.restored();
            expect(restored == killAfter, after + "put back", restored);
        }
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount a memory file system in a mount namespace here";
    EXPECT_EQ(status, 0);
}
