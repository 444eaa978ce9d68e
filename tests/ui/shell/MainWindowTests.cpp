#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QtTest/qtestspontaneevent.h>
#include <QMenuBar>

#include "uisupport/UiContext.h"
#include "ui/kit/Button.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageHost.h"
#include "ui/shell/SidebarView.h"

using namespace sorvel;
using namespace sorvel::ui;
using Phase = ScanCoordinator::Phase;

TEST(MainWindowStartup, RunsTheFourStepsInOrderOnEveryShowWithoutASecondScan) {
    test::UiContext ctx;
    std::vector<std::string> order;
    auto standard = MainWindow::Startup::standard(ctx.models());
    MainWindow::Startup recorded{
        [&] { order.push_back("appearance"); standard.applyAppearance(); },
        [&] { order.push_back("sweeper"); },
        [&] { order.push_back("scan"); ctx.coordinator().startIfNeeded(true); },
        [&] { order.push_back("updates"); },
    };
    MainWindow window(ctx.models(), recorded);
    test::settle(&window, {1440, 980});
    EXPECT_EQ(order, (std::vector<std::string>{"appearance", "sweeper", "scan", "updates"}));
    ASSERT_TRUE(test::waitUntil([&] { return ctx.coordinator().phase() == Phase::scanning; }));
    window.hide();
    window.show();
    EXPECT_EQ(order.size(), 8u);
    // The scan started by the first show is still the one running.
    EXPECT_EQ(ctx.coordinator().phase(), Phase::scanning);
    EXPECT_EQ(window.windowTitle(), "Sorvel");
    // The offscreen screen (800x600) is smaller than the minimum: it is fitted to it.
    EXPECT_EQ(window.minimumSize(), MainWindow::fitted({1340, 880}, window.screen()->availableGeometry()));
}

TEST(MainWindowMenu, EnablementFollowsTheCoordinatorAndOneActionOwnsEachShortcut) {
    test::UiContext ctx;
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    auto& menu = window.menu();
    EXPECT_FALSE(menu.back()->isEnabled());
    EXPECT_FALSE(menu.forward()->isEnabled());
    EXPECT_FALSE(menu.enclosingFolder()->isEnabled());
    EXPECT_FALSE(menu.checkForUpdates()->isEnabled()) << "no feed in this build";
    EXPECT_TRUE(menu.rescan()->isEnabled());

    ctx.finishScan(test::UiContext::sampleResult());
    ctx.coordinator().move({"caches", {}}, true);
    EXPECT_TRUE(menu.back()->isEnabled());
    EXPECT_TRUE(menu.enclosingFolder()->isEnabled());
    menu.back()->trigger();
    EXPECT_FALSE(menu.back()->isEnabled());
    EXPECT_TRUE(menu.forward()->isEnabled());

    // No two actions in the window share a shortcut (two equal ones would both go dead).
    std::map<QString, int> shortcuts;
    for (QAction* a : window.findChildren<QAction*>())
        if (!a->shortcut().isEmpty()) ++shortcuts[a->shortcut().toString()];
    for (const auto& [keys, count] : shortcuts) EXPECT_EQ(count, 1) << keys.toStdString();
    EXPECT_EQ(shortcuts.count("Ctrl+R"), 1u);

    // The header's Rescan triggers the menu's action.
    auto* header = static_cast<HeaderView*>(window.header());
    int triggered = 0;
    QObject::connect(menu.rescan(), &QAction::triggered, [&] { ++triggered; });
    header->actionButton()->click();
    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(ctx.coordinator().phase(), Phase::scanning);
    EXPECT_EQ(header->actionButton()->text(), "Stop");
    header->actionButton()->click();
    EXPECT_EQ(ctx.coordinator().phase(), Phase::cancelled);

    // Live Updates mirrors the coordinator both ways.
    menu.liveUpdates()->trigger();
    EXPECT_EQ(ctx.coordinator().liveUpdatesEnabled(), menu.liveUpdates()->isChecked());
    ctx.coordinator().setLiveUpdatesEnabled(!ctx.coordinator().liveUpdatesEnabled());
    EXPECT_EQ(ctx.coordinator().liveUpdatesEnabled(), menu.liveUpdates()->isChecked());
}

TEST(MainWindowPages, ProgressTicksNeverRebuildThePageAndToolsShowBeforeAnyScan) {
    test::UiContext ctx;
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    auto& host = window.pageHost();
    EXPECT_EQ(host.page().kind, PageKind::onboarding);
    ctx.coordinator().show(Tool::history);
    EXPECT_EQ(host.page().kind, PageKind::history);
    ctx.coordinator().move({std::nullopt, {}}, true);
    ctx.beginScan();
    EXPECT_EQ(host.page().kind, PageKind::overview);
    EXPECT_EQ(host.accessBanner(), nullptr) << "nothing to grant and no unreadable folder met yet";
    const int builds = host.builds();
    auto root = test::sampleNode("/tmp/x", 5000);
    ctx.scan().hand("caches", root);
    ASSERT_TRUE(test::waitUntil([&] { return !ctx.coordinator().result().categories.empty(); }));
    test::waitUntil([] { return false; }, 400); // a few progress ticks
    EXPECT_EQ(host.builds(), builds);
    ScanResult met;
    met.unreadableFolders = 1;
    ctx.scan().release(met);
    EXPECT_TRUE(test::waitUntil([&] { return host.accessBanner() != nullptr; })) << "a folder could not be read";
}

TEST(Sidebar, CategoryRowsScrollWhileToolsAndFooterStay) {
    test::UiContext ctx;
    ctx.coordinator().setScope(ScanScope::wholeDisk);
    ctx.finishScan(test::UiContext::wholeDiskResult(22));
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1340, 880});
    auto* sidebar = static_cast<SidebarView*>(window.sidebar());
    EXPECT_TRUE(sidebar->tools()->isVisible());
    EXPECT_TRUE(sidebar->footer()->isVisible());
    EXPECT_LE(sidebar->footer()->geometry().bottom(), sidebar->height());
    EXPECT_GT(sidebar->categoryScroll()->widget()->height(), sidebar->categoryScroll()->viewport()->height());
    // Clicking a row moves to it, recording history.
    auto* row = sidebar->row(ctx.coordinator().result().sortedCategories().front().category.id);
    ASSERT_NE(row, nullptr);
    emit row->clicked();
    EXPECT_TRUE(row->model().selected);
    EXPECT_EQ(ctx.coordinator().backStack().size(), 1u);
}

TEST(MainWindowClose, OnlyTheWindowManagersCloseHidesToTheTrayElseItQuits) {
    test::UiContext ctx;
    struct Case {
        bool tray, fromWindowManager;
        bool accepted, visible, quitAsked;
    };
    for (const Case& c : {Case{true, true, false, false, false}, Case{true, false, true, false, false},
                          Case{false, true, false, true, true}, Case{false, false, false, true, true}}) {
        MainWindow window(ctx.models(), MainWindow::Startup{});
        window.setKeepsRunningWhenClosed(c.tray);
        int quits = 0;
        window.setQuitRequest([&] { ++quits; });
        test::settle(&window, {1440, 980});
        bool accepted = false;
        if (c.fromWindowManager) {
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            qApp->notify(&window, &close); // sendEvent would clear the spontaneous mark
            accepted = close.isAccepted();
        } else {
            accepted = window.close(); // as Qt's own quit closes windows
        }
        const std::string what = std::string(c.tray ? "tray, " : "no tray, ") + (c.fromWindowManager ? "wm" : "program");
        EXPECT_EQ(accepted, c.accepted) << what;
        // Without a tray the quit flow decides; it keeps the window while a move runs.
        EXPECT_EQ(window.isVisible(), c.visible) << what;
        EXPECT_EQ(quits, c.quitAsked ? 1 : 0) << what;
    }
}
