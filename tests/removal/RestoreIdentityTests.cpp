// A restore puts back only the item a run moved: the Trash entry's record must name the
// run's original path, and the entry must still be the same file system object.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <thread>

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

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path(), work = h + "/Work", trash = h + "/.local/share/Trash";

    // Moves one file of Work as the screens do and returns the item its run records.
    MovedItem move(const std::string& name, const std::string& content, bool folder = false) {
        test::writeFile(work + "/" + name + (folder ? "/f" : ""), content);
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
             ASSERT_TRUE(test::moveToTrash(item.originalPath).moved());
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

// Items recorded before the identity, or its birth time and kind, were kept still come
// back when the record names them; what is kept today reads back whole.
TEST(RestoreIdentity, ItemsStoredWithoutIdentityAreJudgedByTheirRecord) {
    Home home;
    const MovedItem full = home.move("old.txt", "old"), folder = home.move("old", "o", true);
    SweepRun run;
    run.moved = {MovedItem{full.originalPath, full.trashPath, full.size}, full, folder};
    nlohmann::json stored = run.toJSON();
    const auto decoded = SweepRun::fromJSON(stored);
    ASSERT_TRUE(decoded && folder.identity && folder.identity->folder);
    EXPECT_EQ(decoded->moved.at(1).identity, full.identity);
    EXPECT_EQ(decoded->moved.at(2).identity, folder.identity);
    for (const char* key : {"born", "folder"}) stored["moved"][1].erase(key);
    const auto older = SweepRun::fromJSON(stored);
    ASSERT_TRUE(older && older->moved.at(1).identity);
    EXPECT_FALSE(older->moved.at(1).identity->bornNanoseconds);
    EXPECT_TRUE(home.restore(decoded->moved.at(0)).restored());
    EXPECT_EQ(test::readFile(full.originalPath), "old");
}

// What happened to an item between its record and the put back, for an item whose place in
// the Trash is known and for one recorded ahead of its move (found after a crash): contents
// written since come back, a file's as a folder's; another object under the same name does not.
TEST(RestoreIdentity, AMovedItemIsKnownByWhatARenameKeeps) {
    using Meanwhile = std::function<void(Home&, MovedItem&)>;
    const auto othersRecord = [](Home& h, const MovedItem& i) {
        test::writeFile(h.trash + "/info/cache.trashinfo", TrashInfo::text(i.originalPath, 0));
    };
    const auto unborn = [](MovedItem& i) -> auto& { return i.identity->bornNanoseconds.reset(), *i.identity; };
    const std::tuple<const char*, bool, Meanwhile, bool> cases[] = {
        {"a folder written into", true, [](Home&, MovedItem& i) {
             test::writeFile(i.trashPath + "/written meanwhile", "new");
             fs::last_write_time(i.trashPath, fs::last_write_time(i.trashPath) + std::chrono::seconds(5));
         }, true},
        {"a file written to", false, [](Home&, MovedItem& i) { test::writeFile(i.trashPath, "a longer one"); }, true},
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
         [&](Home& h, MovedItem& i) { unborn(i), othersRecord(h, i); }, false},
        {"no birth time: under Sorvel's record, written into", true,
         [&](Home&, MovedItem& i) { unborn(i).modifiedNanoseconds -= 1; }, true},
        {"no birth time: under Sorvel's record, a file of another size", false,
         [&](Home&, MovedItem& i) { unborn(i).length += 1; }, true},
        {"no birth time: a file under another tool's record", false,
         [&](Home& h, MovedItem& i) { unborn(i), othersRecord(h, i); }, false},
    };
    for (const auto& [what, folder, meanwhile, restored] : cases) {
        for (const bool pending : {false, true}) {
            SCOPED_TRACE(std::string(what) + (pending ? ", recorded ahead of its move" : ""));
            Home home;
            MovedItem item = home.move("cache", "the report", folder);
            ASSERT_TRUE(item.identity);
            meanwhile(home, item);
            if (pending) item.trashPath.clear();
            const RestoreOutcome outcome = home.restore(item);
            EXPECT_EQ(test::exists(item.originalPath), restored);
            using Refusal = RestoreGuard::Refusal;
            const auto expected = pending ? Refusal::missingFromTrash() : Refusal::notTheMovedItem();
            EXPECT_EQ(outcome.refusal() ? std::optional(*outcome.refusal()) : std::nullopt,
                      restored ? std::nullopt : std::optional(expected));
        }
    }
}

// Another process swaps the Trash entry with another file while it is put back: each
// round ends with the item back and its record gone, or in the Trash with its record.
TEST(RestoreIdentity, AnEntrySwappedDuringThePutBackNeverTakesItsPlace) {
    Home home;
    const std::string decoy = home.h + "/decoy";
    const auto inode = [](const std::string& path) { return Trash::identityOf(path).value_or(Trash::Identity{}).inode; };
    int restored = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const std::string name = "item" + std::to_string(round);
        const MovedItem item = home.move(name, "the real one");
        const auto real = inode(item.trashPath);
        ASSERT_NE(real, 0u);
        test::writeFile(decoy, "an impostor");
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            for (int i = 0; i < 1'000'000 && !stop; ++i)
                ::renameat2(AT_FDCWD, item.trashPath.c_str(), AT_FDCWD, decoy.c_str(), RENAME_EXCHANGE);
        });
        const bool back = home.restore(item).restored();
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
