// A report's fixed cost against its roots: each Flatpak app adds a cache root. For homes of
// APPS apps (each with a cache folder of one file), the median of RUNS of the System Data
// categories' making (what `--report` and `--plan` work out before walking) and of the whole
// scan they measure through, with the path resolutions each made.
//
// Usage: report_roots [RUNS] [APPS...]   (default 5 runs of 0, 100, 400 and 1600 apps)
// Each home is made once in a fresh temporary folder that HOME points at, removed at the end.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/DisplayCategory.h"
#include "engine/MultiRootScan.h"
#include "platform/Path.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

void makeFolder(const std::string& path) { ::mkdir(path.c_str(), 0755); }

void writeFile(const std::string& path) {
    const std::string bytes(4096, 'x');
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    ::close(fd);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <class Work>
double timed(Work&& work, uint64_t& resolutions) {
    const uint64_t before = pathResolutions();
    const auto start = Clock::now();
    work();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    resolutions = pathResolutions() - before;
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {0, 100, 400, 1600};
    char top[] = "/tmp/sorvel-report-roots-XXXXXX";
    if (!::mkdtemp(top)) return 1;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME"}) ::unsetenv(name);

    std::printf("%6s  %6s  %14s  %12s  %14s  %12s\n", "apps", "roots", "categories", "resolutions", "whole scan",
                "resolutions");
    for (const int apps : counts) {
        const std::string home = std::string(top) + "/home-" + std::to_string(apps);
        makeFolder(home);
        for (const char* folder : {"/.cache", "/.config", "/.local", "/.local/share", "/.local/state", "/.var", "/.var/app"})
            makeFolder(home + folder);
        for (int i = 0; i < apps; ++i) {
            const std::string app = home + "/.var/app/org.example.App" + std::to_string(i);
            makeFolder(app);
            makeFolder(app + "/cache");
            writeFile(app + "/cache/blob");
        }
        ::setenv("HOME", home.c_str(), 1);
        size_t roots = 0;
        for (const auto& category : DisplayCategory::categories(ScanScope::systemData)) roots += category.roots.size();
        std::vector<double> making, scanning;
        uint64_t madeWith = 0, scannedWith = 0;
        for (int run = 0; run < runs; ++run) {
            making.push_back(timed([] { DisplayCategory::categories(ScanScope::systemData); }, madeWith));
            scanning.push_back(timed(
                [] {
                    ScanControl control;
                    MultiRootScan::scanSynchronously(control, ScanScope::systemData);
                },
                scannedWith));
        }
        std::printf("%6d  %6zu  %11.2f ms  %12llu  %11.2f ms  %12llu\n", apps, roots, median(making),
                    static_cast<unsigned long long>(madeWith), median(scanning),
                    static_cast<unsigned long long>(scannedWith));
    }
    const std::string remove = std::string("rm -rf ") + top;
    return std::system(remove.c_str()) == 0 ? 0 : 1;
}
