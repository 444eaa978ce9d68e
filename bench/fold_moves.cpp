// Folding a big move into the scanned tree: ITEMS files moved from one cache folder into a
// Trash that lists every file it holds, and put back again. First the fold alone
// (`TreeMoves::apply`, median of RUNS), then through the real coordinator after a finished
// scan, live updates off: from `foldMoves` until the folded tree is published, a 1 ms timer
// on the main thread gives the longest gap of its event loop, and the main thread's CPU time
// over the same span is the fold's share of it.
//
// Usage: fold_moves [RUNS] [ITEMS...]   (default 3 runs of 10000 and 40000)
// The tree is made in memory (no file is written); HOME points at a fresh temporary folder.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/TreeMoves.h"
#include "models/ScanCoordinator.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kHome = "/sorvel-bench-fold/home";
const std::string kCaches = kHome + "/.cache";
const std::string kTrash = kHome + "/.local/share/Trash/files";
constexpr int64_t kFileBytes = 4096;
constexpr int kOldTrashFiles = 1000;

std::string fileName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%06d.log", i);
    return name;
}

ScanNodePtr folderOf(const std::string& path, int files, bool listEvery) {
    auto node = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    node->directFileCount = node->fileCount = files;
    node->directFileSize = node->size = files * kFileBytes;
    const int listed = listEvery ? files : std::min(files, 8);
    for (int i = 0; i < listed; ++i) {
        const std::string name = (listEvery ? "old-" : "") + fileName(i);
        node->largestFiles.push_back(FileEntry{UUID::random(), name, path + "/" + name, kFileBytes, std::nullopt});
    }
    return node;
}

// A cache root holding one folder of ITEMS files, and a Trash of a thousand files.
ScanResult treeOf(int items) {
    ScanResult result;
    DisplayCategory caches, trash;
    caches.id = "caches";
    trash.id = "trash";
    auto cacheRoot = ScanNode::make(".cache", kCaches);
    cacheRoot->children.push_back(folderOf(kCaches + "/app", items, false));
    cacheRoot->rollUpTotals();
    result.categories.push_back({caches, {cacheRoot}});
    result.categories.push_back({trash, {folderOf(kTrash, kOldTrashFiles, true)}});
    return result;
}

std::vector<TreeMoves::Move> movesOf(int items, bool back) {
    std::vector<TreeMoves::Move> moves;
    moves.reserve(static_cast<size_t>(items));
    for (int i = 0; i < items; ++i) {
        const std::string cache = kCaches + "/app/" + fileName(i), trash = kTrash + "/" + fileName(i);
        moves.push_back({back ? trash : cache, back ? cache : trash, kFileBytes, false, nullptr});
    }
    return moves;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double threadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Stall {
    double longestGapMs = 0;
    double mainCpuMs = 0;
    double wallMs = 0;
    bool published = false;
};

// One fold through the coordinator, timed on its main thread.
Stall throughCoordinator(ScanCoordinator& coordinator, std::vector<TreeMoves::Move> moves) {
    Stall stall;
    QElapsedTimer sinceTurn, wall;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
    });
    bool done = false;
    ticker.start();
    sinceTurn.start();
    wall.start();
    const double cpu = threadSeconds();
    coordinator.foldMoves(std::move(moves), [&] { done = true; });
    while (!done && wall.elapsed() < 600'000) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    longest = std::max(longest, sinceTurn.nsecsElapsed());
    stall.mainCpuMs = (threadSeconds() - cpu) * 1000;
    stall.wallMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
    stall.longestGapMs = static_cast<double>(longest) / 1e6;
    stall.published = done;
    return stall;
}

} // namespace

int main(int argc, char** argv) {
    char home[] = "/tmp/sorvel-fold-home-XXXXXX";
    if (!::mkdtemp(home)) return 1;
    ::setenv("HOME", home, 1);
    ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {10000, 40000};

    std::printf("%8s  %14s  %14s  %16s  %16s  %12s\n", "items", "fold into Trash", "put back", "main: longest gap",
                "main: CPU", "to published");
    for (const int items : counts) {
        std::vector<double> into, back;
        for (int run = 0; run < runs; ++run) {
            ScanResult result = treeOf(items);
            auto start = Clock::now();
            TreeMoves::apply(movesOf(items, false), result);
            into.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            start = Clock::now();
            TreeMoves::apply(movesOf(items, true), result);
            back.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }

        std::vector<double> gaps, cpus, walls;
        bool allPublished = true;
        for (int run = 0; run < runs; ++run) {
            auto services = ScanCoordinator::Services::standard();
            services.scan = [items](ScanControl&, ScanScope scope) {
                ScanResult result = treeOf(items);
                result.scope = scope;
                return result;
            };
            services.recommend = [](const ScanResult&) { return std::vector<CleanupItem>{}; };
            ScanCoordinator coordinator(services);
            coordinator.setLiveUpdatesEnabled(false);
            coordinator.start();
            QElapsedTimer wait;
            wait.start();
            while (coordinator.phase() != ScanCoordinator::Phase::done && wait.elapsed() < 60'000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const Stall stall = throughCoordinator(coordinator, movesOf(items, false));
            allPublished = allPublished && stall.published &&
                           coordinator.result().category("trash")->total() == (kOldTrashFiles + items) * kFileBytes;
            gaps.push_back(stall.longestGapMs);
            cpus.push_back(stall.mainCpuMs);
            walls.push_back(stall.wallMs);
        }
        std::printf("%8d  %13.1f ms  %13.1f ms  %13.1f ms  %13.1f ms  %9.1f ms%s\n", items, median(into) * 1000,
                    median(back) * 1000, median(gaps), median(cpus), median(walls),
                    allPublished ? "" : "  (the Trash's figure was wrong)");
    }
    std::string remove = std::string("rm -rf ") + home;
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
