#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/Bytes.h"
#include "platform/ByteCountFormatter.h"

using namespace sorvel;

// The whole behaviour of the file-style byte formatter in one table.
TEST(ByteCountFormatter, FormatsEveryUnitAsTheTableSays) {
    const std::pair<int64_t, const char*> table[] = {
        {0, "0 KB"},
        {1, "0 KB"},                 // below half a kilobyte rounds to zero
        {499, "0 KB"},
        {500, "1 KB"},               // halves round up
        {1000, "1 KB"},
        {1499, "1 KB"},
        {1500, "2 KB"},
        {999'000, "999 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"},           // rounds to 1000 KB: next unit
        {999'999, "1 MB"},
        {1'000'000, "1 MB"},
        {1'050'000, "1.1 MB"},       // one fraction digit for MB
        {1'049'999, "1 MB"},         // trailing zero dropped
        {12'300'000, "12.3 MB"},
        {999'949'999, "999.9 MB"},
        {999'950'000, "1 GB"},       // rounds to 1000.0 MB: next unit
        {1'000'000'000, "1 GB"},
        {1'500'000'000, "1.5 GB"},
        {1'234'567'890, "1.23 GB"},  // two fraction digits for GB
        {1'235'000'000, "1.24 GB"},
        {1'999'999'999, "2 GB"},
        {999'994'999'999, "999.99 GB"},
        {999'995'000'000, "1 TB"},
        {1'000'000'000'000, "1 TB"},
        {2'345'678'901'234, "2.35 TB"},
        {1'234'000'000'000'000, "1,234 TB"}, // thousands grouped, no larger unit
        {1'234'567'000'000'000, "1,234.57 TB"},
        {9'223'372'036'854'775'807, "9,223,372.04 TB"},
    };
    for (const auto& [bytes, text] : table) EXPECT_EQ(formatByteCount(bytes), text) << bytes;
}

TEST(Bytes, FormatClampsNegativeCountsToZero) {
    EXPECT_EQ(Bytes::format(-5'000'000), "0 KB");
    EXPECT_EQ(Bytes::format(1'500'000'000), "1.5 GB");
}

TEST(Bytes, PartsSplitNumberAndUnit) {
    auto p = Bytes::parts(1'234'567'890);
    EXPECT_EQ(p.number, "1.23");
    EXPECT_EQ(p.unit, "GB");
    auto negative = Bytes::parts(-1);
    EXPECT_EQ(negative.number, "0");
    EXPECT_EQ(negative.unit, "KB");
    auto grouped = Bytes::parts(1'234'000'000'000'000);
    EXPECT_EQ(grouped.number, "1,234");
    EXPECT_EQ(grouped.unit, "TB");
}

TEST(Bytes, CompactUsesShortDecimalForms) {
    EXPECT_EQ(Bytes::compact(250'000'000'000), "250 GB");
    EXPECT_EQ(Bytes::compact(1'500'000'000), "1.5 GB");
    EXPECT_EQ(Bytes::compact(999'999'999), "1000 MB"); // rounded, not promoted
    EXPECT_EQ(Bytes::compact(5'000'000), "5 MB");
    // Below a megabyte as the other figures read, never a raw byte count.
    EXPECT_EQ(Bytes::compact(888'832), "889 KB");
    EXPECT_EQ(Bytes::compact(12'288), "12 KB");
    EXPECT_EQ(Bytes::compact(999'999), "1 MB");
    EXPECT_EQ(Bytes::compact(0), "0 KB");
    EXPECT_EQ(Bytes::compact(-42), "0 KB");
    EXPECT_EQ(Bytes::compact(99'960'000'000), "100.0 GB");
}

TEST(Bytes, FormatIsSafeFromManyThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                if (Bytes::format(1'500'000'000) != "1.5 GB") ++wrong;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
}
