// Dates from the file system and from persisted numbers: times outside what a Date can
// hold are clamped to its ends, never wrapped round into another century.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/Date.h"
#include "platform/FileManager.h"
#include "support/TestSupport.h"

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

// A number past the calendar's end clamps before it is scaled to the clock's finer count,
// or it wraps into the 17th century.
TEST(Date, MicrosecondsBeyondTheRangeAreClampedBeforeScaling) {
    const double limit = static_cast<double>(kDateSecondsLimit);
    const std::pair<int64_t, double> cases[] = {
        {9'878'307'200'000'000, limit}, // 8.9e9 s after 2001
        {std::numeric_limits<int64_t>::max(), limit},
        {std::numeric_limits<int64_t>::min(), -limit},
        {kDateSecondsLimit * 1'000'000 + 1, limit},
        {1'700'000'000'250'000, 1'700'000'000.25},
        {-1, -0.000001},
    };
    for (const auto& [micros, seconds] : cases)
        EXPECT_DOUBLE_EQ(unixSeconds(dateFromUnixMicroseconds(micros)), seconds) << micros;
}

TEST(Date, AFileStampedPastTheCalendarsEndReadsAsItsEnd) {
    test::TempDir dir;
    test::writeFile(dir / "future", "x");
    const struct timespec year3000[2] = {{0, UTIME_OMIT}, {32'503'680'000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "future").c_str(), year3000, 0), 0);
    const auto modified = FileManager::modificationDate(dir / "future");
    ASSERT_TRUE(modified);
    EXPECT_GE(unixSeconds(*modified), static_cast<double>(kDateSecondsLimit));
}
