// Recording a run into a full history: the whole list is decoded, bounded, encoded and
// written (fsync, rename) under the history file's lock on every record, so its cost is
// what a cleanup or sweep pays at its end.
//
// Usage: history_record [RECORDS] [whole]
// "whole" changes the file as one parsed document, as before writes were streamed.
// The history starts at its bounds (250 runs, 20 of them with 2,000 items each) in a
// temporary settings folder; each record adds one run of 2,000 items.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

SweepRun runOf(int n, size_t items) {
    SweepRun run;
    run.scope = "run " + std::to_string(n);
    for (size_t i = 0; i < items; ++i) {
        const std::string name = "/Library/Caches/com.example.app" + std::to_string(n) + "/item" + std::to_string(i);
        run.moved.push_back({"/home/someone" + name, "/home/someone/.local/share/Trash/files/item" +
                                                         std::to_string(i), static_cast<int64_t>(i)});
    }
    run.receipt.movedCount = static_cast<int64_t>(items);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    if (argc > 2 && std::string(argv[2]) == "whole") UserDefaults::setStreamedLists(false);
    char folder[] = "/tmp/sorvel-history-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    setenv("XDG_CONFIG_HOME", folder, 1);

    nlohmann::json full = nlohmann::json::array();
    for (int n = 0; n < static_cast<int>(SweepHistory::kMaximumRuns); ++n)
        full.push_back(runOf(n, n < static_cast<int>(SweepHistory::kRunsWithDetail) ? 2000 : 0).toJSON());
    if (!UserDefaults(SweepHistory::filePath()).set("SorvelSweepHistory", full)) return 1;

    std::vector<double> seconds;
    for (int r = 0; r < records; ++r) {
        const SweepRun run = runOf(1000 + r, 2000);
        const auto start = Clock::now();
        if (!SweepHistory::store(run)) return 1;
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    // A run stored ahead of its moves and stored again when done: replaced in place.
    std::vector<double> replaced;
    SweepRun again = runOf(2000, 2000);
    if (!SweepHistory::store(again)) return 1;
    for (int r = 0; r < records; ++r) {
        again.scope = "replaced " + std::to_string(r);
        const auto start = Clock::now();
        if (!SweepHistory::store(again)) return 1;
        replaced.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(replaced.begin(), replaced.end());
    std::sort(seconds.begin(), seconds.end());
    struct stat st{};
    stat(SweepHistory::filePath().c_str(), &st);
    std::printf("records: %d, history file: %lld bytes\n", records, static_cast<long long>(st.st_size));
    std::printf("record, median: %.1f ms, slowest: %.1f ms\n", seconds[seconds.size() / 2] * 1e3,
                seconds.back() * 1e3);
    std::printf("replace in place, median: %.1f ms, slowest: %.1f ms\n", replaced[replaced.size() / 2] * 1e3,
                replaced.back() * 1e3);
    std::printf("load, one: ");
    const auto start = Clock::now();
    const auto loaded = SweepHistory::load();
    std::printf("%.1f ms (%zu runs)\n", std::chrono::duration<double>(Clock::now() - start).count() * 1e3,
                loaded.size());
    // The parsed history stays in memory while the file is unchanged.
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident: %.0f MiB\n", double(usage.ru_maxrss) / 1024);

    const std::string path = SweepHistory::filePath();
    for (const std::string& name : {path, path + ".lock"}) ::unlink(name.c_str());
    ::rmdir((std::string(folder) + "/sorvel").c_str());
    ::rmdir(folder);
    return 0;
}
