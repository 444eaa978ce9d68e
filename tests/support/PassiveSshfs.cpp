#include "support/PassiveSshfs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "support/ForegroundBindfs.h"

namespace sorvel::test {
namespace {

constexpr const char* kSshfs = "/usr/bin/sshfs";
constexpr const char* kServer = "/usr/lib/openssh/sftp-server";

// Runs the program with `in` as its standard input and `out` as its standard output.
pid_t spawnPiped(int in, int out, const std::vector<const char*>& argv, const std::vector<int>& others) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Ends with the test's child: a daemon left behind would keep the run waiting for good.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    for (const int fd : others) ::close(fd);
    std::vector<char*> args;
    for (const char* arg : argv) args.push_back(const_cast<char*>(arg));
    args.push_back(nullptr);
    ::execv(argv[0], args.data());
    ::_exit(127);
}

} // namespace

bool passiveSshfsInstalled() { return ::access(kSshfs, X_OK) == 0 && ::access(kServer, X_OK) == 0; }

pid_t passiveSshfs(const std::string& source, const std::string& point) {
    int toServer[2], toClient[2];
    if (::pipe2(toServer, O_CLOEXEC) != 0) return -1;
    if (::pipe2(toClient, O_CLOEXEC) != 0) {
        ::close(toServer[0]), ::close(toServer[1]);
        return -1;
    }
    const std::vector<int> all{toServer[0], toServer[1], toClient[0], toClient[1]};
    const std::string remote = "local:" + source;
    const pid_t server = spawnPiped(toServer[0], toClient[1], {kServer}, all);
    const pid_t client =
        spawnPiped(toClient[0], toServer[1], {kSshfs, "-f", "-o", "passive", remote.c_str(), point.c_str()}, all);
    for (const int fd : all) ::close(fd);
    if (client <= 0 || server <= 0) {
        if (client > 0) ::kill(client, SIGKILL), ::waitpid(client, nullptr, 0);
        if (server > 0) ::kill(server, SIGKILL), ::waitpid(server, nullptr, 0);
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!mountedAt(point)) {
        int status = 0;
        if (::waitpid(client, &status, WNOHANG) == client || std::chrono::steady_clock::now() > deadline) {
            ::kill(client, SIGKILL);
            ::kill(server, SIGKILL);
            ::waitpid(client, &status, 0);
            ::waitpid(server, &status, 0);
            return -1;
        }
        std::this_thread::yield();
    }
    return client;
}

} // namespace sorvel::test
