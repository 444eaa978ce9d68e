// Moving many small items to the Trash, side by side with `gio trash` on identical items.
//
// Usage: trash_moves [ITEMS] [RUNS] [EXTRA_MOUNTS] [only]
// In a temporary home, each run makes ITEMS four-byte files and ITEMS small folders (two
// four-byte files each) in ~/Library/Caches, three times over, and times moving one set with
// `CleanupExecutor::run` (the sizes recorded as a scan records them), one set the same way
// with every fsync left out, and the third with one `gio trash` call (which syncs nothing);
// Sorvel and gio go first in turn. Then it times 2 x ITEMS records written alone, with and
// without fsync. Last, in a private mount namespace (needs root), Sorvel's moves without
// fsync (the part the table can slow) with the table as it is and with EXTRA_MOUNTS more
// mounts (half tmpfs, half binds). "only" moves one set with Sorvel, for `strace -c -f`.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupPolicy.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

// Sorvel's own moves, timed again with each record's fsync left out (this program's
// fsync stands in for the C library's), to tell what the sync costs.
static bool skipSync = false;
extern "C" int fsync(int fd) { return skipSync ? 0 : static_cast<int>(::syscall(SYS_fsync, fd)); }

namespace {

double seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool writeText(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

// ITEMS files and ITEMS folders below `root`, with the sizes a scan would record.
std::vector<CleanupExecutor::PathSize> makeItems(const std::string& root, int items) {
    ::mkdir(root.c_str(), 0755);
    std::vector<CleanupExecutor::PathSize> made;
    char name[32];
    for (int i = 0; i < items; ++i) {
        std::snprintf(name, sizeof name, "/f%05d", i);
        writeText(root + name, "data");
        std::snprintf(name, sizeof name, "/d%05d", i);
        ::mkdir((root + name).c_str(), 0755);
        writeText(root + name + "/a", "data");
        writeText(root + name + "/b", "data");
    }
    for (int i = 0; i < items; ++i)
        for (const char* kind : {"/f%05d", "/d%05d"}) {
            std::snprintf(name, sizeof name, kind, i);
            const std::string path = root + name;
            struct stat st;
            int64_t size = ::lstat(path.c_str(), &st) == 0 ? st.st_blocks * 512 : 0;
            if (kind[1] == 'd') size = 2 * 4096; // its two files, a block each, as a walk counts them
            made.push_back({path, size});
        }
    return made;
}

double sorvelMoves(const std::vector<CleanupExecutor::PathSize>& items, int& moved) {
    const CleanupPolicy policy = CleanupPolicy::standard();
    const auto start = Clock::now();
    const auto outcomes = CleanupExecutor::run(items, CleanupExecutor::Mode::moveToTrash, policy, std::nullopt);
    const double took = seconds(start);
    moved = static_cast<int>(std::count_if(outcomes.begin(), outcomes.end(), [](const auto& o) { return o.moved(); }));
    if (moved != static_cast<int>(items.size()) && !outcomes.empty()) {
        for (const auto& o : outcomes)
            if (!o.moved()) {
                std::fprintf(stderr, "not moved: %s: %s\n", o.path.c_str(),
                             o.refusal() ? o.refusal()->description().c_str() : o.failure() ? o.failure()->c_str() : "");
                break;
            }
    }
    return took;
}

double gioMoves(const std::vector<CleanupExecutor::PathSize>& items, int& moved) {
    std::vector<std::string> args{"gio", "trash"};
    for (const auto& item : items) args.push_back(item.path);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp("gio", argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double took = seconds(start);
    moved = 0;
    for (const auto& item : items) {
        struct stat st;
        if (::lstat(item.path.c_str(), &st) != 0) ++moved;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took : -took;
}

// ITEMS small records written into `folder`, each synced to disk or not.
double records(const std::string& folder, int items, bool sync) {
    ::mkdir(folder.c_str(), 0700);
    const std::string text = "[Trash Info]\nPath=/home/user/Library/Caches/bench/f00000\nDeletionDate=2026-01-01T00:00:00\n";
    const auto start = Clock::now();
    for (int i = 0; i < items; ++i) {
        const std::string path = folder + "/r" + std::to_string(i) + ".trashinfo";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return -1;
        if (::write(fd, text.data(), text.size()) < 0 || (sync && ::fsync(fd) != 0)) return -1;
        ::close(fd);
    }
    return seconds(start);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void mountMany(const std::string& under, int count) {
    ::mkdir(under.c_str(), 0755);
    const std::string source = under + "-source";
    ::mkdir(source.c_str(), 0755);
    for (int i = 0; i < count; ++i) {
        const std::string point = under + "/m" + std::to_string(i);
        ::mkdir(point.c_str(), 0755);
        const bool ok = i % 2 == 0 ? ::mount("bench", point.c_str(), "tmpfs", 0, "size=64k") == 0
                                   : ::mount(source.c_str(), point.c_str(), nullptr, MS_BIND, nullptr) == 0;
        if (!ok) std::fprintf(stderr, "mount %s: %s\n", point.c_str(), std::strerror(errno));
    }
}

void unmountMany(const std::string& under, int count) {
    for (int i = 0; i < count; ++i) ::umount2((under + "/m" + std::to_string(i)).c_str(), MNT_DETACH);
}

int tableSize() {
    FILE* f = std::fopen("/proc/self/mountinfo", "r");
    if (!f) return -1;
    int lines = 0;
    for (int c; (c = std::fgetc(f)) != EOF;)
        if (c == '\n') ++lines;
    std::fclose(f);
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int extraMounts = argc > 3 ? std::max(0, std::atoi(argv[3])) : 500;
    const bool only = argc > 4 && std::string(argv[4]) == "only";

    char folder[] = "/tmp/sorvel-trash-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string home = folder;
    setenv("HOME", folder, 1);
    unsetenv("XDG_DATA_HOME");
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    for (const char* sub : {"/Library", "/Library/Caches", "/Library/Caches/bench"}) ::mkdir((home + sub).c_str(), 0755);
    const std::string caches = home + "/Library/Caches/bench";

    if (only) {
        const auto set = makeItems(caches + "/only", items);
        int moved = 0;
        const double took = sorvelMoves(set, moved);
        std::printf("sorvel: %d of %zu moved in %.3f s\n", moved, set.size(), took);
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
        return moved == static_cast<int>(set.size()) ? 0 : 1;
    }

    std::vector<double> sorvel, unsynced, gio;
    for (int run = 0; run < runs; ++run) {
        const auto mine = makeItems(caches + "/s" + std::to_string(run), items);
        const auto quick = makeItems(caches + "/q" + std::to_string(run), items);
        const auto theirs = makeItems(caches + "/g" + std::to_string(run), items);
        ::sync();
        int movedMine = 0, movedQuick = 0, movedTheirs = 0;
        double a = 0, q = 0, b = 0;
        const auto ours = [&] {
            a = sorvelMoves(mine, movedMine);
            skipSync = true;
            q = sorvelMoves(quick, movedQuick);
            skipSync = false;
        };
        if (run % 2 == 0) {
            ours();
            b = gioMoves(theirs, movedTheirs);
        } else {
            b = gioMoves(theirs, movedTheirs);
            ours();
        }
        std::printf("run %d: sorvel %.3f s (%d of %zu moved), without fsync %.3f s (%d moved), gio trash %.3f s (%d "
                    "moved)\n",
                    run + 1, a, movedMine, mine.size(), q, movedQuick, b, movedTheirs);
        if (b < 0) {
            // A failed gio run has no time to compare with: said, and the run left out of every median.
            std::fprintf(stderr, "run %d: gio trash failed, so the run is left out\n", run + 1);
            continue;
        }
        sorvel.push_back(a);
        unsynced.push_back(q);
        gio.push_back(b);
    }
    std::printf("median of %d: sorvel %.3f s, without fsync %.3f s, gio trash %.3f s; ratio to gio %.2f, without "
                "fsync %.2f\n",
                runs, median(sorvel), median(unsynced), median(gio), median(sorvel) / median(gio),
                median(unsynced) / median(gio));

    std::vector<double> synced, plain;
    for (int run = 0; run < runs; ++run) {
        synced.push_back(records(home + "/rs" + std::to_string(run), 2 * items, true));
        plain.push_back(records(home + "/ru" + std::to_string(run), 2 * items, false));
    }
    std::printf("%d records alone: with fsync %.3f s, without %.3f s: fsync costs %.3f s (%.0f us a record)\n",
                2 * items, median(synced), median(plain), median(synced) - median(plain),
                1e6 * (median(synced) - median(plain)) / (2 * items));
    std::fflush(stdout);

    if (extraMounts == 0) return 0;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The extra mounts stay in this child's own namespace.
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            std::printf("no private mount namespace here (%s): the run with extra mounts is skipped\n", std::strerror(errno));
            std::fflush(stdout);
            ::_exit(0);
        }
        const std::string mounts = home + "/mounts";
        skipSync = true;
        std::vector<double> plain, many;
        int plainTable = 0, manyTable = 0;
        for (int run = 0; run < runs; ++run) {
            int moved = 0;
            const auto first = makeItems(caches + "/p" + std::to_string(run), items);
            plainTable = tableSize();
            plain.push_back(sorvelMoves(first, moved));
            const auto second = makeItems(caches + "/m" + std::to_string(run), items);
            mountMany(mounts, extraMounts);
            manyTable = tableSize();
            int movedMany = 0;
            many.push_back(sorvelMoves(second, movedMany));
            unmountMany(mounts, extraMounts);
            std::printf("run %d: %d mounts %.3f s (%d moved), %d mounts %.3f s (%d moved)\n", run + 1, plainTable,
                        plain.back(), moved, manyTable, many.back(), movedMany);
        }
        std::printf("median of %d: %d mounts %.3f s, %d mounts %.3f s, ratio %.2f\n", runs, plainTable, median(plain),
                    manyTable, median(many), median(many) / median(plain));
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}
