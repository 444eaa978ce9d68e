#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "engine/Parallel.h"

using namespace sorvel;

TEST(ParallelMap, ZeroJobsCallsNothing) {
    int calls = 0;
    auto result = Parallel::map(0, [&](size_t) { return ++calls; });
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(calls, 0);
}

TEST(ParallelMap, OneJobRunsOnTheCallingThread) {
    const auto caller = std::this_thread::get_id();
    auto result = Parallel::map(1, [&](size_t i) { return std::make_pair(i, std::this_thread::get_id()); });
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].first, 0u);
    EXPECT_EQ(result[0].second, caller);
}

TEST(ParallelMap, ResultsComeBackInIndexOrderWhateverOrderJobsFinish) {
    auto result = Parallel::map(100, [](size_t i) {
        std::mt19937 rng(static_cast<unsigned>(i));
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 2000));
        return static_cast<int>(i) * 3;
    });
    ASSERT_EQ(result.size(), 100u);
    for (size_t i = 0; i < 100; ++i) EXPECT_EQ(result[i], static_cast<int>(i) * 3);
}

TEST(ParallelMap, EmptyOptionalResultsKeepTheirPlace) {
    auto result = Parallel::map(10, [](size_t i) -> std::optional<int> {
        if (i % 3 == 0) return std::nullopt;
        return static_cast<int>(i);
    });
    ASSERT_EQ(result.size(), 10u);
    EXPECT_FALSE(result[0].has_value());
    EXPECT_EQ(result[1], 1);
    EXPECT_FALSE(result[9].has_value());
}

TEST(ParallelMap, JobsRunConcurrently) {
    // Two jobs that each wait for the other can only finish when they overlap.
    std::atomic<int> arrived{0};
    auto result = Parallel::map(2, [&](size_t) {
        arrived.fetch_add(1);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (arrived.load() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        return arrived.load();
    });
    EXPECT_EQ(result, (std::vector<int>{2, 2}));
}

TEST(ParallelMap, NestedMapsDoNotDeadlock) {
    // Every level occupies all workers with jobs that themselves fan out and wait.
    const size_t width = static_cast<size_t>(activeProcessorCount()) * 2 + 1;
    auto result = Parallel::map(width, [&](size_t a) {
        auto inner = Parallel::map(width, [&](size_t b) {
            auto innermost = Parallel::map(3, [&](size_t c) { return a * 100 + b * 10 + c; });
            size_t sum = 0;
            for (auto v : innermost) sum += v;
            return sum;
        });
        size_t sum = 0;
        for (auto v : inner) sum += v;
        return sum;
    });
    ASSERT_EQ(result.size(), width);
    for (size_t a = 0; a < width; ++a) {
        size_t expected = 0;
        for (size_t b = 0; b < width; ++b)
            for (size_t c = 0; c < 3; ++c) expected += a * 100 + b * 10 + c;
        EXPECT_EQ(result[a], expected);
    }
}

TEST(ParallelMap, CallsFromManyOutsideThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                auto r = Parallel::map(17, [&](size_t i) { return static_cast<int>(i) + t; });
                for (size_t i = 0; i < r.size(); ++i)
                    if (r[i] != static_cast<int>(i) + t) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(ParallelCounter, EveryValueIsHandedOutOnce) {
    Parallel::Counter counter;
    auto values = Parallel::map(1000, [&](size_t) { return counter.increment(); });
    EXPECT_EQ(counter.value(), 1000);
    std::set<int> distinct(values.begin(), values.end());
    EXPECT_EQ(distinct.size(), 1000u);
    EXPECT_EQ(*distinct.begin(), 1);
    EXPECT_EQ(*distinct.rbegin(), 1000);
}
