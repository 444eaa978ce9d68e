#pragma once
// Runs one measurement in a fresh child process so its peak resident size is its own,
// passing the child's figures back through a pipe. Figures must be trivially copyable
// and have `wall` (seconds) and `peakKiB` fields, which are filled in here.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

template <typename Figures, typename Body> Figures inChild(Body body) {
    using Clock = std::chrono::steady_clock;
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        Figures f = body();
        if (::write(fds[1], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) _exit(2);
        _exit(0);
    }
    ::close(fds[1]);
    Figures f;
    if (::read(fds[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f)) f = {};
    ::close(fds[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.peakKiB = usage.ru_maxrss;
    return f;
}
