// Times the walks over chains of folders 10,000, 30,000 and 100,000 levels deep: the
// sequential and the parallel walk, the guard's re-measure, folder insights and the
// duplicate finder's listing, with du -s of the same chain for reference. Each folder
// is named "d" and the deepest holds one file of 5,000 bytes.
//
// Usage: deep_chain [SCRATCH_FOLDER] [RUNS] [DEPTH...]
//        (default /dev/shm, else /tmp; 1 run; depths 10000 30000 100000)
// Prints one line per depth and measure: the median wall time in seconds of RUNS runs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "analysis/DuplicateFinder.h"
#include "analysis/FolderInsights.h"
#include "engine/FileWalker.h"
#include "removal/CleanupGuard.h"

using namespace sorvel;

namespace {

bool makeChain(const std::string& top, int depth) {
    if (::mkdir(top.c_str(), 0755) != 0) return false;
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0) return false;
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd < 0) return false;
    const int file = ::openat(fd, "f", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    const std::string bytes(5000, 'x');
    const bool written = file >= 0 && ::write(file, bytes.data(), bytes.size()) == 5000;
    if (file >= 0) ::close(file);
    ::close(fd);
    return written;
}

double median(int runs, const std::function<bool()>& body) {
    std::vector<double> seconds;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!body()) return -1;
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::string scratch = argc > 1 ? argv[1] : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const std::string base = scratch + "/sorvel-deep-chain-" + std::to_string(::getpid());
    if (::mkdir(base.c_str(), 0755) != 0) {
        std::fprintf(stderr, "deep_chain: cannot make %s\n", base.c_str());
        return 1;
    }
    CleanupPolicy policy;
    policy.allowedRoots = {base};
    std::vector<int> depths;
    for (int i = 3; i < argc; ++i) depths.push_back(std::max(1, std::atoi(argv[i])));
    if (depths.empty()) depths = {10000, 30000, 100000};
    std::printf("%-8s %-22s %s\n", "depth", "measure", "median s");
    int status = 0;
    for (int depth : depths) {
        const std::string top = base + "/chain-" + std::to_string(depth);
        if (!makeChain(top, depth)) {
            std::fprintf(stderr, "deep_chain: cannot build the chain of %d\n", depth);
            status = 1;
            break;
        }
        int64_t size = 0;
        const auto report = [&](const char* measure, double s) {
            std::printf("%-8d %-22s %.4f\n", depth, measure, s);
            std::fflush(stdout);
        };
        report("FileWalker::walk", median(runs, [&] {
                   ScanControl control;
                   auto node = FileWalker::walk(top, control);
                   size = node ? node->size : 0;
                   return node && node->dirCount == depth;
               }));
        report("FileWalker::walkPar.", median(runs, [&] {
                   ScanControl control;
                   auto node = FileWalker::walkParallel(top, control);
                   return node && node->dirCount == depth;
               }));
        report("guard re-measure", median(runs, [&] {
                   return !CleanupGuard::check(top, size, policy, std::nullopt).has_value();
               }));
        report("folder insights", median(runs, [&] {
                   const FolderInsights insights = InsightScanner::analyze(top, [] { return false; });
                   return insights.fileCount == 1 && insights.totalBytes == size;
               }));
        report("duplicate listing", median(runs, [&] {
                   DuplicateFinder::Options options;
                   options.minimumSize = 1;
                   ScanControl control;
                   return DuplicateFinder::scan({top}, options, control).filesScanned == 1;
               }));
        const std::string du = "du -s '" + top + "' > /dev/null 2>&1";
        report("du -s", median(runs, [&] { return std::system(du.c_str()) == 0; }));
    }
    const std::string clean = "rm -rf -- '" + base + "'";
    if (std::system(clean.c_str()) != 0) std::fprintf(stderr, "deep_chain: could not remove %s\n", base.c_str());
    return status;
}
