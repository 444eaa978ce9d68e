// The event stream after dropped events and past the share of watches: who joins the
// counting thread, what a recovery keeps, and that the unwatched figure is what is
// unwatched now.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

#include "platform/FileEventRecorder.h"
#include "platform/FileEvents.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

struct Rig {
    SerialQueue queue{"test.recovery"};
    BatchRecorder recorder;

    std::unique_ptr<FileEventStream> make(const std::string& root, bool countLater = true) {
        auto stream = FileEventStream::create([this](size_t, const std::vector<std::string>& p) { recorder.add(p); },
                                              {root}, FileEventStream::kEventIdSinceNow, 0.05, 7);
        stream->setDispatchQueue(&queue);
        stream->setCountLater(countLater);
        return stream;
    }
};

// `width` folders in each of `depth` levels below `root`: width + width² + ... folders.
void makeTree(const std::string& root, int width, int depth) {
    if (depth == 0) return;
    for (int i = 0; i < width; ++i) {
        const std::string child = root + "/f" + std::to_string(i);
        makeDirs(child);
        makeTree(child, width, depth - 1);
    }
}

// Polls, for at most 20 s, until `done`: a bound for a broken stream, not a speed target.
bool waitUntilTrue(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

bool settled(const FileEventStream& stream) {
    return waitUntilTrue([&] { return !stream.stillCounting(); });
}

} // namespace

// After dropped events the reader used to join the counting thread that stop() joins from the
// owner's thread, and to clear the stop flag stop() had just set: the process ended, or stop
// waited for the whole count. Bounded: a few streams per run, each stopped while its
// recovery and count may still be under way.
TEST(FileEventRecovery, StoppingWhileARecoveryAndACountRunEndsCleanly) {
    ScopedWatchShare share(4);
    TempDir dir;
    makeTree(dir.path(), 6, 3); // 258 folders, nearly all past the share
    enum class When { atOnce, afterABatch, whileRecoveringTwice };
    for (const When when : {When::atOnce, When::afterABatch, When::whileRecoveringTwice}) {
        SCOPED_TRACE(static_cast<int>(when));
        for (int round = 0; round < 5; ++round) {
            Rig rig;
            auto stream = rig.make(dir.path());
            ASSERT_TRUE(stream->start());
            stream->simulateDroppedEventsForTesting();
            if (when == When::afterABatch) {
                ASSERT_TRUE(rig.recorder.waitFor(dir.path()));
            }
            if (when == When::whileRecoveringTwice) stream->simulateDroppedEventsForTesting();
            stream->stop();
            stream->invalidate();
            stream.reset();
            EXPECT_EQ(WatchBudget::held(), 0u);
        }
    }
    EXPECT_EQ(watchedInodes().size(), 0u);
}

// After a refused watch the share stays closed while the process holds any watch: a
// recovery used to give every watch back, be refused even its roots and go on watching
// nothing. It keeps what it held, and still reports changes anywhere it watched; folders
// made meanwhile past the share, listed before older ones, do not cost those their watches.
TEST(FileEventRecovery, ARecoveryKeepsItsWatchesWhenTheShareIsClosedOrSpent) {
    enum class Share { closedByARefusal, spentBelowWhatIsHeld, spentByFoldersMadeMeanwhile };
    for (const Share way : {Share::closedByARefusal, Share::spentBelowWhatIsHeld, Share::spentByFoldersMadeMeanwhile}) {
        SCOPED_TRACE(static_cast<int>(way));
        ScopedWatchShare share(6);
        TempDir dir;
        makeTree(dir.path(), 2, 3); // 14 folders: the root and five below it are watched
        Rig rig;
        auto stream = rig.make(dir.path());
        ASSERT_TRUE(stream->start());
        ASSERT_TRUE(settled(*stream));
        ASSERT_EQ(stream->watchedFolders(), 6u);
        ASSERT_EQ(stream->unwatchedFolders(), 9u);
        size_t made = 0;
        if (way == Share::closedByARefusal) WatchBudget::refuse();
        if (way == Share::spentBelowWhatIsHeld) WatchBudget::overrideLimit(2);
        for (; way == Share::spentByFoldersMadeMeanwhile && made < 20; ++made)
            makeDirs(dir / ("f0/new" + std::to_string(made))); // batches name f0, never the root
        ASSERT_TRUE(waitUntilTrue([&] { return stream->unwatchedFolders() == 9 + made; }));

        stream->simulateDroppedEventsForTesting();
        ASSERT_TRUE(rig.recorder.waitFor(dir.path()));
        ASSERT_TRUE(settled(*stream));
        EXPECT_EQ(stream->watchedFolders(), 6u);
        EXPECT_EQ(stream->unwatchedFolders(), 9 + made);
        EXPECT_EQ(WatchBudget::held(), 6u);
        EXPECT_EQ(watchedInodes().size(), 6u);
        writeFile(dir / "f1/f0/late", "x");
        EXPECT_TRUE(rig.recorder.waitFor(dir / "f1/f0"));
    }
}

// The unwatched figure used to only grow: folders made past the share and removed again
// stayed counted. Rows: how the folders leave, and how many levels each holds.
TEST(FileEventRecovery, FoldersLeftOutThatGoLeaveTheUnwatchedCount) {
    enum class Leave { removed, movedOut, afterDroppedEvents };
    struct Row {
        Leave leave;
        int levels; // inside each made folder
    };
    for (const Row row : {Row{Leave::removed, 0}, Row{Leave::movedOut, 2}, Row{Leave::afterDroppedEvents, 1}}) {
        SCOPED_TRACE(static_cast<int>(row.leave));
        ScopedWatchShare share(5);
        TempDir dir, outside;
        makeTree(dir.path(), 68, 1); // 69 folders against a share of 5
        Rig rig;
        auto stream = rig.make(dir.path(), false);
        ASSERT_TRUE(stream->start());
        ASSERT_EQ(stream->unwatchedFolders(), 64u);
        // Made whole elsewhere and moved in, so each is counted as it is.
        for (int i = 0; i < 50; ++i) {
            const std::string made = outside / ("new" + std::to_string(i));
            makeDirs(made);
            makeTree(made, 1, row.levels);
            ASSERT_EQ(std::rename(made.c_str(), (dir / ("made" + std::to_string(i))).c_str()), 0);
        }
        ASSERT_TRUE(waitUntilTrue([&] { return stream->unwatchedFolders() == 64u + 50u * (row.levels + 1); }))
            << stream->unwatchedFolders();
        ASSERT_TRUE(settled(*stream));
        for (int i = 0; i < 50; ++i) {
            const std::string made = dir / ("made" + std::to_string(i));
            if (row.leave == Leave::movedOut) {
                ASSERT_EQ(std::rename(made.c_str(), (outside / ("m" + std::to_string(i))).c_str()), 0);
            } else {
                std::filesystem::remove_all(made);
            }
        }
        if (row.leave == Leave::afterDroppedEvents) stream->simulateDroppedEventsForTesting();
        EXPECT_TRUE(waitUntilTrue([&] { return stream->unwatchedFolders() == 64u && !stream->stillCounting(); }))
            << stream->unwatchedFolders();
        EXPECT_EQ(stream->watchedFolders(), 5u);
    }
}
