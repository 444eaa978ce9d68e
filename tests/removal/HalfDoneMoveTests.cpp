// Moves and put backs on FUSE homes that refuse the kernel's no-replace rename: bindfs,
// which keeps inode numbers, and sshfs with stock options, which numbers each name apart.
// A move is claimed only once the item left its old name, and a mover killed between the
// two steps of either way leaves nothing that the next start's tidy does not undo: the item
// has one name, its run lists it where it is, and put back agrees.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/NoReplaceRename.h"
#include "removal/CrashedRuns.h"
#include "removal/RemovalRun.h"
#include "removal/RestoreRun.h"
#include "support/ChildProcess.h"
#include "support/ForegroundBindfs.h"
#include "support/PassiveSshfs.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

enum class Fuse { bindfs, sshfs };
enum class Act { move, putBack };

struct Row {
    const char* name;
    Fuse fuse;
    bool folder;
    Act act;
    std::optional<RenameStep> killAt; // none: the way runs whole
};

const Row kRows[] = {
    {"bindfs, a file moved, killed after its second name", Fuse::bindfs, false, Act::move, RenameStep::linkMade},
    {"bindfs, a folder moved, killed after its empty folder", Fuse::bindfs, true, Act::move,
     RenameStep::placeholderMade},
    {"bindfs, a file put back, killed after its second name", Fuse::bindfs, false, Act::putBack,
     RenameStep::linkMade},
    {"bindfs, a folder put back, killed after its empty folder", Fuse::bindfs, true, Act::putBack,
     RenameStep::placeholderMade},
    {"sshfs, a file moved", Fuse::sshfs, false, Act::move, std::nullopt},
    {"sshfs, a file put back", Fuse::sshfs, false, Act::putBack, std::nullopt},
    {"sshfs, a file moved, killed after any second name", Fuse::sshfs, false, Act::move, RenameStep::linkMade},
    {"sshfs, a file put back, killed after any second name", Fuse::sshfs, false, Act::putBack,
     RenameStep::linkMade},
    {"sshfs, a folder moved, killed after its empty folder", Fuse::sshfs, true, Act::move,
     RenameStep::placeholderMade},
    {"sshfs, a folder put back, killed after its empty folder", Fuse::sshfs, true, Act::putBack,
     RenameStep::placeholderMade},
};

constexpr const char* kRole = "half-done-";

std::string workOf(const std::string& home) { return home + "/Work"; }

RemovalRun::Request moveOf(const std::string& home) {
    RemovalRun::Request request;
    request.paths = {{workOf(home) + "/item", 0}};
    request.policy = CleanupPolicy::standard().allowing({workOf(home)});
    request.run.scope = "test";
    request.run.allowedRoots = request.policy.allowedRoots;
    return request;
}

// The mover: killed at the row's step when its way takes it; 0 when what it did is claimed.
int act(const Row& row) {
    const std::string home = std::getenv("HOME");
    // The item's own step, not its record's.
    setRenameStepHook([&](RenameStep step, const std::string& to) {
        if (step == row.killAt && to == "item") ::raise(SIGKILL);
    });
    if (row.act == Act::move) {
        const auto moved = RemovalRun::moveAndRecord(moveOf(home));
        return moved.outcomes.size() == 1 && moved.outcomes[0].moved() ? 0 : 5;
    }
    const SweepRun run = SweepHistory::load().at(0);
    const auto back = RestoreRun::putBack(run, run.moved);
    return back.outcomes.size() == 1 && back.outcomes[0].restored() ? 0 : 6;
}

// The names the item has on the backing store, at its place and in the Trash, and what
// else the Trash holds that is not an item with its record.
struct Names {
    int atPlace = 0, inTrash = 0;
    std::vector<std::string> leftovers;
};
Names namesOf(const std::string& home) {
    Names names;
    names.atPlace = test::exists(workOf(home) + "/item");
    const std::string trash = home + "/.local/share/Trash";
    for (const auto& entry : fs::directory_iterator(trash + "/files")) {
        const std::string name = entry.path().filename();
        ++names.inTrash;
        if (!test::exists(trash + "/info/" + name + ".trashinfo")) names.leftovers.push_back("files/" + name);
    }
    for (const auto& entry : fs::directory_iterator(trash + "/info")) {
        const std::string name = entry.path().filename();
        if (!name.ends_with(".trashinfo") || !test::exists(trash + "/files/" + name.substr(0, name.size() - 10)))
            names.leftovers.push_back("info/" + name);
    }
    return names;
}

bool intact(const std::string& path, bool folder) {
    return test::readFile(folder ? path + "/data.bin" : path) == "item";
}

} // namespace

TEST(HalfDoneMoves, AKillBetweenTwoStepsLeavesNothingTheTidyDoesNotUndo) {
    if (const std::string role = test::testRole(); role.starts_with(kRole) && test::isRole(role))
        test::endAs(act(kRows[std::stoul(role.substr(std::strlen(kRole)))]));
    if (::access("/usr/bin/bindfs", X_OK) != 0 || !test::passiveSshfsInstalled())
        GTEST_SKIP() << "bindfs, sshfs or the sftp server is not installed";
    test::FakeHome env; // the settings and system places
    test::TempDir scratch;
    const int status = test::inMountNamespace([&] {
        const std::string bindSource = scratch / "bind", sshSource = scratch / "ssh";
        const std::string bindPoint = scratch / "fb", sshPoint = scratch / "fs";
        for (const auto& d : {bindSource, sshSource, bindPoint, sshPoint}) test::makeDirs(d);
        if (test::foregroundBindfs(bindSource, bindPoint) < 0 || test::passiveSshfs(sshSource, sshPoint) < 0)
            return test::kSkipped;
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        for (size_t index = 0; index < std::size(kRows); ++index) {
            const Row& row = kRows[index];
            const std::string name = row.name, own = "/r" + std::to_string(index);
            const bool ssh = row.fuse == Fuse::sshfs;
            const std::string home = (ssh ? sshPoint : bindPoint) + own, backing = (ssh ? sshSource : bindSource) + own;
            for (const char* d : {"/Work", "/.local/share/Trash/files", "/.local/share/Trash/info"})
                test::makeDirs(home + d);
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (env / ("config" + own)).c_str(), 1);
            const std::string item = workOf(home) + "/item";
            if (row.folder) test::writeFile(item + "/data.bin", "item");
            else test::writeFile(item, "item");
            if (row.act == Act::putBack) {
                const auto moved = RemovalRun::moveAndRecord(moveOf(home));
                expect(moved.outcomes.size() == 1 && moved.outcomes[0].moved() && !test::exists(item),
                       name + ": the move before the put back");
            }
            const int acted = test::runTestInNewProcess(kRole + std::to_string(index), std::chrono::minutes(2));
            // Killed, or whole: then it claimed only what happened.
            expect(acted == -1 || acted == 0, name + ": the mover ended with " + std::to_string(acted));
            CrashedRuns::tidy();

            const Names names = namesOf(backing);
            expect(names.atPlace + names.inTrash == 1, name + ": " + std::to_string(names.atPlace) +
                                                           " names at its place, " + std::to_string(names.inTrash) +
                                                           " in the Trash");
            for (const auto& left : names.leftovers) expect(false, name + ": left in the Trash: " + left);
            struct stat st;
            if (!row.folder && ::lstat((backing + "/Work/item").c_str(), &st) == 0)
                expect(st.st_nlink == 1, name + ": a second name of the item at its place");
            if (acted == 0) expect(names.atPlace == (row.act == Act::putBack), name + ": claimed, yet not done");

            // The run lists the item where it is, and put back agrees.
            const SweepRun run = CrashedRuns::settled(SweepHistory::load()).at(0);
            expect(run.receipt.movedCount == names.inTrash, name + ": the run counts " +
                                                                std::to_string(run.receipt.movedCount));
            const auto back = RestoreRun::putBack(run, run.moved);
            int restored = 0;
            for (const auto& outcome : back.outcomes) restored += outcome.restored();
            expect(restored == names.inTrash, name + ": put back " + std::to_string(restored));
            expect(intact(backing + "/Work/item", row.folder) && namesOf(backing).inTrash == 0,
                   name + ": back at its place, whole");
            setRenameStepHook({});
        }
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs and sshfs in a mount namespace here";
    EXPECT_EQ(status, 0);
}
