#include "platform/ProcessRunner.h"

#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace sorvel::ProcessRunner {

namespace {

using Clock = std::chrono::steady_clock;


void recordStatus(Result& result, int status) {
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

// Non-blocking reap; true once the child is gone.
bool tryReap(pid_t pid, Result& result) {
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            recordStatus(result, status);
            return true;
        }
        if (r < 0 && errno == EINTR) continue;
        return r < 0; // ECHILD: nothing left to wait for
    }
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
    blockingReap(pid, result);
}

} // namespace

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

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    FileDescriptor outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    FileDescriptor errRead(errPipe[0]), errWrite(errPipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    // Descriptors some other thread opened without close-on-exec stay with us.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    int spawnError = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) return result;
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
