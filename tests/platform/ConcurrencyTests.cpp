#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "platform/Concurrency.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(Concurrency, ProcessorCountFollowsTheAffinityMask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    EXPECT_EQ(activeProcessorCount(), CPU_COUNT(&set));
    // Narrowed to one processor in a child, the count follows.
    int status = test::runAsUnprivileged([] {
        cpu_set_t one;
        CPU_ZERO(&one);
        cpu_set_t all;
        sched_getaffinity(0, sizeof all, &all);
        for (int i = 0; i < CPU_SETSIZE; ++i)
            if (CPU_ISSET(i, &all)) {
                CPU_SET(i, &one);
                break;
            }
        if (sched_setaffinity(0, sizeof one, &one) != 0) return 2;
        return activeProcessorCount() == 1 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(Concurrency, EveryIterationRunsExactlyOnce) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{1000}}) {
        std::vector<std::atomic<int>> hits(n);
        concurrentPerform(n, [&](size_t i) { hits[i].fetch_add(1); });
        for (size_t i = 0; i < n; ++i) EXPECT_EQ(hits[i].load(), 1) << n << " " << i;
    }
}

TEST(Concurrency, TheCallingThreadTakesPart) {
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> callerRan{false};
    // Enough slow iterations that the caller must claim some while the workers are busy.
    concurrentPerform(static_cast<size_t>(activeProcessorCount()) * 4, [&](size_t) {
        if (std::this_thread::get_id() == caller) callerRan = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    EXPECT_TRUE(callerRan.load());
}

TEST(Concurrency, DeeplyNestedCallsFinish) {
    std::atomic<int> leaves{0};
    std::function<void(int)> fan = [&](int depth) {
        if (depth == 0) {
            leaves.fetch_add(1);
            return;
        }
        concurrentPerform(4, [&](size_t) { fan(depth - 1); });
    };
    fan(6);
    EXPECT_EQ(leaves.load(), 4096);
}

TEST(Concurrency, WorksInAForkedChild) {
    concurrentPerform(64, [](size_t) {}); // the pool exists before the fork
    int status = test::runAsUnprivileged([] {
        std::atomic<int> sum{0};
        concurrentPerform(100, [&](size_t i) { sum.fetch_add(static_cast<int>(i)); });
        return sum.load() == 4950 ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(Concurrency, RunsEverythingOnTheCallerWhenNoThreadCanBeMade) {
    // Re-run as a fresh process whose user may not start another thread, so the pool is
    // made under that limit.
    if (std::getenv("SORVEL_TEST_NO_THREADS")) {
        std::atomic<int> sum{0};
        concurrentPerform(100, [&](size_t i) {
            concurrentPerform(3, [&](size_t j) { sum.fetch_add(static_cast<int>(i * 3 + j)); });
        });
        std::_Exit(sum.load() == 299 * 300 / 2 ? 0 : 1);
    }
    int status = test::runAsUnprivileged([] {
        struct rlimit one {1, 1};
        if (setrlimit(RLIMIT_NPROC, &one) != 0) return 20;
        setenv("SORVEL_TEST_NO_THREADS", "1", 1);
        const char* args[] = {"test_platform", "--gtest_filter=Concurrency.RunsEverythingOnTheCallerWhenNoThreadCanBeMade",
                              nullptr};
        execv("/proc/self/exe", const_cast<char* const*>(args));
        return 21;
    });
    EXPECT_EQ(status, 0);
}

// An iteration that throws must not end the process from a pool worker: the caller, which
// waits for the work, gets the first error once no iteration is running any more.
TEST(ConcurrencyFailures, AnErrorOnAnyThreadReachesTheCallerAfterTheOthersFinish) {
    const auto caller = std::this_thread::get_id();
    struct Case {
        const char* name;
        bool throwsOnWorkers; // else on the caller
        bool nested;          // thrown from an inner call
    };
    for (const Case& c : {Case{"worker", true, false}, Case{"caller", false, false}, Case{"nested", true, true}}) {
        std::atomic<int> running{0}, stillRunningAtReturn{-1};
        std::atomic<bool> workerTookOne{false}, callerTookOne{false};
        auto iteration = [&](size_t) {
            ++running;
            const bool onCaller = std::this_thread::get_id() == caller;
            (onCaller ? callerTookOne : workerTookOne) = true;
            // Each holds on (bounded) until both the caller and a worker have an iteration.
            for (int spins = 0; !(workerTookOne && callerTookOne) && spins < 20'000; ++spins)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            --running;
            if (onCaller != c.throwsOnWorkers) throw std::runtime_error(std::string("failed on the ") + c.name);
        };
        std::string heard;
        try {
            concurrentPerform(64, [&](size_t i) {
                if (c.nested) concurrentPerform(2, iteration);
                else iteration(i);
            });
        } catch (const std::runtime_error& error) {
            heard = error.what();
            stillRunningAtReturn = running.load();
        }
        EXPECT_EQ(heard, std::string("failed on the ") + c.name) << c.name;
        EXPECT_EQ(stillRunningAtReturn.load(), 0) << c.name;
    }
    // The pool's workers are all still there and take work.
    std::atomic<int> sum{0};
    concurrentPerform(100, [&](size_t i) { sum.fetch_add(static_cast<int>(i)); });
    EXPECT_EQ(sum.load(), 4950);
}
