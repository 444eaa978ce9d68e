#include <gtest/gtest.h>

#include <QAccessible>
#include <QImage>
#include <QPainter>

#include "ui/kit/CapacityBar.h"
#include "ui/kit/Theme.h"
#include "uisupport/UiContext.h"

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

// The free colour is all but the ground's own, in the dark appearance above all: the free
// swatch of the legend still stands out from the window around it, in either appearance.
TEST(CapacityBarLegend, TheFreeSwatchStandsOutFromTheWindow) {
    sorvel::test::UiContext ctx;
    for (const auto appearance : {sorvel::ui::Appearance::dark, sorvel::ui::Appearance::light}) {
        ctx.appearance().setSelection(appearance);
        CapacityBar bar;
        bar.setValues({"System Data", 100'000'000, 300'000'000, 600'000'000, true});
        sorvel::test::settle(&bar, {600, bar.heightForWidth(600)});
        const QColor ground = sorvel::ui::Theme::window().resolve();
        QImage image(bar.size(), QImage::Format_RGB32);
        image.fill(ground);
        QPainter p(&image);
        bar.render(&p, {}, {}, QWidget::DrawChildren);
        p.end();
        // Below the bar, in the swatch's 9 columns (its title starts 6 further right).
        const int left = int(bar.legend(bar.width())[2].x);
        int standsOut = 0;
        for (int y = 20; y < image.height(); ++y)
            for (int x = left; x < left + 9; ++x) standsOut += !sorvel::test::nearColour(image.pixelColor(x, y), ground, 31);
        EXPECT_GE(standsOut, 16) << (appearance == sorvel::ui::Appearance::dark ? "dark" : "light");
    }
}

// A volume nobody could read: its legend says so for the rest and the free space, never
// "0 KB", and the bar draws no proportions (the scan alone would fill it, as a full disk).
TEST(CapacityBarLegend, AVolumeNotMeasuredSaysSoAndDrawsNoSegments) {
    sorvel::test::UiContext ctx;
    ctx.appearance().setSelection(sorvel::ui::Appearance::light);
    struct Case {
        bool measured;
        const char* other;
        const char* free;
        bool segments;
    };
    for (const Case c : {Case{true, "200 MB", "600 MB", true}, Case{false, "not measured", "not measured", false}}) {
        CapacityBar bar;
        CapacityBar::Values values{"System Data", 100'000'000, 300'000'000, 600'000'000, true};
        values.volumeMeasured = c.measured;
        bar.setValues(values);
        sorvel::test::settle(&bar, {600, bar.heightForWidth(600)});
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&bar);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->childCount(), 3);
        EXPECT_EQ(list->child(0)->text(QAccessible::Value), "100 MB");
        EXPECT_EQ(list->child(1)->text(QAccessible::Value), c.other);
        EXPECT_EQ(list->child(2)->text(QAccessible::Value), c.free);
        const QColor ground = sorvel::ui::Theme::window().resolve();
        QImage image(bar.size(), QImage::Format_RGB32);
        image.fill(ground);
        QPainter p(&image);
        bar.render(&p, {}, {}, QWidget::DrawChildren);
        p.end();
        int inked = 0;
        for (int x = 0; x < image.width(); ++x) inked += !sorvel::test::nearColour(image.pixelColor(x, 4), ground, 12);
        EXPECT_EQ(inked > 0, c.segments) << inked;
    }
}
