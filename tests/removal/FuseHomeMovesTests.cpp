// A home on FUSE (a real bindfs in a mount namespace of its own), which refuses the
// kernel's no-replace rename: items still go to the Trash and come back through the
// executors, and nothing holding a name is replaced.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/Trash.h"
#include "platform/TrashInfo.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

ino_t inodeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(FuseHomeMoves, ItemsGoToTheTrashAndBackAndNothingHoldingANameIsReplaced) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed";
    test::FakeHome env; // the settings and system places
    test::TempDir scratch;
    const std::string source = scratch / "src", h = scratch / "fu/h", work = h + "/Work";
    const std::string files = h + "/.local/share/Trash/files/", info = h + "/.local/share/Trash/info/";
    for (const char* d : {"/h/Work", "/h/.local/share/Trash/files", "/h/.local/share/Trash/info"})
        test::makeDirs(source + d);
    test::makeDirs(scratch / "fu");
    const auto folder = [](const std::string& at) { test::writeFile(at + "/data.bin", "item"); };
    const auto file = [](const std::string& at) { test::writeFile(at, "item"); };
    std::vector<std::string> written; // by another program, each to stay as it was
    const auto theirs = [&](const std::string& at) { test::writeFile(at, "theirs"), written.push_back(at); };
    struct Row {
        const char* name;
        std::function<void(const std::string&)> make;
        std::function<void(const std::string& name)> before, after; // the move; put back
        std::string suffix;                                          // of its name in the Trash
        bool back;
    };
    const auto none = [](const std::string&) {};
    const auto trashHolds = [&](const std::string& n) {
        theirs(files + n);
        theirs(info + n + ".trashinfo");
    };
    const auto takenAfterRecord = [&](const std::string& n) {
        Trash::setPauseHook([=](Trash::Pause at) {
            if (at == Trash::Pause::beforeRenameIn && !test::exists(files + n)) theirs(files + n);
        });
    };
    const Row rows[] = {
        {"a folder", folder, none, none, "", true},
        {"a file", file, none, none, "", true},
        {"a folder whose name the Trash holds", folder, trashHolds, none, " 2", true},
        {"a file whose name the Trash holds", file, trashHolds, none, " 2", true},
        {"a folder whose name is taken in the Trash after its record", folder, takenAfterRecord, none, " 2", true},
        {"a file whose name is taken in the Trash after its record", file, takenAfterRecord, none, " 2", true},
        {"a file whose place is taken again", file, none, [&](auto& n) { theirs(work + "/" + n); }, "", false},
        {"a folder whose place is taken again", folder, none, [&](auto& n) { theirs(work + "/" + n + "/new"); }, "",
         false},
    };
    const int status = test::inMountNamespace([&] {
        if (test::runCommand({"/usr/bin/bindfs", source, scratch / "fu"}).status != 0) return test::kSkipped;
        ::setenv("HOME", h.c_str(), 1);
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        for (const auto& row : rows) {
            const std::string name = row.name, item = work + "/" + name, inTrash = files + name + row.suffix;
            row.make(item);
            row.before(name);
            const ino_t was = inodeOf(item);
            const auto policy = CleanupPolicy::standard().allowing({work});
            const auto moved = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {});
            Trash::setPauseHook({});
            expect(moved.size() == 1 && moved[0].moved() && inodeOf(inTrash) == was,
                   name + ": moved " + (moved.size() == 1 && moved[0].failure() ? *moved[0].failure() : ""));
            row.after(name);
            const SweepRun run = ManualRun::make(moved, "test", policy.allowedRoots);
            const auto back = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
            expect(back.size() == 1 && back[0].restored() == row.back, name + ": put back");
            expect(inodeOf(row.back ? item : inTrash) == was, name + ": where it should be");
            for (const auto& at : written) expect(test::readFile(at) == "theirs", name + ": theirs kept at " + at);
            written.clear();
        }
        // A folder holding the Trash fails for that, not for the flag, and leaves no reservation.
        const FileDescriptor home(Trash::openFolderNoFollow(h));
        const auto holding = Trash::moveEntry(home.get(), h, ".local");
        expect(holding.error == "The item cannot be moved into the Trash: it holds the Trash itself." &&
                   !test::exists(files + ".local") && !test::exists(info + ".local.trashinfo"),
               "the Trash's own folder: " + holding.error);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs in a mount namespace here";
    EXPECT_EQ(status, 0);
}
