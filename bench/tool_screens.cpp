// The tool screens' own cost: the duplicates page searching the benchmark duplicate tree
// (wall time to cards on screen and peak memory) next to `sorvel --duplicates` on the same
// tree, and the history page with 250 stored runs (time from nothing to a painted page).
//
// Usage: tool_screens [DUPLICATE_TREE] [RUNS] [SORVEL]
// The duplicate tree is the one duplicate_scan generates (run that first). Each
// measurement runs in a fresh child process, so its peak resident size is its own.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScrollArea>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "InChild.h"
#include "models/DuplicatesModel.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "removal/SweepHistory.h"
#include "ui/kit/Animations.h"
#include "ui/services/DesktopServices.h"
#include "ui/tools/DuplicatesView.h"
#include "ui/tools/HistoryView.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double wall = 0;
    long peakKiB = 0;
    double shown = 0; // seconds from start to the page painted
    long long groups = 0;
};

int argcStore = 1;
char arg0[] = "tool_screens";
char* argvStore[] = {arg0, nullptr};

void waitFor(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

Figures duplicatesPage(const std::string& root, bool withPage = true) {
    return inChild<Figures>([&] {
        QApplication app(argcStore, argvStore);
        ui::Animations::setEnabled(false);
        DuplicatesModel model;
        struct NoDesktop : ui::DesktopServices {
            void reveal(const std::string&) override {}
            void openURL(const QString&) override {}
            void copy(const QString&) override {}
            std::optional<std::string> chooseSaveLocation(QWidget*, const QString&, const QString&) override {
                return std::nullopt;
            }
        } desktop;
        // In a scrolling area of the window's size, as the page host shows it: only what
        // is in view is painted.
        QScrollArea area;
        area.setWidgetResizable(true);
        area.resize(1100, 900);
        ui::DuplicatesView* view = nullptr;
        if (withPage) {
            view = new ui::DuplicatesView(model, desktop);
            area.setWidget(view);
            area.show();
        }
        const auto start = Clock::now();
        model.scan(root);
        waitFor([&] { return !model.isScanning(); });
        if (view) {
            view->flush();
            QCoreApplication::processEvents();
            (void)area.grab(); // laid out and painted
        }
        Figures f;
        f.shown = std::chrono::duration<double>(Clock::now() - start).count();
        f.groups = static_cast<long long>(model.report().groups.size());
        return f;
    });
}

// What any window costs before a page: the application object, fonts and one painted widget.
Figures emptyWindow() {
    return inChild<Figures>([&] {
        QApplication app(argcStore, argvStore);
        QWidget w;
        w.resize(1100, 900);
        w.show();
        (void)w.grab();
        return Figures{};
    });
}

Figures command(const std::string& sorvel, const std::string& root) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(3);
        ::execl(sorvel.c_str(), sorvel.c_str(), "--duplicates", root.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    Figures f;
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.peakKiB = usage.ru_maxrss;
    return f;
}

void seedHistory(int runs, int items) {
    for (int r = 0; r < runs; ++r) {
        SweepRun run;
        run.trigger = r % 3 == 0 ? SweepRun::Trigger::scheduled : SweepRun::Trigger::manual;
        run.scope = "items you picked";
        run.receipt.action = SweepSchedule::Action::clean;
        for (int i = 0; i < items; ++i) {
            const std::string name = "/run" + std::to_string(r) + "/item-" + std::to_string(i) + ".cache";
            run.moved.push_back(MovedItem{std::string(std::getenv("HOME")) + "/Library/Caches" + name,
                                          std::string(std::getenv("HOME")) + "/.local/share/Trash/files" + name,
                                          1'000'000 + i});
            run.receipt.movedBytes += run.moved.back().size;
        }
        run.receipt.movedCount = items;
        SweepHistory::store(run);
    }
}

Figures historyPage(bool openNewest) {
    return inChild<Figures>([&] {
        QApplication app(argcStore, argvStore);
        ui::Animations::setEnabled(false);
        const auto start = Clock::now();
        ScanCoordinator coordinator;
        HistoryModel history;
        QScrollArea area;
        area.setWidgetResizable(true);
        area.resize(1100, 900);
        auto* view = new ui::HistoryView(history, coordinator);
        area.setWidget(view);
        area.show(); // the page reads the stored runs afresh, on a worker
        while (history.isLoading()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (openNewest && !history.runs().empty()) history.toggle(history.runs().front().id);
        view->flush();
        QCoreApplication::processEvents();
        (void)area.grab();
        Figures f;
        f.shown = std::chrono::duration<double>(Clock::now() - start).count();
        f.groups = static_cast<long long>(history.runs().size());
        return f;
    });
}

template <typename F> std::vector<Figures> repeat(int runs, F f) {
    f(); // warm-up
    std::vector<Figures> all;
    for (int i = 0; i < runs; ++i) all.push_back(f());
    std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.wall < b.wall; });
    return all;
}

long peak(const std::vector<Figures>& all) {
    long p = 0;
    for (const auto& f : all) p = std::max(p, f.peakKiB);
    return p;
}

double medianShown(std::vector<Figures> all) {
    std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.shown < b.shown; });
    return all[all.size() / 2].shown;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    const std::string root = argc > 1 ? argv[1] : base + "/sorvel-bench-dupes";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::string sorvel = argc > 3 ? argv[3] : "";
    if (sorvel.empty()) {
        // Beside this program in <build>/bench: the executable is <build>/sorvel.
        char self[4096] = {};
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
        dir = dir.substr(0, dir.rfind('/'));
        sorvel = dir.substr(0, dir.rfind('/')) + "/sorvel";
    }
    struct stat st {};
    if (::stat((root + "/.generated").c_str(), &st) != 0) {
        std::fprintf(stderr, "tool_screens: no duplicate tree at %s; run duplicate_scan first\n", root.c_str());
        return 2;
    }

    const auto page = repeat(runs, [&] { return duplicatesPage(root); });
    const auto cli = repeat(runs, [&] { return command(sorvel, root); });
    const auto empty = repeat(runs, [] { return emptyWindow(); });
    const auto modelOnly = repeat(runs, [&] { return duplicatesPage(root, false); });
    std::printf("duplicates page: median %.3f s to cards on screen (best %.3f s), process %.3f s, peak RSS %.1f MiB, %lld groups\n",
                medianShown(page), page.front().shown, page[page.size() / 2].wall, peak(page) / 1024.0,
                page.front().groups);
    std::printf("the model's search alone (application object, no page): median %.3f s, peak RSS %.1f MiB\n",
                medianShown(modelOnly), peak(modelOnly) / 1024.0);
    std::printf("an empty painted window: peak RSS %.1f MiB\n", peak(empty) / 1024.0);
    std::printf("sorvel --duplicates: median %.3f s (best %.3f s), peak RSS %.1f MiB\n", cli[cli.size() / 2].wall,
                cli.front().wall, peak(cli) / 1024.0);

    // 250 stored runs, the newest 20 with their items, in a home of their own.
    char home[] = "/tmp/sorvel-bench-history-XXXXXX";
    if (!::mkdtemp(home)) return 1;
    setenv("HOME", home, 1);
    setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (std::string(home) + "/.local/share").c_str(), 1);
    seedHistory(static_cast<int>(SweepHistory::kMaximumRuns), 200);
    const auto closed = repeat(runs, [] { return historyPage(false); });
    const auto open = repeat(runs, [] { return historyPage(true); });
    std::printf("history page, %lld runs: median %.3f s to painted (best %.3f s), peak RSS %.1f MiB\n",
                closed.front().groups, medianShown(closed), closed.front().shown, peak(closed) / 1024.0);
    std::printf("  with the newest run open (200 items, 40 rows): median %.3f s\n", medianShown(open));
    std::system((std::string("rm -rf ") + home).c_str());
    return 0;
}
