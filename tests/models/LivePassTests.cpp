// Live re-measure passes: one at a time, cancelled by what makes them moot, never changing a
// tree already published, dropped when a newer scan owns the result, and counting a file
// with names in two folders once.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <atomic>
#include <thread>
#include <unistd.h>

#include "CoordinatorFixtures.h"
#include "cleanup/CleanupFinder.h"
#include "engine/FileWalker.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

/// Re-walks that each wait until the test lets them go (or their control is cancelled),
/// noting whether two ran at once and whether the first saw the cancel.
struct HeldWalks {
    struct State {
        std::atomic<int> begun{0}, released{0}, running{0}, firstCancelled{-1};
        std::atomic<bool> overlapped{false};
    };
    std::shared_ptr<State> s = std::make_shared<State>();

    ScanCoordinator::Services services() {
        auto services = ScanCoordinator::Services::standard();
        services.walk = [s = s](const std::string& path, ScanControl& control, const FileWalker::Options& options) {
            const int me = ++s->begun;
            if (++s->running > 1) s->overlapped = true;
            while (s->released < me && !control.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (me == 1) s->firstCancelled = control.cancelled();
            ScanNodePtr node = FileWalker::walkParallel(path, control, options);
            --s->running;
            return node;
        };
        return services;
    }
};

/// A home with one app cache of 100 KB, scanned with live updates fed by the test.
struct LiveHome {
    CoordinatorHome home;
    const std::string caches = home / "Library/Caches";
    const std::string app = caches + "/com.example.app";
    LiveHome() { writeFileOfSize(app + "/blob", 100'000); }

    std::unique_ptr<ScanCoordinator> scanned(ScanCoordinator::Services services = ScanCoordinator::Services::standard()) {
        auto c = std::make_unique<ScanCoordinator>(std::move(services));
        c->setLiveUpdatesEnabled(false);
        c->start();
        EXPECT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
        return c;
    }
    // A file added to the folder and the change handed to the coordinator.
    void grow(ScanCoordinator& c, const std::string& folder, const std::string& name = "more") {
        writeFileOfSize(folder + "/" + name, 100'000);
        c.absorb({folder});
    }
    // A scan whose first live pass (over `app`) is begun and held; `other` is a second
    // folder to change meanwhile.
    const std::string other = caches + "/other";
    std::unique_ptr<ScanCoordinator> withHeldPass(HeldWalks& walks) {
        writeFileOfSize(other + "/blob", 100'000);
        auto c = scanned(walks.services());
        grow(*c, app);
        EXPECT_TRUE(waitUntil([&] { return walks.s->begun == 1; }));
        return c;
    }
};

int64_t measuredAfresh(const std::string& path) {
    ScanControl control;
    auto node = FileWalker::walkParallel(path, control);
    return node ? node->size : -1;
}

} // namespace

TEST(LivePassPublishing, ATreeOnceHandedOutNeverChanges) {
    LiveHome h;
    auto c = h.scanned();
    const ScanResult published = c->result();
    const ScanNodePtr root = published.node(h.caches);
    ASSERT_TRUE(root);
    const int64_t rootSize = root->size;
    const auto rootChildren = root->children;
    const ScanNodePtr oldApp = published.node(h.app);
    c->move({std::string("caches"), {root}});
    c->drill(oldApp);

    h.grow(*c, h.app);
    ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value(); }));
    EXPECT_EQ(root->size, rootSize);
    EXPECT_TRUE(root->children == rootChildren);
    EXPECT_EQ(published.node(h.app).get(), oldApp.get());
    const ScanNodePtr now = c->result().node(h.caches);
    EXPECT_EQ(now->size, measuredAfresh(h.caches));
    // The page shown, and the one back, follow the new tree; the ancestor keeps who it is.
    ASSERT_EQ(c->drillPath().size(), 2u);
    EXPECT_EQ(c->drillPath()[0].get(), now.get());
    EXPECT_EQ(now->id, root->id);
    EXPECT_EQ(c->drillPath()[1]->fileCount, 2);
    ASSERT_FALSE(c->backStack().empty());
    EXPECT_EQ(c->backStack().back().drillPath.at(0).get(), now.get());
}

TEST(LivePassGeneration, APassThatEndsAfterANewerScanIsDropped) {
    LiveHome h;
    HeldWalks walks;
    auto c = h.withHeldPass(walks);
    c->start();
    ASSERT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
    const int64_t fresh = c->result().node(h.app)->size;
    ASSERT_EQ(unlink((h.app + "/more").c_str()), 0); // what the late pass would now measure
    walks.s->released = 1;
    spin(800);
    EXPECT_EQ(c->result().node(h.app)->size, fresh);
    EXPECT_FALSE(c->lastLiveUpdate().has_value());
}

// Whichever folder counted the shared file at the scan, measuring each folder again must
// not count it a second time.
TEST(LivePassHardLinks, AFileWithANameInAnotherFolderIsCountedOnce) {
    LiveHome h;
    writeFileOfSize(h.caches + "/one/data", 1'000'000);
    makeDirs(h.caches + "/two");
    ASSERT_EQ(link((h.caches + "/one/data").c_str(), (h.caches + "/two/again").c_str()), 0);
    auto c = h.scanned();
    ASSERT_EQ(c->result().node(h.caches)->size, measuredAfresh(h.caches));

    QSignalSpy updates(c.get(), &ScanCoordinator::lastLiveUpdateChanged);
    int marker = 0;
    for (const std::string& folder : {h.caches + "/one", h.caches + "/two"}) {
        h.grow(*c, folder, "marker" + std::to_string(++marker));
        ASSERT_TRUE(waitUntil([&] { return updates.count() == marker; })) << folder;
        EXPECT_EQ(c->result().node(h.caches)->size, measuredAfresh(h.caches)) << folder;
    }
}

TEST(LivePassInFlight, OnlyOnePassRunsAndChangesMeanwhileJoinTheNext) {
    LiveHome h;
    HeldWalks walks;
    auto c = h.withHeldPass(walks);

    h.grow(*c, h.other);
    spin(700); // a whole quiet period: a second pass would have begun by now
    c->absorb({h.other + "/"});
    spin(700);
    EXPECT_EQ(walks.s->begun.load(), 1);
    walks.s->released = 3;
    ASSERT_TRUE(waitUntil([&] { return c->result().node(h.other)->fileCount == 2; }));
    EXPECT_EQ(walks.s->begun.load(), 2); // the batches that waited went into one pass
    EXPECT_FALSE(walks.s->overlapped.load());
    EXPECT_EQ(c->result().node(h.app)->fileCount, 2);
}

TEST(LivePassInFlight, AScanAScopeChangeOrAClosedWindowCancelsIt) {
    enum class Trigger { scan, scope, windowClosed };
    for (const Trigger trigger : {Trigger::scan, Trigger::scope, Trigger::windowClosed}) {
        SCOPED_TRACE(static_cast<int>(trigger));
        LiveHome h;
        HeldWalks walks;
        auto c = h.withHeldPass(walks);
        switch (trigger) {
        case Trigger::scan: c->start(); break;
        case Trigger::scope: c->setScope(ScanScope::wholeDisk); break;
        case Trigger::windowClosed: c->cancelLivePass(); break;
        }
        ASSERT_TRUE(waitUntil([&] { return walks.s->firstCancelled >= 0; }));
        EXPECT_EQ(walks.s->firstCancelled.load(), 1);
        if (trigger == Trigger::windowClosed) {
            // The tree is still current: what the pass left undone goes with the next batch.
            spin(100);
            walks.s->released = 3;
            h.grow(*c, h.other);
            ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value(); }));
            EXPECT_EQ(c->result().node(h.app)->fileCount, 2);
            continue;
        }
        c->cancel();
        walks.s->released = 2;
        spin(100);
        EXPECT_FALSE(c->lastLiveUpdate().has_value());
    }
}

// Recommendations read property lists and the iCloud evidence: never on the main thread.
TEST(LivePassWorkers, RecommendationsAreWorkedOutOffTheMainThread) {
    LiveHome h;
    const auto mainThread = std::this_thread::get_id();
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto onMain = std::make_shared<std::atomic<int>>(0);
    auto services = ScanCoordinator::Services::standard();
    services.recommend = [=](const ScanResult& result) {
        ++*calls;
        if (std::this_thread::get_id() == mainThread) ++*onMain;
        return CleanupFinder::recommendations(result);
    };
    auto c = h.scanned(std::move(services));
    EXPECT_FALSE(c->trends().empty()); // recorded on the worker, taken in on completion
    h.grow(*c, h.app);
    ASSERT_TRUE(waitUntil([&] { return c->lastLiveUpdate().has_value(); }));
    EXPECT_EQ(calls->load(), 2);
    EXPECT_EQ(onMain->load(), 0);
}
