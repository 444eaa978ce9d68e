// The focus in the whole window: an action that rebuilds its page leaves it in the page;
// the ring shows only after keyboard use, and whole around a row, an app card and a tile.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <functional>

#include "support/AppsModelProbe.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/FocusRing.h"
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
    bool anyRing() const { return std::ranges::any_of(window->findChildren<FocusRing*>(), &QWidget::isVisible); }
    // The first sample app's card; shown, the page starts its own inventory: wait it out.
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

// The control that acted keeps the focus when the rebuilt page has it again; else a
// control of the page (never a sidebar row) takes it.
TEST(PageFocus, AnActionThatRebuildsThePageLeavesTheFocusInIt) {
    const std::tuple<const char*, std::function<QWidget*(Shell&)>, QString> actions[] = {
        {"scan home folder",
         [](Shell& s) {
             s.ctx.coordinator().show(Tool::duplicates);
             return test::button(s.window.get(), "Scan home folder");
         },
         "scanHome"},
        {"app card", [](Shell& s) { return s.appCard(); }, "allApplications"},
        {"map tile", [](Shell& s) -> QWidget* { return s.map(); }, {}}, // any control of the page
    };
    for (const auto& [name, control, focused] : actions)
        for (const bool keyboard : {false, true}) {
            SCOPED_TRACE(std::string(name) + (keyboard ? " from the keyboard" : " by mouse"));
            Shell s;
            QWidget* acting = control(s);
            ASSERT_NE(acting, nullptr);
            if (keyboard) {
                acting->setFocus(Qt::TabFocusReason);
                QTest::keyClick(acting, Qt::Key_Return);
            } else {
                auto* map = qobject_cast<TreemapView*>(acting);
                const QPoint at = map ? map->rects()[0].center().toPoint() : acting->rect().center();
                QTest::mouseClick(acting, Qt::LeftButton, {}, at);
            }
            // The page rebuilds a turn or more later (the duplicates scan runs meanwhile).
            EXPECT_TRUE(test::waitUntil(
                [&] {
                    auto* f = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
                    return !s.ctx.models().duplicates.isScanning() && f && s.window->pageHost().isAncestorOf(f) &&
                           (focused.isEmpty() || f->objectName() == focused);
                },
                3000));
            EXPECT_EQ(s.anyRing(), keyboard);
        }
}

TEST(PageFocus, TheRingShowsWholeAroundARowAnAppCardAndATile) {
    Shell s;
    // Focuses `control` from the keyboard (`keys` on it); the ring's sides around `shape` (all of it when empty).
    const auto ring = [&s](QWidget* control, std::vector<Qt::Key> keys, QRect shape = {}) {
        s.window->pageHost().ensureWidgetVisible(control);
        if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
        QTest::qWait(20);
        const QImage before = s.window->grab().toImage();
        control->setFocus(Qt::TabFocusReason);
        for (Qt::Key key : keys) QTest::keyClick(control, key);
        shape = shape.isEmpty() ? control->rect() : shape;
        return test::ringSides(s.window.get(), shape.translated(control->mapTo(s.window.get(), QPoint())), before);
    };
    EXPECT_EQ(ring(s.window->findChildren<CleanupRow*>().front(), {Qt::Key_Shift}), "LTRB") << "full-width row";
    const auto tiles = s.map()->rects();
    const auto narrowest = std::ranges::min_element(tiles, {}, &QRectF::width);
    const std::vector<Qt::Key> rights(size_t(narrowest - tiles.begin()), Qt::Key_Right);
    EXPECT_EQ(ring(s.map(), rights, narrowest->toAlignedRect().adjusted(3, 3, -3, -3)), "LTRB") << "narrowest tile";
    EXPECT_EQ(ring(s.appCard(), {Qt::Key_Shift}), "LTRB") << "app card";
}
