#pragma once
// Helpers shared by every test program: temporary folders, fake homes, files, running
// code as an unprivileged user, and running the sorvel executable.
#include <chrono>
#include <functional>
#include <map>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace sorvel::test {

/// A fresh folder under $TMPDIR (mode 0755, so an unprivileged child can enter it),
/// removed with everything inside when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

/// Sets an environment variable for the object's life, restoring the old value after.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();

private:
    std::string name_;
    std::optional<std::string> old_;
};

/// Sets the time zone (TZ) for the object's life, read again on the way in and, once TZ
/// is put back, on the way out.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& zone) : tz_("TZ", zone) { ::tzset(); }

private:
    struct Reload {
        ~Reload() { ::tzset(); }
    } reload_; // destroyed after tz_, so the old zone is the one read
    ScopedEnv tz_;
};

/// Points TMPDIR at the memory file system /dev/shm for the object's life, where there is
/// one: deep trees are made and removed there in a moment, on some disks in minutes.
struct MemoryScratch : ScopedEnv {
    MemoryScratch();
};

/// A temporary folder that HOME points at for the object's life, with the XDG cache, data
/// and state folders at their defaults inside it, and system places (/var/log, /var/cache,
/// /proc/swaps, ...) read under an empty folder of its own (SORVEL_SYSTEM_ROOT, which the
/// sorvel executable run by a test inherits): no test measures the machine's own.
class FakeHome {
public:
    /// desktop: the base folders a desktop account has from its first login
    /// (~/.config, ~/.cache, ~/.local/share, ~/.local/state); bare: an empty folder.
    enum class Base { desktop, bare };
    explicit FakeHome(Base base = Base::desktop);
    const std::string& path() const { return dir_.path(); }
    std::string operator/(const std::string& relative) const { return dir_ / relative; }
    /// The fake system root: a test writes its /var/log here.
    const std::string& systemRoot() const { return system_.path(); }

private:
    TempDir dir_;
    TempDir system_;
    ScopedEnv home_;
    ScopedEnv dataHome_; // unset, so the Trash is the fake home's own
    ScopedEnv cacheHome_;
    ScopedEnv stateHome_;
    ScopedEnv systemRoot_;
};

/// Points XDG_CONFIG_HOME below a plain file for the object's life, so no settings can be
/// written, not even by root.
class UnwritableSettings {
public:
    UnwritableSettings();

private:
    TempDir dir_;
    ScopedEnv config_;
};

/// Creates the parents and writes the bytes.
void writeFile(const std::string& path, const std::string& contents);
/// Creates a file whose allocated size is at least `bytes` (written, not sparse).
void writeFileOfSize(const std::string& path, size_t bytes);
std::string readFile(const std::string& path);
/// The text's lines without their line breaks; an unterminated last line counts, a final
/// line break adds no empty line.
std::vector<std::string> lines(const std::string& text);
/// Writes "#!/bin/sh", the body and a line break to dir/name, makes it executable and
/// returns its path.
std::string writeScript(const TempDir& dir, const std::string& name, const std::string& body);
void makeDirs(const std::string& path);
bool exists(const std::string& path);
/// Allocated bytes of one file as stat reports them (st_blocks * 512).
long long allocatedSize(const std::string& path);
/// Sum of allocated bytes of regular files below path, each inode once, links not followed.
long long independentTotal(const std::string& path);

/// Makes `depth` nested folders named `name` below the existing `folder`, each opened
/// from its parent (the deepest paths may be far longer than one system call can name).
/// When `fileBytes` is above 0, a file "f" of that many bytes is written in the deepest
/// folder, or in every one of them when `everyLevel` is set.
void makeFolderChain(const std::string& folder, int depth, const std::string& name, size_t fileBytes = 0,
                     bool everyLevel = false);

/// Forks; the child returns body()'s value as exit status. Returns that status, -1 when
/// the child died otherwise (a crash), or kTimedOut (ChildProcess.h) when it had not ended
/// within kChildDeadline and was killed. The child has only the forking thread: a body that
/// waits on the work of a queue or thread, or takes their locks, runs in runTestInNewProcess.
int runInChild(const std::function<int()>& body);
constexpr std::chrono::minutes kChildDeadline{5};

/// Exit status a child body returns when its set-up cannot be made here (a skip).
constexpr int kSkipped = 77;

/// runInChild, with the child in a private mount namespace of its own first; kSkipped
/// when none can be made (needs root and unshare).
int inMountNamespace(const std::function<int()>& body);

/// Runs body() on a new thread whose stack holds `stackBytes`, and returns its value
/// (-3 when no such thread can be made). A crash there ends the process: run it in a child.
int runOnSmallStack(const std::function<int()>& body, size_t stackBytes = 256 * 1024);

/// Drops this process to uid/gid 65534 when it runs as root, for good; false when it could not.
bool becomeUnprivileged();

/// Forks; the child drops to uid/gid 65534 and returns body()'s value as exit status.
/// Returns that status as runInChild does.
int runAsUnprivileged(const std::function<int()>& body);

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};
/// Runs the program with arguments (no shell), optional extra environment and input.
CommandResult runCommand(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {});
/// Runs the built sorvel executable with the given arguments.
CommandResult runSorvel(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env = {});

/// The line of `text` holding `piece`; empty when none does.
std::string lineWith(const std::string& text, const std::string& piece);

} // namespace sorvel::test
