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
    bool anyRing() const {
        const auto rings = window->findChildren<FocusRing*>();
        return std::any_of(rings.begin(), rings.end(), [](FocusRing* r) { return r->isVisible(); });
    }
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
    QRect inWindow(QWidget* w, QRect r) const { return r.translated(w->mapTo(window.get(), QPoint())); }
};

} // namespace

// The control that acted keeps the focus when the rebuilt page has it again; else a
// control of the page (never a sidebar row) takes it.
TEST(PageFocus, AnActionThatRebuildsThePageLeavesTheFocusInIt) {
    struct Action {
        const char* name;
        std::function<QWidget*(Shell&)> control;
        QString focused; // the control that ends with the focus; empty: any in the page
    };
    const Action actions[] = {
        {"scan home folder",
         [](Shell& s) {
             s.ctx.coordinator().show(Tool::duplicates);
             return test::button(s.window.get(), "Scan home folder");
         },
         "scanHome"},
        {"app card", [](Shell& s) { return s.appCard(); }, "allApplications"},
        {"map tile", [](Shell& s) -> QWidget* { return s.map(); }, {}},
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
                QTest::mouseClick(acting, Qt::LeftButton, {},
                                  map ? map->rects()[0].center().toPoint() : acting->rect().center());
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
    // Focuses `control` from the keyboard (`keys` on it) and returns the ring's sides around `shape`.
    const auto ring = [&s](QWidget* control, std::vector<Qt::Key> keys, const std::function<QRect()>& shape) {
        s.window->pageHost().ensureWidgetVisible(control);
        if (QWidget* focus = QApplication::focusWidget()) focus->clearFocus();
        QTest::qWait(20);
        const QImage before = s.window->grab().toImage();
        control->setFocus(Qt::TabFocusReason);
        for (Qt::Key key : keys) QTest::keyClick(control, key);
        return test::ringSides(s.window.get(), s.inWindow(control, shape()), before);
    };
    auto* row = s.window->findChildren<CleanupRow*>().front();
    EXPECT_EQ(ring(row, {Qt::Key_Shift}, [row] { return row->rect(); }), "LTRB") << "full-width row";
    TreemapView* map = s.map();
    const auto tiles = map->rects();
    const auto narrowest = std::min_element(tiles.begin(), tiles.end(),
                                            [](const QRectF& a, const QRectF& b) { return a.width() < b.width(); });
    const std::vector<Qt::Key> rights(size_t(narrowest - tiles.begin()), Qt::Key_Right);
    EXPECT_EQ(ring(map, rights, [&] { return narrowest->toAlignedRect().adjusted(3, 3, -3, -3); }), "LTRB")
        << "narrowest tile";
    QWidget* card = s.appCard();
    EXPECT_EQ(ring(card, {Qt::Key_Shift}, [card] { return card->rect(); }), "LTRB") << "app card";
}
