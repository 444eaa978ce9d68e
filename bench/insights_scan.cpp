// Folder insights over the walk benchmark's tree (bench/make-tree): wall time and peak
// memory of one analysis, against the size walk of the same tree and against du.
//
// Usage: insights_scan [TREE_DIR] [RUNS]   (default /tmp/sorvel-bench-tree, 5 runs)
// Each run happens in a fresh child process, so its peak resident size is its own.
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
#include "analysis/FolderInsights.h"
#include "engine/FileWalker.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

struct RunFigures {
    double wall = 0;
    long peakKiB = 0;
    long long files = 0;
    long long bytes = 0;
};

RunFigures median(std::vector<RunFigures> runs) {
    std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) { return a.wall < b.wall; });
    RunFigures m = runs[runs.size() / 2];
    for (const auto& r : runs) m.peakKiB = std::max(m.peakKiB, r.peakKiB);
    return m;
}

} // namespace

int main(int argc, char** argv) {
    const std::string root = argc > 1 ? argv[1] : "/tmp/sorvel-bench-tree";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    struct stat st {};
    if (::stat((root + "/.sorvel-bench-tree").c_str(), &st) != 0) {
        std::fprintf(stderr, "insights_scan: run bench/make-tree %s first\n", root.c_str());
        return 2;
    }
    auto insights = [&] {
        return inChild<RunFigures>([&] {
            const FolderInsights r = InsightScanner::analyze(root, [] { return false; });
            return RunFigures{0, 0, r.fileCount, r.totalBytes};
        });
    };
    auto walk = [&] {
        return inChild<RunFigures>([&] {
            ScanControl control;
            const ScanNodePtr node = FileWalker::walkParallel(root, control, FileWalker::Options());
            return RunFigures{0, 0, node ? node->fileCount : 0, node ? node->size : 0};
        });
    };
    auto du = [&] {
        return inChild<RunFigures>([&] {
            const pid_t child = ::fork();
            if (child == 0) {
                ::freopen("/dev/null", "w", stdout);
                ::execlp("du", "du", "-s", root.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            return RunFigures{};
        });
    };
    insights(); // warm the cache
    std::vector<RunFigures> a, b, c;
    for (int i = 0; i < runs; ++i) {
        a.push_back(insights());
        b.push_back(walk());
        c.push_back(du());
    }
    const RunFigures mi = median(a), mw = median(b), md = median(c);
    std::printf("insights:      median %.3f s, peak RSS %.1f MiB, %lld files, %lld bytes\n", mi.wall,
                mi.peakKiB / 1024.0, mi.files, mi.bytes);
    std::printf("parallel walk: median %.3f s, peak RSS %.1f MiB, %lld files, %lld bytes\n", mw.wall,
                mw.peakKiB / 1024.0, mw.files, mw.bytes);
    std::printf("du -s:         median %.3f s\n", md.wall);
    return 0;
}
