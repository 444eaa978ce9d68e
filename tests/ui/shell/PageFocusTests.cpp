// The focus in the whole window: an action that rebuilds its page leaves it in the page;
// the ring shows whole around a row, an app card and a tile.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <functional>

#include "support/AppsModelProbe.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Theme.h"
#include "ui/screens/CleanupRow.h"
#include "ui/screens/TreemapView.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageHost.h"
#include "ui/tools/AppUninstallerView.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

struct Shell {
    test::UiContext ctx;
    std::unique_ptr<MainWindow> window;

    Shell() {
        ctx.recommendations = test::UiContext::sampleRecommendations();
        ctx.finishScan(test::UiContext::sampleResult());
        window = std::make_unique<MainWindow>(ctx.models(), MainWindow::Startup{});
        test::settle(window.get(), {1440, 980});
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    QWidget* appCard() {
        ctx.coordinator().show(Tool::apps);
        test::waitUntil([&] {
            auto* page = window->findChild<AppUninstallerView*>();
            return page && page->isVisible() && !ctx.models().apps.isScanning();
        });
        AppsModelProbe::setApps(ctx.models().apps, test::sampleApps(ctx));
        return test::named(window.get(), "appRow").front();
    }
    TreemapView* map() const { return window->findChild<TreemapView*>(); }
};

} // namespace

// The control that acted keeps the focus if the rebuilt page has it; else a control of the page.
TEST(PageFocus, ReturnOnAControlThatRebuildsThePageLeavesTheFocusInIt) {
    const std::tuple<const char*, std::function<QWidget*(Shell&)>, QString> actions[] = {
        {"scan home folder",
         [](Shell& s) {
             s.ctx.coordinator().show(Tool::duplicates);
             return test::button(s.window.get(), "Scan home folder");
         },
         "scanHome"},
        {"app card", [](Shell& s) { return s.appCard(); }, "allApplications"},
        {"map tile", [](Shell& s) -> QWidget* { return s.map(); }, {}},
    };
    for (const auto& [name, control, focused] : actions) {
        SCOPED_TRACE(name);
        Shell s;
        QWidget* acting = control(s);
        ASSERT_NE(acting, nullptr);
        acting->setFocus(Qt::TabFocusReason);
        QTest::keyClick(acting, Qt::Key_Return);
        EXPECT_TRUE(test::waitUntil(
            [&] {
                auto* f = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
                return !s.ctx.models().duplicates.isScanning() && f && s.window->pageHost().isAncestorOf(f) &&
                       (focused.isEmpty() || f->objectName() == focused);
            },
            3000));
    }
}

TEST(PageFocus, TheRingShowsWholeAroundARowAnAppCardAndATile) {
    Shell s;
    // Focuses `control` by keyboard; the sides of `shape` (default: all of it) newly in the accent, as "LTRB".
    const auto ring = [&s](QWidget* control, std::vector<Qt::Key> keys, QRect shape = {}) {
        s.window->pageHost().ensureWidgetVisible(control);
        if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
        QTest::qWait(20);
        const QImage before = s.window->grab().toImage();
        control->setFocus(Qt::TabFocusReason);
        for (Qt::Key key : keys) QTest::keyClick(control, key);
        const QImage now = s.window->grab().toImage();
        const QColor accent = Theme::accent().resolve();
        shape = (shape.isEmpty() ? control->rect() : shape).translated(control->mapTo(s.window.get(), QPoint()));
        const QPoint c = shape.center(), edges[] = {{shape.left(), c.y()}, {c.x(), shape.top()},
                                                    {shape.right(), c.y()}, {c.x(), shape.bottom()}};
        const QPoint inwards[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        std::string sides;
        for (int i = 0; i < 4; ++i)
            for (int d = -5; d <= 5 && sides.find("LTRB"[i]) == std::string::npos; ++d)
                if (const QPoint p = edges[i] + inwards[i] * d; now.rect().contains(p) &&
                    now.pixel(p) != before.pixel(p) && test::nearColour(now.pixelColor(p), accent, 50))
                    sides += "LTRB"[i];
        return sides;
    };
    EXPECT_EQ(ring(s.window->findChildren<CleanupRow*>().front(), {Qt::Key_Shift}), "LTRB") << "full-width row";
    const auto tiles = s.map()->rects();
    const auto narrowest = std::ranges::min_element(tiles, {}, &QRectF::width);
    const std::vector<Qt::Key> rights(size_t(narrowest - tiles.begin()), Qt::Key_Right);
    EXPECT_EQ(ring(s.map(), rights, narrowest->toAlignedRect().adjusted(3, 3, -3, -3)), "LTRB") << "narrowest tile";
    EXPECT_EQ(ring(s.appCard(), {Qt::Key_Shift}), "LTRB") << "app card";
}
