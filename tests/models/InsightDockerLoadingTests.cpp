// Folder insights and Docker loading: newer requests replace older ones, stale results
// are dropped, and requests that are not needed start nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

/// Calls that each wait until the test lets the n-th one (1-based) return.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    int released = 0;
    std::vector<std::string> arguments;

    int enter(const std::string& argument) {
        std::unique_lock lock(mutex);
        arguments.push_back(argument);
        const int me = ++calls;
        changed.notify_all();
        changed.wait(lock, [&] { return released >= me; });
        return me;
    }
    void release(int upTo) {
        std::lock_guard lock(mutex);
        released = upTo;
        changed.notify_all();
    }
    int count() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

struct Loader {
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::shared_ptr<std::atomic<bool>> dockerInstalled = std::make_shared<std::atomic<bool>>(true);
    std::unique_ptr<ScanCoordinator> coordinator;

    Loader() {
        auto s = ScanCoordinator::Services::standard();
        auto g = gate;
        auto installed = dockerInstalled;
        s.analyzeFolder = [g](const std::string& path, const std::set<std::string>&, const std::function<bool()>&) {
            const int call = g->enter(path);
            FolderInsights insights;
            insights.path = path;
            insights.fileCount = call;
            return insights;
        };
        s.dockerPath = [installed]() -> std::optional<std::string> {
            if (*installed) return std::string("/usr/local/bin/docker");
            return std::nullopt;
        };
        s.inspectDocker = [g] {
            const int call = g->enter("docker");
            DockerUsage usage;
            usage.state = DockerUsage::State::notResponding;
            usage.note = "call " + std::to_string(call);
            return usage;
        };
        coordinator = std::make_unique<ScanCoordinator>(s);
    }
    ~Loader() { gate->release(1000); }
    ScanCoordinator* operator->() { return coordinator.get(); }
};

} // namespace

TEST(InsightLoading, SamePathTwiceAnalysesOnce) {
    CoordinatorHome home;
    Loader l;
    l->loadInsights(std::string("/a"));
    EXPECT_TRUE(l->insightsLoading());
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 1; }));
    l->loadInsights(std::string("/a"));
    l.gate->release(1);
    ASSERT_TRUE(waitUntil([&] { return l->insights().has_value(); }));
    EXPECT_FALSE(l->insightsLoading());
    EXPECT_EQ(l->insights()->path, "/a");
    l->loadInsights(std::string("/a"));
    spin(50);
    EXPECT_EQ(l.gate->count(), 1);
}

TEST(InsightLoading, ANewerPathReplacesTheOlderOne) {
    CoordinatorHome home;
    Loader l;
    l->loadInsights(std::string("/a"));
    l->loadInsights(std::string("/b"));
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 2; }));
    l.gate->release(2);
    ASSERT_TRUE(waitUntil([&] { return l->insights().has_value(); }));
    spin(50);
    EXPECT_EQ(l->insights()->path, "/b");
    EXPECT_FALSE(l->insightsLoading());
}

TEST(InsightLoading, NoPathClearsAndDropsTheLoadInFlight) {
    CoordinatorHome home;
    Loader l;
    l->loadInsights(std::string("/a"));
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 1; }));
    l->loadInsights(std::nullopt);
    EXPECT_FALSE(l->insightsLoading());
    l.gate->release(1);
    spin(100);
    EXPECT_FALSE(l->insights().has_value());
    EXPECT_FALSE(l->insightsLoading());
}

TEST(InsightLoading, ATrailingSlashIsAnotherFolder) {
    CoordinatorHome home;
    Loader l;
    l.gate->release(10);
    l->loadInsights(std::string("/a"));
    l->loadInsights(std::string("/a/"));
    ASSERT_TRUE(waitUntil([&] { return l->insights().has_value(); }));
    EXPECT_TRUE(waitUntil([&] { return l.gate->count() == 2; })); // both were analysed
    EXPECT_EQ(l->insights()->path, "/a/");
}

TEST(InsightLoading, RealAnalysisOfAFolderInTheFakeHome) {
    CoordinatorHome home;
    writeFileOfSize(home / "Stuff/a.bin", 50'000);
    ScanCoordinator c;
    c.loadInsights(home / "Stuff");
    ASSERT_TRUE(waitUntil([&] { return c.insights().has_value(); }));
    EXPECT_EQ(c.insights()->fileCount, 1);
}

// The category page shows the scan's figures and the insights side by side: the insights
// pass over what the scan passes over, so both count the same files and bytes.
TEST(InsightLoading, AScannedFolderIsExplainedWithTheScansOwnFigures) {
    CoordinatorHome home;
    writeFileOfSize(home / "Library/Caches/app/blob", 50'000);
    writeFileOfSize(home / "Library/Caches/.Spotlight-V100/ignored", 500'000);
    writeFileOfSize(home / "Library/Caches/app/.fseventsd/log", 20'000);
    ScanCoordinator c;
    c.start();
    ASSERT_TRUE(waitUntil([&] { return c.phase() == ScanCoordinator::Phase::done; }, 60'000));
    const ScanNodePtr caches = c.result().node(home / "Library/Caches");
    ASSERT_TRUE(caches);
    c.loadInsights(caches->path);
    ASSERT_TRUE(waitUntil([&] { return c.insights().has_value(); }));
    EXPECT_EQ(c.insights()->fileCount, caches->fileCount);
    EXPECT_EQ(c.insights()->totalBytes, caches->size);
    ASSERT_FALSE(c.insights()->largest.empty());
    EXPECT_EQ(c.insights()->largest.front().path, home / "Library/Caches/app/blob");
}

TEST(DockerLoading, WithoutDockerNothingHappens) {
    CoordinatorHome home;
    Loader l;
    *l.dockerInstalled = false;
    EXPECT_FALSE(l->dockerAvailable());
    l->loadDocker(false);
    l->loadDocker(true);
    spin(50);
    EXPECT_FALSE(l->docker().has_value());
    EXPECT_FALSE(l->dockerLoading());
    EXPECT_EQ(l.gate->count(), 0);
}

TEST(DockerLoading, AvailabilityFollowsTheToolAsItComesAndGoes) {
    CoordinatorHome home;
    Loader l;
    EXPECT_TRUE(l->dockerAvailable());
    *l.dockerInstalled = false;
    EXPECT_FALSE(l->dockerAvailable());
    *l.dockerInstalled = true;
    EXPECT_TRUE(l->dockerAvailable());
}

TEST(DockerLoading, LoadedOnceThenOnlyForcedRequestsInspect) {
    CoordinatorHome home;
    Loader l;
    l->loadDocker(false);
    EXPECT_TRUE(l->dockerLoading());
    l->loadDocker(false); // already loading
    l.gate->release(1);
    ASSERT_TRUE(waitUntil([&] { return l->docker().has_value(); }));
    EXPECT_FALSE(l->dockerLoading());
    l->loadDocker(false);
    spin(50);
    EXPECT_EQ(l.gate->count(), 1);

    l->loadDocker(true);
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 2; }));
    EXPECT_EQ(l->docker()->note, "call 1"); // the old value stays visible meanwhile
    l.gate->release(2);
    ASSERT_TRUE(waitUntil([&] { return l->docker()->note == std::optional<std::string>("call 2"); }));
}

TEST(DockerLoading, AForcedRequestReplacesTheRunningOne) {
    CoordinatorHome home;
    Loader l;
    l->loadDocker(false);
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 1; }));
    l->loadDocker(true);
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 2; }));
    l.gate->release(1);
    spin(100);
    EXPECT_FALSE(l->docker().has_value()); // the first result is dropped
    l.gate->release(2);
    ASSERT_TRUE(waitUntil([&] { return l->docker().has_value(); }));
    EXPECT_EQ(l->docker()->note, "call 2");
    EXPECT_FALSE(l->dockerLoading());
}

TEST(DockerLoading, AnInspectionDroppedByCancelDoesNotBlockTheNextRequest) {
    CoordinatorHome home;
    Loader l;
    l->loadDocker(false);
    l->loadInsights(std::string("/a"));
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 2; }));
    l->cancel();
    EXPECT_FALSE(l->dockerLoading());
    EXPECT_FALSE(l->insightsLoading());
    l.gate->release(2);
    spin(100);
    EXPECT_FALSE(l->docker().has_value()); // the dropped result is not published
    l->loadDocker(false);
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 3; }));
    l.gate->release(3);
    ASSERT_TRUE(waitUntil([&] { return l->docker().has_value(); }));
}

TEST(InsightLoading, AFolderWhoseLoadCancelDroppedCanBeAskedForAgain) {
    CoordinatorHome home;
    Loader l;
    l->loadInsights(std::string("/a"));
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 1; }));
    l->cancel();
    EXPECT_FALSE(l->insightsLoading());
    l->loadInsights(std::string("/a"));
    EXPECT_TRUE(l->insightsLoading());
    ASSERT_TRUE(waitUntil([&] { return l.gate->count() == 2; }));
    l.gate->release(2);
    ASSERT_TRUE(waitUntil([&] { return l->insights().has_value(); }));
    EXPECT_EQ(l->insights()->fileCount, 2); // the second analysis, not the dropped one
    EXPECT_FALSE(l->insightsLoading());
}
