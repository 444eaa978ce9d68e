// The main window in its whole-window states.
#include <QApplication>
#include <QTest>

#include "shots/ShotRegistry.h"
#include "platform/WatchBudget.h"
#include "ui/kit/Text.h"
#include "ui/shell/HeaderText.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarView.h"

using namespace sorvel;

namespace {
// The window with the minimum it gets on a screen of `points`.
QWidget* onScreen(ui::MainWindow* window, QSize points) {
    window->setMinimumSize(
        ui::MainWindow::fitted({ui::MainWindow::minimumWidth, ui::MainWindow::minimumHeight}, {QPoint(0, 0), points}));
    return window;
}
} // namespace

SORVEL_SHOT("window-idle-onboarding", 1440, 980) { return new ui::MainWindow(ctx.models()); }

SORVEL_SHOT("window-done-overview", 1440, 980) {
    ctx.recommendations = test::UiContext::sampleRecommendations();
    ctx.finishScan(test::UiContext::sampleResult());
    return new ui::MainWindow(ctx.models());
}

SORVEL_SHOT("window-scanning-skeleton", 1440, 980) {
    ctx.beginScan();
    return new ui::MainWindow(ctx.models());
}

SORVEL_SHOT("window-done-overview-dark", 1440, 980) {
    ctx.appearance().setSelection(ui::Appearance::dark);
    ctx.recommendations = test::UiContext::sampleRecommendations();
    ctx.finishScan(test::UiContext::sampleResult());
    return new ui::MainWindow(ctx.models());
}

SORVEL_SHOT("window-whole-disk-long-sidebar", 1340, 880) {
    ctx.coordinator().setScope(ScanScope::wholeDisk);
    ctx.finishScan(test::UiContext::wholeDiskResult(22));
    return new ui::MainWindow(ctx.models());
}

SORVEL_SHOT("window-done-nothing-measured", 1440, 980) {
    ctx.finishScan({});
    return new ui::MainWindow(ctx.models());
}

// Neither the home's volume nor the root file system could be read: the scan's figure
// stands, the rest of the disk and its free space are not measured.
SORVEL_SHOT("window-volume-not-measured-1366x768", 1366, 768) {
    ScanResult result = test::UiContext::sampleResult();
    result.volume = {};
    result.volume.measured = false;
    ctx.finishScan(result);
    return new ui::MainWindow(ctx.models());
}

// A sidebar row reached from the keyboard: the ring in the accent around it.
SORVEL_SHOT("window-focus-ring-sidebar", 1440, 980) {
    ctx.recommendations = test::UiContext::sampleRecommendations();
    ctx.finishScan(test::UiContext::sampleResult());
    auto* window = new ui::MainWindow(ctx.models());
    window->resize(1440, 980);
    window->show();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window)) return window;
    const auto rows = window->findChildren<ui::SidebarRow*>();
    if (rows.size() > 2) {
        rows[2]->setFocus(Qt::TabFocusReason);
        QTest::keyClick(rows[2], Qt::Key_Shift); // the ring shows once the keyboard is in use
    }
    return window;
}

// Twice the scale on 1920x1200: the window fitted to 960x600 points, its header whole.
SORVEL_SHOT_SCALED("window-header-2x-1920x1200", 944, 552, 2) {
    ctx.finishScan(test::UiContext::sampleResult());
    return onScreen(new ui::MainWindow(ctx.models()), {960, 600});
}

// 1280x600 at twice the scale (640x300 points): the content keeps its minimum and scrolls.
SORVEL_SHOT_SCALED("window-2x-1280x600-scrolls", 624, 252, 2) {
    ctx.finishScan(test::UiContext::sampleResult());
    return onScreen(new ui::MainWindow(ctx.models()), {640, 300});
}

// A scan stopped after one root: the header says stopped, the overview says partial.
SORVEL_SHOT("window-stopped-partial-1366x768", 1366, 768) {
    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode(ctx.home() + "/Library/Caches", 3'400'000'000, 379'813));
    test::waitUntil([&] { return !ctx.coordinator().result().categories.empty(); });
    ctx.coordinator().cancel();
    return onScreen(new ui::MainWindow(ctx.models()), {1366, 768});
}

namespace {
// Stopped while Logs was still being walked: Caches measured whole, Logs cut short in its
// "journal" folder (shown, marked partial, not counted among the measured).
void stopWithCutRoot(test::UiContext& ctx) {
    test::makeDirs(ctx / "Library/Caches");
    test::makeDirs(ctx / "Library/Logs");
    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode(ctx.home() + "/Library/Caches", 3'400'000'000, 379'813));
    auto logs = test::sampleNode(ctx.home() + "/Library/Logs", 0, 0);
    auto journal = test::sampleNode(logs->path + "/journal", 2'930'000'000, 2214);
    journal->markCut();
    logs->children = {journal, test::sampleNode(logs->path + "/cups", 410'000'000, 88)};
    logs->rollUpTotals();
    ctx.scan().handOnStop("logs", logs);
    test::waitUntil([&] { return ctx.coordinator().completedRoots() == 1; });
    ctx.coordinator().cancel();
    test::waitUntil([&] { return ctx.coordinator().result().categories.size() == 2; });
}
} // namespace

SORVEL_SHOT("window-stopped-cut-root-1366x768", 1366, 768) {
    stopWithCutRoot(ctx);
    return onScreen(new ui::MainWindow(ctx.models()), {1366, 768});
}

SORVEL_SHOT("category-stopped-cut-root-1366x768", 1366, 768) {
    stopWithCutRoot(ctx);
    ctx.coordinator().move({std::string("logs"), {}}, true);
    return onScreen(new ui::MainWindow(ctx.models()), {1366, 768});
}

// Stopped before Developer counted a byte, beside Caches measured whole: its row, tile and
// page say "not measured".
SORVEL_SHOT("window-stopped-before-counting-1366x768", 1366, 768) {
    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode(ctx.home() + "/Library/Caches", 3'400'000'000, 379'813));
    test::waitUntil([&] { return ctx.coordinator().completedRoots() == 1; });
    auto developer = test::sampleNode(ctx.home() + "/Library/Developer", 0, 0);
    developer->markCut();
    ctx.scan().handOnStop("developer", developer);
    ctx.coordinator().cancel();
    test::waitUntil([&] { return ctx.coordinator().result().categories.size() == 2; });
    return onScreen(new ui::MainWindow(ctx.models()), {1366, 768});
}

// Nothing counted before the stop: the header has no total to give.
SORVEL_SHOT("window-stopped-nothing-counted-1366x768", 1366, 768) {
    ctx.beginScan();
    auto logs = test::sampleNode(ctx.home() + "/Library/Logs", 0, 0);
    logs->markCut();
    ctx.scan().handOnStop("logs", logs);
    ctx.coordinator().cancel();
    test::waitUntil([&] { return ctx.coordinator().result().categories.size() == 1; });
    return onScreen(new ui::MainWindow(ctx.models()), {1366, 768});
}

// Drilled into a category: the scope picker stands where it stands on the overview.
SORVEL_SHOT("window-drilled-1366x768", 1366, 768) {
    ctx.finishScan(test::UiContext::sampleResult());
    const auto& category = ctx.coordinator().result().categories.front();
    ctx.coordinator().move({category.category.id, {}}, true);
    ctx.coordinator().drill(category.roots.front()->children.front());
    return onScreen(new ui::MainWindow(ctx.models()), {1366, 768});
}

namespace {
// A finished scan of a tree past a share of three watches, then a file written into it:
// the status says "updated just now" and the line below it how many folders are followed.
// The line is then given Whole Disk's figures, so its width at this size shows.
QWidget* partLive(test::UiContext& ctx, QSize points) {
    const std::string tree = ctx / "tree";
    for (const char* folder : {"a/b", "a/c", "d"}) test::makeDirs(tree + "/" + folder);
    WatchBudget::overrideLimit(3);
    ScanResult r = test::UiContext::sampleResult();
    r.categories.resize(1);
    r.categories[0].roots = {test::sampleNode(tree, 4096, 3)};
    ctx.finishScan(r);
    test::waitUntil([&] { return ctx.coordinator().unwatchedFolders() == 2; });
    WatchBudget::overrideLimit(std::nullopt);
    test::writeFileOfSize(tree + "/grown", 200'000);
    test::waitUntil([&] { return ctx.coordinator().lastLiveUpdate().has_value(); }, 20'000);
    auto* window = onScreen(new ui::MainWindow(ctx.models()), points);
    if (auto* header = window->findChild<ui::HeaderView*>())
        header->coverageText()->setText("live for 48,134 of 1,950,000 folders");
    return window;
}
} // namespace

SORVEL_SHOT("window-part-live-updated-1366x768", 1350, 720) { return partLive(ctx, {1366, 768}); }

// The count of the folders past the share still under way, at Whole Disk's figures.
SORVEL_SHOT("window-part-live-counting-1366x768", 1350, 720) {
    auto* window = partLive(ctx, {1366, 768});
    if (auto* header = window->findChild<ui::HeaderView*>())
        header->refreshCoverage(ui::HeaderText::liveCoverage(48'134, 1'901'866, false, true));
    return window;
}

SORVEL_SHOT_SCALED("window-part-live-updated-2x-1920x1200", 944, 552, 2) { return partLive(ctx, {960, 600}); }
