// `--watch PATH` as a running child process: the first measurement, one line per change
// of size, nothing for changes that leave the size alone, and the missing-path message.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "engine/Bytes.h"
#include "support/TestSupport.h"

extern char** environ;

using namespace sorvel;
using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

// `sorvel --watch` running in the background; killed when the object goes away.
class WatchChild {
public:
    WatchChild(const std::string& path, const std::map<std::string, std::string>& env = {}) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e) {
            std::string entry(*e);
            auto eq = entry.find('=');
            if (eq != std::string::npos && env.count(entry.substr(0, eq))) continue;
            envStrings.push_back(entry);
        }
        for (const auto& [k, v] : env) envStrings.push_back(k + "=" + v);
        std::vector<char*> envp;
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string binary = SORVEL_BINARY, option = "--watch", target = path;
        char* argv[] = {binary.data(), option.data(), target.data(), nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        fd_ = out[0];
    }
    ~WatchChild() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    bool running() const { return pid_ > 0 && kill(pid_, 0) == 0 && !exited(); }

    /// The next whole line of standard output, or none within the time.
    std::optional<std::string> line(std::chrono::milliseconds timeout = 20s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            auto nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string l = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return l;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left <= 0ms) return std::nullopt;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            char chunk[4096];
            ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    /// The reader goes away.
    void closeOutput() {
        close(fd_);
        fd_ = -1;
    }
    /// The exit status once the process has ended by itself within the time.
    std::optional<int> exitStatus(std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return std::nullopt;
    }

private:
    bool exited() const {
        int status = 0;
        return waitpid(pid_, &status, WNOHANG) == pid_;
    }
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string buffer_;
};

std::string header(long long bytes, long long files) {
    return "  " + Bytes::format(bytes) + "  " + std::to_string(files) + (files == 1 ? " file" : " files");
}

std::string changeLine(bool growth, long long bytes, const std::string& shown, long long total, long long files) {
    return std::string("  ") + (growth ? "+" : "\u2212") + Bytes::format(bytes) + "  " + shown + "  now " +
           Bytes::format(total) + "  " + std::to_string(files) + (files == 1 ? " file" : " files");
}

/// Makes the file outside the watched tree and moves it in, so it appears in one event.
void placeFile(const std::string& path, size_t bytes) {
    static TempDir staging;
    const std::string temp = staging / "staged";
    writeFileOfSize(temp, bytes);
    ASSERT_EQ(std::rename(temp.c_str(), path.c_str()), 0);
}

} // namespace

TEST(WatchCommand, MissingPathNamesTheExpandedPathAndFails) {
    FakeHome home;
    auto r = runSorvel({"--watch", "~/Missing"}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No such path: " + home.path() + "/Missing\n");
}

TEST(WatchCommand, FirstMeasurementThenOneLinePerChangeOfSize) {
    TempDir home;
    writeFileOfSize(home / "w/docs/a.bin", 8192);
    makeDirs(home / "w/empty");
    WatchChild child("~/w", {{"HOME", home.path()}});
    ASSERT_EQ(child.line(), "watching ~/w");
    const long long first = allocatedSize(home / "w/docs/a.bin");
    ASSERT_EQ(child.line(), header(first, 1));

    placeFile(home / "w/docs/b.bin", 65536);
    const long long added = allocatedSize(home / "w/docs/b.bin");
    EXPECT_EQ(child.line(), changeLine(true, added, "~/w/docs", first + added, 2));

    // A folder that leaves is a change of its parent, reported as a shrinkage there.
    TempDir away;
    ASSERT_EQ(std::rename((home / "w/docs").c_str(), (away / "docs").c_str()), 0);
    EXPECT_EQ(child.line(), changeLine(false, first + added, "~/w", 0, 0));
    EXPECT_TRUE(child.running());
}

TEST(WatchCommand, ChangesThatKeepTheSizePrintNothing) {
    TempDir dir;
    writeFileOfSize(dir / "w/sub/a.bin", 4096);
    WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
    ASSERT_TRUE(child.line());
    ASSERT_TRUE(child.line());
    ASSERT_EQ(chmod((dir / "w/sub/a.bin").c_str(), 0600), 0);
    EXPECT_FALSE(child.line(2500ms)); // the event arrives, the re-walk finds the same size
    placeFile(dir / "w/sub/b.bin", 4096);
    auto next = child.line();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->rfind("  +", 0), 0u) << *next;
}

// A folder holding two names of one file: an unrelated change there must not make the
// file disappear from the total on the re-walk.
TEST(WatchCommand, HardLinkedFilesStayCountedWhenTheirFolderIsMeasuredAgain) {
    TempDir dir;
    writeFileOfSize(dir / "w/sub/data", 65536);
    ASSERT_EQ(link((dir / "w/sub/data").c_str(), (dir / "w/sub/again").c_str()), 0);
    writeFileOfSize(dir / "w/sub/small", 4096);
    WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
    ASSERT_TRUE(child.line());
    const long long total = allocatedSize(dir / "w/sub/data") + allocatedSize(dir / "w/sub/small");
    ASSERT_EQ(child.line(), header(total, 2));
    ASSERT_EQ(chmod((dir / "w/sub/small").c_str(), 0600), 0);
    EXPECT_FALSE(child.line(2500ms));
    const long long small = allocatedSize(dir / "w/sub/small");
    ASSERT_EQ(unlink((dir / "w/sub/small").c_str()), 0);
    EXPECT_EQ(child.line(), changeLine(false, small, dir / "w/sub", total - small, 1));
}

TEST(WatchCommand, TraceShowsEveryDeliveredPath) {
    TempDir home;
    writeFileOfSize(home / "w/sub/a.bin", 4096);
    WatchChild child(home / "w", {{"HOME", home.path()}, {"SORVEL_TRACE", "1"}});
    ASSERT_TRUE(child.line());
    ASSERT_TRUE(child.line());
    ASSERT_EQ(chmod((home / "w/sub/a.bin").c_str(), 0600), 0);
    EXPECT_EQ(child.line(), "  \u00B7 event ~/w/sub");
    EXPECT_FALSE(child.line(500ms)); // no change line follows
}

// Once the watched folder is gone for good there is nothing left to watch: its shrinkage,
// then the end, not a process that runs on reporting nothing.
TEST(WatchCommand, WatchedFolderGoneForGoodEndsWithStatusOne) {
    TempDir dir;
    writeFileOfSize(dir / "w/a.bin", 4096);
    WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
    ASSERT_TRUE(child.line());
    ASSERT_TRUE(child.line());
    const long long size = allocatedSize(dir / "w/a.bin");
    ASSERT_EQ(system(("rm -rf '" + dir / "w" + "'").c_str()), 0);
    std::optional<std::string> last;
    while (auto l = child.line(2500ms)) last = l;
    EXPECT_EQ(last, changeLine(false, size, dir / "w", 0, 0));
    EXPECT_EQ(child.exitStatus(10s), 1);
}

// A folder deleted and made again (here swapped for another in one step) is measured
// afresh, and its own changes are reported from then on.
TEST(WatchCommand, WatchedFolderMadeAgainIsWatchedAgain) {
    TempDir dir;
    writeFileOfSize(dir / "w/a.bin", 4096);
    writeFileOfSize(dir / "replacement/b.bin", 65536);
    WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
    ASSERT_TRUE(child.line());
    ASSERT_TRUE(child.line());
    const long long before = allocatedSize(dir / "w/a.bin"), after = allocatedSize(dir / "replacement/b.bin");
    ASSERT_EQ(renameat2(AT_FDCWD, (dir / "replacement").c_str(), AT_FDCWD, (dir / "w").c_str(), RENAME_EXCHANGE), 0);
    EXPECT_EQ(child.line(), changeLine(true, after - before, dir / "w", after, 1));
    placeFile(dir / "w/c.bin", 8192);
    const long long added = allocatedSize(dir / "w/c.bin");
    EXPECT_EQ(child.line(), changeLine(true, added, dir / "w", after + added, 2));
    // The old folder, now elsewhere, is no longer followed.
    placeFile(dir / "replacement/d.bin", 8192);
    EXPECT_FALSE(child.line(2500ms));
    EXPECT_TRUE(child.running());
}

// Nobody left to read the changes: the command ends quietly with 141, as other commands
// do, even when nothing changes.
TEST(WatchCommand, EndsWhenItsReaderHasGone) {
    TempDir dir;
    makeDirs(dir / "w");
    WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
    ASSERT_TRUE(child.line());
    ASSERT_TRUE(child.line());
    child.closeOutput();
    EXPECT_EQ(child.exitStatus(20s), 141);

    const auto piped = runCommand({"/bin/bash", "-c",
                                   "timeout 20 \"$0\" --watch \"$1\" | head -1; echo \"${PIPESTATUS[0]}\"",
                                   SORVEL_BINARY, dir / "w"});
    EXPECT_EQ(piped.out, "watching " + dir / "w" + "\n141\n");
    EXPECT_EQ(piped.err, "");
}

// Two names of one file in two folders: whichever name goes, the other still holds the
// file, and the total keeps it.
TEST(WatchCommand, RemovingOneNameOfAFileKeepsItCountedThroughTheOther) {
    for (const std::string gone : {"A/f", "B/g"}) {
        TempDir dir;
        writeFileOfSize(dir / "w/A/f", 65536);
        makeDirs(dir / "w/B");
        makeDirs(dir / "w/C");
        ASSERT_EQ(link((dir / "w/A/f").c_str(), (dir / "w/B/g").c_str()), 0);
        WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
        ASSERT_TRUE(child.line());
        const long long data = allocatedSize(dir / "w/A/f");
        ASSERT_EQ(child.line(), header(data, 1));
        ASSERT_EQ(unlink((dir / "w" + ("/" + gone)).c_str()), 0);
        // A later change of known size shows the total the command now holds.
        const std::string marker = dir / "w/C/marker";
        placeFile(marker, 4096);
        const long long added = allocatedSize(marker);
        std::optional<std::string> last;
        while (auto l = child.line(3000ms)) last = l;
        ASSERT_TRUE(last) << gone;
        const std::string total = "  now " + Bytes::format(data + added) + "  2 files";
        ASSERT_GE(last->size(), total.size());
        EXPECT_EQ(last->substr(last->size() - total.size()), total) << *last << " after removing " << gone;
    }
}

namespace {

// A step of a folder's access changing under `--watch`, and the line it must bring.
struct AccessStep {
    std::function<bool(const std::string& w, const std::string& stage)> act;
    std::vector<std::string> said; // every piece must be in the line
};

struct AccessCase {
    const char* name;
    std::function<bool(const std::string& w)> setUp; // besides two files in w itself
    std::vector<std::string> header;                 // pieces of the first measurement
    std::vector<AccessStep> steps;
};

bool holdsAll(const std::string& line, const std::vector<std::string>& pieces) {
    for (const auto& piece : pieces)
        if (line.find(piece) == std::string::npos) return false;
    return true;
}

bool mode(const std::string& path, mode_t bits) { return ::chmod(path.c_str(), bits) == 0; }

// Moved in from the stage, so the file appears in one event with its whole size.
bool placed(const std::string& stage, const std::string& path) {
    writeFileOfSize(stage + "/staged", 40000);
    return std::rename((stage + "/staged").c_str(), path.c_str()) == 0;
}

// In the unprivileged child: 0 when each step brought its line and no line said data was
// gone; otherwise which wait failed.
int runAccessCase(const AccessCase& c, const std::string& w, const std::string& stage) {
    writeFileOfSize(w + "/f1", 20000);
    writeFileOfSize(w + "/f2", 20000);
    if (!c.setUp(w)) return 2;
    WatchChild child(w, {{"HOME", "/nonexistent-home"}});
    if (!child.line(30s)) return 3;
    const auto header = child.line(30s);
    if (!header || !holdsAll(*header, c.header)) {
        std::fprintf(stderr, "%s: first measurement %s\n", c.name, header ? header->c_str() : "(none)");
        return 4;
    }
    for (size_t i = 0; i < c.steps.size(); ++i) {
        if (!c.steps[i].act(w, stage)) return 5;
        for (;;) {
            const auto line = child.line(30s);
            if (!line) {
                std::fprintf(stderr, "%s: step %zu brought no line\n", c.name, i);
                return 10 + static_cast<int>(i);
            }
            if (line->rfind("  \u2212", 0) == 0) {
                std::fprintf(stderr, "%s: step %zu said data was gone: %s\n", c.name, i, line->c_str());
                return 30 + static_cast<int>(i);
            }
            if (holdsAll(*line, c.steps[i].said)) break;
        }
    }
    return 0;
}

} // namespace

// As an ordinary user: a folder that opens up is counted and followed from then on, one
// that closes is said to be closed (its parent read in part) rather than shown as data gone.
TEST(WatchCommand, FoldersThatOpenOrCloseAreSaidAndFollowed) {
    const std::string closed = "not readable by this user";
    const AccessCase cases[] = {
        {"a closed folder opens, then is written in",
         [](const std::string& w) {
             writeFileOfSize(w + "/lock/old", 30000);
             return mode(w + "/lock", 0);
         },
         {" 2 files", "1 folder " + closed},
         {{[](const std::string& w, const std::string&) { return mode(w + "/lock", 0755); },
           {"/lock: readable now, +", "now ", " 3 files"}},
          {[](const std::string& w, const std::string& stage) { return placed(stage, w + "/lock/new"); },
           {"  +", "/lock  now ", " 4 files"}}}},
        {"a readable folder closes",
         [](const std::string& w) {
             writeFileOfSize(w + "/sub/old", 30000);
             return true;
         },
         {" 3 files"},
         {{[](const std::string& w, const std::string&) { return mode(w + "/sub", 0); },
           {"/sub: " + closed + " any more, ", " no longer counted  now ", " 2 files", "1 folder " + closed}}}},
        {"nested closed folders open one by one",
         [](const std::string& w) {
             writeFileOfSize(w + "/a/x", 20000);
             writeFileOfSize(w + "/a/b/c/y", 30000);
             return mode(w + "/a/b", 0) && mode(w + "/a", 0);
         },
         {" 2 files", "1 folder " + closed},
         {{[](const std::string& w, const std::string&) { return mode(w + "/a", 0755); },
           {"/a: readable now, +", " 3 files", "1 folder " + closed}},
          {[](const std::string& w, const std::string&) { return mode(w + "/a/b", 0755); },
           {"/a/b: readable now, +", " 4 files"}},
          {[](const std::string& w, const std::string& stage) { return placed(stage, w + "/a/b/c/z"); },
           {"  +", "/a/b/c  now ", " 5 files"}}}},
        {"a closed folder arrives, then goes",
         [](const std::string&) { return true; },
         {" 2 files"},
         {{[](const std::string& w, const std::string&) { return ::mkdir((w + "/box").c_str(), 0) == 0; },
           {"/box: arrived, not readable by this user, so nothing in it is counted  now ", " 2 files",
            "1 folder " + closed}},
          {[](const std::string& w, const std::string&) { return ::rmdir((w + "/box").c_str()) == 0; },
           {"/box: gone; it was not readable by this user, so nothing counted went with it  now ", " 2 files"}}}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        makeDirs(dir / "w");
        makeDirs(dir / "stage");
        if (geteuid() == 0) {
            for (const char* p : {"w", "stage"}) ASSERT_EQ(::chown((dir / p).c_str(), 65534, 65534), 0);
        }
        const int status = runAsUnprivileged([&] { return runAccessCase(c, dir / "w", dir / "stage"); });
        EXPECT_EQ(status, 0) << c.name;
        runAsUnprivileged([&] { // let the cleanup in, whatever the case left closed
            for (const char* p : {"w/lock", "w/sub", "w/a", "w/a/b", "w/box"}) ::chmod((dir / p).c_str(), 0755);
            return 0;
        });
    }
}

// A file that gains a name in another folder is still one file: the total keeps it once,
// whichever folders the names are made in, and the next real change is reported against it.
TEST(WatchCommand, ANewNameOfACountedFileCountsNothingAgain) {
    const struct {
        const char* name;
        const char* from;
        const char* to;
    } rows[] = {
        {"into a subfolder", "w/b", "w/sub/b_link"},
        {"from a subfolder to another", "w/sub/c", "w/other/c_link"},
        {"beside it", "w/sub/c", "w/sub/c_again"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeFileOfSize(dir / "w/b", 3'000'000);
        writeFileOfSize(dir / "w/sub/c", 1'000'000);
        makeDirs(dir / "w/other");
        WatchChild child(dir / "w", {{"HOME", "/nonexistent-home"}});
        ASSERT_TRUE(child.line());
        const long long total = allocatedSize(dir / "w/b") + allocatedSize(dir / "w/sub/c");
        ASSERT_EQ(child.line(), header(total, 2));
        ASSERT_EQ(link((dir / row.from).c_str(), (dir / row.to).c_str()), 0);
        EXPECT_EQ(child.line(2500ms), std::nullopt); // the event arrives; the total stays
        placeFile(dir / "w/other/new", 8192);
        const long long added = allocatedSize(dir / "w/other/new");
        EXPECT_EQ(child.line(), changeLine(true, added, dir / "w/other", total + added, 3));
    }
}
