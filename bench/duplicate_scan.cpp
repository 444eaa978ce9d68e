// Duplicate search over a generated tree: wall time and peak memory of the scan, against
// hashing every candidate whole (what a search without size buckets and edge
// signatures would read).
//
// Usage: duplicate_scan [TREE_DIR] [RUNS]
//        duplicate_scan --once TREE_DIR   (one scan of any tree: candidates, groups and
//                                          reclaimable bytes, for bench/compare-duplicates)
// The tree is generated once (deterministically) and reused while its marker file is
// there. Each run scans in a fresh child process, so its peak resident size is the
// scan's own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "InChild.h"
#include "analysis/DuplicateFinder.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

std::mt19937_64 rng(20261207);


void makeDir(const std::string& path) { ::mkdir(path.c_str(), 0755); }

std::string bytesOf(size_t size, uint64_t seed) {
    std::string s(size, '\0');
    std::mt19937_64 r(seed);
    for (size_t i = 0; i + 8 <= size; i += 8) {
        const uint64_t v = r();
        std::memcpy(&s[i], &v, 8);
    }
    return s;
}

void write(const std::string& path, const std::string& contents) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

size_t largeSize() { return std::uniform_int_distribution<size_t>(1'100'000, 3'000'000)(rng); }

void generate(const std::string& root) {
    makeDir(root);
    // 20,000 small files in 100 folders: listed, never candidates.
    for (int d = 0; d < 100; ++d) {
        const std::string dir = root + "/small" + std::to_string(d);
        makeDir(dir);
        for (int f = 0; f < 200; ++f)
            write(dir + "/f" + std::to_string(f), bytesOf(std::uniform_int_distribution<size_t>(1, 3000)(rng), rng()));
    }
    const std::string large = root + "/large";
    makeDir(large);
    // 100 large files of their own sizes: never read.
    for (int i = 0; i < 100; ++i) write(large + "/unique" + std::to_string(i), bytesOf(largeSize(), rng()));
    for (int i = 0; i < 20; ++i) {
        const std::string n = std::to_string(i);
        // Identical pairs: edges and whole files read.
        std::string same = bytesOf(2'000'000 + 8192 * static_cast<size_t>(i), rng());
        write(large + "/same" + n + "a", same);
        write(large + "/same" + n + "b", same);
        // Equal edges, different middle: the worst case, both read whole.
        std::string middle = bytesOf(2'500'000 + 8192 * static_cast<size_t>(i), rng());
        write(large + "/edges" + n + "a", middle);
        middle[middle.size() / 2] ^= 1;
        write(large + "/edges" + n + "b", middle);
        // Equal sizes, different starts: only the edges read.
        const size_t size = 1'500'000 + 8192 * static_cast<size_t>(i);
        write(large + "/differ" + n + "a", bytesOf(size, rng()));
        write(large + "/differ" + n + "b", bytesOf(size, rng()));
        // Two names of one file.
        write(large + "/linked" + n, bytesOf(1'200'000 + 8192 * static_cast<size_t>(i), rng()));
        ::link((large + "/linked" + n).c_str(), (large + "/linked" + n + "-name2").c_str());
    }
    // One big identical pair: memory must not grow with file size.
    const std::string big = bytesOf(64u * 1024 * 1024, 7);
    write(large + "/big-a", big);
    write(large + "/big-b", big);
}

struct RunFigures {
    double wall = 0;
    long peakKiB = 0;
    long long files = 0, groups = 0, reclaimable = 0, apparent = 0;
};

RunFigures scan(const std::string& root) {
    return inChild<RunFigures>([&] {
        ScanControl control;
        auto report = DuplicateFinder::scan({root}, DuplicateFinder::Options(), control);
        RunFigures f;
        f.files = report.filesScanned;
        f.groups = static_cast<long long>(report.groups.size());
        f.reclaimable = report.reclaimable();
        f.apparent = report.apparentSaving();
        return f;
    });
}

// Every candidate hashed whole, no buckets and no edge signatures.
RunFigures hashEverything(const std::string& root) {
    return inChild<RunFigures>([&] {
        // Every candidate of the tree lives in "large".
        const std::string dir = root + "/large";
        std::vector<std::string> paths;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (auto* e = ::readdir(d))
                if (e->d_name[0] != '.') paths.push_back(dir + "/" + e->d_name);
            ::closedir(d);
        }
        RunFigures f;
        for (const auto& p : paths)
            if (DuplicateFinder::detail::fullHash(p)) ++f.files;
        return f;
    });
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--once") == 0) {
        ScanControl control;
        const auto report = DuplicateFinder::scan({argv[2]}, DuplicateFinder::Options(), control);
        std::printf("%lld candidates, %zu groups, %lld reclaimable bytes\n",
                    static_cast<long long>(report.filesScanned), report.groups.size(),
                    static_cast<long long>(report.reclaimable()));
        return 0;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string root = argc > 1 ? argv[1] : std::string(tmp && *tmp ? tmp : "/tmp") + "/sorvel-bench-dupes";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string marker = root + "/.generated";
    struct stat st {};
    if (::stat(marker.c_str(), &st) != 0) {
        std::printf("generating %s ...\n", root.c_str());
        generate(root);
        write(marker, "1");
    }
    scan(root); // warm the cache
    std::vector<RunFigures> figures;
    for (int i = 0; i < runs; ++i) figures.push_back(scan(root));
    std::sort(figures.begin(), figures.end(), [](auto& a, auto& b) { return a.wall < b.wall; });
    const RunFigures& median = figures[figures.size() / 2];
    long peak = 0;
    for (const auto& f : figures) peak = std::max(peak, f.peakKiB);
    std::printf("scan: median %.3f s (best %.3f s), peak RSS %.1f MiB\n", median.wall, figures.front().wall,
                peak / 1024.0);
    std::printf("      %lld candidates, %lld groups, %lld reclaimable / %lld apparent bytes\n", median.files,
                median.groups, median.reclaimable, median.apparent);
    const RunFigures whole = hashEverything(root);
    std::printf("hashing every candidate whole: %.3f s (%lld files), peak RSS %.1f MiB\n", whole.wall, whole.files,
                whole.peakKiB / 1024.0);
    std::printf("scan/whole-hash time ratio %.2f\n", median.wall / whole.wall);
    return 0;
}
