// A run cut short keeps its items listed while their place or their Trash cannot be read
// (the disk unplugged, the Trash unusable, another home Trash named), and settles them at
// the tidy after they can; and an item counts in one run only, the one whose record its
// Trash entry carries.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "RunHome.h"
#include "removal/CrashedRuns.h"
#include "removal/RestoreRun.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

constexpr const char* kRole = "kept-while-away";
constexpr int kItems = 3;

// Moves the items of the folder `SORVEL_TEST_WORK` (d0, d1, ...) and is killed once the first reached the Trash.
int moveOneThenDie() {
    const std::string work = std::getenv("SORVEL_TEST_WORK");
    RemovalRun::Request request;
    for (int i = 0; i < kItems; ++i) request.paths.push_back({work + "/d" + std::to_string(i), 0});
    request.policy = CleanupPolicy::standard().allowing({work});
    request.run.allowedRoots = request.policy.allowedRoots;
    request.mover = test::killedAfter(1);
    (void)RemovalRun::moveAndRecord(std::move(request));
    return 3; // never killed: the test fails on the status
}

// The run as a window shows it: how many items it counts and lists.
struct Shown {
    int64_t counted = 0;
    size_t listed = 0;
    friend bool operator==(const Shown&, const Shown&) = default;
};
Shown shown(const std::vector<SweepRun>& runs, const UUID& id) {
    for (const auto& run : CrashedRuns::settled(runs))
        if (run.id == id) return {run.receipt.movedCount, run.moved.size()};
    return {};
}

// Whether the window lists the item that reached the Trash, and counts it.
bool listsTheMovedOne(const UUID& id) {
    for (const auto& run : CrashedRuns::settled(SweepHistory::load()))
        if (run.id == id)
            return run.receipt.movedCount >= 1 && std::any_of(run.moved.begin(), run.moved.end(), [](const MovedItem& item) {
                       return item.originalPath.ends_with("/d0");
                   });
    return false;
}

std::string said(const Shown& s) { return std::to_string(s.counted) + " counted, " + std::to_string(s.listed) + " listed"; }

} // namespace

TEST(KeptWhileAway, ARunCutShortKeepsItsItemsWhileTheirPlaceOrTrashCannotBeRead) {
    if (test::isRole(kRole)) test::endAs(moveOneThenDie());
    test::FakeHome env;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir mnt;
    const std::string h = env.path(), usb = mnt / "usb", parked = mnt / "parked";
    const std::string trash = h + "/.local/share/Trash";
    struct Row {
        const char* what;
        std::string work;
        std::function<bool()> away, back;
    };
    const auto moved = [](const std::string& from, const std::string& to) {
        return ::mount(from.c_str(), to.c_str(), nullptr, MS_MOVE, nullptr) == 0;
    };
    const Row rows[] = {
        {"its disk unplugged", usb + "/Work", [&] { return moved(usb, parked); }, [&] { return moved(parked, usb); }},
        {"its Trash unusable (writable by others)", h + "/Work", [&] { return ::chmod(trash.c_str(), 0777) == 0; },
         [&] { return ::chmod(trash.c_str(), 0700) == 0; }},
        {"another home Trash named (XDG_DATA_HOME changed)", h + "/Work",
         [&] { return ::setenv("XDG_DATA_HOME", (h + "/elsewhere").c_str(), 1) == 0; },
         [&] { return ::unsetenv("XDG_DATA_HOME") == 0; }},
    };
    const int status = test::inMountNamespace([&] {
        test::makeDirs(usb), test::makeDirs(parked);
        if (::mount("tmpfs", usb.c_str(), "tmpfs", 0, "size=4m") != 0) return test::kSkipped;
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        for (const auto& row : rows) {
            const std::string what = row.what;
            std::filesystem::remove_all(SweepHistory::filePath());
            for (int i = 0; i < kItems; ++i) test::writeFile(row.work + "/d" + std::to_string(i) + "/f", "x");
            ::setenv("SORVEL_TEST_WORK", row.work.c_str(), 1);
            expect(test::runTestInNewProcess(kRole, std::chrono::minutes(2)) == -1, what + ": the mover was not killed");
            const UUID id = SweepHistory::load().at(0).id;

            // While away: listed and counted as it was, by every reading and at every tidy.
            expect(row.away(), what + ": could not take it away");
            for (int start = 0; start < 2; ++start) {
                CrashedRuns::tidy();
                expect(listsTheMovedOne(id), what + ": while away, " + said(shown(SweepHistory::load(), id)));
            }
            // Back: what moved is put back, and the rest never left.
            expect(row.back(), what + ": could not bring it back");
            CrashedRuns::tidy();
            const SweepRun run = CrashedRuns::settled(SweepHistory::load()).at(0);
            expect(run.receipt.movedCount == 1 && run.moved.size() == 1, what + ": back, " +
                                                                             said({run.receipt.movedCount, run.moved.size()}));
            int restored = 0;
            for (const auto& outcome : RestoreRun::putBack(run, run.moved).outcomes) restored += outcome.restored();
            expect(restored == 1, what + ": put back " + std::to_string(restored));
            for (int i = 0; i < kItems; ++i)
                expect(test::exists(row.work + "/d" + std::to_string(i) + "/f"), what + ": d" + std::to_string(i));
        }
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here";
    EXPECT_EQ(status, 0);
}

// Items of a cut run put back by another program, then moved again by the same cleanup:
// each is listed and counted under the later run only, whose record its entry carries.
TEST(KeptWhileAway, AnItemCountsOnlyInTheRunWhoseRecordItCarries) {
    if (test::isRole(kRole)) test::endAs(moveOneThenDie());
    test::FakeHome env;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    const std::string work = env / "Work", trash = env / ".local/share/Trash";
    for (int i = 0; i < kItems; ++i) test::writeFile(work + "/d" + std::to_string(i) + "/f", "x");
    test::ScopedEnv where{"SORVEL_TEST_WORK", work};
    ASSERT_EQ(test::runTestInNewProcess(kRole, std::chrono::minutes(2)), -1);
    CrashedRuns::tidy();
    const UUID cut = SweepHistory::load().at(0).id;
    // d0 put back as `trash-restore` does: the item renamed back, its record removed.
    std::filesystem::rename(trash + "/files/d0", work + "/d0");
    std::filesystem::remove(trash + "/info/d0.trashinfo");
    RemovalRun::Request again;
    for (int i = 0; i < kItems; ++i) again.paths.push_back({work + "/d" + std::to_string(i), 0});
    again.policy = CleanupPolicy::standard().allowing({work});
    again.run.allowedRoots = again.policy.allowedRoots;
    const UUID later = RemovalRun::moveAndRecord(again).run.id;
    ASSERT_TRUE(test::exists(trash + "/files/d0"));

    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start == 0 ? "before the start" : "after the start's tidy");
        const auto runs = SweepHistory::load();
        EXPECT_EQ(shown(runs, cut), (Shown{0, 0})) << "the cut run";
        EXPECT_EQ(shown(runs, later), (Shown{kItems, kItems})) << "the later run";
        CrashedRuns::tidy();
    }
    const auto stored = SweepHistory::load();
    EXPECT_EQ(shown({stored.at(1)}, cut), (Shown{0, 0})) << "as stored";
}
