// What counting shared storage costs a report: the System Data scan (the walk `--report`
// and `--plan` make, each hard-linked file counted once in the folder that owns it, and the
// shared figure of every folder) of a home whose package store is hard-linked into its
// projects, against the same home with plain copies in place of the links.
//
// Usage: shared_storage [--benchmark_*]
// SORVEL_SHARED_FILES (default 100000) store files; the homes are made once, under
// SORVEL_SHARED_HOMES (default /tmp/sorvel-shared-homes), as linked-N and copies-N, and kept
// for `/usr/bin/time -v sorvel --report` with HOME pointed at either.
// Store files lie in ~/.local/share/pnpm/store, each with a name in a project (outside
// every measured place); every third with a third name in ~/.cache/uv (another root).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/MultiRootScan.h"

using namespace sorvel;

namespace {

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

void report(benchmark::State& state, bool linked) {
    const size_t files = storeFiles();
    const std::string at = home(linked, files);
    ::setenv("HOME", at.c_str(), 1);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"}) ::unsetenv(name);
    int64_t shared = 0;
    for (auto _ : state) {
        ScanControl control;
        ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
        shared = result.sharedBytes(at + "/.local/share/pnpm");
        benchmark::DoNotOptimize(shared);
    }
    state.counters["storeFiles"] = static_cast<double>(files);
    state.counters["sharedMB"] = static_cast<double>(shared) / 1e6;
}

void BM_ReportLinkedStore(benchmark::State& state) { report(state, true); }
void BM_ReportCopiedStore(benchmark::State& state) { report(state, false); }

} // namespace

BENCHMARK(BM_ReportLinkedStore)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ReportCopiedStore)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK_MAIN();
