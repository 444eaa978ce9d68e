// The tool pages, the sweep panel and the settings window in the states a person looks
// for: uninstaller list, an admin app's detail, review and done; duplicates intro,
// results with a hard-link card and done; history empty and seeded with a run open;
// trends with one and with several snapshots; the panel without and with a receipt; the
// settings window fresh, after a scan, and where it opens on a 1366x768 screen.
#include <QVBoxLayout>

#include <filesystem>
#include <unistd.h>
#include <utime.h>

#include "models/HistoryModel.h"
#include "support/AppsModelProbe.h"
#include "platform/Path.h"
#include "shots/ShotRegistry.h"
#include "tools/ToolWorld.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/kit/Surface.h"
#include "ui/shell/MainWindow.h"
#include "ui/tools/AppUninstallerView.h"
#include "ui/tools/DuplicatesView.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/MenuBarView.h"
#include "ui/tools/SweepSettingsView.h"

using namespace sorvel;

namespace {

/// The page on the window's background, padded like the detail area. `owned` lives as
/// long as the page.
QWidget* page(QWidget* content, std::vector<QObject*> owned = {}) {
    auto* surface = new ui::Surface;
    auto* layout = new QVBoxLayout(surface);
    layout->setContentsMargins(26, 26, 26, 26);
    layout->setAlignment(Qt::AlignTop);
    content->setParent(surface);
    layout->addWidget(content);
    for (QObject* o : owned) o->setParent(surface);
    return surface;
}

struct Apps {
    std::unique_ptr<AppsModel> model;
    ui::AppUninstallerView* view;
};

Apps appsPage(test::UiContext& ctx, std::optional<std::string> detail = std::nullopt) {
    Apps a;
    a.model = test::appsModel(test::sampleApps(ctx));
    if (detail) ctx.coordinator().show(Tool::apps, detail);
    else ctx.coordinator().show(Tool::apps);
    a.view = new ui::AppUninstallerView(*a.model, ctx.coordinator(), ctx.desktop());
    a.model->syncSelection(detail);
    a.view->flush();
    return a;
}

std::string duplicatesFolder(test::UiContext& ctx) {
    const std::string folder = ctx / "Projects";
    const std::string two(2'000'000, 'a');
    test::writeFile(folder + "/photos/holiday.mov", two);
    test::writeFile(folder + "/backup/holiday.mov", two);
    test::writeFile(folder + "/old/holiday copy.mov", two);
    test::writeFile(folder + "/assets/texture.psd", std::string(3'000'000, 'b'));
    ::link((folder + "/assets/texture.psd").c_str(), (folder + "/assets/texture-link.psd").c_str());
    return folder;
}

} // namespace

SORVEL_SHOT("tools-apps-list", 1100, 760) {
    auto a = appsPage(ctx);
    return page(a.view, {a.model.release()});
}

SORVEL_SHOT("tools-apps-detail-admin", 1100, 820) {
    auto a = appsPage(ctx, test::sampleApps(ctx)[1].bundlePath);
    return page(a.view, {a.model.release()});
}

SORVEL_SHOT("tools-apps-detail-removable", 1100, 820) {
    auto a = appsPage(ctx, test::sampleApps(ctx)[0].bundlePath);
    return page(a.view, {a.model.release()});
}

SORVEL_SHOT("tools-apps-review", 1100, 760) {
    auto a = appsPage(ctx, test::sampleApps(ctx)[0].bundlePath);
    a.model->toggle(test::sampleApps(ctx)[0].leftovers[1].path);
    a.model->review();
    test::waitUntil([&] { return !a.model->isPreviewing(); });
    a.view->flush();
    return page(a.view, {a.model.release()});
}

SORVEL_SHOT("tools-apps-done", 1100, 760) {
    auto a = appsPage(ctx, test::sampleApps(ctx)[0].bundlePath);
    const auto app = *a.model->selectedApp();
    std::vector<CleanupOutcome> moved;
    moved.push_back({UUID::random(), app.bundlePath, app.bundleSize, CleanupOutcome::MovedToTrash{"/t"}});
    moved.push_back({UUID::random(), app.leftovers[0].path, app.leftovers[0].size, CleanupOutcome::MovedToTrash{"/t"}});
    moved.push_back({UUID::random(), app.leftovers[2].path, app.leftovers[2].size,
                     CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()}});
    AppsModelProbe::finish(*a.model, moved);
    a.view->flush();
    return page(a.view, {a.model.release()});
}

SORVEL_SHOT("tools-duplicates-intro", 1100, 420) {
    return page(new ui::DuplicatesView(ctx.models().duplicates, ctx.desktop()));
}

SORVEL_SHOT("tools-duplicates-results", 1100, 900) {
    auto& model = ctx.models().duplicates;
    model.scan(duplicatesFolder(ctx));
    test::waitUntil([&] { return !model.isScanning(); });
    auto* view = new ui::DuplicatesView(model, ctx.desktop());
    return page(view);
}

SORVEL_SHOT("tools-duplicates-done", 1100, 420) {
    auto& model = ctx.models().duplicates;
    model.scan(duplicatesFolder(ctx));
    test::waitUntil([&] { return !model.isScanning(); });
    model.removeSelected();
    test::waitUntil([&] { return model.stage() == DuplicatesModel::Stage::done; });
    return page(new ui::DuplicatesView(model, ctx.desktop()));
}

SORVEL_SHOT("tools-history-empty", 1100, 560) {
    return page(new ui::HistoryView(ctx.models().history, ctx.coordinator()));
}

SORVEL_SHOT("tools-history-run-open", 1100, 900) {
    const auto runs = test::seedHistory(ctx);
    test::seedTrends({40, 20, 6});
    ctx.finishScan(test::UiContext::sampleResult());
    auto& history = ctx.models().history;
    history.setRuns(runs);
    history.toggle(runs.front().id);
    return page(new ui::HistoryView(history, ctx.coordinator()));
}

SORVEL_SHOT("tools-trends-one-snapshot", 1100, 420) {
    ctx.finishScan(test::UiContext::sampleResult());
    return page(new ui::HistoryView(ctx.models().history, ctx.coordinator()));
}

SORVEL_SHOT("tools-trends-two-snapshots", 1100, 560) {
    test::seedTrends({3});
    ctx.finishScan(test::UiContext::sampleResult());
    return page(new ui::HistoryView(ctx.models().history, ctx.coordinator()));
}

SORVEL_SHOT("tools-panel-fresh", 380, 420) {
    return new ui::MenuBarView(ctx.models().sweeper, {});
}

SORVEL_SHOT("tools-panel-receipt", 380, 760) {
    std::vector<std::pair<std::string, int64_t>> findings;
    const char* names[] = {"com.example.editor", "Chromium", "node-gyp", "pip", "com.example.very-long-cache-name-that-does-not-fit", "Slack", "Mail", "Xcode"};
    int i = 0;
    for (const char* name : names) findings.push_back({ctx / (std::string("Library/Caches/") + name), 40'000'000 * ++i});
    for (const auto& [path, size] : findings) test::writeFile(path + "/blob", "x"); // there, as the panel looks
    auto sweeper = test::sweeperFinding(findings);
    sweeper->run(SweepRun::Trigger::manual);
    test::waitUntil([&] { return !sweeper->isRunning(); });
    sweeper->toggle(findings[1].first);
    return new ui::MenuBarView(*sweeper.release(), {});
}

SORVEL_SHOT("tools-panel-after-clean-sweep", 380, 640) {
    // A clean sweep moved two findings and left one: the two show as moved, not tickable.
    SweepReceipt::record(std::vector<SweepReceipt::Finding>{
        {ctx / "Library/Caches/Chromium", 80'000'000, ctx / ".local/share/Trash/files/Chromium"},
        {ctx / "Library/Caches/pip", 120'000'000, ctx / ".local/share/Trash/files/pip"},
        {ctx / "Library/Caches/Slack", 40'000'000}});
    test::writeFile(ctx / "Library/Caches/Slack/blob", "x");
    SweepScheduler::Dependencies deps;
    deps.notifications = UserNotifications::none();
    return new ui::MenuBarView(*new SweepScheduler(deps), {});
}

// This morning's clean sweep moved nothing: the guard refused the one cache it found. The
// next sweep's hour has passed and waits for the check that runs it.
SORVEL_SHOT("tools-panel-refused-due", 380, 700) {
    const Date now = dateFromUnixSeconds(1'796'806'920); // Dec 9, 2026 9:02 AM
    SweepSchedule schedule;
    schedule.frequency = SweepSchedule::Frequency::daily;
    schedule.action = SweepSchedule::Action::clean;
    schedule.hour = 9;
    (void)SweepSchedule::store(schedule);
    SweepReceipt receipt;
    receipt.date = dateFromUnixSeconds(1'796'720'430); // the day before, 9:00 AM
    receipt.action = SweepSchedule::Action::clean;
    receipt.foundBytes = 6'300'000;
    receipt.refusedCount = 1;
    receipt.withheldReason = "Sorvel refused 1 item this sweep would have moved: \u201C~/.cache/thumbnails\u201D "
                             "\u2014 lies behind ~/.cache, a link to /mnt/disk/cache that Sorvel does not follow.";
    (void)SweepReceipt::record(receipt);
    SweepScheduler::Dependencies deps;
    deps.notifications = UserNotifications::none();
    deps.clock = [now] { return now; };
    return new ui::MenuBarView(*new SweepScheduler(deps), {});
}

SORVEL_SHOT("tools-panel-move-left-items", 380, 700) {
    // The window moved two findings before the panel's button was pressed, and one lies in
    // an added folder the panel may not touch: nothing moved, and the panel says why.
    std::vector<std::pair<std::string, int64_t>> findings{{ctx / "Library/Caches/Chromium", 80'000'000},
                                                          {ctx / "Library/Caches/pip", 120'000'000},
                                                          {ctx / "Builds/scratch/objects", 40'000'000}};
    test::writeFile(findings[2].first + "/a.o", "x");
    auto sweeper = test::sweeperFinding(findings);
    sweeper->run(SweepRun::Trigger::manual);
    test::waitUntil([&] { return !sweeper->isRunning(); });
    sweeper->cleanSelected();
    test::waitUntil([&] { return !sweeper->isCleaning(); });
    return new ui::MenuBarView(*sweeper.release(), {});
}

SORVEL_SHOT("tools-settings-fresh", 520, 620) {
    return new ui::SweepSettingsView(ctx.coordinator(), ctx.models().sweeper, ctx.updates());
}

SORVEL_SHOT("tools-settings-after-scan", 520, 620) {
    ctx.recommendations = test::UiContext::sampleRecommendations();
    ctx.finishScan(test::UiContext::sampleResult());
    auto& sweeper = ctx.models().sweeper;
    SweepSchedule s = sweeper.schedule();
    s.frequency = SweepSchedule::Frequency::daily;
    s.folders = {ctx / "Builds/scratch"};
    sweeper.setSchedule(s); // no sweep has run yet, so one starts at once
    test::waitUntil([&] { return !sweeper.isRunning(); });
    auto* view = new ui::SweepSettingsView(ctx.coordinator(), sweeper, ctx.updates());
    return view;
}

// A whole 1366x768 screen with the settings window, at the size it opens, in its middle.
SORVEL_SHOT("tools-settings-on-1366x768-screen", 1366, 768) {
    auto* screen = new QWidget;
    screen->setAutoFillBackground(true);
    screen->setPalette(QPalette(QColor(40, 44, 52)));
    auto* view = new ui::SweepSettingsView(ctx.coordinator(), ctx.models().sweeper, ctx.updates(), screen);
    const QRect area(0, 0, 1366, 768);
    QRect frame({}, ui::MainWindow::fitted(view->size(), area));
    frame.moveCenter(area.center());
    view->setGeometry(frame);
    return screen;
}

SORVEL_SHOT("tools-duplicates-done-left-alone", 1100, 420) {
    auto& model = ctx.models().duplicates;
    model.scan(duplicatesFolder(ctx));
    test::waitUntil([&] { return !model.isScanning(); });
    // One ticked copy vanishes before the move: it is counted as left alone, with why.
    for (const auto& group : model.report().groups)
        if (group.files.size() > 2) ::unlink(group.files[2].path.c_str());
    model.removeSelected();
    test::waitUntil([&] { return model.stage() == DuplicatesModel::Stage::done; });
    return page(new ui::DuplicatesView(model, ctx.desktop()));
}

// A copy in ~/Pictures: unticked, with the reason the move would give.
SORVEL_SHOT("tools-duplicates-results-protected-copy", 1100, 700) {
    auto& model = ctx.models().duplicates;
    const std::string photo(2'000'000, 'p');
    test::writeFile(ctx / "IMG_0001.jpg", photo);
    test::writeFile(ctx / "Pictures/IMG_0001 copy.jpg", photo);
    test::writeFile(ctx / "Downloads/IMG_0001 (1).jpg", photo);
    const ::utimbuf older{1'400'000'000, 1'400'000'000};
    ::utime((ctx / "IMG_0001.jpg").c_str(), &older);
    model.scan(std::nullopt);
    test::waitUntil([&] { return !model.isScanning(); });
    return page(new ui::DuplicatesView(model, ctx.desktop()));
}

SORVEL_SHOT("tools-apps-detail-dark", 1100, 820) {
    ctx.appearance().setSelection(ui::Appearance::dark);
    ctx.appearance().apply();
    auto a = appsPage(ctx, test::sampleApps(ctx)[0].bundlePath);
    return page(a.view, {a.model.release()});
}

SORVEL_SHOT("tools-settings-dark", 520, 620) {
    ctx.appearance().setSelection(ui::Appearance::dark);
    ctx.appearance().apply();
    ctx.recommendations = test::UiContext::sampleRecommendations();
    ctx.finishScan(test::UiContext::sampleResult());
    return new ui::SweepSettingsView(ctx.coordinator(), ctx.models().sweeper, ctx.updates());
}

namespace {
// The uninstaller in the window on a 1366x768 screen, the admin app's bundle unreadable.
QWidget* appsWithAnUnreadableBundle(test::UiContext& ctx, bool detail, size_t which = 1) {
    auto apps = test::sampleApps(ctx);
    apps[which].bundleReadable = false;
    apps[which].bundleSize = 0;
    if (which != 1) {
        // Its Info.plist refused too: no identifier, nothing matched by it.
        apps[which].infoRefused = true;
        apps[which].bundleIdentifier.reset();
        apps[which].version.reset();
        apps[which].leftovers.clear();
    }
    ctx.finishScan(test::UiContext::sampleResult());
    AppsModelProbe::setApps(ctx.models().apps, apps);
    if (detail) ctx.coordinator().show(Tool::apps, apps[which].bundlePath);
    else ctx.coordinator().show(Tool::apps);
    auto* window = new ui::MainWindow(ctx.models());
    window->setMinimumSize(ui::MainWindow::fitted({ui::MainWindow::minimumWidth, ui::MainWindow::minimumHeight},
                                                  {QPoint(0, 0), QSize(1366, 768)}));
    window->show();
    return window;
}
} // namespace

SORVEL_SHOT("tools-apps-list-bundle-not-readable-1366x768", 1366, 768) {
    return appsWithAnUnreadableBundle(ctx, false);
}

SORVEL_SHOT("tools-apps-detail-bundle-not-readable-1366x768", 1366, 768) {
    return appsWithAnUnreadableBundle(ctx, true);
}

SORVEL_SHOT("tools-apps-detail-identifier-not-readable-1366x768", 1366, 768) {
    return appsWithAnUnreadableBundle(ctx, true, 0);
}

// The Applications page with no app to list, under the banner naming the folders the scan
// could not read (/var/cache whole, a folder of /var/log), on a 1366x768 screen.
SORVEL_SHOT("tools-apps-empty-hidden-folders-1366x768", 1366, 768) {
    ScanResult r = test::UiContext::sampleResult();
    auto refused = test::sampleNode("/var/cache", 0);
    refused->markUnreadable();
    auto log = test::sampleNode("/var/log", 0);
    auto locked = test::sampleNode("/var/log/private", 0);
    locked->markUnreadable();
    log->children = {test::sampleNode("/var/log/journal", 90'000'000), locked};
    log->rollUpTotals();
    r.categories[0].roots.push_back(refused);
    r.categories[1].roots = {log};
    r.unreadableFolders = 2;
    ctx.finishScan(r);
    ctx.coordinator().show(Tool::apps);
    auto* window = new ui::MainWindow(ctx.models());
    window->setMinimumSize(ui::MainWindow::fitted({ui::MainWindow::minimumWidth, ui::MainWindow::minimumHeight},
                                                  {QPoint(0, 0), QSize(1366, 768)}));
    window->show();
    test::waitUntil([&] { return ctx.models().apps.scannedAt().has_value(); });
    return window;
}
