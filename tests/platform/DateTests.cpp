// Dates from the file system and from persisted numbers: times outside what a Date can
// hold are clamped to its ends, never wrapped round into another century.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/Date.h"

using namespace sorvel;

TEST(Date, SecondsBeyondTheRangeAreClampedNotWrapped) {
    const int64_t year3000 = 32503680000;
    EXPECT_GT(unixSeconds(dateFromUnixSeconds(year3000)), 9.2e9);
    EXPECT_GT(unixSeconds(dateFromUnixSeconds(std::numeric_limits<int64_t>::max())), 9.2e9);
    EXPECT_LT(unixSeconds(dateFromUnixSeconds(std::numeric_limits<int64_t>::min())), -9.2e9);
    EXPECT_EQ(unixSeconds(dateFromUnixSeconds(1'700'000'000)), 1'700'000'000.0);
    EXPECT_EQ(unixSeconds(dateFromUnixSeconds(-86400)), -86400.0);
}

TEST(Date, ReferenceSecondsOutOfRangeOrNotANumberStaySane) {
    EXPECT_GT(unixSeconds(dateFromReferenceSeconds(1e300)), 9.2e9);
    EXPECT_LT(unixSeconds(dateFromReferenceSeconds(-1e300)), -9.2e9);
    EXPECT_GT(unixSeconds(dateFromReferenceSeconds(std::numeric_limits<double>::infinity())), 9.2e9);
    EXPECT_EQ(secondsSinceReferenceDate(dateFromReferenceSeconds(std::nan(""))), 0.0);
    EXPECT_EQ(secondsSinceReferenceDate(dateFromReferenceSeconds(12345.5)), 12345.5);
}
