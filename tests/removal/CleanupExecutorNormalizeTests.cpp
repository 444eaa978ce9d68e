// Preparing a run: standardising, repeats, nesting and the order of the outcomes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;
using PS = CleanupExecutor::PathSize;

TEST(CleanupExecutorNormalize, RepeatsKeepTheFirstSize) {
    const auto out = CleanupExecutor::normalize({{"/a/b/", 10}, {"/a/b", 99}, {"/a/./b", 5}});
    EXPECT_EQ(out, (std::vector<PS>{{"/a/b", 10}}));
}

TEST(CleanupExecutorNormalize, AFolderSwallowsWhatIsInsideIt) {
    const auto out = CleanupExecutor::normalize({{"/a/b/c", 500}, {"/a/b", 10}, {"/a/bc", 7}});
    EXPECT_EQ(out, (std::vector<PS>{{"/a/b", 10}, {"/a/bc", 7}}));
    // The root folder holds every path.
    EXPECT_EQ(CleanupExecutor::normalize({{"/x", 2}, {"/", 1}}), (std::vector<PS>{{"/", 1}}));
}

TEST(CleanupExecutorNormalize, LargestFirstThenShortestFirst) {
    const auto out = CleanupExecutor::normalize({{"/x/long-name", 5}, {"/x/s", 5}, {"/x/aa", 1}, {"/x/bb", 9}});
    EXPECT_EQ(out, (std::vector<PS>{{"/x/bb", 9}, {"/x/s", 5}, {"/x/long-name", 5}, {"/x/aa", 1}}));
}

TEST(CleanupExecutorNormalize, LengthIsCountedInCharactersNotBytes) {
    // "/x/\u00e9\u00e9" has five characters but seven bytes; "/x/abc" six of each.
    const auto out = CleanupExecutor::normalize({{"/x/abc", 5}, {"/x/\u00e9\u00e9", 5}});
    EXPECT_EQ(out, (std::vector<PS>{{"/x/\u00e9\u00e9", 5}, {"/x/abc", 5}}));
}

TEST(CleanupExecutorNormalize, DotDotIsResolvedBeforeComparing) {
    test::ScopedEnv home("HOME", std::string("/home/u"));
    const auto out = CleanupExecutor::normalize({{"~/Library/Caches/x/../y", 3}, {"/home/u/Library/Caches/y/z", 4}});
    EXPECT_EQ(out, (std::vector<PS>{{"/home/u/Library/Caches/y", 3}}));
}

TEST(CleanupExecutorNormalize, NothingInNothingOut) {
    int calls = 0;
    const auto out = CleanupExecutor::run({}, CleanupExecutor::Mode::dryRun, CleanupPolicy::standard(), std::nullopt,
                                          [&](int, int) { ++calls; });
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(calls, 0);
}

TEST(CleanupExecutorFreed, CountsOnlyWhatMovedOrWouldMove) {
    CleanupOutcome moved{UUID::random(), "/a", 10, CleanupOutcome::MovedToTrash{"/t/a"}};
    CleanupOutcome refused{UUID::random(), "/b", 20, CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()}};
    CleanupOutcome failed{UUID::random(), "/c", 30, CleanupOutcome::Failed{"no"}};
    EXPECT_EQ(CleanupExecutor::freed({moved, refused, failed}), 10);
    CleanupOutcome w1{UUID::random(), "/d", 4, CleanupOutcome::WouldMove{}};
    CleanupOutcome w2{UUID::random(), "/e", 6, CleanupOutcome::WouldMove{}};
    EXPECT_EQ(CleanupExecutor::freed({w1, w2}), 10);
    EXPECT_EQ(CleanupExecutor::freed({}), 0);
}

// Nesting found by looking up the folders around each path must keep what comparing every
// pair keeps, on lists where the two could part: siblings sharing a prefix, the root,
// relative paths, a folder listed after what it holds, and thousands of paths.
TEST(CleanupExecutorNormalize, NestingAgreesWithComparingEveryPair) {
    auto pairwise = [](const std::vector<PS>& in) {
        std::set<std::string> out;
        for (const auto& p : in)
            if (std::none_of(in.begin(), in.end(), [&](const PS& o) { return o.path != p.path && isPathInside(p.path, o.path); }))
                out.insert(p.path);
        return out;
    };
    std::vector<PS> many;
    for (int i = 0; i < 3000; ++i) many.push_back({"/c/app" + std::to_string(i % 300) + "/f" + std::to_string(i), 1});
    for (int i = 0; i < 300; i += 7) many.push_back({"/c/app" + std::to_string(i), 2});
    const std::vector<std::vector<PS>> table = {
        {{"/a/b", 1}, {"/a/bc", 1}, {"/a/b-c/d", 1}, {"/a/b/c/d/e", 1}},
        {{"/a/b/c", 1}, {"/a", 1}, {"/b", 1}},
        {{"/x/y", 1}, {"/", 1}, {"/z", 1}},
        {{"rel/a/b", 1}, {"rel/a", 1}, {"rel2/a", 1}},
        {{"/only", 1}},
        many,
    };
    for (size_t row = 0; row < table.size(); ++row) {
        std::set<std::string> got;
        for (const auto& p : CleanupExecutor::normalize(table[row])) got.insert(p.path);
        EXPECT_EQ(got, pairwise(table[row])) << "row " << row;
    }
}
