#include "support/TestSupport.h"

#include "support/ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <set>
#include <spawn.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace sorvel::test {
namespace fs = std::filesystem;

namespace {

// No test measures the machine's own logs, caches or swap: system places are read under an
// empty folder of this process (and of the programs it runs) unless a test points them
// elsewhere. Only the process that made it removes it, never a forked child leaving.
struct EmptySystemRoot {
    pid_t maker = ::getpid();
    std::string path;
    EmptySystemRoot() {
        if (std::getenv("SORVEL_SYSTEM_ROOT")) return;
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/sorvel-system-XXXXXX";
        if (!mkdtemp(pattern.data())) return;
        chmod(pattern.c_str(), 0755);
        path = pattern;
        setenv("SORVEL_SYSTEM_ROOT", path.c_str(), 1);
    }
    ~EmptySystemRoot() {
        if (!path.empty() && ::getpid() == maker) ::rmdir(path.c_str());
    }
};
const EmptySystemRoot emptySystemRoot;

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sorvel-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
    chmod(path_.c_str(), 0755);
}

TempDir::~TempDir() {
    // Make everything writable again first: tests lock folders down on purpose. Trees
    // deeper than that (built on purpose too) go with rm, which holds neither a descriptor
    // nor a path per level.
    std::error_code ec;
    bool deep = false;
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            chmod(it->path().c_str(), 0755);
            if (it.depth() >= 64) {
                deep = true;
                it.disable_recursion_pending();
            }
        }
    }
    chmod(path_.c_str(), 0755);
    if (deep) runCommand({"/bin/rm", "-rf", "--", path_});
    fs::remove_all(path_, ec);
    if (ec) runCommand({"/bin/rm", "-rf", "--", path_});
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) setenv(name_.c_str(), value->c_str(), 1);
    else unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1);
    else unsetenv(name_.c_str());
}

MemoryScratch::MemoryScratch()
    : ScopedEnv("TMPDIR", access("/dev/shm", W_OK | X_OK) == 0 ? std::optional<std::string>("/dev/shm")
                          : std::getenv("TMPDIR")                ? std::optional<std::string>(std::getenv("TMPDIR"))
                                                                 : std::nullopt) {}

FakeHome::FakeHome(Base base)
    : home_("HOME", dir_.path()), dataHome_("XDG_DATA_HOME", std::nullopt), cacheHome_("XDG_CACHE_HOME", std::nullopt),
      stateHome_("XDG_STATE_HOME", std::nullopt), systemRoot_("SORVEL_SYSTEM_ROOT", system_.path()) {
    if (base == Base::desktop)
        for (const char* folder : {"/.config", "/.cache", "/.local/share", "/.local/state"}) makeDirs(dir_.path() + folder);
}

UnwritableSettings::UnwritableSettings() : config_("XDG_CONFIG_HOME", dir_ / "file") { writeFile(dir_ / "file", "x"); }

void makeDirs(const std::string& path) { fs::create_directories(path); }

void writeFile(const std::string& path, const std::string& contents) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeFileOfSize(const std::string& path, size_t bytes) { writeFile(path, std::string(bytes, 'x')); }

std::string writeScript(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir / name;
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

long long allocatedSize(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_blocks) * 512;
}

long long independentTotal(const std::string& path) {
    long long total = 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::error_code ec;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_blocks * 512LL;
    for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (st.st_nlink > 1 && !seen.insert({st.st_dev, st.st_ino}).second) continue;
        total += st.st_blocks * 512LL;
    }
    return total;
}

void makeFolderChain(const std::string& folder, int depth, const std::string& name, size_t fileBytes,
                     bool everyLevel) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + folder);
    const std::string bytes(fileBytes, 'x');
    for (int i = 0; i < depth; ++i) {
        if (mkdirat(fd, name.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("mkdirat failed");
        const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        if (next < 0) throw std::runtime_error("openat failed");
        fd = next;
        if (fileBytes > 0 && (everyLevel || i == depth - 1)) {
            const int f = openat(fd, "f", O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
            const bool written = f >= 0 && write(f, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
            if (f >= 0) close(f);
            if (!written) throw std::runtime_error("cannot write a file in the chain");
        }
    }
    close(fd);
}

int runInChild(const std::function<int()>& body) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int status = body();
        fflush(nullptr);
        _exit(status);
    }
    return waitForChild(pid, kChildDeadline);
}

int inMountNamespace(const std::function<int()>& body) {
    return runInChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return kSkipped;
        return body();
    });
}

int runOnSmallStack(const std::function<int()>& body, size_t stackBytes) {
    using Call = std::pair<const std::function<int()>*, int>;
    Call call{&body, -3};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    pthread_t thread;
    const auto start = [](void* p) -> void* {
        static_cast<Call*>(p)->second = (*static_cast<Call*>(p)->first)();
        return nullptr;
    };
    const bool started = pthread_create(&thread, &attributes, start, &call) == 0;
    pthread_attr_destroy(&attributes);
    if (started) pthread_join(thread, nullptr);
    return call.second;
}

bool becomeUnprivileged() {
    if (getuid() != 0) return true;
    gid_t none[1] = {65534};
    return setgroups(1, none) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

int runAsUnprivileged(const std::function<int()>& body) {
    return runInChild([&] { return becomeUnprivileged() ? body() : 120; });
}

CommandResult runCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env) {
    CommandResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        auto eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [k, v] : env) merged[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : merged) envStrings.push_back(k + "=" + v);
    std::vector<char*> envp, args;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = argv;
    for (auto& a : argCopy) args.push_back(a.data());
    args.push_back(nullptr);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

CommandResult runSorvel(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv{SORVEL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv, env);
}

std::string lineWith(const std::string& text, const std::string& piece) {
    const size_t at = text.find(piece);
    if (at == std::string::npos) return {};
    const size_t start = text.rfind('\n', at) + 1; // npos + 1 is 0
    return text.substr(start, text.find('\n', at) - start);
}

} // namespace sorvel::test
