// Work the window hands off runs below its main thread, so the window answers while a whole
// disk is scanned, watched or let go of: each kind of work and the thread it lands on.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <sched.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "models/BackgroundWork.h"
#include "models/EventLoop.h"
#include "platform/Concurrency.h"

using namespace sorvel;

namespace {

int niceOfThisThread() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

// Runs `probe` where the kind of work runs and hands back the nice value seen there.
struct Landing {
    const char* work;
    int atLeast;
    std::function<void(std::function<void(int)>)> run;
};

// A thread put below every other counts as nice 19, the lowest a nice value goes.
int standingOfThisThread() {
    return ::sched_getscheduler(0) == SCHED_IDLE ? 19 : niceOfThisThread();
}

// Holds the standing of the thread that finally lets it go.
struct Witness {
    std::function<void(int)> seen;
    ~Witness() { seen(standingOfThisThread()); }
};

// The nice values of this process's threads of that name.
std::vector<int> nicesOfThreadsNamed(const std::string& name) {
    std::vector<int> nices;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string line;
        if (!std::getline(comm, line) || line != name) continue;
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(std::stoi(task.path().filename().string())));
        if (errno == 0) nices.push_back(nice);
    }
    return nices;
}

// A helper of the pool takes part: each iteration waits until two threads are in.
int niceOfAHelper() {
    std::mutex mutex;
    std::set<pid_t> threads;
    int helperNice = -100;
    const pid_t caller = static_cast<pid_t>(::syscall(SYS_gettid));
    concurrentPerform(2, [&](size_t) {
        const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::unique_lock lock(mutex);
        threads.insert(self);
        if (self != caller) helperNice = niceOfThisThread();
        while (threads.size() < 2 && std::chrono::steady_clock::now() < until) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
    });
    return helperNice;
}

} // namespace

TEST(WorkBelowTheWindow, EachKindOfWorkRunsBelowTheMainThread) {
    if (activeProcessorCount() < 2) GTEST_SKIP() << "one processor: the pool has no helper to look at";
    const int mainNice = niceOfThisThread();
    const Landing table[] = {
        {"a job the user waits on", mainNice + 10,
         [](std::function<void(int)> seen) {
             Models::runInBackground(Models::WorkPriority::userInitiated, [seen] { seen(niceOfThisThread()); }, {});
         }},
        {"an unattended job, below those the user waits on", mainNice + 15,
         [](std::function<void(int)> seen) {
             Models::runInBackground(Models::WorkPriority::utility, [seen] { seen(niceOfThisThread()); }, {});
         }},
        {"the pool's help for a job", mainNice + 10,
         [](std::function<void(int)> seen) {
             Models::runInBackground(Models::WorkPriority::userInitiated, [seen] { seen(niceOfAHelper()); }, {});
         }},
        {"a tree let go of elsewhere, below every other thread", 19,
         [](std::function<void(int)> seen) {
             auto witness = std::make_shared<Witness>();
             witness->seen = std::move(seen);
             Models::releaseElsewhere(std::move(witness));
         }},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.work);
        auto nice = std::make_shared<std::atomic<int>>(-100);
        row.run([nice](int seen) { nice->store(seen); });
        ASSERT_TRUE(test::waitUntil([&] { return nice->load() != -100; }));
        EXPECT_GE(nice->load(), std::min(19, row.atLeast));
    }
    // Jobs are born below the window: the threads that start them are already there.
    for (const auto& [name, atLeast] : {std::pair{"sorvel.start", mainNice + 10}, {"sorvel.start.bg", mainNice + 15}}) {
        const auto nices = nicesOfThreadsNamed(name);
        EXPECT_EQ(nices.size(), 1u) << name;
        for (const int nice : nices) EXPECT_GE(nice, std::min(19, atLeast)) << name;
    }
    EXPECT_EQ(niceOfThisThread(), mainNice) << "the main thread itself is never lowered";
}
