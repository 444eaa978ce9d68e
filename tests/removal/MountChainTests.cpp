// What a mount in the pictures shows is followed to where it lies through every mount beneath
// it: a disk image whose file system holds an overlay's layers, an image inside an image, a
// FUSE mount showing a folder of an image. And a FUSE mount whose daemon is stopped is given a
// few seconds, then fences every move, rather than holding every move for ever. Real mounts
// (loop devices, overlays, bindfs) in a namespace of their own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "MountRig.h"
#include "platform/BoundedLook.h"
#include "platform/Path.h"
#include "removal/GuardSession.h"
#include "support/ForegroundBindfs.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;
using sorvel::test::foregroundBindfs;

namespace {

bool overlayAt(const std::string& layers, const std::string& point) {
    for (const char* d : {"/low", "/up", "/work"}) test::makeDirs(layers + d);
    test::writeFile(layers + "/low/p.jpg", "only copy");
    const std::string options = "lowerdir=" + layers + "/low,upperdir=" + layers + "/up,workdir=" + layers + "/work";
    return ::mount("overlay", point.c_str(), "overlay", 0, options.c_str()) == 0;
}

bool bindfs(const std::string& source, const std::string& point) {
    return test::runCommand({"/usr/bin/bindfs", source, point}).status == 0;
}

} // namespace

// Each row mounts a chain whose last step is a disk image in ~/.cache/vm: moving that folder
// (by the guard, a dry run, a real move, its own folder, a sweep of the caches) would take
// the photos the pictures show.
TEST(MountChain, AnImageBeneathAnyChainOfMountsIsProtected) {
    test::Home t;
    const std::string cache = t.h + "/.cache", vm = cache + "/vm", outer = t.m + "/outer";
    const std::string shown = t.pictures + "/shown";
    const bool haveBindfs = ::access("/usr/bin/bindfs", X_OK) == 0;
    struct Row {
        const char* name;
        bool fuse;
        std::function<bool()> mount; // in the child
    };
    const Row rows[] = {
        {"an overlay whose layers lie on an image mounted outside the home", false,
         [&] {
             return test::imageThroughNode(vm + "/disk.img", t.m + "/n1", outer) && overlayAt(outer + "/layers", shown);
         }},
        {"an image inside an image", false,
         [&] {
             test::makeDirs(t.m + "/inner");
             return test::imageThroughNode(vm + "/disk.img", t.m + "/n1", outer, 16 << 20) &&
                    test::imageThroughNode(outer + "/inner.img", t.m + "/n2", shown);
         }},
        {"a FUSE mount showing a folder of an image", true,
         [&] {
             if (!test::imageThroughNode(vm + "/disk.img", t.m + "/n1", outer)) return false;
             test::writeFile(outer + "/photos/p.jpg", "only copy");
             return bindfs(outer + "/photos", shown);
         }},
    };
    int ran = 0;
    std::string notRun;
    for (const auto& row : rows) {
        if (row.fuse && !haveBindfs) {
            notRun += std::string(row.name) + " (bindfs is not installed); ";
            continue;
        }
        test::runCommand({"/bin/rm", "-rf", vm});
        test::makeDirs(vm);
        test::makeDirs(outer);
        test::makeDirs(shown);
        test::writeFileOfSize(cache + "/other/blob", 4096);
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const auto policy = CleanupPolicy::standard();
            int failed = 0;
            const auto expect = [&](bool ok, const std::string& what, const std::string& said) {
                if (!ok) ++failed, std::fprintf(stderr, "failed: %s: %s: %s\n", row.name, what.c_str(), said.c_str());
            };
            const auto judged = CleanupGuard::check(vm, 0, policy, {});
            expect(judged == Refusal::protectedPath(shown), "the guard", judged ? judged->description() : "passed");
            const auto dry = CleanupExecutor::run({{vm, 0}}, CleanupExecutor::Mode::dryRun, policy, {});
            expect(dry.size() == 1 && dry[0].refusal() && *dry[0].refusal() == Refusal::protectedPath(shown),
                   "a dry run", dry.size() == 1 && dry[0].refusal() ? dry[0].refusal()->description() : "passed");
            const auto moved = CleanupExecutor::run({{vm, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {});
            expect(moved.size() == 1 && moved[0].refusal(), "a real move", "moved");
            const auto own = OwnFolder::refusal(vm);
            expect(own && own->find("(~/Pictures/shown)") != std::string::npos, "its own folder",
                   own.value_or("accepted"));
            // The caches hold it: a sweep of them is withheld whole.
            const auto swept = test::sweepOnly({cache}, SweepSchedule::Action::clean);
            for (const auto& o : swept.outcomes)
                expect(!o.moved() || !isPathInside(o.path, vm), "a sweep of the caches", o.path);
            expect(swept.receipt.withheldReason.value_or("").find("(~/Pictures/shown)") != std::string::npos,
                   "a sweep of the caches", swept.receipt.withheldReason.value_or("not withheld"));
            expect(test::exists(vm + "/disk.img"), "the image", "gone");
            ::umount2(shown.c_str(), MNT_DETACH);
            ::umount2(outer.c_str(), MNT_DETACH);
            return failed;
        });
        if (status == test::kSkipped) {
            notRun += std::string(row.name) + " (cannot be set up here); ";
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
        EXPECT_TRUE(test::exists(vm + "/disk.img")) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "no row could be set up here: " << notRun;
}

// A FUSE mount in the pictures whose daemon is stopped: every look at it is given a few
// seconds, and then every move is refused with a sentence naming the mount; the same mount is
// not waited for again.
TEST(MountChain, AStoppedFuseDaemonFencesEveryMoveInsteadOfHanging) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed";
    test::Home t;
    const std::string cache = t.h + "/.cache", item = cache + "/app/old", fu = t.pictures + "/fu";
    // Big enough for the plan to offer the cache, and so to say why it is refused.
    test::writeFileOfSize(item + "/blob", 6'000'000);
    test::writeFile(t.m + "/photos/p.jpg", "only copy");
    test::makeDirs(fu);
    const std::string says = "did not answer within a few seconds";
    const int status = test::inMountNamespace([&] {
        const pid_t daemon = foregroundBindfs(t.m + "/photos", fu);
        if (daemon < 0) return test::kSkipped;
        ::kill(daemon, SIGSTOP);
        // Stopped, not ended: a daemon gone would make every look fail at once instead.
        int stopped = 0;
        if (::waitpid(daemon, &stopped, WUNTRACED) != daemon || !WIFSTOPPED(stopped)) {
            std::fprintf(stderr, "bindfs ended on its own (status %d)\n", stopped);
            return test::kSkipped;
        }
        setLookBound(std::chrono::milliseconds(300));
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what, const std::string& said) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s: %s\n", what.c_str(), said.c_str());
        };
        const auto policy = CleanupPolicy::standard();
        // Twice: the second time the mount is known not to answer.
        for (int look = 0; look < 2; ++look) {
            const auto judged = CleanupGuard::check(item, 0, policy, {});
            expect(judged && judged->kind == Refusal::Kind::backingUnconfirmed &&
                       judged->description().find(says) != std::string::npos &&
                       judged->description().find("~/Pictures/fu") != std::string::npos,
                   "the guard", judged ? judged->description() : "passed");
        }
        const auto moved = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {});
        expect(moved.size() == 1 && moved[0].refusal() && moved[0].refusal()->description().find(says) != std::string::npos,
               "a real move", moved.size() == 1 && moved[0].refusal() ? moved[0].refusal()->description() : "moved");
        const auto own = OwnFolder::refusal(item);
        expect(own && own->find(says) != std::string::npos, "its own folder", own.value_or("accepted"));
        const auto swept = test::sweepOnly({item}, SweepSchedule::Action::clean);
        expect(swept.receipt.withheldReason.value_or("").find(says) != std::string::npos, "a sweep",
               swept.receipt.withheldReason.value_or("not withheld"));
        expect(test::exists(item + "/blob"), "the item", "gone");
        // The command line's plan ends too, with its own default bound. A look left waiting on
        // the stopped daemon keeps a thread that a leak check's stop of every thread at exit
        // would wait on for good: under the sanitizers, those runs check no leaks.
        const char* sanitizers = std::getenv("ASAN_OPTIONS");
        const std::map<std::string, std::string> noLeakCheck{
            {"ASAN_OPTIONS", std::string(sanitizers ? sanitizers : "") + ":detect_leaks=0"}};
        const auto plan = test::runSorvel({"--plan"}, noLeakCheck);
        expect(plan.status == 0 && plan.out.find(says) != std::string::npos, "--plan",
               "exit " + std::to_string(plan.status) + ": " + plan.out + plan.err);
        // And the walks of the home that meet the mount: measured, and searched for copies.
        for (const char* command : {"--size", "--duplicates"}) {
            const auto walked = test::runSorvel({command, t.h}, noLeakCheck);
            expect(walked.status == 0, command, "exit " + std::to_string(walked.status) + ": " + walked.err);
        }
        ::kill(daemon, SIGCONT);
        // Answering again, the mount is looked at again and confirmed.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        std::optional<Refusal> after = CleanupGuard::check(item, 0, policy, {});
        while (after && std::chrono::steady_clock::now() < deadline) after = CleanupGuard::check(item, 0, policy, {});
        expect(!after, "once it answers", after ? after->description() : "passed");
        ::umount2(fu.c_str(), MNT_DETACH);
        ::kill(daemon, SIGKILL);
        ::waitpid(daemon, nullptr, 0);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs in a namespace of its own here";
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::exists(t.m + "/photos/p.jpg"));
}
