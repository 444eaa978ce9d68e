// A big cleanup in the real window, offscreen: one recommendation of N cache folders in a
// fresh fake home, scanned for real and watched live, then the cleanup sheet opened, "Move
// to Trash…", "Move N to Trash" and the done page, and ten seconds after it. A 1 ms timer
// on the main thread gives the longest gap of its event loop in each step; the sweep panel
// is opened during the move and timed to its first painted frame. Each N runs in a child
// process of its own.
//
// With --panel, the sweep panel instead: a sweep that found N folders (all on disk), the
// panel opened as its window (once before, empty) until it has looked at the disk again
// and settled, then one finding unticked and ticked by a click; the same 1 ms timer gives
// the longest gap of each.
//
// With --scroll, the review list instead: the sheet opened on N items, then the whole list
// scrolled from top to bottom with the wheel (a notch every 16 ms, into rows never shown
// before), and from bottom to top by dragging the scroll bar's handle (8 pixels every
// 16 ms); the same 1 ms timer gives the longest gap of each.
//
// Usage: window_big_cleanup [ITEMS...]           (default 2500 10000)
//        window_big_cleanup --panel [FINDINGS...] (default 5000 20000)
//        window_big_cleanup --scroll [ITEMS...]  (default 2020 8020)
#include <QAbstractButton>
#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "UiBench.h"
#include "cleanup/CleanupRules.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "platform/UserNotifications.h"
#include "ui/kit/Button.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/LazyColumn.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageFactory.h"
#include "ui/shell/TrayItem.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

double cpuSeconds() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/// The longest gap between turns of a 1 ms timer since the last `take`.
struct Heartbeat {
    QElapsedTimer beat;
    double longest = 0;
    QTimer timer;
    /// The most CPU time the main thread spent between two turns: the stall the loop would
    /// have had on an idle machine, whatever else runs beside it.
    double longestBusy = 0;
    double cpuAtBeat = 0;
    static double threadCpuMs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    }
    Heartbeat() {
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const double cpu = threadCpuMs();
            if (beat.isValid()) {
                longest = std::max(longest, double(beat.nsecsElapsed()) / 1e6);
                longestBusy = std::max(longestBusy, cpu - cpuAtBeat);
            }
            cpuAtBeat = cpu;
            beat.restart();
        });
        timer.start();
    }
    double take() {
        const double l = longest;
        longest = 0;
        longestBusy = 0;
        return l;
    }
};

class FirstPaint : public QObject {
public:
    QElapsedTimer since;
    double at = -1;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && at < 0) at = double(since.nsecsElapsed()) / 1e6;
        return false;
    }
};

// Waits in the event loop without spinning, so the process's CPU time is the window's own.
bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || t.elapsed() > ms) loop.quit();
    });
    poll.start(5);
    if (!done()) loop.exec();
    return done();
}

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    waitFor([&] { return t.elapsed() >= ms; }, ms + 1000);
}

// Turns the wheel or drags the handle one step every 16 ms until `step` says it is at the end.
// `perStep` is the main thread's mean CPU time per step, the rows made ahead after it included.
double scrollWhile(Heartbeat& heart, double& busy, double& perStep, const std::function<bool()>& step) {
    heart.take();
    int steps = 0;
    const double cpuBefore = Heartbeat::threadCpuMs();
    bool ended = false;
    QTimer ticks;
    ticks.setInterval(16);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        ended = ended || !step();
        steps += ended ? 0 : 1;
    });
    ticks.start();
    waitFor([&] { return ended; }, 600'000);
    ticks.stop();
    spin(200); // rows made ahead after the last step
    busy = heart.longestBusy;
    perStep = (Heartbeat::threadCpuMs() - cpuBefore) / std::max(1, steps);
    return heart.take();
}

int run(int count, bool scroll) {
    char pattern[] = "/tmp/sorvel-big-cleanup-XXXXXX";
    const std::string home = ::mkdtemp(pattern);
    const std::string bulk = home + "/Library/Caches/com.vendor.bulk";
    for (int i = 0; i < count; ++i) {
        const std::string dir = bulk + "/item-" + std::to_string(i);
        fs::create_directories(dir);
        std::ofstream(dir + "/blob") << std::string(3000, 'b');
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    uibench::application();

    auto services = ScanCoordinator::Services::standard();
    services.dockerPath = [] { return std::optional<std::string>(); };
    // The standard rules, and one more naming every folder of the bulk cache still there.
    services.recommend = [standard = services.recommend, bulk](const ScanResult& result) {
        auto items = standard(result);
        CleanupItem item;
        item.id = "bulk";
        item.title = "Bulk cache";
        item.detail = "Rebuilt by the app.";
        item.locationLabel = "~/Library/Caches";
        item.risk = CleanupRisk::safe;
        if (auto node = result.node(bulk))
            for (const auto& child : node->children) item.targets.push_back(CleanupRules::targetFrom(*child));
        if (!item.targets.empty()) items.push_back(std::move(item));
        return items;
    };
    ScanCoordinator coordinator(services);
    uibench::WindowModels windowModels(coordinator);
    const ui::AppModels& models = windowModels.models;
    // Slots run in the order they were connected: these two bracket the window's.
    QElapsedTimer refresh;
    double longestRefresh = 0;
    int refreshes = 0;
    QObject::connect(&coordinator, &ScanCoordinator::resultChanged, [&] { refresh.start(); });
    ui::MainWindow window(models, ui::MainWindow::Startup{});
    QObject::connect(&coordinator, &ScanCoordinator::resultChanged, [&] {
        longestRefresh = std::max(longestRefresh, double(refresh.nsecsElapsed()) / 1e6);
        ++refreshes;
    });
    window.show();
    coordinator.start();
    waitFor([&] { return coordinator.phase() == ScanCoordinator::Phase::done; }, 600'000);
    waitFor([&] { return coordinator.isWatching(); }, 60'000);
    coordinator.setSelectedCleanupIDs({"bulk"});
    spin(300);

    Heartbeat heart;
    longestRefresh = 0;
    refreshes = 0;
    QElapsedTimer step;
    step.start();
    ui::PageFactory::openCleanupPreview(models, &window);
    auto* sheet = window.findChild<ui::CleanupPreviewSheet*>();
    waitFor([&] { return sheet && !sheet->state().isPreparing(); }, 600'000);
    QCoreApplication::processEvents();
    const double reviewMs = double(step.nsecsElapsed()) / 1e6;
    const double reviewStall = heart.take();
    const int rows = static_cast<int>(sheet->state().outcomes().size());

    if (scroll) {
        auto* list = sheet->findChild<ui::LazyColumn*>();
        QScrollBar* bar = list->verticalScrollBar();
        int notches = 0, drags = 0;
        double wheelBusy = 0, dragBusy = 0, wheelStep = 0, dragStep = 0;
        const double wheelStall = scrollWhile(heart, wheelBusy, wheelStep, [&] {
            if (bar->value() >= bar->maximum()) return false;
            const QPointF at(list->viewport()->width() / 2.0, list->viewport()->height() / 2.0);
            QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(list->viewport(), &wheel);
            ++notches;
            return true;
        });
        const int made = static_cast<int>(list->made().size());
        // The handle moves 8 pixels a step along a track of the bar's height.
        const int track = std::max(1, bar->height());
        const int stride = std::max(1, static_cast<int>(int64_t(bar->maximum()) * 8 / track));
        bar->setSliderDown(true);
        const double dragStall = scrollWhile(heart, dragBusy, dragStep, [&] {
            if (bar->sliderPosition() <= 0) return false;
            bar->setSliderPosition(std::max(0, bar->sliderPosition() - stride));
            ++drags;
            return true;
        });
        bar->setSliderDown(false);
        std::printf("%d items (%d rows, %d px of list, %d widgets at the end)\n", count, rows, list->totalHeight(),
                    made);
        std::printf("  wheel, top to bottom            %5d notches, longest stall %6.1f ms (main thread busy %5.1f ms,"
                    " %5.2f ms a step)\n",
                    notches, wheelStall, wheelBusy, wheelStep);
        std::printf("  drag, bottom to top             %5d steps,   longest stall %6.1f ms (main thread busy %5.1f ms,"
                    " %5.2f ms a step)\n",
                    drags, dragStall, dragBusy, dragStep);
        std::fflush(stdout);
        std::error_code ignored;
        fs::remove_all(home, ignored);
        return 0;
    }

    step.restart();
    sheet->secondButton()->click();
    QCoreApplication::processEvents();
    const double confirmMs = double(step.nsecsElapsed()) / 1e6;
    spin(100);
    const double confirmStall = heart.take();

    step.restart();
    const double cpuBeforeMove = cpuSeconds();
    sheet->secondButton()->click();
    // The sweep panel opened while the move runs.
    spin(200);
    FirstPaint panelPaint;
    QWidget* panel = ui::TrayItem::panelContent(models, nullptr);
    panel->installEventFilter(&panelPaint);
    panelPaint.since.start();
    panel->show();
    waitFor([&] { return panelPaint.at >= 0; }, 60'000);
    waitFor([&] { return sheet->state().stage() == ui::CleanupSheetState::Stage::done; }, 600'000);
    QCoreApplication::processEvents();
    const double moveMs = double(step.nsecsElapsed()) / 1e6;
    const double moveCpu = cpuSeconds() - cpuBeforeMove;
    const double moveStall = heart.take();

    const double cpuAfterMove = cpuSeconds();
    spin(10'000);
    const double afterCpu = cpuSeconds() - cpuAfterMove;
    const double afterStall = heart.take();
    const int moved = sheet->state().movedCount();
    delete panel;

    std::printf("%d items (%d rows, %d moved)\n", count, rows, moved);
    std::printf("  sheet opened to review drawn    %8.0f ms, longest stall %6.1f ms\n", reviewMs, reviewStall);
    std::printf("  \"Move to Trash…\" to confirm    %8.0f ms, longest stall %6.1f ms\n", confirmMs, confirmStall);
    std::printf("  move to done page               %8.0f ms, longest stall %6.1f ms, CPU %.2f s\n", moveMs, moveStall,
                moveCpu);
    std::printf("  sweep panel during the move     %8.0f ms to its first frame\n", panelPaint.at);
    std::printf("  10 s after the done page        CPU %.2f s, longest stall %6.1f ms\n", afterCpu, afterStall);
    std::printf("  window's longest refresh on a new result %.1f ms (%d new results)\n", longestRefresh, refreshes);
    std::printf("  longest stall, sheet to done    %8.1f ms\n", std::max({reviewStall, confirmStall, moveStall}));
    std::fflush(stdout);
    std::error_code ignored;
    fs::remove_all(home, ignored);
    return 0;
}

int runPanel(int count) {
    char pattern[] = "/tmp/sorvel-big-panel-XXXXXX";
    const std::string home = ::mkdtemp(pattern);
    const std::string bulk = home + "/Library/Caches/com.vendor.bulk";
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(bulk + "/item-" + std::to_string(i));
        fs::create_directories(paths.back());
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    uibench::application();

    ScanCoordinator coordinator;
    uibench::WindowModels windowModels(coordinator);
    SweepScheduler::Dependencies deps;
    deps.notifications = UserNotifications::none();
    deps.runner = [paths](const SweepSchedule&, SweepRun::Trigger) {
        SweepRunner::Outcome out;
        out.receipt.date = now();
        out.receipt.action = SweepSchedule::Action::report;
        for (size_t i = 0; i < paths.size(); ++i) {
            const int64_t size = 4096 * static_cast<int64_t>(1 + i % 97);
            out.outcomes.push_back(CleanupOutcome{UUID::random(), paths[i], size, CleanupOutcome::WouldMove{}});
            out.receipt.foundBytes += size;
        }
        return out;
    };
    SweepScheduler sweeper(deps);
    const ui::AppModels& m = windowModels.models;
    ui::AppModels models{m.coordinator, m.appearance, sweeper, m.apps, m.duplicates, m.history, m.updates, m.desktop};
    ui::TrayItem tray(models);
    // Opened and closed once before the sweep, as in a session where windows have been
    // painted: the fonts are loaded then, not at the opening measured.
    tray.showPanel(true);
    spin(300);
    delete tray.panel();
    sweeper.run(SweepRun::Trigger::manual);
    waitFor([&] { return !sweeper.isRunning(); }, 600'000);
    spin(300);

    // Opening: from the call to the panel painted, its look at the disk answered and settled.
    Heartbeat heart;
    int looks = 0;
    QObject::connect(&sweeper, &SweepScheduler::findingsChanged, [&] { ++looks; });
    QElapsedTimer step;
    step.start();
    tray.showPanel(true);
    QWidget* panel = tray.panel();
    FirstPaint paint;
    panel->installEventFilter(&paint);
    paint.since.start();
    const double showMs = double(step.nsecsElapsed()) / 1e6;
    waitFor([&] { return paint.at >= 0; }, 60'000);
    spin(1500);
    const double openStall = std::max(heart.take(), showMs);
    const double firstFrame = showMs + paint.at;

    auto rows = [&] { return panel->findChildren<ui::ClickArea*>("findingRow"); };
    const int made = static_cast<int>(rows().size());
    double tickMs[2] = {0, 0}, tickStall[2] = {0, 0};
    for (int t = 0; t < 2 && !rows().isEmpty(); ++t) {
        heart.take();
        const size_t before = sweeper.selectedPaths().size();
        step.restart();
        rows()[rows().size() / 2]->click();
        QCoreApplication::processEvents();
        tickMs[t] = double(step.nsecsElapsed()) / 1e6;
        spin(500);
        tickStall[t] = std::max(heart.take(), tickMs[t]);
        if (sweeper.selectedPaths().size() == before) std::printf("  (the click ticked nothing)\n");
    }

    std::printf("%d findings (%d listed, %d rows made as widgets, %d looks at the disk)\n", count,
                static_cast<int>(sweeper.actionableFindings().size()), made, looks);
    std::printf("  panel opened                    %8.1f ms to its first frame, longest stall %6.1f ms\n", firstFrame,
                openStall);
    std::printf("  untick one finding              %8.1f ms, longest stall %6.1f ms\n", tickMs[0], tickStall[0]);
    std::printf("  tick it again                   %8.1f ms, longest stall %6.1f ms\n", tickMs[1], tickStall[1]);
    std::fflush(stdout);
    std::error_code ignored;
    fs::remove_all(home, ignored);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    const bool panel = argc > 1 && std::string(argv[1]) == "--panel";
    const bool scroll = argc > 1 && std::string(argv[1]) == "--scroll";
    for (int i = panel || scroll ? 2 : 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = panel ? std::vector<int>{5000, 20000} : scroll ? std::vector<int>{2020, 8020} : std::vector<int>{2500, 10000};
    for (int count : counts) {
        std::fflush(stdout);
        const pid_t pid = ::fork();
        if (pid == 0) _exit(panel ? runPanel(count) : run(count, scroll));
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    return 0;
}
