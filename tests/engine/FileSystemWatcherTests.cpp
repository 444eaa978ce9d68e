// The watcher over its event stream: starting, restarting, stopping, and what reaches
// the change function.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "engine/FileSystemWatcher.h"
#include "platform/FileEventRecorder.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

struct Watched {
    BatchRecorder recorder;
    FileSystemWatcher watcher{[this](const std::vector<std::string>& paths) { recorder.add(paths); }};
};

} // namespace

TEST(FileSystemWatcher, ChangeArrivesAsTheDirectoryOnTheWatchersOwnThread) {
    TempDir dir;
    makeDirs(dir / "x/y");
    Watched w;
    EXPECT_FALSE(w.watcher.isRunning());
    w.watcher.start({dir.path()});
    EXPECT_TRUE(w.watcher.isRunning());
    writeFile(dir / "x/y/data.bin", "1234");
    ASSERT_TRUE(w.recorder.waitFor(dir / "x/y"));
    EXPECT_FALSE(w.recorder.sawPath(dir / "x/y/data.bin"));
    EXPECT_NE(w.recorder.batches()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(FileSystemWatcher::latency, 1.5);
}

TEST(FileSystemWatcher, EmptyStartAfterARunningOneStopsEverything) {
    TempDir dir;
    Watched w;
    w.watcher.start({dir.path()});
    w.watcher.start({});
    EXPECT_FALSE(w.watcher.isRunning());
    writeFile(dir / "f", "x");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(w.recorder.count(), 0u);
}

TEST(FileSystemWatcher, SecondStartReplacesTheFirstPaths) {
    TempDir first, second;
    Watched w;
    w.watcher.start({first.path()});
    w.watcher.start({second.path()});
    writeFile(first / "f", "x");
    writeFile(second / "f", "x");
    ASSERT_TRUE(w.recorder.waitFor(second.path()));
    std::this_thread::sleep_for(1700ms); // past the latency, so a late first-tree batch would show
    EXPECT_FALSE(w.recorder.sawPath(first.path()));
}

TEST(FileSystemWatcher, ChangesBeforeStartAreNotReported) {
    TempDir dir;
    makeDirs(dir / "old");
    makeDirs(dir / "new");
    Watched w;
    writeFile(dir / "old/f", "x");
    w.watcher.start({dir.path()});
    writeFile(dir / "new/f", "x");
    ASSERT_TRUE(w.recorder.waitFor(dir / "new"));
    EXPECT_FALSE(w.recorder.sawPath(dir / "old"));
}

TEST(FileSystemWatcher, LaterChangesWaitForTheLatency) {
    TempDir dir;
    makeDirs(dir / "a");
    makeDirs(dir / "b");
    Watched w;
    w.watcher.start({dir.path()});
    writeFile(dir / "a/f", "x");
    ASSERT_TRUE(w.recorder.waitForBatches(1));
    std::this_thread::sleep_for(100ms);
    writeFile(dir / "b/f", "x");
    ASSERT_TRUE(w.recorder.waitFor(dir / "b"));
    auto batches = w.recorder.batches();
    ASSERT_GE(batches.size(), 2u);
    EXPECT_GE(batches.back().at - batches.front().at, 1400ms);
}

TEST(FileSystemWatcher, UnwatchablePathsLeaveItStopped) {
    TempDir dir;
    Watched w;
    w.watcher.start({dir / "does-not-exist"});
    EXPECT_FALSE(w.watcher.isRunning());
    EXPECT_EQ(w.watcher.unwatchedFolders(), 0u);
}

TEST(FileSystemWatcher, GoingAwayLeavesNoStreamThreadOrDescriptor) {
    TempDir dir;
    const size_t fds = countProcEntries("fd");
    const size_t threads = countProcEntries("task");
    {
        Watched w;
        w.watcher.start({dir.path()});
        w.watcher.start({dir.path()});
        writeFile(dir / "f", "x");
        ASSERT_TRUE(w.recorder.waitFor(dir.path()));
    }
    EXPECT_EQ(countProcEntries("fd"), fds);
    EXPECT_EQ(countProcEntries("task"), threads);
}

// Watched alone (the nearest folder above a root not yet made): one watch however many
// folders it holds; an entry made or renamed in it is reported as the folder, a change
// inside a folder within it is not, nor is that folder watched once made.
TEST(FileSystemWatcherShallow, OnlyTheFolderItselfIsWatched) {
    struct Row {
        const char* name;
        std::function<void(const TempDir&)> change;
        bool reported;
    };
    const std::vector<Row> rows = {
        {"a folder made in it", [](const TempDir& d) { makeDirs(d / "new"); }, true},
        {"an entry renamed in it",
         [](const TempDir& d) { ASSERT_EQ(std::rename((d / "old").c_str(), (d / "renamed").c_str()), 0); }, true},
        {"a file written in a folder within", [](const TempDir& d) { writeFile(d / "sub/f", "x"); }, false},
        {"a folder made in a folder within", [](const TempDir& d) { makeDirs(d / "sub/a/deeper"); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        makeDirs(dir / "sub/a");
        writeFile(dir / "old", "x");
        Watched w;
        w.watcher.setShallow(true);
        w.watcher.start({dir.path()});
        ASSERT_TRUE(w.watcher.isRunning());
        EXPECT_EQ(w.watcher.watchedFolders(), 1u);
        row.change(dir);
        if (!row.reported) writeFile(dir / "marker", "x"); // reported after anything before it
        ASSERT_TRUE(w.recorder.waitFor(dir.path()));
        EXPECT_FALSE(w.recorder.sawPath(dir / "sub"));
        EXPECT_FALSE(w.recorder.sawPath(dir / "sub/a"));
        EXPECT_EQ(w.watcher.watchedFolders(), 1u);
    }
}
