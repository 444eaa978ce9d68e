// Whole Disk scan of this machine: wall time, peak memory and every root's figures,
// with `du -sx` of each root for comparison (du counts /usr/local inside /usr once,
// so the two /usr roots together should match du of /usr alone).
//
// Usage: whole_disk_scan
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/MultiRootScan.h"
#include "platform/ProcessRunner.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

long long duBytes(const std::string& path) {
    ProcessRunner::Options options;
    options.deadline = std::chrono::minutes(5);
    auto r = ProcessRunner::run("/usr/bin/du", {"-s", "-x", "-B1", path}, options);
    if (!r.launched) return -1;
    return std::atoll(r.out.c_str());
}

} // namespace

int main() {
    ScanControl control;
    const auto start = Clock::now();
    ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::wholeDisk);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);

    long long total = 0, files = 0;
    std::printf("%-28s %16s %10s %16s\n", "root", "bytes", "files", "du -sx");
    for (const auto& category : result.categories) {
        for (const auto& root : category.roots) {
            total += root->size;
            files += root->fileCount;
            std::printf("%-28s %16lld %10lld %16lld%s\n", root->path.c_str(), static_cast<long long>(root->size),
                        static_cast<long long>(root->fileCount), duBytes(root->path),
                        root->accessDenied ? "  (denied)" : "");
        }
    }
    std::printf("whole disk: %zu categories, %lld files, %lld bytes in %.2f s, peak RSS %.1f MiB\n",
                result.categories.size(), files, total, wall, usage.ru_maxrss / 1024.0);
    return 0;
}
