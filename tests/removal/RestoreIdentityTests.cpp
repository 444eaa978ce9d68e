// A restore puts back only the item a run moved: the Trash entry's record must name the
// run's original path, and the entry must still be the same file system object.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <unistd.h>

#include "platform/Trash.h"
#include "platform/TrashInfo.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

constexpr const char* kNotTheItem = "no longer the item Sorvel moved";

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path();
    std::string trash = h + "/.local/share/Trash";
};

// Moves one path as the screens do and returns the item its run records.
MovedItem moved(const std::string& path) {
    const auto outcomes = CleanupExecutor::run({{path, 0}}, CleanupExecutor::Mode::moveToTrash,
                                               CleanupPolicy::standard().allowing({fs::path(path).parent_path()}),
                                               std::nullopt);
    EXPECT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].moved()) << (outcomes[0].refusal() ? outcomes[0].refusal()->description() : outcomes[0].failure() ? *outcomes[0].failure() : "");
    const SweepRun run = ManualRun::make(outcomes, "test");
    EXPECT_EQ(run.moved.size(), 1u);
    return run.moved.at(0);
}

RestoreOutcome restore(const MovedItem& item, const std::string& root) {
    const auto outcomes = RestoreExecutor::run({item}, CleanupPolicy::standard().allowing({root}));
    EXPECT_EQ(outcomes.size(), 1u);
    return outcomes.at(0);
}

} // namespace

// What happened in the Trash since the move, and whether "Put back" may take the entry.
TEST(RestoreIdentity, OnlyTheEntrySorvelMovedComesBack) {
    struct Case {
        const char* what;
        std::function<void(Home&, const MovedItem&)> meanwhile;
        bool restored;
    };
    const std::vector<Case> cases = {
        {"untouched", [](Home&, const MovedItem&) {}, true},
        {"renamed inside the Trash and back keeps its identity",
         [](Home&, const MovedItem& item) {
             fs::rename(item.trashPath, item.trashPath + ".x");
             fs::rename(item.trashPath + ".x", item.trashPath);
         },
         true},
        {"emptied, then another tool trashed a same-named file from elsewhere",
         [](Home& home, const MovedItem& item) {
             fs::remove_all(home.trash);
             test::writeFile(home.h + "/Documents/report.txt", "thesis");
             test::writeFile(item.trashPath, "thesis");
             test::writeFile(home.trash + "/info/report.txt.trashinfo",
                             TrashInfo::text(home.h + "/Documents/report.txt", 0));
             fs::remove(home.h + "/Documents/report.txt");
         },
         false},
        {"emptied, then a new file from the same place took the name",
         [](Home& home, const MovedItem& item) {
             fs::remove_all(home.trash);
             test::writeFile(item.originalPath, "a new draft");
             ASSERT_TRUE(Trash::moveItem(item.originalPath).moved());
         },
         false},
        {"its record is gone",
         [](Home& home, const MovedItem&) { fs::remove(home.trash + "/info/report.txt.trashinfo"); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Home home;
        test::writeFile(home.h + "/Work/report.txt", "the report");
        const MovedItem item = moved(home.h + "/Work/report.txt");
        ASSERT_EQ(item.trashPath, home.trash + "/files/report.txt");
        const std::string before = test::readFile(item.trashPath);
        c.meanwhile(home, item);
        const std::string inTrash = test::readFile(item.trashPath);

        const RestoreOutcome outcome = restore(item, home.h + "/Work");
        if (c.restored) {
            EXPECT_TRUE(outcome.restored());
            EXPECT_EQ(test::readFile(item.originalPath), before);
            continue;
        }
        if (!outcome.refusal()) {
            ADD_FAILURE() << "put back";
            continue;
        }
        EXPECT_EQ(outcome.refusal()->description(), kNotTheItem);
        // Nothing touched: the entry and whatever record it has stay where they are.
        EXPECT_FALSE(test::exists(item.originalPath));
        EXPECT_EQ(test::readFile(item.trashPath), inTrash);
    }
}

// Items recorded before the identity was kept still come back when the record names them.
TEST(RestoreIdentity, ItemsStoredWithoutIdentityAreJudgedByTheirRecord) {
    Home home;
    test::writeFile(home.h + "/Work/old.txt", "old");
    const MovedItem full = moved(home.h + "/Work/old.txt");
    const MovedItem plain{full.originalPath, full.trashPath, full.size};
    SweepRun run;
    run.moved = {plain};
    auto decoded = SweepRun::fromJSON(run.toJSON());
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(restore(decoded->moved.at(0), home.h + "/Work").restored());
    EXPECT_EQ(test::readFile(home.h + "/Work/old.txt"), "old");
}
