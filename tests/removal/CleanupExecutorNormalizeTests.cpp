// Preparing a run: standardising, repeats, nesting and the order of the outcomes.
#include <gtest/gtest.h>

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
