#include "platform/ProcessRunner.h"

#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace sorvel::ProcessRunner {

namespace {

using Clock = std::chrono::steady_clock;

// The process groups of tools still running, for a signal that ends Sorvel to end them
// too. A slot is cleared once its tool has ended and before it is reaped, so its id is
// never one the system has handed on.
std::array<std::atomic<pid_t>, 64> running{};

void remember(pid_t pid) {
    for (auto& slot : running) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) return;
    }
}

void forget(pid_t pid) {
    for (auto& slot : running) {
        pid_t mine = pid;
        if (slot.compare_exchange_strong(mine, 0)) return;
    }
}

void endRunningAndDie(int signal) {
    for (auto& slot : running)
        if (const pid_t pid = slot.load(); pid > 0) ::kill(-pid, SIGKILL);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// A descriptor of at least 3, so that making the child's standard streams cannot
// overwrite it; the original is closed.
bool aboveStandardStreams(FileDescriptor& fd) {
    if (fd.get() > 2) return true;
    const int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3);
    if (moved < 0) return false;
    fd = FileDescriptor(moved);
    return true;
}

// In the forked child: only calls safe between fork and exec. The tool leads a group of
// its own, ends when Sorvel does (even killed), and starts with the default dispositions
// and no blocked signals; an exec failure is told through `report`. It runs nothing until
// Sorvel has recorded its group (a byte on `gate`), so a signal that ends Sorvel at any
// moment finds the group; an end of file instead means Sorvel ended first.
[[noreturn]] void becomeTool(pid_t parent, const char* executable, char* const* argv, int input, int output,
                             int error, int report, int gate) {
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127); // Sorvel ended before the line above
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) ::sigaction(s, &defaults, nullptr);
    char go = 0;
    ssize_t got = 0;
    do got = ::read(gate, &go, 1);
    while (got < 0 && errno == EINTR);
    if (got != 1) ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 || ::dup2(error, STDERR_FILENO) < 0)
        ::_exit(127);
    // Descriptors some other thread opened without close-on-exec stay with Sorvel.
    if (report > 3) ::close_range(3, static_cast<unsigned>(report - 1), 0);
    ::close_range(static_cast<unsigned>(report + 1), UINT_MAX, 0);
    ::execve(executable, argv, environ);
    const int failure = errno;
    [[maybe_unused]] const auto written = ::write(report, &failure, sizeof failure);
    ::_exit(127);
}

void recordStatus(Result& result, int status) {
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

void blockingReap(pid_t pid, Result& result) {
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, 0);
        if (r == pid) {
            recordStatus(result, status);
            return;
        }
        if (r < 0 && errno != EINTR) return;
    }
}

bool hasEnded(pid_t pid);

// Non-blocking reap; true once the child is gone.
bool tryReap(pid_t pid, Result& result) {
    if (!hasEnded(pid)) return false;
    forget(pid);
    blockingReap(pid, result);
    return true;
}

// Whether the child has ended, without reaping it: until it is reaped its id, and so
// its process group's id, cannot be handed to another process.
bool hasEnded(pid_t pid) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0)
            return info.si_pid == pid;
        if (errno != EINTR) return true; // ECHILD: nothing left to wait for
    }
}

// The tool leads its own group; signalling the group reaches its children too. The
// last signal goes out before the reap, while the group's id is still surely ours.
void stop(pid_t pid, const Options& options, Result& result) {
    result.timedOut = true;
    ::kill(-pid, SIGTERM);
    const auto killAt = Clock::now() + options.killGrace;
    while (Clock::now() < killAt && !hasEnded(pid))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(-pid, SIGKILL); // the tool, or anything it left behind in its group
    forget(pid);
    blockingReap(pid, result);
}

} // namespace

void endToolsWithProcess() {
    struct sigaction ending {};
    ending.sa_handler = endRunningAndDie;
    sigemptyset(&ending.sa_mask);
    ending.sa_flags = SA_RESETHAND;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(s, &ending, nullptr);
}

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || path[0] != '/') return false;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (name.empty() || name.find('/') != std::string::npos || !path) return std::nullopt;
    const std::string folders = path;
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        // An empty or relative entry would depend on the working folder: not trusted.
        if (end > start && folders[start] == '/') {
            std::string candidate = folders.substr(start, end - start) + "/" + name;
            if (isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

Result run(const std::string& executable, const std::vector<std::string>& arguments,
           const Options& options) {
    Result result;
    if (!isExecutableFile(executable)) return result;

    int outPipe[2], errPipe[2], reportPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    FileDescriptor outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    FileDescriptor errRead(errPipe[0]), errWrite(errPipe[1]);
    if (::pipe2(reportPipe, O_CLOEXEC) != 0) return result;
    FileDescriptor reportRead(reportPipe[0]), reportWrite(reportPipe[1]);
    int gatePipe[2];
    if (::pipe2(gatePipe, O_CLOEXEC) != 0) return result;
    FileDescriptor gateRead(gatePipe[0]), gateWrite(gatePipe[1]);
    FileDescriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (input.get() < 0 || !aboveStandardStreams(input) || !aboveStandardStreams(outWrite) ||
        !aboveStandardStreams(errWrite) || !aboveStandardStreams(reportWrite) || !aboveStandardStreams(gateRead))
        return result;

    // Everything the child uses is made before the fork: it may not allocate.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // A signal that ends Sorvel before `remember` finds the waiting tool by its parent-death
    // signal or the closed gate; after it, by its group, which this side makes too so that
    // it exists whichever of the two runs first.
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) return result;
    if (pid == 0)
        becomeTool(parent, executable.c_str(), argv.data(), input.get(), outWrite.get(), errWrite.get(),
                   reportWrite.get(), gateRead.get());
    ::setpgid(pid, pid);
    remember(pid);
    // This side still holds the reading end, so the write cannot raise SIGPIPE.
    const char go = 1;
    ssize_t sent = 0;
    do sent = ::write(gateWrite.get(), &go, 1);
    while (sent < 0 && errno == EINTR);
    gateWrite.reset();
    gateRead.reset();
    reportWrite.reset();
    if (sent != 1) { // the tool will not run: it ends on the closed gate
        forget(pid);
        Result ignored;
        blockingReap(pid, ignored);
        return result;
    }
    int failure = 0;
    ssize_t told = 0;
    do told = ::read(reportRead.get(), &failure, sizeof failure);
    while (told < 0 && errno == EINTR);
    if (told == static_cast<ssize_t>(sizeof failure)) { // the exec failed: nothing was started
        forget(pid);
        Result ignored;
        blockingReap(pid, ignored);
        return result;
    }
    result.launched = true;

    // Only the child may hold the writing ends, or end of file never comes.
    outWrite.reset();
    errWrite.reset();

    const auto deadline = Clock::now() + options.deadline;
    char buffer[65536];
    FileDescriptor* streams[2] = {&outRead, &errRead};
    std::string* sinks[2] = {&result.out, &result.err};
    bool reaped = false;

    while (outRead.get() >= 0 || errRead.get() >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            stop(pid, options, result);
            return result;
        }
        pollfd fds[2];
        nfds_t count = 0;
        int which[2];
        for (int i = 0; i < 2; ++i) {
            if (streams[i]->get() < 0) continue;
            fds[count] = pollfd{streams[i]->get(), POLLIN, 0};
            which[count++] = i;
        }
        int ready = ::poll(fds, count, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (nfds_t k = 0; k < count; ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) continue;
            FileDescriptor& stream = *streams[which[k]];
            ssize_t n = ::read(stream.get(), buffer, sizeof buffer);
            if (n > 0) {
                std::string& sink = *sinks[which[k]];
                size_t room = sink.size() < options.outputLimit ? options.outputLimit - sink.size() : 0;
                sink.append(buffer, std::min(room, static_cast<size_t>(n)));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                stream.reset();
            }
        }
    }

    // Output is closed; the tool may still be finishing.
    while (!reaped) {
        reaped = tryReap(pid, result);
        if (reaped) break;
        if (Clock::now() >= deadline) {
            stop(pid, options, result);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return result;
}

} // namespace sorvel::ProcessRunner
