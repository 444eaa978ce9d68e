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

// Stored dates keep microseconds; a number past the calendar's end must clamp before it
// is scaled to the clock's finer count, or it wraps into the 17th century.
TEST(Date, MicrosecondsBeyondTheRangeAreClampedBeforeScaling) {
    const int64_t limitMicros = kDateSecondsLimit * 1'000'000;
    struct Case {
        int64_t micros;
        double expectedSeconds;
    };
    const Case cases[] = {
        {9'878'307'200'000'000, static_cast<double>(kDateSecondsLimit)}, // 8.9e9 s after 2001
        {std::numeric_limits<int64_t>::max(), static_cast<double>(kDateSecondsLimit)},
        {std::numeric_limits<int64_t>::min(), -static_cast<double>(kDateSecondsLimit)},
        {limitMicros + 1, static_cast<double>(kDateSecondsLimit)},
        {1'700'000'000'250'000, 1'700'000'000.25},
        {-1, -0.000001},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(unixSeconds(dateFromUnixMicroseconds(c.micros)), c.expectedSeconds) << c.micros;
}

TEST(Date, AFileStampedPastTheCalendarsEndReadsAsItsEnd) {
    test::TempDir dir;
    const std::string file = dir / "future";
    test::writeFile(file, "x");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {32'503'680'000, 500}}; // the year 3000
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    const auto modified = FileManager::modificationDate(file);
    ASSERT_TRUE(modified);
    EXPECT_GE(unixSeconds(*modified), static_cast<double>(kDateSecondsLimit));
}
