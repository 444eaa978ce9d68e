// The sweep panel opened from the tray: a screen reader finds it on the accessibility bus
// as it finds the one opened as a window, and it still goes once another window is active.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPointer>
#include <QTest>

#include "ui/shell/TrayItem.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// Whether the application's reader lists `window` among its windows.
bool onTheBus(QWidget* window) {
    QAccessibleInterface* app = QAccessible::queryAccessibleInterface(qApp);
    if (!app) return false;
    for (int i = 0; i < app->childCount(); ++i)
        if (QAccessibleInterface* child = app->child(i); child && child->object() == window) return true;
    return false;
}

} // namespace

TEST(TrayPanelAccessible, ThePanelIsOnTheBusAndGoesWhenAnotherWindowIsActive) {
    const struct {
        const char* name;
        bool asWindow;
        bool goesWhenLeft;
    } rows[] = {{"from the tray", false, true}, {"as a window (no tray)", true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UiContext ctx;
        ui::TrayItem tray(ctx.models());
        tray.showPanel(row.asWindow);
        QPointer<QWidget> panel = tray.panel();
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(waitUntil([&] { return panel->isVisible(); }, 5000));
        EXPECT_TRUE(onTheBus(panel)) << "a screen reader cannot find the panel";
        EXPECT_EQ(QAccessible::queryAccessibleInterface(panel)->role(), QAccessible::Window) << "read as a window";
        QApplication::setActiveWindow(panel);
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel));

        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        if (row.goesWhenLeft) {
            EXPECT_TRUE(waitUntil([&] { return !panel || !panel->isVisible(); }, 5000));
        } else {
            for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
            EXPECT_TRUE(panel && panel->isVisible());
        }
        if (panel) panel->close();
    }
}
