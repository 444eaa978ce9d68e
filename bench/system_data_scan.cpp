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

#include "engine/MultiRootScan.h"
#include "platform/ProcessRunner.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

std::mt19937_64 rng(20240501);
size_t filesMade = 0;
std::vector<std::string> linkSources;

void makeDirs(const std::string& path) {
    std::string partial;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        partial = path.substr(0, end);
        ::mkdir(partial.c_str(), 0755);
        start = end + 1;
    }
}

// Most files of a library are small; a few are large.
size_t sizeOfNext() {
    std::uniform_int_distribution<int> pick(0, 999);
    int p = pick(rng);
    if (p < 700) return std::uniform_int_distribution<size_t>(0, 3000)(rng);
    if (p < 970) return std::uniform_int_distribution<size_t>(3000, 16000)(rng);
    if (p < 999) return std::uniform_int_distribution<size_t>(16000, 100000)(rng);
    return std::uniform_int_distribution<size_t>(1000000, 3000000)(rng);
}

void writeFile(const std::string& path, size_t bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    static const std::string block(65536, 'd');
    while (bytes > 0) {
        size_t n = std::min(bytes, block.size());
        if (::write(fd, block.data(), n) < 0) break;
        bytes -= n;
    }
    ::close(fd);
    ++filesMade;
}

// A tree of `files` files spread over folders `depth` levels deep, `fanout` wide.
void tree(const std::string& root, size_t files, int depth, int fanout, const char* stem) {
    makeDirs(root);
    if (depth == 0 || files < 20) {
        for (size_t i = 0; i < files; ++i) writeFile(root + "/" + stem + std::to_string(i), sizeOfNext());
        return;
    }
    size_t here = files / 10;
    for (size_t i = 0; i < here; ++i) writeFile(root + "/" + stem + std::to_string(i), sizeOfNext());
    size_t rest = files - here;
    for (int f = 0; f < fanout; ++f) {
        size_t share = rest / fanout + (static_cast<size_t>(f) < rest % fanout ? 1 : 0);
        char name[16];
        std::snprintf(name, sizeof name, "%02x", f * 7 + depth);
        tree(root + "/" + name, share, depth - 1, fanout, stem);
    }
}

void generate(const std::string& home) {
    const std::string lib = home + "/Library";
    // Caches: many apps, each with a hashed cache store.
    for (int a = 0; a < 40; ++a) tree(lib + "/Caches/com.vendor.app" + std::to_string(a), 1400, 2, 6, "c");
    // Application Support: per-app state, a few deep ones.
    for (int a = 0; a < 30; ++a) tree(lib + "/Application Support/App " + std::to_string(a), 1000, 3, 4, "s");
    // Containers: sandboxed apps, each Data/Library/... shaped.
    for (int a = 0; a < 50; ++a)
        tree(lib + "/Containers/com.vendor.sandboxed" + std::to_string(a) + "/Data/Library", 800, 3, 3, "k");
    for (int a = 0; a < 5; ++a) tree(lib + "/Group Containers/group.vendor." + std::to_string(a), 1000, 2, 5, "g");
    // Developer: derived data with deep build products, and simulators.
    for (int p = 0; p < 8; ++p)
        tree(lib + "/Developer/Xcode/DerivedData/Project" + std::to_string(p) + "-abcdef/Build", 4000, 5, 3, "o");
    tree(lib + "/Developer/CoreSimulator/Devices", 8000, 4, 4, "sim");
    // Mail and Messages.
    tree(lib + "/Mail/V10", 15000, 3, 5, "m");
    tree(lib + "/Messages/Attachments", 5000, 2, 16, "att");
    tree(lib + "/Logs", 2000, 2, 4, "log");
    // The rest of the library.
    tree(lib + "/Preferences", 1500, 0, 0, "p");
    tree(lib + "/Safari", 500, 1, 3, "w");
    tree(lib + "/Photos/Libraries", 2000, 3, 3, "ph");
    tree(home + "/.local/share/Trash/files", 2000, 2, 4, "t");
    // Cloud trees no walk enters.
    tree(lib + "/Mobile Documents/com~apple~CloudDocs", 3000, 2, 4, "d");
    tree(lib + "/Application Support/CloudDocs/session", 1000, 1, 4, "cd");

    // Hard links across categories: caches shared with containers and developer data.
    std::uniform_int_distribution<int> pickApp(0, 39);
    makeDirs(lib + "/Containers/com.vendor.sandboxed0/Data/Shared");
    makeDirs(lib + "/Developer/Shared");
    for (int i = 0; i < 600; ++i) {
        const std::string src = lib + "/Caches/com.vendor.app" + std::to_string(pickApp(rng)) + "/c" +
                                std::to_string(i % 140);
        struct stat st {};
        if (::stat(src.c_str(), &st) != 0) continue;
        ::link(src.c_str(), (lib + "/Containers/com.vendor.sandboxed0/Data/Shared/l" + std::to_string(i)).c_str());
        if (i % 2 == 0) ::link(src.c_str(), (lib + "/Developer/Shared/l" + std::to_string(i)).c_str());
    }
}

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
    const char* tmp = std::getenv("TMPDIR");
    const std::string home = argc > 1 ? argv[1] : std::string(tmp && *tmp ? tmp : "/tmp") + "/sorvel-bench-home";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string marker = home + "/.generated";

    struct stat st {};
    if (::stat(marker.c_str(), &st) != 0) {
        std::printf("generating %s ...\n", home.c_str());
        const auto start = Clock::now();
        generate(home);
        writeFile(marker, 0);
        std::printf("generated %zu files in %.1f s\n", filesMade - 1, seconds(Clock::now() - start));
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
