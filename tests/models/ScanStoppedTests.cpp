// A stopped scan shows the roots handed back after the stop; only those measured whole count.
#include <gtest/gtest.h>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(ScanStopped, RootsCutShortShowAsPartialAndAreNotMeasured) {
    auto cut = [](ScanNodePtr n) { return n->markCut(), n; };
    struct Row {
        std::vector<ScriptedScan::Root> before, after; // finished before the stop; handed back after it
        int measured;
        std::set<std::string> partial;
    };
    const Row rows[] = {
        {{}, {{"caches", cut(node("/c/a", 3))}, {"logs", cut(node("/l/a", 3))}}, 0, {"caches", "logs"}},
        {{{"caches", node("/c/a", 10)}}, {{"logs", cut(node("/l/a", 3))}}, 1, {"logs"}},
        {{{"caches", node("/c/a", 10)}}, {{"caches", cut(node("/c/b", 3))}}, 1, {"caches"}}, // one category, two roots
        {{{"caches", node("/c/a", 10)}}, {{"logs", node("/l/a", 4)}}, 2, {}}, // ended whole as the stop came
    };
    for (const Row& row : rows) {
        CoordinatorHome home;
        ScriptedScan scan;
        ScanCoordinator coordinator(scan.services());
        coordinator.start();
        scan.hand(row.before);
        ASSERT_TRUE(waitUntil([&] { return coordinator.completedRoots() == int(row.before.size()); }));
        coordinator.cancel();
        scan.hand(row.after);
        scan.release(1);
        std::set<std::string> partial;
        ASSERT_TRUE(waitUntil([&] {
            size_t roots = 0;
            partial.clear();
            for (const auto& c : coordinator.result().categories)
                if (roots += c.roots.size(); c.partial()) partial.insert(c.id());
            return roots == row.before.size() + row.after.size();
        })) << &row - rows;
        EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
        EXPECT_EQ(coordinator.completedRoots(), row.measured) << &row - rows;
        EXPECT_EQ(partial, row.partial) << &row - rows;
    }
}
