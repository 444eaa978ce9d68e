// System Data scan of a generated home of about 200,000 files: wall time and peak
// memory of the scan, against `du -s` and gdu over the same trees.
//
// Usage: system_data_scan [HOME_DIR] [RUNS]
// The home is generated once (deterministically) and reused while its marker file is
// there. Each run scans in a fresh child process, so its peak resident size is the
// scan's own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "BenchHome.h"
#include "engine/MultiRootScan.h"
#include "platform/ProcessRunner.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct RunFigures {
    double wall = 0;
    long peakKiB = 0;
    long long bytes = 0;
    long long files = 0;
};

RunFigures scanInChild(const std::string& home) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_DATA_HOME"); // the Trash is the fake home's own
        ScanControl control;
        ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
        long long bytes = 0, files = 0;
        for (const auto& c : result.categories)
            for (const auto& r : c.roots) {
                bytes += r->size;
                files += r->fileCount;
            }
        char line[64];
        int n = std::snprintf(line, sizeof line, "%lld %lld\n", bytes, files);
        if (::write(pipeFds[1], line, static_cast<size_t>(n)) < 0) _exit(2);
        _exit(0);
    }
    ::close(pipeFds[1]);
    char buffer[64] = {};
    ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer - 1);
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    RunFigures f;
    f.wall = seconds(Clock::now() - start);
    f.peakKiB = usage.ru_maxrss;
    if (n > 0) std::sscanf(buffer, "%lld %lld", &f.bytes, &f.files);
    return f;
}

double timeTool(const std::string& tool, const std::vector<std::string>& args, std::string* out) {
    ProcessRunner::Options options;
    options.deadline = std::chrono::minutes(5);
    const auto start = Clock::now();
    auto r = ProcessRunner::run(tool, args, options);
    double wall = seconds(Clock::now() - start);
    if (out) *out = r.out;
    return r.launched ? wall : -1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string home = argc > 1 ? argv[1] : benchhome::defaultPath();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    {
        const auto start = Clock::now();
        if (benchhome::ensure(home))
            std::printf("generated %s: %zu files in %.1f s\n", home.c_str(), benchhome::filesMade - 1,
                        seconds(Clock::now() - start));
    }

    // One warm-up run so every figure below is taken with a warm cache.
    scanInChild(home);
    std::vector<RunFigures> figures;
    for (int i = 0; i < runs; ++i) figures.push_back(scanInChild(home));
    std::sort(figures.begin(), figures.end(), [](const RunFigures& a, const RunFigures& b) { return a.wall < b.wall; });
    const RunFigures& median = figures[figures.size() / 2];
    long peak = 0;
    for (const auto& f : figures) peak = std::max(peak, f.peakKiB);

    std::printf("scan: %d runs, median %.3f s (best %.3f s), peak RSS %.1f MiB\n", runs, median.wall,
                figures.front().wall, peak / 1024.0);
    std::printf("scan: %lld files, %lld bytes allocated\n", median.files, median.bytes);

    // The same trees by other tools: ~/Library and the Trash hold every home root. Both
    // also count the cloud folders the scan leaves out, and folder blocks.
    const std::string trash = home + "/.local/share/Trash";
    std::string duOut;
    double du = timeTool("/usr/bin/du", {"-s", "-x", "-B1", "-c", home + "/Library", trash}, &duOut);
    if (du >= 0) {
        size_t total = duOut.rfind('\n', duOut.size() - 2);
        std::printf("du -s: %.3f s (scan/du %.2f); %s", du, median.wall / du,
                    total == std::string::npos ? duOut.c_str() : duOut.c_str() + total + 1);
    }
    double gdu = timeTool("/usr/bin/gdu", {"-n", "-p", "-s", home + "/Library"}, nullptr);
    double gduTrash = timeTool("/usr/bin/gdu", {"-n", "-p", "-s", trash}, nullptr);
    if (gdu >= 0 && gduTrash >= 0)
        std::printf("gdu -s (Library + Trash): %.3f s (scan/gdu %.2f)\n", gdu + gduTrash,
                    median.wall / (gdu + gduTrash));
    else
        std::printf("gdu: not installed\n");
    return 0;
}
