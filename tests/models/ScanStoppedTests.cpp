// A stopped scan: the roots its walks hand back after the stop are shown, and only the
// ones measured whole count among the measured.
#include <gtest/gtest.h>

#include "CoordinatorFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

ScanNodePtr cut(const std::string& path, int64_t size) {
    auto n = node(path, size);
    n->markCut();
    return n;
}

} // namespace

TEST(ScanStopped, RootsCutShortShowAsPartialAndAreNotMeasured) {
    using Roots = std::vector<ScriptedScan::Root>;
    struct Row {
        const char* moment;
        Roots before;  // finished before the stop
        Roots after;   // handed back by the walks once they saw the stop
        int measured;
        std::set<std::string> partial; // categories shown as partial
        size_t shown;                  // categories shown
    };
    const Row rows[] = {
        {"before any root finished", {}, {{"caches", cut("/c/a", 0)}, {"logs", cut("/l/a", 0)}}, 0, {"caches", "logs"}, 2},
        {"one root whole, one cut", {{"caches", node("/c/a", 10)}}, {{"logs", cut("/l/a", 4)}}, 1, {"logs"}, 2},
        {"a category with a whole and a cut root", {{"caches", node("/c/a", 10)}}, {{"caches", cut("/c/b", 3)}}, 1,
         {"caches"}, 1},
        {"a root that ended whole as the stop came", {{"caches", node("/c/a", 10)}}, {{"logs", node("/l/a", 4)}}, 2, {}, 2},
        {"everything finished before", {{"caches", node("/c/a", 10)}, {"logs", node("/l/a", 4)}}, {}, 2, {}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.moment);
        CoordinatorHome home;
        ScriptedScan scan;
        ScanCoordinator coordinator(scan.services());
        coordinator.start();
        scan.hand(row.before);
        ASSERT_TRUE(waitUntil([&] { return coordinator.completedRoots() == int(row.before.size()); }));
        coordinator.cancel();
        scan.hand(row.after);
        scan.release(1);
        ASSERT_TRUE(waitUntil([&] { return scan.returned() == 1; }));
        ASSERT_TRUE(waitUntil([&] {
            size_t roots = 0;
            for (const auto& category : coordinator.result().categories) roots += category.roots.size();
            return roots == row.before.size() + row.after.size();
        }));
        EXPECT_EQ(coordinator.result().categories.size(), row.shown);
        EXPECT_EQ(coordinator.phase(), ScanCoordinator::Phase::cancelled);
        EXPECT_EQ(coordinator.completedRoots(), row.measured);
        std::set<std::string> partial;
        for (const auto& category : coordinator.result().categories)
            if (category.partial()) partial.insert(category.id());
        EXPECT_EQ(partial, row.partial);
    }
}
