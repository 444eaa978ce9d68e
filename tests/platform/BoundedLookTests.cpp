// Many looks at once at a mount whose daemon is stopped: however many callers come
// together, one thread waits on each mount and only a few in all. A real bindfs, stopped.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/BoundedLook.h"
#include "support/ForegroundBindfs.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// The threads inside a look, in all and under each key, and the most seen at once.
struct Held {
    std::mutex mutex;
    int now = 0, most = 0;
    std::map<std::string, int> byKey, mostByKey;

    void enter(const std::string& key) {
        std::lock_guard lock(mutex);
        most = std::max(most, ++now);
        mostByKey[key] = std::max(mostByKey[key], ++byKey[key]);
    }
    void leave(const std::string& key) {
        std::lock_guard lock(mutex);
        --now;
        --byKey[key];
    }
};

// A look that asks the mount's daemon: listing its root.
void listRoot(const std::string& point) {
    if (DIR* dir = ::opendir(point.c_str())) {
        while (::readdir(dir)) {
        }
        ::closedir(dir);
    }
}

} // namespace

TEST(BoundedLook, CallersComingTogetherHoldOneThreadPerStoppedMountAndFewInAll) {
    if (::access("/usr/bin/bindfs", X_OK) != 0) GTEST_SKIP() << "bindfs is not installed";
    test::TempDir dir;
    const std::string source = dir.path() + "/source", point = dir.path() + "/fu";
    test::writeFile(source + "/f", "x");
    test::makeDirs(point);
    const int status = test::inMountNamespace([&] {
        const pid_t daemon = test::foregroundBindfs(source, point);
        if (daemon < 0) return test::kSkipped;
        setLookBound(std::chrono::milliseconds(300));
        // Six names for looks at the one stopped mount: more than may run at once.
        constexpr int kKeys = 6, kCallers = 36;
        Held held;
        int failed = 0;
        const auto expect = [&](bool ok, const std::string& what) {
            if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
        };
        auto anyBlocked = [] {
            for (int k = 0; k < kKeys; ++k)
                if (lookBlocked("stopped " + std::to_string(k))) return true;
            return false;
        };
        const auto released = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        // Rarely a stop does not hold the daemon at once (every look answers): tried again.
        int answered = 0;
        for (int attempt = 0; attempt < 3 && (attempt == 0 || answered > 0); ++attempt) {
            ::kill(daemon, SIGSTOP);
            int stopped = 0;
            if (::waitpid(daemon, &stopped, WUNTRACED) != daemon || !WIFSTOPPED(stopped)) return test::kSkipped;
            std::atomic<int> done{0};
            std::latch together(kCallers);
            std::vector<std::thread> callers;
            for (int i = 0; i < kCallers; ++i)
                callers.emplace_back([&, i] {
                    const std::string key = "stopped " + std::to_string(i % kKeys);
                    together.arrive_and_wait();
                    const bool ok = runBoundedLook(key, [&held, key, point] {
                        held.enter(key);
                        listRoot(point);
                        held.leave(key);
                    });
                    if (ok) ++done;
                });
            for (auto& t : callers) t.join();
            answered = done;
            // Answering again, every helper ends and gives its place back.
            ::kill(daemon, SIGCONT);
            while (anyBlocked() && std::chrono::steady_clock::now() < released) std::this_thread::yield();
            expect(!anyBlocked(), "once it answers, no look is blocked");
        }
        expect(answered == 0, "no look at the stopped mount answered (" + std::to_string(answered) + " did)");
        expect(held.most <= kMostBlockedLooks, "at most the cap in all (" + std::to_string(held.most) + " held)");
        for (const auto& [key, most] : held.mostByKey)
            expect(most <= 1, key + " held one thread at most (" + std::to_string(most) + ")");
        bool again = false;
        while (!again && std::chrono::steady_clock::now() < released)
            again = runBoundedLook("stopped 0", [&] { listRoot(point); });
        expect(again, "once it answers, a look answers");
        ::umount2(point.c_str(), MNT_DETACH);
        ::kill(daemon, SIGKILL);
        ::waitpid(daemon, nullptr, 0);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount bindfs in a namespace of its own here";
    EXPECT_EQ(status, 0);
}
