// At 960x600 logical the header's parts shorten or wrap so nothing is cut; below the
// content's minimum the content keeps it and scrolls, its parts never drawn over each other.
#include <gtest/gtest.h>

#include <QImage>
#include <QScrollArea>
#include <QScrollBar>

#include "uisupport/UiContext.h"
#include "ui/kit/Button.h"
#include "ui/kit/CapacityBar.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Theme.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarView.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

QRect rectIn(const QWidget* w, const QWidget* window) { return {w->mapTo(window, QPoint(0, 0)), w->size()}; }

// Whether `colour` is painted in `band` as a swatch (3 pixels in a row).
bool painted(const QImage& image, QRect band, const QColor& colour) {
    band &= image.rect();
    for (int y = band.top(); y <= band.bottom(); ++y)
        for (int x = band.left(); x + 2 <= band.right(); ++x)
            if (test::nearColour(image.pixelColor(x, y), colour, 4) && test::nearColour(image.pixelColor(x + 2, y), colour, 4))
                return true;
    return false;
}

// A window the size it gets on a screen of `logical` points.
void settleOnScreen(MainWindow& window, QSize logical) {
    const QRect screen(QPoint(0, 0), logical);
    window.setMinimumSize(MainWindow::fitted({MainWindow::minimumWidth, MainWindow::minimumHeight}, screen));
    test::settle(&window, MainWindow::fitted({MainWindow::defaultWidth, MainWindow::defaultHeight}, screen));
}

} // namespace

TEST(NarrowWindow, AtTwiceTheScaleOn1920By1200RescanAndTheWholeLegendShow) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ctx.appearance().setSelection(dark ? Appearance::dark : Appearance::light);
        MainWindow window(ctx.models(), MainWindow::Startup{});
        settleOnScreen(window, {960, 600});
        auto* header = static_cast<HeaderView*>(window.header());
        const auto* scroll = qobject_cast<QScrollArea*>(window.centralWidget());
        const QRect visible = rectIn(scroll ? scroll->viewport() : window.centralWidget(), &window),
                    rescan = rectIn(header->actionButton(), &window), bar = rectIn(header->capacityBar(), &window);
        EXPECT_TRUE(visible.contains(rescan) && visible.contains(bar));
        EXPECT_GE(header->actionButton()->width(), header->actionButton()->sizeHint().width()) << "Rescan is cut";
        EXPECT_FALSE(bar.intersects(rescan) || bar.intersects(rectIn(header->scopePicker(), &window)));
        EXPECT_GE(bar.height(), header->capacityBar()->heightForWidth(bar.width())) << "a wrapped legend line is cut";
        // The legend's swatches (scanned, Other, Free) are painted under the bar itself.
        const QImage image = window.grab().toImage();
        for (const Adaptive* swatch : {&Theme::accent(), &Theme::otherGrey(), &Theme::inset()})
            EXPECT_TRUE(painted(image, bar.adjusted(0, 18, 0, 0) & visible, swatch->resolve()))
                << swatch->resolve().name().toStdString();
    }
    ctx.appearance().setSelection(Appearance::light);
}

TEST(NarrowWindow, LegendEntriesWrapOrShortenButKeepTheirFigures) {
    test::UiContext ctx;
    CapacityBar bar;
    bar.setValues({"Whole Disk", 123'456'789'012, 456'789'012'345, 98'765'432'109, true});
    const int oneLine = bar.heightForWidth(2000);
    for (int width : {2000, 300, 160, bar.minimumSizeHint().width()}) {
        SCOPED_TRACE(width);
        const auto entries = bar.legend(width);
        for (const auto& e : entries)
            EXPECT_TRUE(e.x >= 0 && e.x + e.width <= width + 0.5 && !e.title.isEmpty()) << e.title.toStdString();
        EXPECT_EQ(bar.heightForWidth(width) > oneLine, entries[2].line > 0);
    }
    EXPECT_EQ(bar.legend(2000)[1].title, "OTHER");
    EXPECT_TRUE(bar.legend(bar.minimumSizeHint().width())[0].title.endsWith(QChar(0x2026)));
}

TEST(SmallWindow, BelowTheContentsMinimumItScrollsAndNothingOverlaps) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    MainWindow window(ctx.models(), MainWindow::Startup{});
    settleOnScreen(window, {640, 300});
    auto* scroll = qobject_cast<QScrollArea*>(window.centralWidget());
    ASSERT_NE(scroll, nullptr) << "the content does not scroll";
    QWidget* content = scroll->widget();
    EXPECT_TRUE(content->width() >= content->minimumSizeHint().width() &&
                content->height() >= content->minimumSizeHint().height());
    EXPECT_TRUE(scroll->horizontalScrollBar()->isVisible() && scroll->verticalScrollBar()->isVisible());
    // The app mark stays above the sidebar's rows; the capacity bar right of the scope picker.
    auto* header = static_cast<HeaderView*>(window.header());
    const QRect mark = rectIn(window.sidebar()->findChild<QWidget*>("appMark"), content);
    for (auto* row : window.sidebar()->findChildren<SidebarRow*>())
        EXPECT_FALSE(row->isVisible() && mark.intersects(rectIn(row, content)));
    const QRect bar = rectIn(header->capacityBar(), content);
    EXPECT_FALSE(bar.intersects(rectIn(header->scopePicker(), content)) ||
                 bar.intersects(rectIn(header->actionButton(), content)));
    EXPECT_TRUE(rectIn(window.sidebar(), content).right() <= rectIn(header, content).left() &&
                rectIn(header, content).left() <= bar.left());
}
