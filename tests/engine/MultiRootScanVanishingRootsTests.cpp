// Roots that disappear while the scan runs, between its existence test and the walk or
// during it: the scan still returns a whole result, and the control hears of exactly the
// roots that came back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>

#include "engine/MultiRootScan.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

DisplayCategory categoryOf(const std::string& id, std::vector<std::string> roots) {
    DisplayCategory c;
    c.id = id;
    c.title = id;
    c.roots = std::move(roots);
    return c;
}

} // namespace

TEST(MultiRootScanVanishingRoots, RootsRemovedDuringTheScanAreLeftOutCleanly) {
    for (int round = 0; round < 10; ++round) {
        test::TempDir dir;
        std::vector<std::string> fleeting;
        for (int i = 0; i < 48; ++i) {
            const std::string root = dir / ("gone" + std::to_string(i));
            test::makeDirs(root);
            fleeting.push_back(root);
        }
        test::writeFileOfSize(dir / "kept/file", 4096);
        const std::vector<DisplayCategory> categories{categoryOf("fleeting", fleeting),
                                                      categoryOf("kept", {dir / "kept"})};

        std::atomic<bool> go{false};
        std::thread remover([&] {
            while (!go) std::this_thread::yield();
            for (auto it = fleeting.rbegin(); it != fleeting.rend(); ++it) rmdir(it->c_str());
        });
        ScanControl control;
        ScanResult result;
        go = true;
        MultiRootScan::walkCategories(control, categories, result);
        remover.join();

        size_t nodes = 0;
        for (const auto& category : result.categories) {
            EXPECT_FALSE(category.roots.empty()) << category.id();
            for (const auto& root : category.roots) ASSERT_NE(root, nullptr);
            nodes += category.roots.size();
        }
        ASSERT_FALSE(result.categories.empty());
        EXPECT_EQ(result.categories.back().id(), "kept");
        EXPECT_EQ(result.categories.back().total(), test::independentTotal(dir / "kept"));
        EXPECT_EQ(control.takeCompleted().size(), nodes);
    }
}
