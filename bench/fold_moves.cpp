// Folding a big move into the scanned tree: ITEMS files moved from one cache folder into a
// Trash that lists every file it holds, and put back again. First the fold alone
// (`TreeMoves::apply`, median of RUNS), then through the real coordinator after a finished
// scan, live updates off: from `foldMoves` until the folded tree is published, a 1 ms timer
// on the main thread gives the longest gap of its event loop, and the main thread's CPU time
// over the same span is the fold's share of it.
// Then folders from outside every root, as a sweep of a folder the user added moves them:
// FOLDERS folders of two files each, on disk, moved into the real Trash of the temporary home
// (which holds APPS Flatpak apps, each a cache root) and folded through the coordinator, each
// walked where it landed; beside it, one walk of the same folders where they were.
//
// Usage: fold_moves [RUNS] [ITEMS...] [--folders FOLDERS...] [--apps APPS]
//        (default 3 runs of 10000 and 40000 files, 2000 and 20000 folders, 40 apps)
// The tree of files is made in memory (no file is written); HOME points at a fresh temporary
// folder, where the folders are made.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "engine/TreeMoves.h"
#include "models/ScanCoordinator.h"
#include "platform/Trash.h"

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

void writeFile(const std::string& path) {
    static const std::string bytes(kFileBytes, 'x');
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    ::close(fd);
}

void makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) std::abort();
}

std::string folderName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "/d%06d", i);
    return name;
}

// FOLDERS folders of two files each (one in a subfolder) in `added`, made once.
void makeFolders(const std::string& added, int folders) {
    makeFolder(added);
    for (int i = 0; i < folders; ++i) {
        const std::string folder = added + folderName(i);
        if (::access(folder.c_str(), F_OK) == 0) continue;
        makeFolder(folder);
        makeFolder(folder + "/sub");
        writeFile(folder + "/a");
        writeFile(folder + "/sub/b");
    }
}

void moveAll(const std::string& from, const std::string& to, int folders) {
    for (int i = 0; i < folders; ++i)
        if (::rename((from + folderName(i)).c_str(), (to + folderName(i)).c_str()) != 0) std::abort();
}

struct FolderFold {
    double walkMs = 0;
    Stall stall;
    bool right = false;
};

// One sweep of FOLDERS folders from `added` into the Trash, folded by a coordinator that
// scanned the home first; the folders are back in `added` afterwards.
// Scans once, within a minute, with no live updates to come between the fold and its figures.
void scanWithoutLiveUpdates(ScanCoordinator& coordinator) {
    coordinator.setLiveUpdatesEnabled(false);
    coordinator.start();
    QElapsedTimer wait;
    wait.start();
    while (coordinator.phase() != ScanCoordinator::Phase::done && wait.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

FolderFold foldFolders(const std::string& added, int folders) {
    FolderFold out;
    const std::string trash = Trash::directory() + "/files";
    {
        ScanControl control;
        const auto start = Clock::now();
        FileWalker::walk(added, control, MultiRootScan::walkOptions(added, ScanScope::systemData));
        out.walkMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    auto services = ScanCoordinator::Services::standard();
    services.recommend = [](const ScanResult&) { return std::vector<CleanupItem>{}; };
    ScanCoordinator coordinator(services);
    scanWithoutLiveUpdates(coordinator);
    moveAll(added, trash, folders);
    std::vector<TreeMoves::Move> moves;
    moves.reserve(static_cast<size_t>(folders));
    for (int i = 0; i < folders; ++i)
        moves.push_back({added + folderName(i), trash + folderName(i), 2 * kFileBytes, true, nullptr});
    out.stall = throughCoordinator(coordinator, std::move(moves));
    ScanControl control;
    const ScanNodePtr disk = FileWalker::walk(trash, control, MultiRootScan::walkOptions(trash, ScanScope::systemData));
    const ScanNodePtr shown = coordinator.result().node(trash);
    out.right = out.stall.published && disk && shown && disk->size == shown->size &&
                disk->fileCount == shown->fileCount && disk->dirCount == shown->dirCount;
    moveAll(trash, added, folders);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    char home[] = "/tmp/sorvel-fold-home-XXXXXX";
    if (!::mkdtemp(home)) return 1;
    ::setenv("HOME", home, 1);
    ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/.config").c_str(), 1);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) ::unsetenv(name);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<int> counts, folderCounts;
    int apps = 40;
    std::vector<int>* list = &counts;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--folders") list = &folderCounts;
        else if (arg == "--apps" && i + 1 < argc) apps = std::max(0, std::atoi(argv[++i]));
        else list->push_back(std::atoi(argv[i]));
    }
    if (counts.empty() && list == &counts) counts = {10000, 40000};
    if (folderCounts.empty()) folderCounts = {2000, 20000};

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
            scanWithoutLiveUpdates(coordinator);
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
    // Folders from outside every root, into the Trash of a home with APPS Flatpak apps.
    const std::string base(home);
    for (const char* folder : {"/.local", "/.local/share", "/.local/share/Trash", "/.local/share/Trash/files",
                               "/.var", "/.var/app", "/.cache", "/.config", "/Projects"})
        makeFolder(base + folder);
    for (int i = 0; i < apps; ++i) {
        const std::string app = base + "/.var/app/org.example.App" + std::to_string(i);
        makeFolder(app);
        makeFolder(app + "/cache");
        writeFile(app + "/cache/blob");
    }
    std::printf("\n%8s  %16s  %18s  %16s  %16s   (%d Flatpak apps)\n", "folders", "one walk of them",
                "fold, to published", "main: longest gap", "main: CPU", apps);
    for (const int folders : folderCounts) {
        const std::string added = base + "/Projects/sweep-" + std::to_string(folders);
        makeFolders(added, folders);
        std::vector<double> walks, folds, gaps, cpus;
        bool allRight = true;
        for (int run = 0; run < runs; ++run) {
            const FolderFold fold = foldFolders(added, folders);
            walks.push_back(fold.walkMs);
            folds.push_back(fold.stall.wallMs);
            gaps.push_back(fold.stall.longestGapMs);
            cpus.push_back(fold.stall.mainCpuMs);
            allRight = allRight && fold.right;
        }
        std::printf("%8d  %13.1f ms  %15.1f ms  %13.1f ms  %13.1f ms%s\n", folders, median(walks), median(folds),
                    median(gaps), median(cpus), allRight ? "" : "  (the Trash's figures were wrong)");
    }
    std::string remove = std::string("rm -rf ") + home;
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
