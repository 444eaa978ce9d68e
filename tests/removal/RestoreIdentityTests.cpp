// A restore puts back only the item a run moved: the Trash entry's record must name the
// run's original path, and the entry must still be the same file system object.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "platform/Trash.h"
#include "platform/TrashInfo.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "support/MoveToTrash.h"
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

MovedItem movedFromWork(const Home& home, const std::string& name, bool folder = false) {
    test::writeFile(home.h + "/Work/" + name + (folder ? "/f" : ""), "the real one");
    return moved(home.h + "/Work/" + name);
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
             ASSERT_TRUE(test::moveToTrash(item.originalPath).moved());
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

// Contents written since the move come back; another object under the same name does not.
TEST(RestoreIdentity, AMovedItemIsKnownByWhatARenameKeeps) {
    using Meanwhile = std::function<void(Home&, MovedItem&)>;
    const auto othersRecord = [](Home& h, const MovedItem& i) {
        test::writeFile(h.trash + "/info/cache.trashinfo", TrashInfo::text(i.originalPath, 0));
    };
    const std::tuple<const char*, bool, Meanwhile, bool> cases[] = {
        {"a folder written into", true, [](Home&, MovedItem& i) {
             test::writeFile(i.trashPath + "/written meanwhile", "new");
             fs::last_write_time(i.trashPath, fs::last_write_time(i.trashPath) + std::chrono::seconds(5));
         }, true},
        {"a file written to", false, [](Home&, MovedItem& i) { test::writeFile(i.trashPath, "a longer one"); }, false},
        {"emptied, then another tool trashed a same-named folder from there", true, [&](Home& h, MovedItem& i) {
             fs::remove_all(h.trash);
             test::writeFile(i.originalPath + "/f", "a newer cache");
             test::makeDirs(h.trash + "/files");
             fs::rename(i.originalPath, i.trashPath);
             othersRecord(h, i);
         }, false},
        {"its inode number used again by an item born later", true, [](Home&, MovedItem& i) {
             if (i.identity->bornNanoseconds) *i.identity->bornNanoseconds -= 1'000'000'000;
             else i.identity->inode ^= 1; // no birth times here: a plainly other number
         }, false},
        {"no birth time: under another tool's record", true,
         [&](Home& h, MovedItem& i) { i.identity->bornNanoseconds.reset(), othersRecord(h, i); }, false},
    };
    for (const auto& [what, folder, meanwhile, restored] : cases) {
        SCOPED_TRACE(what);
        Home home;
        MovedItem item = movedFromWork(home, "cache", folder);
        ASSERT_TRUE(item.identity);
        meanwhile(home, item);
        const RestoreOutcome outcome = restore(item, home.h + "/Work");
        EXPECT_EQ(test::exists(item.originalPath), restored);
        EXPECT_EQ(outcome.refusal() ? std::optional(*outcome.refusal()) : std::nullopt,
                  restored ? std::nullopt : std::optional(RestoreGuard::Refusal::notTheMovedItem()));
    }
}

// The Trash entry swapped with another file during the put back: back whole or left in the Trash.
TEST(RestoreIdentity, AnEntrySwappedDuringThePutBackNeverTakesItsPlace) {
    Home home;
    const std::string decoy = home.h + "/decoy";
    const auto inode = [](const std::string& path) { return Trash::identityOf(path).value_or(Trash::Identity{}).inode; };
    int restored = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const std::string name = "item" + std::to_string(round);
        const MovedItem item = movedFromWork(home, name);
        const auto real = inode(item.trashPath);
        ASSERT_NE(real, 0u);
        test::writeFile(decoy, "an impostor");
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            for (int i = 0; i < 1'000'000 && !stop; ++i)
                ::renameat2(AT_FDCWD, item.trashPath.c_str(), AT_FDCWD, decoy.c_str(), RENAME_EXCHANGE);
        });
        const bool back = restore(item, home.h + "/Work").restored();
        stop = true;
        swapper.join();
        const auto isReal = [&](const std::string& path) { return inode(path) == real; };
        const bool inTrash = test::exists(home.trash + "/info/" + name + ".trashinfo");
        ASSERT_EQ(test::exists(item.originalPath), back);
        // Left in the Trash, the last exchange may have left it at the other name.
        ASSERT_TRUE(back ? isReal(item.originalPath) && !inTrash : inTrash && (isReal(item.trashPath) || isReal(decoy)));
        restored += back;
        fs::remove(decoy);
    }
    EXPECT_GT(restored, 0);
}
