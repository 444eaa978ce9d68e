#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "ui/screens/TreemapLayout.h"

using sorvel::ui::Treemap::layout;

TEST(TreemapLayout, EdgeCases) {
    EXPECT_TRUE(layout({}, QRectF(0, 0, 100, 100)).empty());
    const auto two = layout({1, 1}, QRectF(0, 0, 200, 100));
    EXPECT_EQ(two[0], QRectF(0, 0, 100, 100));
    EXPECT_EQ(two[1], QRectF(100, 0, 100, 100));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto mixed = layout({0, 5, -2, 3, nan}, QRectF(0, 0, 80, 100));
    ASSERT_EQ(mixed.size(), 5u);
    EXPECT_TRUE(mixed[0].isNull() && mixed[2].isNull() && mixed[4].isNull());
    EXPECT_NEAR(mixed[1].width() * mixed[1].height() / (mixed[3].width() * mixed[3].height()), 5.0 / 3.0, 1e-9);
    for (QRectF r : {QRectF(0, 0, 0, 50), QRectF(0, 0, 50, 0), QRectF(0, 0, nan, 10)})
        for (const auto& out : layout({1, 2, 3}, r)) EXPECT_TRUE(out.isNull());
    // A rectangle given with negative extents is read standardised.
    const auto flipped = layout({1, 1}, QRectF(200, 100, -200, -100));
    EXPECT_EQ(flipped[0], QRectF(0, 0, 100, 100));
}

TEST(TreemapLayout, AreasProportionalInsideTheBoundsWithoutOverlap) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> weight(0.01, 1000);
    for (int round = 0; round < 50; ++round) {
        const QRectF bounds(13, 7, 200 + round * 17, 90 + round * 11);
        std::vector<double> weights(size_t(1 + round * 3));
        for (auto& w : weights) w = weight(random);
        const auto rects = layout(weights, bounds);
        ASSERT_EQ(rects.size(), weights.size());
        double total = 0;
        for (double w : weights) total += w;
        double covered = 0;
        for (size_t i = 0; i < rects.size(); ++i) {
            const QRectF& r = rects[i];
            const double expected = bounds.width() * bounds.height() * weights[i] / total;
            EXPECT_NEAR(r.width() * r.height(), expected, expected * 1e-6 + 1e-6);
            EXPECT_GE(r.left(), bounds.left() - 1e-6);
            EXPECT_GE(r.top(), bounds.top() - 1e-6);
            EXPECT_LE(r.right(), bounds.right() + 1e-6);
            EXPECT_LE(r.bottom(), bounds.bottom() + 1e-6);
            covered += r.width() * r.height();
            for (size_t j = 0; j < i; ++j) {
                const QRectF o = r.intersected(rects[j]);
                EXPECT_LT(o.width() * o.height(), 1e-6) << "tiles " << i << " and " << j << " overlap";
            }
        }
        EXPECT_NEAR(covered, bounds.width() * bounds.height(), 1e-6 * bounds.width() * bounds.height());
    }
}
