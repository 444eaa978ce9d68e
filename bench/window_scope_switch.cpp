// The window switching scopes, offscreen, with the real coordinator: Whole Disk of this
// machine is scanned and watched, then System Data is chosen in the header, and back. A
// 1 ms timer on the main thread records the longest gap between two turns of its event
// loop from the switch until the new scope's scan is done and watched (and a second
// after), and apart from it the time the switch itself holds the main thread.
//
// Usage: window_scope_switch [ROUNDS] [HOME_DIR]   (default 3 rounds, HOME as it is)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UiBench.h"
#include "models/ScanCoordinator.h"
#include "ui/shell/MainWindow.h"

using namespace sorvel;

namespace {

struct Stalls {
    QElapsedTimer beat;
    double longest = 0;
    QTimer heartbeat;
    Stalls() {
        heartbeat.setInterval(1);
        QObject::connect(&heartbeat, &QTimer::timeout, [this] {
            if (beat.isValid()) longest = std::max(longest, double(beat.nsecsElapsed()) / 1e6);
            beat.restart();
        });
        heartbeat.start();
    }
    void reset() {
        longest = 0;
        beat.invalidate();
    }
};

void turnFor(std::chrono::milliseconds span) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Switches, then waits for the new scope's scan and watch; prints both figures.
void switchTo(ScanCoordinator& coordinator, ScanScope scope, Stalls& stalls) {
    turnFor(std::chrono::milliseconds(200));
    stalls.reset();
    QElapsedTimer held;
    held.start();
    coordinator.setScope(scope);
    const double switchMs = double(held.nsecsElapsed()) / 1e6;
    const auto started = std::chrono::steady_clock::now();
    uibench::waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; });
    const double scanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    uibench::waitUntil([&] { return coordinator.isWatching(); }, 60'000);
    turnFor(std::chrono::seconds(1));
    std::printf("to %-12s switch held the main thread %7.1f ms; longest stall until watched %7.1f ms (scan %.2f s)\n",
                scope == ScanScope::wholeDisk ? "Whole Disk" : "System Data", switchMs, stalls.longest, scanSeconds);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (argc > 2) setenv("HOME", argv[2], 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ui::Animations::setEnabled(false);

    ScanCoordinator coordinator;
    uibench::WindowModels windowModels(coordinator);
    ui::MainWindow window(windowModels.models, ui::MainWindow::Startup{});
    window.resize(1440, 980);
    window.show();
    Stalls stalls;
    coordinator.setScope(ScanScope::wholeDisk);
    uibench::waitUntil([&] { return coordinator.phase() == ScanCoordinator::Phase::done; });
    uibench::waitUntil([&] { return coordinator.isWatching(); }, 60'000);
    int64_t files = 0;
    for (const auto& c : coordinator.result().categories)
        for (const auto& r : c.roots) files += r->fileCount;
    std::printf("Whole Disk: %lld files\n", static_cast<long long>(files));
    for (int i = 0; i < rounds; ++i) {
        switchTo(coordinator, ScanScope::systemData, stalls);
        switchTo(coordinator, ScanScope::wholeDisk, stalls);
    }
    return 0;
}
