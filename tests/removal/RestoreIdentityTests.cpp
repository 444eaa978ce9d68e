// A restore puts back only the item a run moved: the Trash entry's record must name the
// run's original path, and the entry must still be the same file system object.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/Trash.h"
#include "platform/TrashInfo.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path(), work = h + "/Work", trash = h + "/.local/share/Trash";

    // Moves one file of Work as the screens do and returns the item its run records.
    MovedItem move(const std::string& name, const std::string& content) {
        test::writeFile(work + "/" + name, content);
        const auto outcomes = CleanupExecutor::run({{work + "/" + name, 0}}, CleanupExecutor::Mode::moveToTrash,
                                                   CleanupPolicy::standard().allowing({work}), std::nullopt);
        EXPECT_TRUE(outcomes.size() == 1 && outcomes[0].moved());
        return ManualRun::make(outcomes, "test").moved.at(0);
    }
    RestoreOutcome restore(const MovedItem& item) {
        return RestoreExecutor::run({item}, CleanupPolicy::standard().allowing({work})).at(0);
    }
};

} // namespace

// What happened in the Trash since the move, and whether "Put back" may take the entry.
TEST(RestoreIdentity, OnlyTheEntrySorvelMovedComesBack) {
    using Meanwhile = std::function<void(Home&, const MovedItem&)>;
    const std::vector<std::tuple<const char*, Meanwhile, bool>> cases = {
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
             test::writeFile(item.trashPath, "thesis");
             test::writeFile(home.trash + "/info/report.txt.trashinfo",
                             TrashInfo::text(home.h + "/Documents/report.txt", 0));
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
    for (const auto& [what, meanwhile, restored] : cases) {
        SCOPED_TRACE(what);
        Home home;
        const MovedItem item = home.move("report.txt", "the report");
        ASSERT_EQ(item.trashPath, home.trash + "/files/report.txt");
        meanwhile(home, item);
        const std::string inTrash = test::readFile(item.trashPath);
        const RestoreOutcome outcome = home.restore(item);
        if (restored) {
            EXPECT_TRUE(outcome.restored());
            EXPECT_EQ(test::readFile(item.originalPath), "the report");
            continue;
        }
        ASSERT_TRUE(outcome.refusal()) << "put back";
        EXPECT_EQ(outcome.refusal()->description(), "no longer the item Sorvel moved");
        EXPECT_FALSE(test::exists(item.originalPath)); // nothing touched
        EXPECT_EQ(test::readFile(item.trashPath), inTrash);
    }
}

// Items recorded before the identity was kept still come back when the record names them.
TEST(RestoreIdentity, ItemsStoredWithoutIdentityAreJudgedByTheirRecord) {
    Home home;
    const MovedItem full = home.move("old.txt", "old");
    SweepRun run;
    run.moved = {MovedItem{full.originalPath, full.trashPath, full.size}};
    const auto decoded = SweepRun::fromJSON(run.toJSON());
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(home.restore(decoded->moved.at(0)).restored());
    EXPECT_EQ(test::readFile(full.originalPath), "old");
}
