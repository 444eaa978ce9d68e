#include <gtest/gtest.h>

#include "ui/kit/CapacityBar.h"

using sorvel::ui::CapacityBar;

TEST(CapacityBarWidths, SharesTheUsableWidthWithAFourPointFloor) {
    struct Case {
        double width;
        int64_t scanned, used, free;
        std::array<double, 3> expected;
    };
    const Case cases[] = {
        // Nothing at all: divisor 1, every width 0.
        {306, 0, 0, 0, {0, 0, 0}},
        // 100 / 200 / 300 of 606: usable 600.
        {606, 100, 300, 300, {100, 200, 300}},
        // One byte on a terabyte volume still shows 4 points.
        {606, 1, 500'000'000'000, 500'000'000'000, {4, 300 - 600.0 / 1e12, 300}},
        // Narrower than the gaps: usable 0, positive segments exactly 4.
        {5, 10, 20, 30, {4, 4, 4}},
        // Scanned above used: other is 0 and takes no width.
        {606, 500, 300, 100, {500, 0, 100}},
    };
    for (const auto& c : cases) {
        const auto w = CapacityBar::widths(c.width, c.scanned, c.used, c.free);
        for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(w[i], c.expected[i], 1e-6) << c.width << " segment " << i;
    }
}

TEST(CapacityBarWidths, OtherNeverNegative) {
    EXPECT_EQ(CapacityBar::other(10, 4), 0);
    EXPECT_EQ(CapacityBar::other(4, 10), 6);
}
