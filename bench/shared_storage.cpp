// What counting shared storage costs a report: `sorvel --report` (the System Data scan, each
// hard-linked file counted once in the folder that owns it, and the shared figure of every
// folder) of a home whose package store is hard-linked into its projects, against the same
// home with plain copies in place of the links. Prints the median elapsed time and peak
// resident size of each, and their ratios; fails when the linked home takes more than 1.3x
// the time or 2x the memory of the copies.
//
// With --window it measures instead the window's kind of scan: the System Data scope
// walked by a control that keeps which folder counted each hard-linked file (as live
// updates need), run in a process of its own.
//
// Usage: shared_storage [--window] [RUNS] (default 7, alternating, after one warm-up run of each)
// SORVEL_SHARED_FILES (default 100000) store files; the homes are made once, under
// SORVEL_SHARED_HOMES (default /tmp/sorvel-shared-homes), as linked-N and copies-N.
// Store files lie in ~/.local/share/pnpm/store, each with a name in a project (outside
// every measured place); every third with a third name in ~/.cache/uv (another root).
#include <fcntl.h>
#include <spawn.h>
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

#include "engine/MultiRootScan.h"
#include "engine/ScanControl.h"

extern char** environ;

namespace {

constexpr double kTimeLimit = 1.3, kMemoryLimit = 2.0;

void makeDirs(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
    ::mkdir(path.c_str(), 0755);
}

void writeFile(const std::string& path, size_t bytes) {
    static const std::string block(16384, 's');
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, block.data(), bytes) != static_cast<ssize_t>(bytes)) std::abort();
    ::close(fd);
}

size_t storeFiles() {
    const char* value = std::getenv("SORVEL_SHARED_FILES");
    return value ? std::strtoul(value, nullptr, 10) : 100'000;
}

// The home of `files` store files, linked or copied; made once.
std::string home(bool linked, size_t files) {
    const char* top = std::getenv("SORVEL_SHARED_HOMES");
    const std::string path =
        std::string(top ? top : "/tmp/sorvel-shared-homes") + (linked ? "/linked-" : "/copies-") + std::to_string(files);
    const std::string marker = path + "/.made";
    if (::access(marker.c_str(), F_OK) == 0) return path;
    const std::string store = path + "/.local/share/pnpm/store/v3/files";
    for (size_t i = 0; i < files; ++i) {
        char bucket[8];
        std::snprintf(bucket, sizeof bucket, "%02zx", i % 256);
        const std::string folder = store + "/" + bucket;
        const std::string project = path + "/projects/p" + std::to_string(i % 50) + "/node_modules/pkg" +
                                    std::to_string(i % 997);
        const std::string cache = path + "/.cache/uv/archive-v0/" + bucket;
        if (i < 256) {
            makeDirs(folder);
            makeDirs(cache);
        }
        if (i < 50 * 997) makeDirs(project);
        const std::string name = "f" + std::to_string(i);
        const size_t bytes = 512 + (i * 7919) % 12000;
        writeFile(folder + "/" + name, bytes);
        const auto second = [&](const std::string& at) {
            if (!linked) return writeFile(at, bytes);
            if (::link((folder + "/" + name).c_str(), at.c_str()) != 0) std::abort();
        };
        second(project + "/" + name);
        if (i % 3 == 0) second(cache + "/" + name);
    }
    makeDirs(path + "/.config");
    writeFile(marker, 1);
    return path;
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
};

// The window's scan of this process's home, holding the tree and what is known of its
// hard-linked files as the window does.
int windowScan() {
    sorvel::ScanControl control;
    control.keepInodeOwners();
    const auto result = sorvel::MultiRootScan::scanSynchronously(control, sorvel::ScanScope::systemData);
    const auto inodes = control.takeInodes();
    std::fprintf(stderr, "%zu hard-linked files\n", inodes.seen.size());
    return result.categories.empty() ? 1 : 0;
}

// One `sorvel --report` (or, with `window`, one window's scan) of the home, as a process of its own.
Run reportOf(const std::string& home, bool window) {
    std::vector<std::string> env{"HOME=" + home};
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        if (var.rfind("HOME=", 0) != 0 && var.rfind("XDG_", 0) != 0) env.push_back(var);
    }
    std::vector<char*> envp;
    for (auto& var : env) envp.push_back(var.data());
    envp.push_back(nullptr);
    static std::string self = [] {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }();
    const char* binary = window ? self.c_str() : SORVEL_BINARY;
    char* argv[] = {const_cast<char*>(binary), const_cast<char*>(window ? "--window-scan" : "--report"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, binary, &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) std::abort();
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s of %s failed\n", argv[1], home.c_str());
        std::exit(2);
    }
    return Run{seconds, usage.ru_maxrss};
}

template <typename T> T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--window-scan") return windowScan();
    const bool window = argc > 1 && std::string(argv[1]) == "--window";
    if (window) --argc, ++argv;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const size_t files = storeFiles();
    const std::string linked = home(true, files), copies = home(false, files);
    reportOf(linked, window);
    reportOf(copies, window);
    std::vector<double> linkedTime, copiesTime;
    std::vector<long> linkedPeak, copiesPeak;
    for (int i = 0; i < runs; ++i) {
        const Run l = reportOf(linked, window), c = reportOf(copies, window);
        linkedTime.push_back(l.seconds);
        linkedPeak.push_back(l.peakKiB);
        copiesTime.push_back(c.seconds);
        copiesPeak.push_back(c.peakKiB);
    }
    const double timeRatio = median(linkedTime) / median(copiesTime);
    const double memoryRatio = static_cast<double>(median(linkedPeak)) / static_cast<double>(median(copiesPeak));
    std::printf("%s, %zu store files, median of %d runs\n", window ? "the window's scan" : "sorvel --report", files,
                runs);
    std::printf("  linked  %.3f s  %.1f MiB\n", median(linkedTime), median(linkedPeak) / 1024.0);
    std::printf("  copies  %.3f s  %.1f MiB\n", median(copiesTime), median(copiesPeak) / 1024.0);
    std::printf("  time    %.2fx (at most %.1fx)\n", timeRatio, kTimeLimit);
    std::printf("  memory  %.2fx (at most %.1fx)\n", memoryRatio, kMemoryLimit);
    const bool within = timeRatio <= kTimeLimit && memoryRatio <= kMemoryLimit;
    std::printf("%s\n", within ? "within the limits" : "OVER THE LIMITS");
    return within ? 0 : 1;
}
