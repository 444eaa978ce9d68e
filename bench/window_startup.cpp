// Headless start-up with and without the window library: runs `sorvel --help` and the
// reference build of the same command line (no Qt linked) N times each, alternating, and
// prints the median and best wall time of each.
//
// Usage: window_startup [RUNS]
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace {

double runOnce(const char* path) {
    const auto start = std::chrono::steady_clock::now();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(path), const_cast<char*>("--help"), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path, &actions, nullptr, argv, environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* name, std::vector<double> t) {
    std::sort(t.begin(), t.end());
    std::printf("%-28s median %.2f ms  best %.2f ms\n", name, t[t.size() / 2] * 1000, t.front() * 1000);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 41;
    std::vector<double> window, reference;
    runOnce(SORVEL_BINARY);
    runOnce(HEADLESS_REFERENCE);
    for (int i = 0; i < runs; ++i) {
        window.push_back(runOnce(SORVEL_BINARY));
        reference.push_back(runOnce(HEADLESS_REFERENCE));
    }
    report("sorvel --help", window);
    report("without the window library", reference);
    return 0;
}
