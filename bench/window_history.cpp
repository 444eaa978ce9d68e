// What a full removal history costs the window and the settings: the real main window,
// offscreen, from a fresh process's start to its first painted frame, with an empty
// history and with one at its bounds (250 runs, the 20 newest with 2,000 items each);
// then one settings write (the appearance switch) with that full history beside the
// settings, and, for comparison, with the same history inside the settings file as
// earlier versions kept it. The resident memory of each window two seconds after its start
// (the history loaded by then) says what the full history costs it; the start's tidy reads
// the same loading of the history, so the file is opened once (counted).
//
// Each kind of window then also cleans up 2,000 files, recorded in the history as a real
// cleanup is, and reports its resident memory while that runs and three seconds after.
//
// Usage: window_history [RUNS] [CLEANUPS]   (default 9 starts of each kind, alternating,
// 3 cleanups of each kind, 41 writes)
#include <QApplication>
#include <QEvent>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "UiBench.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "ui/shell/MainWindow.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

class FirstPaint : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

// Resident memory of this process now, in MiB.
double residentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

// The most this process has held since it started (the kernel's high-water mark), in MiB.
double highWaterMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return -1;
}

struct Start {
    double seconds = -1;  // fork to first painted frame
    double residentMiB = -1; // two seconds after the first frame
    double startPeakMiB = -1; // the most held by then, the history's load included
    int historyOpens = -1;    // how many times the start opened history.json
    // With a cleanup of 2,000 items after that: the most seen while it ran and three
    // seconds after its end, and how many it moved.
    double cleanupPeakMiB = -1;
    double afterCleanupMiB = -1;
    int moved = -1;
};

constexpr int kCleanupItems = 2000;

// A cleanup of 2,000 files the window's way (recorded in the history batch by batch on a
// worker), then three seconds of the event loop.
void cleanUp(ScanCoordinator& coordinator, Start& start) {
    const std::string caches = std::string(std::getenv("HOME")) + "/Library/Caches/com.example.bench" +
                               std::to_string(::getpid());
    std::filesystem::create_directories(caches);
    std::vector<CleanupExecutor::PathSize> paths;
    for (int i = 0; i < kCleanupItems; ++i) {
        const std::string path = caches + "/item-" + std::to_string(i) + ".cache";
        std::ofstream(path) << "cached";
        struct stat st{};
        ::stat(path.c_str(), &st);
        paths.push_back({path, static_cast<int64_t>(st.st_blocks) * 512}); // as a scan counts it
    }
    bool done = false;
    coordinator.performCleanup(paths, [&](const ScanCoordinator::Outcomes& outcomes) {
        start.moved = static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(),
                                                     [](const CleanupOutcome& o) { return o.moved(); }));
        done = true;
    }, [&](const std::string&) { done = true; });
    start.cleanupPeakMiB = residentMiB();
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        start.cleanupPeakMiB = std::max(start.cleanupPeakMiB, residentMiB());
    }
    const auto ended = Clock::now();
    while (Clock::now() - ended < std::chrono::seconds(3)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        start.cleanupPeakMiB = std::max(start.cleanupPeakMiB, residentMiB());
    }
    start.afterCleanupMiB = residentMiB();
}

// The window as the application opens it, in a fresh process (so nothing is read yet),
// timed from the fork to its first painted frame.
Start startIn(const std::string& config, bool cleanup = false) {
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    int fds[2];
    if (::pipe(fds) != 0) return {};
    // Every opening of the history file, by the window's process alone (this one opens none).
    const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opens >= 0) ::inotify_add_watch(opens, (config + "/sorvel/history.json").c_str(), IN_OPEN);
    const auto forked = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        static int argc = 1;
        static char name[] = "sorvel-bench";
        static char* argv[] = {name, nullptr};
        QApplication app(argc, argv);
        ScanCoordinator coordinator;
        uibench::WindowModels windowModels(coordinator);
        const ui::AppModels& models = windowModels.models;
        ui::MainWindow window(models, ui::MainWindow::Startup{});
        FirstPaint paint;
        window.centralWidget()->installEventFilter(&paint);
        window.show();
        while (!paint.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        Start start;
        start.seconds = std::chrono::duration<double>(Clock::now() - forked).count();
        const auto painted = Clock::now();
        while (Clock::now() - painted < std::chrono::seconds(2))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        start.residentMiB = residentMiB();
        start.startPeakMiB = highWaterMiB();
        if (cleanup) cleanUp(coordinator, start);
        const bool sent = ::write(fds[1], &start, sizeof start) == static_cast<ssize_t>(sizeof start);
        _exit(sent ? 0 : 2); // no teardown: only the start is measured
    }
    ::close(fds[1]);
    Start start;
    if (::read(fds[0], &start, sizeof start) != static_cast<ssize_t>(sizeof start)) start = {};
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (opens >= 0) {
        start.historyOpens = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = ::read(opens, events, sizeof events)) > 0;)
            for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(sizeof(inotify_event)) +
                                                 reinterpret_cast<inotify_event*>(events + at)->len)
                if (reinterpret_cast<inotify_event*>(events + at)->mask & IN_OPEN) ++start.historyOpens;
        ::close(opens);
    }
    return start;
}

SweepRun runOf(int n, size_t items) {
    SweepRun run;
    run.scope = "run " + std::to_string(n);
    for (size_t i = 0; i < items; ++i) {
        const std::string name = "/Library/Caches/com.example.application" + std::to_string(n) +
                                 "/Cache.db-folder/item-" + std::to_string(i) + ".cache";
        run.moved.push_back({"/home/someone" + name,
                             "/home/someone/.local/share/Trash/files/item-" + std::to_string(n) + "-" +
                                 std::to_string(i) + ".cache",
                             static_cast<int64_t>(i), Trash::Identity{2049, 1'000'000 + i, int64_t(i), 1'700'000'000'000'000'000}});
    }
    run.receipt.movedCount = static_cast<int64_t>(items);
    return run;
}

nlohmann::json fullHistory() {
    nlohmann::json array = nlohmann::json::array();
    for (int n = 0; n < static_cast<int>(SweepHistory::kMaximumRuns); ++n)
        array.push_back(runOf(n, n < static_cast<int>(SweepHistory::kRunsWithDetail) ? 2000 : 0).toJSON());
    return array;
}

double median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

long long sizeOf(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// One settings write after another, alternating the appearance; milliseconds each.
std::vector<double> settingsWrites(const std::string& config, int writes) {
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    std::vector<double> ms;
    for (int i = 0; i < writes; ++i) {
        const auto start = Clock::now();
        if (!UserDefaults::standard().set("SorvelAppearance", i % 2 ? "dark" : "light")) return {};
        ms.push_back(std::chrono::duration<double>(Clock::now() - start).count() * 1e3);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const int cleanups = argc > 2 ? std::max(0, std::atoi(argv[2])) : 3;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char folder[] = "/tmp/sorvel-window-history-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string root = folder;
    setenv("HOME", root.c_str(), 1);
    const std::string empty = root + "/empty", full = root + "/full", inside = root + "/inside";
    // Written in a child: the windows are forked from this process, and the memory they
    // report must be their own, not an inherited copy of the history.
    const pid_t writer = ::fork();
    if (writer == 0) {
        const nlohmann::json history = fullHistory();
        bool ok = UserDefaults(empty + "/sorvel/defaults.json").set("SorvelAppearance", "light");
        ok = ok && UserDefaults(full + "/sorvel/defaults.json").set("SorvelAppearance", "light");
        ok = ok && UserDefaults(full + "/sorvel/history.json").set("SorvelSweepHistory", history);
        ok = ok && UserDefaults(inside + "/sorvel/defaults.json").set("SorvelAppearance", "light");
        ok = ok && UserDefaults(inside + "/sorvel/defaults.json").set("SorvelSweepHistory", history);
        _exit(ok ? 0 : 1);
    }
    if (int status = 0; writer < 0 || ::waitpid(writer, &status, 0) != writer || status != 0) return 1;
    std::printf("full history file: %.1f MB\n", double(sizeOf(full + "/sorvel/history.json")) / 1e6);

    std::vector<double> emptyStarts, fullStarts, emptyResident, fullResident, emptyPeak, fullPeak;
    int mostOpens = 0;
    startIn(empty); // warm-up
    startIn(full);
    for (int i = 0; i < runs; ++i) {
        const Start e = startIn(empty), f = startIn(full);
        emptyStarts.push_back(e.seconds);
        fullStarts.push_back(f.seconds);
        emptyResident.push_back(e.residentMiB);
        fullResident.push_back(f.residentMiB);
        emptyPeak.push_back(e.startPeakMiB);
        fullPeak.push_back(f.startPeakMiB);
        mostOpens = std::max(mostOpens, f.historyOpens);
    }
    const double e = median(emptyStarts), f = median(fullStarts);
    std::printf("window start to first paint, median of %d: empty history %.0f ms, full history %.0f ms (%.2f x)\n",
                runs, e * 1e3, f * 1e3, f / e);
    const double re = median(emptyResident), rf = median(fullResident);
    std::printf("resident 2 s after the start, median: empty history %.1f MiB, full history %.1f MiB "
                "(the history costs %.1f MiB; the goal: at most 20 MiB)\n",
                re, rf, rf - re);
    std::printf("history.json opened at the start, the tidy included: at most %d time(s) a start\n", mostOpens);
    const double pe = median(emptyPeak), pf = median(fullPeak);
    std::printf("most held by then, median: empty history %.1f MiB, full history %.1f MiB "
                "(the history's load costs %.1f MiB at its peak)\n",
                pe, pf, pf - pe);

    // The same, with a cleanup after the start: a full history costs as little then.
    std::vector<double> cleanupPeak[2], afterCleanup[2];
    int moved[2] = {-1, -1};
    for (int i = 0; i < cleanups; ++i) {
        for (int kind = 0; kind < 2; ++kind) {
            const Start s = startIn(kind ? full : empty, true);
            cleanupPeak[kind].push_back(s.cleanupPeakMiB - s.residentMiB);
            afterCleanup[kind].push_back(s.afterCleanupMiB);
            moved[kind] = s.moved;
        }
    }
    if (cleanups > 0) {
        std::printf("cleanup of %d items (%d and %d moved), median of %d:\n", kCleanupItems, moved[0], moved[1],
                    cleanups);
        std::printf("  most above the start while it ran: empty history %.1f MiB, full history %.1f MiB\n",
                    median(cleanupPeak[0]), median(cleanupPeak[1]));
        const double ae = median(afterCleanup[0]), af = median(afterCleanup[1]);
        std::printf("  resident 3 s after it: empty history %.1f MiB, full history %.1f MiB "
                    "(the history costs %.1f MiB)\n",
                    ae, af, af - ae);
    }

    const int writes = 41;
    const auto beside = settingsWrites(full, writes);
    const auto within = settingsWrites(inside, writes);
    if (beside.empty() || within.empty()) return 1;
    std::printf("settings write with a full history beside: median %.1f ms, slowest %.1f ms\n", median(beside),
                *std::max_element(beside.begin(), beside.end()));
    std::printf("settings write with the history inside the settings (earlier versions): median %.1f ms\n",
                median(within));
    std::filesystem::remove_all(root);
    return 0;
}
