#include <gtest/gtest.h>

#include "platform/VolumeCapacity.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(VolumeCapacity, ReadsTheVolumeOfAFolder) {
    test::TempDir dir;
    auto c = volumeCapacity(dir.path());
    ASSERT_TRUE(c.has_value());
    EXPECT_GT(c->total, 0);
    EXPECT_GE(c->available, 0);
    EXPECT_LE(c->available, c->total);
    // No purgeable space here: important usage is what is available.
    EXPECT_EQ(c->availableForImportantUsage, c->available);
}

TEST(VolumeCapacity, AMissingPathIsNone) {
    test::TempDir dir;
    EXPECT_FALSE(volumeCapacity(dir / "missing/deeper").has_value());
}
