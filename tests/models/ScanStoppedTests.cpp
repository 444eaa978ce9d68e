// A stopped scan shows the roots its walks hand back after the stop; only the ones
// measured whole count among the measured.
#include <gtest/gtest.h>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(ScanStopped, RootsCutShortShowAsPartialAndAreNotMeasured) {
    auto cut = [](const std::string& path) {
        auto n = node(path, 3);
        n->markCut();
        return n;
    };
    struct Row {
        std::vector<ScriptedScan::Root> before, after; // finished before the stop; handed back after it
        int measured;
        std::set<std::string> partial;
    };
    const Row rows[] = {
        {{}, {{"caches", cut("/c/a")}, {"logs", cut("/l/a")}}, 0, {"caches", "logs"}},
        {{{"caches", node("/c/a", 10)}}, {{"logs", cut("/l/a")}}, 1, {"logs"}},
        {{{"caches", node("/c/a", 10)}}, {{"caches", cut("/c/b")}}, 1, {"caches"}}, // one category, two roots
        {{{"caches", node("/c/a", 10)}}, {{"logs", node("/l/a", 4)}}, 2, {}},      // ended whole as the stop came
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.measured);
        CoordinatorHome home;
        ScriptedScan scan;
        ScanCoordinator coordinator(scan.services());
        coordinator.start();
        scan.hand(row.before);
        ASSERT_TRUE(waitUntil([&] { return coordinator.completedRoots() == int(row.before.size()); }));
        coordinator.cancel();
        scan.hand(row.after);
        scan.release(1);
        ASSERT_TRUE(waitUntil([&] {
            size_t roots = 0;
            for (const auto& category : coordinator.result().categories) roots += category.roots.size();
            return roots == row.before.size() + row.after.size();
        }));
        EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
        EXPECT_EQ(coordinator.completedRoots(), row.measured);
        std::set<std::string> partial;
        for (const auto& category : coordinator.result().categories)
            if (category.partial()) partial.insert(category.id());
        EXPECT_EQ(partial, row.partial);
    }
}
