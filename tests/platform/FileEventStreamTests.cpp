// The inotify event stream: what it reports, how it batches, and that it lets go of its
// thread and descriptors.
#include <gtest/gtest.h>

#include <functional>

#include <cstdio>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileEvents.h"
#include "platform/FileEventRecorder.h"
#include "support/ChildProcess.h"
#include "support/ThreadStarts.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

struct Streams {
    SerialQueue queue{"test.events"};
    BatchRecorder recorder;
    std::thread::id callbackThread;

    std::unique_ptr<FileEventStream> make(std::vector<std::string> paths, double latency = 0.3) {
        auto stream = FileEventStream::create(
            [this](size_t count, const std::vector<std::string>& p) {
                EXPECT_EQ(count, p.size());
                EXPECT_TRUE(queue.isCurrent());
                recorder.add(p);
            },
            std::move(paths), FileEventStream::kEventIdSinceNow, latency, 7);
        if (stream) stream->setDispatchQueue(&queue);
        return stream;
    }
};

bool anyPathStartsWith(const BatchRecorder& r, const std::string& prefix) {
    for (const auto& b : r.batches())
        for (const auto& p : b.paths)
            if (p.rfind(prefix, 0) == 0) return true;
    return false;
}

bool writeProc(const std::string& path, const std::string& value) {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) return false;
    bool ok = write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
    close(fd);
    return ok;
}

// In a child: a user namespace of its own whose watch limit is `limit`; false where there
// are none.
bool ownWatchLimit(const std::string& limit) {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER) != 0) return false;
    writeProc("/proc/self/setgroups", "deny");
    return writeProc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") &&
           writeProc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n") &&
           writeProc("/proc/sys/user/max_inotify_watches", limit);
}

// Runs `body` in a child with a watch limit of its own; its exit status, or 77 where
// there are no user namespaces.
int withOwnWatchLimit(const std::string& limit, const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(ownWatchLimit(limit) ? body() : 77);
    const int status = pid < 0 ? -1 : test::waitForChild(pid, test::kChildDeadline);
    return status < 0 ? -1 : status;
}

unsigned long inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_ino) : 0;
}

} // namespace

TEST(FileEventStream, ReportsTheFolderWhoseContentsChangedNotTheFile) {
    TempDir dir;
    makeDirs(dir / "a/b");
    Streams s;
    auto stream = s.make({dir.path()});
    ASSERT_TRUE(stream);
    ASSERT_TRUE(stream->start());
    writeFile(dir / "a/b/file.txt", "x");
    ASSERT_TRUE(s.recorder.waitFor(dir / "a/b"));
    EXPECT_FALSE(s.recorder.sawPath(dir / "a/b/file.txt"));
    EXPECT_NE(s.recorder.batches()[0].thread, std::this_thread::get_id());
}

TEST(FileEventStream, ChangesBeforeStartAreNeverReported) {
    TempDir dir;
    makeDirs(dir / "before");
    makeDirs(dir / "after");
    Streams s;
    auto stream = s.make({dir.path()});
    ASSERT_TRUE(stream);
    writeFile(dir / "before/f", "x");
    ASSERT_TRUE(stream->start());
    writeFile(dir / "after/f", "x");
    ASSERT_TRUE(s.recorder.waitFor(dir / "after"));
    std::this_thread::sleep_for(400ms);
    EXPECT_FALSE(s.recorder.sawPath(dir / "before"));
}

TEST(FileEventStream, FoldersMadeAfterStartAreWatchedToo) {
    TempDir dir;
    Streams s;
    auto stream = s.make({dir.path()});
    ASSERT_TRUE(stream->start());
    makeDirs(dir / "new");
    ASSERT_TRUE(s.recorder.waitFor(dir.path()));
    makeDirs(dir / "new/deeper");
    ASSERT_TRUE(s.recorder.waitFor(dir / "new"));
    writeFile(dir / "new/deeper/f", "x");
    EXPECT_TRUE(s.recorder.waitFor(dir / "new/deeper"));
}

TEST(FileEventStream, TreeMovedInIsWatchedAndTreeMovedOutIsForgotten) {
    TempDir dir, outside;
    makeDirs(dir / "root");
    makeDirs(outside / "t/u");
    Streams s;
    auto stream = s.make({dir / "root"});
    ASSERT_TRUE(stream->start());
    ASSERT_EQ(std::rename((outside / "t").c_str(), (dir / "root/t").c_str()), 0);
    ASSERT_TRUE(s.recorder.waitFor(dir / "root"));
    writeFile(dir / "root/t/u/f", "x");
    ASSERT_TRUE(s.recorder.waitFor(dir / "root/t/u"));

    ASSERT_EQ(std::rename((dir / "root/t").c_str(), (outside / "gone").c_str()), 0);
    std::this_thread::sleep_for(700ms); // the move's own batch, and the latency after it
    s.recorder.clear();
    writeFile(outside / "gone/u/g", "x");
    std::this_thread::sleep_for(700ms);
    EXPECT_FALSE(anyPathStartsWith(s.recorder, dir / "root/t"));
}

// A folder moved within the tree keeps its watches; its changes are named by where it is now.
TEST(FileEventStream, TreeMovedWithinIsReportedUnderItsNewPath) {
    TempDir dir;
    makeDirs(dir / "root/a/b/c");
    makeDirs(dir / "root/x");
    Streams s;
    auto stream = s.make({dir / "root"});
    ASSERT_TRUE(stream->start());
    ASSERT_EQ(std::rename((dir / "root/a").c_str(), (dir / "root/x/renamed").c_str()), 0);
    ASSERT_TRUE(s.recorder.waitFor(dir / "root/x"));
    std::this_thread::sleep_for(400ms);
    s.recorder.clear();
    writeFile(dir / "root/x/renamed/b/c/f", "x");
    EXPECT_TRUE(s.recorder.waitFor(dir / "root/x/renamed/b/c"));
    ASSERT_EQ(std::rename((dir / "root/x/renamed/b").c_str(), (dir / "root/b").c_str()), 0);
    writeFile(dir / "root/b/c/g", "x");
    EXPECT_TRUE(s.recorder.waitFor(dir / "root/b/c"));
    EXPECT_FALSE(anyPathStartsWith(s.recorder, dir / "root/a/"));
}

TEST(FileEventStream, RemovedRootIsReportedAsItself) {
    TempDir dir;
    makeDirs(dir / "root/sub");
    Streams s;
    auto stream = s.make({dir / "root/"});
    ASSERT_TRUE(stream->start());
    rmdir((dir / "root/sub").c_str());
    rmdir((dir / "root").c_str());
    EXPECT_TRUE(s.recorder.waitFor(dir / "root"));
}

TEST(FileEventStream, FirstChangeAtOnceThenOneBatchPerLatency) {
    TempDir dir;
    for (auto n : {"a", "b", "c"}) makeDirs(dir / n);
    Streams s;
    // A long latency keeps "at once" apart from "after the latency" even on a busy machine.
    auto stream = s.make({dir.path()}, 3.0);
    ASSERT_TRUE(stream->start());
    const auto changed = std::chrono::steady_clock::now();
    writeFile(dir / "a/f", "x");
    ASSERT_TRUE(s.recorder.waitForBatches(1));
    EXPECT_LT(s.recorder.batches()[0].at - changed, 2000ms);

    writeFile(dir / "b/f", "x");
    writeFile(dir / "c/f", "x");
    writeFile(dir / "b/g", "x");
    ASSERT_TRUE(s.recorder.waitForBatches(2));
    auto batches = s.recorder.batches();
    EXPECT_GE(batches[1].at - batches[0].at, 2950ms);
    const auto& second = batches[1].paths;
    EXPECT_EQ(std::count(second.begin(), second.end(), dir / "b"), 1);
    EXPECT_EQ(std::count(second.begin(), second.end(), dir / "c"), 1);
    std::this_thread::sleep_for(900ms);
    EXPECT_EQ(s.recorder.count(), 2u); // nothing else happened
}

TEST(FileEventStream, RootThatIsAFileReportsItsOwnPath) {
    TempDir dir;
    writeFile(dir / "single", "x");
    Streams s;
    auto stream = s.make({dir / "single"});
    ASSERT_TRUE(stream->start());
    writeFile(dir / "single", "more");
    EXPECT_TRUE(s.recorder.waitFor(dir / "single"));
}

TEST(FileEventStream, CreationAndStartRefuseWhatCannotBeWatched) {
    Streams s;
    EXPECT_FALSE(s.make({}));
    EXPECT_FALSE(FileEventStream::create([](size_t, const std::vector<std::string>&) {}, {"/tmp"}, 0, 1, 7));
    TempDir dir;
    auto missing = s.make({dir / "missing"});
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->start());
    auto noQueue = FileEventStream::create([](size_t, const std::vector<std::string>&) {}, {dir.path()},
                                           FileEventStream::kEventIdSinceNow, 1, 7);
    ASSERT_TRUE(noQueue);
    EXPECT_FALSE(noQueue->start());
    auto twice = s.make({dir.path()});
    EXPECT_TRUE(twice->start());
    EXPECT_FALSE(twice->start());
}

TEST(FileEventStream, NothingArrivesAfterStopAndInvalidate) {
    TempDir dir;
    Streams s;
    auto stream = s.make({dir.path()});
    ASSERT_TRUE(stream->start());
    stream->stop();
    stream->invalidate();
    writeFile(dir / "f", "x");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(s.recorder.count(), 0u);
}

TEST(FileEventStream, ReleaseLeavesNoThreadOrDescriptor) {
    TempDir dir;
    makeDirs(dir / "a/b/c");
    Streams s;
    const size_t fds = countProcEntries("fd");
    const size_t threads = countProcEntries("task");
    {
        auto stream = s.make({dir.path()});
        ASSERT_TRUE(stream->start());
        EXPECT_GT(countProcEntries("fd"), fds);
        EXPECT_GT(countProcEntries("task"), threads);
        writeFile(dir / "a/b/c/f", "x");
        ASSERT_TRUE(s.recorder.waitFor(dir / "a/b/c"));
    }
    EXPECT_EQ(countProcEntries("fd"), fds);
    EXPECT_EQ(countProcEntries("task"), threads);
}

TEST(FileEventStream, ALargeSetLetGoWithNoThreadToSpareLeavesTheCallerAsItWas) {
    TempDir dir;
    for (int i = 0; i < 1100; ++i) makeDirs(dir / ("d" + std::to_string(i)));
    Streams s;
    auto stream = s.make({dir.path()});
    ASSERT_TRUE(stream && stream->start());
    ASSERT_GT(stream->watchedFolders(), 1024u) << "let go of on a thread of its own";
    const int policy = ::sched_getscheduler(0);
    {
        NoThreads none; // the thread that lets watches go cannot start: the caller does it
        stream.reset();
    }
    EXPECT_EQ(::sched_getscheduler(0), policy) << "the caller was left below every other thread";
}

TEST(FileEventStream, CallbackMayInvalidateItsOwnStream) {
    TempDir dir;
    SerialQueue queue{"test.events"};
    FileEventStream* raw = nullptr;
    std::atomic<int> calls{0};
    auto stream = FileEventStream::create(
        [&](size_t, const std::vector<std::string>&) {
            ++calls;
            raw->invalidate(); // must not wait on itself
        },
        {dir.path()}, FileEventStream::kEventIdSinceNow, 0.1, 7);
    raw = stream.get();
    stream->setDispatchQueue(&queue);
    ASSERT_TRUE(stream->start());
    writeFile(dir / "f", "x");
    for (int i = 0; i < 1000 && calls == 0; ++i) std::this_thread::sleep_for(20ms);
    ASSERT_EQ(calls.load(), 1);
    writeFile(dir / "g", "x");
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(calls.load(), 1);
    stream.reset();
}

// In a user namespace of its own the child may lower its watch limit without touching the
// rest of the machine: folders past the limit are counted, and the ones watched still report.
TEST(FileEventStream, WatchLimitLeavesFoldersCountedAsUnwatched) {
    TempDir dir;
    for (int i = 0; i < 12; ++i) makeDirs(dir / ("d" + std::to_string(i)));
    const std::string root = dir.path();
    const int status = withOwnWatchLimit("4", [&] {
        Streams s;
        auto stream = s.make({root}, 0.1);
        if (!stream || !stream->start()) return 2;
        if (stream->unwatchedFolders() != 13 - 4) return 3;
        writeFile(root + "/touched", "x");
        if (!s.recorder.waitFor(root)) return 4;
        stream.reset();
        return 0;
    });
    if (status == 77) GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(status, 0);
}

// A kernel queue that overflows loses events: the batch then names the root, so the whole
// tree is measured again, and folders made meanwhile are watched from then on.
// It lowers a machine-wide kernel limit for a moment, so it runs alone (see tests/CMakeLists.txt).
TEST(FileEventStreamMachineWide, DroppedEventsAskForTheWholeRootAndRewatch) {
    const std::string knob = "/proc/sys/fs/inotify/max_queued_events";
    const std::string old = [&] {
        std::string v = readFile(knob);
        while (!v.empty() && v.back() == '\n') v.pop_back();
        return v;
    }();
    TempDir dir;
    makeDirs(dir / "busy");
    // More folders than the queue holds events: recovering must not itself flood it.
    for (int i = 0; i < 40; ++i) makeDirs(dir / ("quiet/q" + std::to_string(i)));
    Streams s;
    std::unique_ptr<FileEventStream> stream;
    {
        // The queue size is taken when the stream's event source is made; put back at once.
        if (old.empty() || !writeProc(knob, "8")) GTEST_SKIP() << "cannot shrink the kernel's event queue";
        stream = s.make({dir.path()}, 0.2);
        writeProc(knob, old);
    }
    ASSERT_TRUE(stream);
    ASSERT_TRUE(stream->start());
    // Writes alternating between two files are not merged by the kernel, and come far
    // faster than one event at a time can be read.
    bool overflowed = false;
    for (int round = 0; round < 10 && !overflowed; ++round) {
        const int a = open((dir / "busy/a").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        const int b = open((dir / "busy/b").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(a, 0);
        ASSERT_GE(b, 0);
        for (int i = 0; i < 5000; ++i) {
            ASSERT_EQ(write(a, "x", 1), 1);
            ASSERT_EQ(write(b, "y", 1), 1);
        }
        close(a);
        close(b);
        makeDirs(dir / ("busy/made" + std::to_string(round)));
        overflowed = s.recorder.waitFor(dir.path(), 1000ms);
    }
    ASSERT_TRUE(overflowed);
    std::this_thread::sleep_for(400ms);
    s.recorder.clear();
    writeFile(dir / "busy/made0/late", "x");
    EXPECT_TRUE(s.recorder.waitFor(dir / "busy/made0"));
    writeFile(dir / "quiet/q7/late", "x");
    EXPECT_TRUE(s.recorder.waitFor(dir / "quiet/q7"));
    std::this_thread::sleep_for(600ms);
    EXPECT_FALSE(s.recorder.sawPath(dir.path())); // quiet again: no overflow after overflow
}

// Two streams of one process draw on one share: together they hold no more watches than it,
// every root's upper folders before any deeper one, and the watches go back with a stream.
TEST(FileEventStreamShare, StreamsDrawOnOneShareBreadthFirstAcrossRoots) {
    ScopedWatchShare share(5);
    TempDir one, two, three;
    makeDirs(one / "a/deep/deeper");
    makeDirs(two / "b/deep");
    Streams s;
    auto first = s.make({one.path(), two.path()});
    ASSERT_TRUE(first->start());
    const auto inodes = watchedInodes();
    EXPECT_EQ(inodes.size(), 5u);
    EXPECT_EQ(first->watchedFolders(), 5u);
    EXPECT_EQ(first->unwatchedFolders(), 2u); // one deep folder and the one below it
    for (const std::string& upper : {one.path(), two.path(), one / "a", two / "b"})
        EXPECT_EQ(inodes.count(inodeOf(upper)), 1u) << upper;
    EXPECT_EQ(inodes.count(inodeOf(one / "a/deep/deeper")), 0u);

    auto second = s.make({three.path()});
    EXPECT_FALSE(second->start()); // the share is spent
    EXPECT_EQ(watchedInodes().size(), 5u);
    first.reset();
    EXPECT_EQ(watchedInodes().size(), 0u);
    EXPECT_EQ(WatchBudget::held(), 0u);
    auto third = s.make({three.path()});
    EXPECT_TRUE(third->start());
}

// Once the system has refused a watch, none is taken again while the process holds any,
// even when the system has room again: the last watches are left to other programs.
TEST(FileEventStreamShare, NoWatchIsTakenAfterTheSystemRefusedOne) {
    TempDir dir, other;
    for (int i = 0; i < 6; ++i) makeDirs(dir / ("d" + std::to_string(i)));
    const int status = withOwnWatchLimit("4", [&] {
        Streams s;
        auto first = s.make({dir.path()}, 0.1);
        if (!first || !first->start() || first->unwatchedFolders() != 3) return 2;
        // Free one of the system's watches by removing a watched folder.
        for (int i = 0; i < 6; ++i) {
            const std::string d = dir / ("d" + std::to_string(i));
            if (watchedInodes().count(inodeOf(d))) {
                rmdir(d.c_str());
                break;
            }
        }
        for (int i = 0; i < 500 && watchedInodes().size() != 3; ++i) std::this_thread::sleep_for(10ms);
        if (watchedInodes().size() != 3) return 3;
        auto second = s.make({other.path()}, 0.1);
        if (!second || second->start()) return 4;
        return 0;
    });
    if (status == 77) GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(status, 0);
}
