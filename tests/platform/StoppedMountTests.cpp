// A FUSE mount whose daemon is stopped: every look at its root is given a few seconds and
// then counts as unanswered, the same mount is not waited for again while it stays stopped,
// and it is looked at again once it answers. A real bindfs in a namespace of its own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/BoundedLook.h"
#include "platform/DirectoryListing.h"
#include "platform/FolderDescent.h"
#include "platform/MountSources.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::optional<MountEntry> mountAt(const std::string& point) {
    for (const auto& mount : readMountTable())
        if (mount.mountPoint == point) return mount;
    return std::nullopt;
}

} // namespace

TEST(StoppedMount, LooksAtItsRootAreBoundedAndFailClosed) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed";
    test::TempDir dir;
    const std::string source = dir.path() + "/source", parent = dir.path() + "/parent", point = parent + "/fu";
    test::writeFile(source + "/p.jpg", "only copy");
    test::makeDirs(point);
    const int status = test::inMountNamespace([&] {
        const pid_t daemon = ::fork();
        if (daemon == 0) {
            ::execl("/usr/bin/bindfs", "bindfs", "-f", source.c_str(), point.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!mountAt(point) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        const auto mount = mountAt(point);
        if (!mount) return test::kSkipped;
        ::kill(daemon, SIGSTOP);
        // Stopped, not ended: a daemon gone would make every look fail at once instead.
        int stopped = 0;
        if (::waitpid(daemon, &stopped, WUNTRACED) != daemon || !WIFSTOPPED(stopped)) {
            std::fprintf(stderr, "bindfs ended on its own (status %d)\n", stopped);
            return test::kSkipped;
        }
        setLookBound(std::chrono::milliseconds(200));
        int failed = 0;
        const auto expect = [&](bool ok, const char* what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what);
        };
        // Twice each: the second time the mount is known not to answer.
        for (int look = 0; look < 2; ++look) {
            expect(!confirmedSourceInTime(*mount), "its source is not confirmed");
            expect(!rootIdentityInTime(*mount), "its root's identity is not given");
            FolderDescent descent;
            expect(descent.start(parent) >= 0, "its parent opens");
            errno = 0;
            expect(descent.enter("fu") < 0 && errno == ETIMEDOUT, "the descent does not enter it");
        }
        expect(lookBlocked(mountLookKey(*mount)), "it is known not to answer");
        // Its parent is listed, the mount's point among its names.
        const auto names = DirectoryListing::names(parent);
        expect(names && std::find(names->begin(), names->end(), "fu") != names->end(), "its parent is listed");
        ::kill(daemon, SIGCONT);
        // Answering again, the helpers left waiting end and the mount is looked at again.
        bool confirmed = false;
        while (!confirmed && std::chrono::steady_clock::now() < deadline + std::chrono::minutes(1)) {
            const auto check = confirmedSourceInTime(*mount);
            confirmed = check && check->folder;
        }
        expect(confirmed, "once it answers, its source is confirmed");
        FolderDescent descent;
        expect(descent.start(parent) >= 0 && descent.enter("fu") >= 0, "once it answers, the descent enters it");
        ::umount2(point.c_str(), MNT_DETACH);
        ::kill(daemon, SIGKILL);
        ::waitpid(daemon, nullptr, 0);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs in a namespace of its own here";
    EXPECT_EQ(status, 0);
}
