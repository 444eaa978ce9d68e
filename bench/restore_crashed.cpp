// Putting back a run cut short by a crash: every item it recorded ahead of its move must
// be found in the Trash by its record, beside everything else the Trash holds.
//
// Usage: restore_crashed [PENDING] [OTHERS] [RUNS]
// In a temporary home: OTHERS entries already in the Trash (each with its record, a
// tenth of them Sorvel's), then PENDING folders moved to the Trash the way a run moves
// them, recorded without their places, as a kill leaves them. Each run times reading the
// run as it stands (what the history shows) and putting it back, then moves the items
// into the Trash again.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "BenchHome.h"
#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "platform/TrashInfo.h"
#include "removal/CrashedRuns.h"
#include "removal/RestoreExecutor.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {

bool writeText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

bool moveIn(const std::string& path) {
    const FileDescriptor parent(Trash::openFolderNoFollow(deletingLastPathComponent(path)));
    return parent.valid() && Trash::moveEntry(parent.get(), deletingLastPathComponent(path), lastPathComponent(path)).moved();
}

double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

} // namespace

int main(int argc, char** argv) {
    const int pending = argc > 1 ? std::max(1, std::atoi(argv[1])) : 512;
    const int others = argc > 2 ? std::max(0, std::atoi(argv[2])) : 10'000;
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    char folder[] = "/tmp/sorvel-restore-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string home = folder;
    setenv("HOME", folder, 1);
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);

    const std::string trash = home + "/.local/share/Trash", work = home + "/Work";
    benchhome::makeDirs(trash + "/files");
    benchhome::makeDirs(trash + "/info");
    ::chmod(trash.c_str(), 0700);
    for (int i = 0; i < others; ++i) {
        const std::string name = "other" + std::to_string(i);
        const std::string original = home + "/Old/" + name;
        const std::string text = i % 10 == 0 ? TrashInfo::sorvelText(original, std::time(nullptr))
                                             : TrashInfo::text(original, std::time(nullptr));
        if (!writeText(trash + "/files/" + name, "x") || !writeText(trash + "/info/" + name + ".trashinfo", text))
            return 1;
    }

    SweepRun run;
    run.scope = "bench";
    run.finished = false;
    for (int i = 0; i < pending; ++i) {
        const std::string path = work + "/item" + std::to_string(i);
        benchhome::makeDirs(path);
        if (!writeText(path + "/f", "data")) return 1;
        run.moved.push_back(MovedItem{path, "", 4096, std::nullopt});
    }
    const CleanupPolicy policy = CleanupPolicy::standard().allowing({work});

    std::vector<double> shown, putBack;
    for (int r = 0; r < runs; ++r) {
        for (auto& item : run.moved) {
            item.identity = Trash::identityOf(item.originalPath);
            if (!moveIn(item.originalPath)) return 1;
        }
        auto start = Clock::now();
        const auto settled = CrashedRuns::settled({run});
        shown.push_back(seconds(start));
        if (settled[0].moved.size() != static_cast<size_t>(pending)) return 2;

        start = Clock::now();
        const auto outcomes = RestoreExecutor::run(run.moved, policy);
        putBack.push_back(seconds(start));
        const auto restored = std::count_if(outcomes.begin(), outcomes.end(), [](const auto& o) { return o.restored(); });
        if (restored != pending) {
            std::fprintf(stderr, "only %ld of %d put back\n", static_cast<long>(restored), pending);
            return 3;
        }
    }
    std::sort(shown.begin(), shown.end());
    std::sort(putBack.begin(), putBack.end());
    std::printf("%d items recorded ahead of their moves, %d other Trash entries, %d runs\n", pending, others, runs);
    std::printf("the run as the history shows it, median: %.1f ms (slowest %.1f ms)\n", shown[shown.size() / 2] * 1e3,
                shown.back() * 1e3);
    std::printf("put back, median: %.1f ms (slowest %.1f ms)\n", putBack[putBack.size() / 2] * 1e3,
                putBack.back() * 1e3);
    struct rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident: %.1f MiB\n", double(usage.ru_maxrss) / 1024);

    const std::string remove = "rm -rf -- '" + home + "'";
    return std::system(remove.c_str()) == 0 ? 0 : 4;
}
