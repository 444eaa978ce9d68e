// The window during a real scan, offscreen: from process start to the first painted frame,
// the longest stall of the main thread's event loop while the scan runs, and apart from it
// the longest stall from the scan's end (its result published) until the live-update watch
// is in place, the main thread's time per 120 ms progress tick (every slot the window
// connected to the coordinator's progress signal), screens built during the scan, the
// longest stall while live passes publish new trees (a file added under the scanned caches,
// several times), and peak resident memory once the scan is done.
//
// Usage: window_scan [--no-live] [HOME_DIR]   (default /tmp/sorvel-window-home; put the benchmark tree
// at HOME_DIR/Library/Caches with bench/make-tree, or the large case of 2 million files in 200,000
// folders with bench/make-tree --large)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "UiBench.h"
#include "engine/Bytes.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageHost.h"

using namespace sorvel;

namespace {

// Seconds since this process was started, from /proc (clock ticks since boot).
double sinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const auto close = text.rfind(')');
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close + 2; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += text[i];
        }
    }
    const double started = std::stod(fields[19]) / double(sysconf(_SC_CLK_TCK));
    std::ifstream uptime("/proc/uptime");
    double up = 0;
    uptime >> up;
    return up - started;
}

class FirstPaint : public QObject {
public:
    double at = -1;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && at < 0) at = sinceProcessStart();
        return false;
    }
};

} // namespace

int main(int argc, char** argv) {
    std::string home = "/tmp/sorvel-window-home";
    bool live = true;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--no-live") live = false;
        else home = argv[i];
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    ScanCoordinator coordinator;
    uibench::WindowModels windowModels(coordinator);
    const ui::AppModels& models = windowModels.models;

    coordinator.setLiveUpdatesEnabled(live);
    // A folder of the scanned tree that the live passes below change.
    const std::string liveFolder = home + "/Library/Caches/sorvel-bench-live";
    std::filesystem::create_directories(liveFolder);
    // Slots run in the order they were connected: these two bracket the window's.
    QElapsedTimer tick;
    std::vector<double> tickMs;
    QObject::connect(&coordinator, &ScanCoordinator::progressChanged, [&] { tick.start(); });
    QElapsedTimer structure;
    double longestStructureMs = 0;
    QObject::connect(&coordinator, &ScanCoordinator::resultChanged, [&] { structure.start(); });
    ui::MainWindow window(models, ui::MainWindow::Startup{});
    QObject::connect(&coordinator, &ScanCoordinator::progressChanged,
                     [&] { tickMs.push_back(double(tick.nsecsElapsed()) / 1e6); });
    QObject::connect(&coordinator, &ScanCoordinator::resultChanged,
                     [&] { longestStructureMs = std::max(longestStructureMs, double(structure.nsecsElapsed()) / 1e6); });
    FirstPaint firstPaint;
    window.centralWidget()->installEventFilter(&firstPaint);
    window.show();
    while (firstPaint.at < 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int buildsBefore = window.pageHost().builds();

    // The event loop's longest gap between 1 ms timer turns while the scan runs.
    QElapsedTimer beat;
    double longestStall = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        if (beat.isValid()) longestStall = std::max(longestStall, double(beat.nsecsElapsed()) / 1e6);
        beat.restart();
    });
    const auto started = std::chrono::steady_clock::now();
    coordinator.start();
    heartbeat.start();
    while (coordinator.phase() == ScanCoordinator::Phase::scanning) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const auto scanned = std::chrono::steady_clock::now();
    // The turn that published the result has run but its gap is seen at the next beat:
    // it counts with what follows the scan.
    const double scanStall = longestStall;
    longestStall = 0;
    const double scanSeconds = std::chrono::duration<double>(scanned - started).count();
    // The heartbeat goes on until the live-update watch is in place, and a little after, so a
    // stall when the scan completes or while the watch is set up is counted too.
    double watchSeconds = -1;
    if (coordinator.liveUpdatesEnabled() && coordinator.phase() == ScanCoordinator::Phase::done) {
        while (!coordinator.isWatching() && std::chrono::steady_clock::now() - scanned < std::chrono::seconds(60))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (coordinator.isWatching())
            watchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - scanned).count();
    }
    const auto settle = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - settle < std::chrono::milliseconds(50))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double publishStall = longestStall;

    // Live passes: each added file is re-measured off the main thread and a new tree published.
    longestStall = 0;
    int passes = 0;
    if (coordinator.isWatching()) {
        int updates = 0;
        QObject::connect(&coordinator, &ScanCoordinator::lastLiveUpdateChanged, [&] { ++updates; });
        for (int i = 0; i < 5; ++i) {
            std::ofstream(liveFolder + "/added-" + std::to_string(i)) << std::string(65536, 'x');
            const auto written = std::chrono::steady_clock::now();
            while (updates == passes && std::chrono::steady_clock::now() - written < std::chrono::seconds(10))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (updates == passes) break;
            passes = updates;
        }
    }
    const double liveStall = longestStall;
    for (int i = 0; i < passes; ++i) std::filesystem::remove(liveFolder + "/added-" + std::to_string(i));
    heartbeat.stop();
    QCoreApplication::processEvents();

    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::sort(tickMs.begin(), tickMs.end());
    int64_t files = 0;
    for (const auto& c : coordinator.result().categories)
        for (const auto& r : c.roots) files += r->fileCount;
    std::printf("first painted frame after process start  %.0f ms\n", firstPaint.at * 1000);
    std::printf("scan                                      %.2f s, %lld files, %s\n", scanSeconds, (long long)files,
                Bytes::format(coordinator.result().categories.empty() ? 0 : coordinator.result().sortedCategories().front().total()).c_str());
    std::printf("longest event-loop stall during the scan  %.1f ms\n", scanStall);
    std::printf("longest stall from publishing to watching %.1f ms\n", publishStall);
    if (watchSeconds >= 0) std::printf("live-update watch in place after the scan %.2f s\n", watchSeconds);
    if (!tickMs.empty())
        std::printf("main thread per progress tick             median %.3f ms, max %.3f ms (%zu ticks)\n",
                    tickMs[tickMs.size() / 2], tickMs.back(), tickMs.size());
    std::printf("window's longest refresh on a new result  %.1f ms\n", longestStructureMs);
    if (passes > 0) std::printf("longest stall while live passes publish   %.1f ms (%d passes)\n", liveStall, passes);
    std::printf("screens built during the scan             %d\n", window.pageHost().builds() - buildsBefore);
    std::printf("peak resident memory after the scan       %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
