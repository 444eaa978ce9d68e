// Live updates within the process's share of inotify watches: a tree larger than the share
// holds no more watches than it, its upper levels first, the rest is counted, and every
// watch is let go when the tree's scan is replaced, stopped or switched off.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <filesystem>
#include <thread>

#include "CoordinatorFixtures.h"
#include "platform/FileEventRecorder.h"
#include "platform/Path.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

unsigned long inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_ino) : 0;
}

size_t foldersIn(const std::string& top) {
    size_t n = 1;
    for (const auto& e : std::filesystem::recursive_directory_iterator(top)) n += e.is_directory() ? 1 : 0;
    return n;
}

// Every folder of the scanned roots that exist, as the watches see them.
size_t foldersInRoots() {
    std::vector<std::string> roots;
    for (const auto& category : DisplayCategory::categories(ScanScope::systemData))
        for (const auto& root : category.roots)
            if (std::filesystem::is_directory(root)) roots.push_back(root);
    size_t n = 0;
    for (const auto& root : roots)
        if (std::none_of(roots.begin(), roots.end(), [&](const std::string& r) { return r != root && isPathInside(root, r); }))
            n += foldersIn(root);
    return n;
}

} // namespace

TEST(LiveUpdateShare, ATreePastTheShareIsWatchedFromTheTopAndLetGoWithItsScan) {
    enum class LetGo { newScan, switchedOff, cancelled, quit };
    for (const LetGo way : {LetGo::newScan, LetGo::switchedOff, LetGo::cancelled, LetGo::quit}) {
        SCOPED_TRACE(static_cast<int>(way));
        ScopedWatchShare share(12);
        CoordinatorHome home;
        const std::string app = home / "Library/Caches/com.example.app";
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 5; ++b) makeDirs(app + "/a" + std::to_string(a) + "/b" + std::to_string(b));
        auto c = std::make_unique<ScanCoordinator>();
        c->start();
        ASSERT_TRUE(waitUntil([&] { return c->isWatching(); }, 60000));
        const auto inodes = watchedInodes();
        EXPECT_EQ(inodes.size(), 12u);
        EXPECT_EQ(c->watchedFolders(), 12u);
        // The folders past the share are counted after watching starts.
        const size_t folders = foldersInRoots();
        EXPECT_TRUE(waitUntil([&] { return c->watchedFolders() + c->unwatchedFolders() == folders; }))
            << c->unwatchedFolders() << " unwatched of " << folders;
        for (const std::string& upper : {home / "Library", home / "Library/Caches", app, app + "/a0", app + "/a3"})
            EXPECT_EQ(inodes.count(inodeOf(upper)), 1u) << upper;

        switch (way) {
        case LetGo::newScan: c->start(); break;
        case LetGo::switchedOff: c->setLiveUpdatesEnabled(false); break;
        case LetGo::cancelled: c->cancel(); break;
        case LetGo::quit: c.reset(); break;
        }
        // Let go on a worker, so the window never waits on it: gone within a deadline.
        EXPECT_TRUE(waitUntil([] { return watchedInodes().empty() && WatchBudget::held() == 0; }))
            << watchedInodes().size() << " watches, " << WatchBudget::held() << " held";
        if (c) {
            EXPECT_EQ(c->unwatchedFolders(), 0u);
            EXPECT_TRUE(waitUntil([&] { return c->phase() != ScanCoordinator::Phase::scanning; }, 60000));
        }
    }
}

// A set-up that began while an older one still held the share is done again once the older
// one is back, so switching off and on again does not leave the tree partly watched. Rows:
// how the older one ends; one that failed used to leave the newer one short for good.
TEST(LiveUpdateShare, ASetUpShortOfWatchesHeldByAnOlderOneIsDoneAgain) {
    enum class Older { handedBack, failed };
    for (const Older older : {Older::handedBack, Older::failed}) {
        SCOPED_TRACE(static_cast<int>(older));
        CoordinatorHome home;
        for (int a = 0; a < 4; ++a) makeDirs(home / ("Library/Caches/com.example.app/a" + std::to_string(a)));
        const size_t all = foldersInRoots();
        ScopedWatchShare share(all);
        auto calls = std::make_shared<std::atomic<int>>(0);
        auto released = std::make_shared<std::atomic<bool>>(false);
        auto services = ScanCoordinator::Services::standard();
        services.startWatcher = [calls, released, older](FileSystemWatcher& watcher,
                                                         const std::vector<std::string>& roots) {
            watcher.start(roots);
            if (++*calls != 1) return;
            for (int i = 0; i < 6000 && !released->load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (older == Older::failed) throw std::runtime_error("no thread left");
        };
        ScanCoordinator c(services);
        c.start();
        ASSERT_TRUE(waitUntil([&] { return calls->load() == 1; }, 60000)); // the first holds them all
        c.setLiveUpdatesEnabled(false);
        c.setLiveUpdatesEnabled(true);
        ASSERT_TRUE(waitUntil([&] { return calls->load() == 2; }));
        spin(100);
        released->store(true);
        EXPECT_TRUE(waitUntil([&] { return c.isWatching() && c.watchedFolders() == all && c.unwatchedFolders() == 0; }))
            << c.watchedFolders() << " watched, " << c.unwatchedFolders() << " not";
        EXPECT_FALSE(c.failure().has_value());
    }
}

// After dropped events the trees are watched anew. A root replaced meanwhile while the share
// is closed cannot be watched again: the coordinator says it is not live instead of
// claiming to watch.
TEST(LiveUpdateShare, ARecoveryThatCannotWatchItsRootsIsNotLive) {
    ScopedWatchShare share(20);
    CoordinatorHome home;
    const std::string root = home / "Library/Caches/com.example.app";
    makeDirs(root + "/a");
    auto watcher = std::make_shared<std::atomic<FileSystemWatcher*>>(nullptr);
    auto services = ScanCoordinator::Services::standard();
    services.scan = [root](ScanControl&, ScanScope scope) {
        ScanResult result;
        result.scope = scope;
        DisplayCategory category;
        category.id = "caches";
        category.roots = {root};
        result.categories.push_back(CategoryResult{category, {node(root, 4096)}});
        return result;
    };
    services.startWatcher = [watcher](FileSystemWatcher& w, const std::vector<std::string>& roots) {
        w.start(roots);
        watcher->store(&w);
    };
    ScanCoordinator c(services);
    c.start();
    ASSERT_TRUE(waitUntil([&] { return c.isWatching() && c.watchedFolders() == 2; }, 60000));
    EXPECT_FALSE(c.watchesRanOut());
    ASSERT_EQ(std::rename(root.c_str(), (home / "Library/Caches/moved").c_str()), 0);
    makeDirs(root);
    ASSERT_TRUE(waitUntil([&] { return c.watchedFolders() == 0; })); // the root moved away was let go
    WatchBudget::refuse(); // the system refused another stream a watch
    watcher->load()->simulateDroppedEventsForTesting();
    EXPECT_TRUE(waitUntil([&] { return c.watchesRanOut(); })) << c.watchedFolders() << " watched, "
                                                              << c.unwatchedFolders() << " not";
    EXPECT_TRUE(c.isWatching());
}
