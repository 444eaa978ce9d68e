#include <gtest/gtest.h>

#include "engine/CleanupItem.h"

using namespace sorvel;

TEST(CleanupItemSize, ReportedSizeWinsOverTargets) {
    CleanupItem item;
    EXPECT_EQ(item.size(), 0);
    item.targets.push_back(CleanupTarget{UUID::random(), "a", "/a", 10, std::nullopt});
    item.targets.push_back(CleanupTarget{UUID::random(), "b", "/b", 5, std::nullopt});
    EXPECT_EQ(item.size(), 15);
    item.reportedSize = 3;
    EXPECT_EQ(item.size(), 3);
}

TEST(CleanupTargets, EveryTargetIsItsOwn) {
    CleanupTarget a{UUID::random(), "n", "/p", 1, std::nullopt};
    CleanupTarget b{UUID::random(), "n", "/p", 1, std::nullopt};
    EXPECT_FALSE(a == b);
    CleanupTarget c = a;
    EXPECT_EQ(a, c);
    c.detail = "note";
    EXPECT_FALSE(a == c);
}

TEST(CleanupRisks, OnlyTwoRawValues) {
    EXPECT_EQ(cleanupRiskFromRaw(0), CleanupRisk::safe);
    EXPECT_EQ(cleanupRiskFromRaw(1), CleanupRisk::review);
    EXPECT_EQ(cleanupRiskFromRaw(2), std::nullopt);
    EXPECT_EQ(cleanupRiskFromRaw(-1), std::nullopt);
    EXPECT_LT(CleanupRisk::safe, CleanupRisk::review);
}
