// A home on a FUSE file system (bindfs), which refuses the kernel's no-replace rename:
// items still go to the Trash and come back, and nothing holding a name is replaced.
// A real bindfs in a mount namespace of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>

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

bool flagRefused(const std::string& folder) {
    test::writeFile(folder + "/probe", "");
    const bool refused = ::renameat2(AT_FDCWD, (folder + "/probe").c_str(), AT_FDCWD, (folder + "/probe2").c_str(),
                                     RENAME_NOREPLACE) != 0 && errno == EINVAL;
    ::unlink((folder + "/probe").c_str()), ::unlink((folder + "/probe2").c_str());
    return refused;
}

struct Place {
    std::string h, work, files, info;
};

} // namespace

TEST(FuseHomeMoves, ItemsGoToTheTrashAndBackAndNothingHoldingANameIsReplaced) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed";
    struct Row {
        const char* name;
        std::function<void(const std::string& item)> make;
        std::function<void(const Place&)> before; // before the move
        std::string trashName;                    // where it goes in files/
        std::function<void(const Place&)> after;  // between the move and put back
        bool back;                                // put back
        std::string theirs;                       // below the home: what another left, kept as it was
    };
    const auto folder = [](const std::string& item) { test::writeFile(item + "/data.bin", "item"); };
    const auto file = [](const std::string& item) { test::writeFile(item, "item"); };
    const auto none = [](const Place&) {};
    const auto recorded = [](const Place& p, const std::string& name) {
        test::writeFile(p.files + "/" + name, "theirs");
        test::writeFile(p.info + "/" + name + ".trashinfo", TrashInfo::sorvelText(p.work + "/x", std::time(nullptr)));
    };
    const Row rows[] = {
        {"a folder", folder, none, "cache", none, true, ""},
        {"a file", file, none, "cache", none, true, ""},
        {"a folder whose name the Trash holds", folder, [&](const Place& p) { recorded(p, "cache"); }, "cache 2", none,
         true, ".local/share/Trash/files/cache"},
        {"a file whose name the Trash holds", file, [&](const Place& p) { recorded(p, "cache"); }, "cache 2", none,
         true, ".local/share/Trash/files/cache"},
        {"a folder whose name is taken in the Trash after its record",
         folder,
         [](const Place& p) {
             Trash::setPauseHook([p](Trash::Pause at) {
                 if (at == Trash::Pause::beforeRenameIn && !test::exists(p.files + "/cache"))
                     test::writeFile(p.files + "/cache", "theirs");
             });
         },
         "cache 2", none, true, ".local/share/Trash/files/cache"},
        {"a file whose place is taken again", file, none, "cache",
         [](const Place& p) { test::writeFile(p.work + "/cache", "theirs"); }, false, "Work/cache"},
        {"a folder whose place is taken again", folder, none, "cache",
         [](const Place& p) { test::writeFile(p.work + "/cache/new.bin", "theirs"); }, false, "Work/cache/new.bin"},
    };
    test::TempDir scratch;
    int ran = 0;
    for (const auto& row : rows) {
        test::FakeHome env; // settings and system places of its own
        const std::string source = scratch / (std::to_string(ran) + "-src"), point = scratch / (std::to_string(ran) + "-fu");
        test::makeDirs(point);
        for (const char* d : {"/h/.config", "/h/.cache", "/h/.local/share", "/h/Work"}) test::makeDirs(source + d);
        const Place p{point + "/h", point + "/h/Work", point + "/h/.local/share/Trash/files",
                      point + "/h/.local/share/Trash/info"};
        const int status = test::inMountNamespace([&] {
            if (test::runCommand({"/usr/bin/bindfs", source, point}).status != 0) return test::kSkipped;
            if (!flagRefused(p.work)) {
                std::fprintf(stderr, "failed: %s: this bindfs takes the no-replace flag\n", row.name);
                return 1;
            }
            ::setenv("HOME", p.h.c_str(), 1);
            const std::string item = p.work + "/cache";
            row.make(item);
            test::makeDirs(p.files), test::makeDirs(p.info);
            row.before(p);
            const ino_t was = inodeOf(item);
            const auto policy = CleanupPolicy::standard().allowing({p.work});
            const auto moved = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {});
            Trash::setPauseHook({});
            int failed = 0;
            const auto expect = [&](bool ok, const char* what, const std::string& said = "") {
                if (!ok) ++failed, std::fprintf(stderr, "failed: %s: %s %s\n", row.name, what, said.c_str());
            };
            const std::string inTrash = p.files + "/" + row.trashName;
            expect(moved.size() == 1 && moved[0].moved(), "moved",
                   moved.size() == 1 && moved[0].failure() ? *moved[0].failure()
                   : moved.size() == 1 && moved[0].refusal() ? moved[0].refusal()->description() : "");
            expect(inodeOf(inTrash) == was && test::exists(p.info + "/" + row.trashName + ".trashinfo"),
                   "in the Trash with its record");
            row.after(p);
            const SweepRun run = ManualRun::make(moved, "test", policy.allowedRoots);
            const auto back = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
            const bool restored = back.size() == 1 && back[0].restored();
            expect(restored == row.back, "put back", back.size() == 1 && back[0].failure() ? *back[0].failure() : "");
            expect(inodeOf(row.back ? item : inTrash) == was, "where it should be");
            if (!row.theirs.empty()) expect(test::readFile(p.h + "/" + row.theirs) == "theirs", "theirs kept");
            return failed;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs in a mount namespace here";
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
}

// Past the guards, as if something came in just after they looked: the platform's own
// move and put back, on the same home.
TEST(FuseHomeMoves, PastTheGuardsATakenPlaceStaysAndAFolderHoldingTheTrashFails) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed";
    test::FakeHome env;
    test::TempDir scratch;
    const std::string source = scratch / "src", point = scratch / "fu";
    for (const char* d : {"/h/.local/share/Trash/files", "/h/.local/share/Trash/info", "/h/Work"})
        test::makeDirs(source + d);
    test::makeDirs(point);
    const int status = test::inMountNamespace([&] {
        if (test::runCommand({"/usr/bin/bindfs", source, point}).status != 0) return test::kSkipped;
        const std::string h = point + "/h", work = h + "/Work";
        ::setenv("HOME", h.c_str(), 1);
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        const FileDescriptor workFd(Trash::openFolderNoFollow(work)), homeFd(Trash::openFolderNoFollow(h));
        for (const char* kind : {"file", "folder"}) {
            const std::string item = work + "/" + kind;
            test::writeFile(std::string(kind) == "file" ? item : item + "/data.bin", "item");
            const auto moved = Trash::moveEntry(workFd.get(), work, kind);
            expect(moved.moved(), std::string(kind) + " moved: " + moved.error);
            test::writeFile(std::string(kind) == "file" ? item : item + "/new.bin", "theirs");
            const auto at = Trash::locate(moved.trashPath.value_or(""));
            const auto back = at ? Trash::restoreEntry(*at, workFd.get(), kind, moved.identity) : Trash::RestoreResult{};
            expect(!back.restored && (back.code == EEXIST || back.code == ENOTEMPTY),
                   std::string(kind) + " put back over what came: " + std::strerror(back.code));
            expect(test::readFile(std::string(kind) == "file" ? item : item + "/new.bin") == "theirs" &&
                       test::exists(moved.trashPath.value_or("") + (std::string(kind) == "file" ? "" : "/data.bin")),
                   std::string(kind) + ": both kept");
        }
        // The folder holding the Trash refuses to go into it for that reason, not the flag's.
        const auto holding = Trash::moveEntry(homeFd.get(), h, ".local");
        expect(!holding.moved() && holding.error == "The item cannot be moved into the Trash: it holds the Trash itself.",
               "the Trash's own folder: " + holding.error);
        expect(!test::exists(h + "/.local/share/Trash/files/.local") &&
                   !test::exists(h + "/.local/share/Trash/info/.local.trashinfo"),
               "no reservation or record left");
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs in a mount namespace here";
    EXPECT_EQ(status, 0);
}
