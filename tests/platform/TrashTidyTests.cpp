// Tidying the records that name nothing in the Trash: one is removed only while no move
// into that Trash is halfway, whatever its age, and a move waits on a tidy only so long.
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/TrashInfo.h"
#include "platform/TrashRecords.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

struct TidyHome {
    test::FakeHome home;
    std::string trash = home / ".local/share/Trash";
    int moves = 0;

    // Another opening of the Trash: its lock is another holder's, as in another process.
    Trash::Folder open() const {
        std::string error;
        auto folder = Trash::openHome(true, Trash::Use::moveInto, error);
        EXPECT_TRUE(folder) << error;
        return std::move(*folder);
    }
    // Sorvel's record of `name`, written `age` seconds ago, with nothing in files/.
    std::string record(const std::string& name, int age) const {
        const std::string path = trash + "/info/" + name + ".trashinfo";
        test::writeFile(path, TrashInfo::sorvelText(home / name, std::time(nullptr)));
        const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - age, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }
};

// Each tidy; the move's first use of the Trash in this process tidies it.
const std::pair<const char*, std::function<void(TidyHome&)>> kTidies[] = {
    {"at the window's start", [](TidyHome&) { Trash::Records({}).removeOrphans(); }},
    {"when asked", [](TidyHome& h) { Trash::removeOrphanRecordsNow(h.open()); }},
    {"at a move's first use", [](TidyHome& h) {
         const std::string item = h.home / ("item" + std::to_string(++h.moves));
         test::writeFile(item, "x");
         EXPECT_TRUE(test::moveToTrash(item).moved());
     }},
};

} // namespace

// A move halfway (its lock held shared elsewhere) keeps every record, however old, from
// each tidy; once no move is halfway the next tidy removes them.
TEST(TrashTidy, NoRecordGoesWhileAMoveIsHalfway) {
    for (const auto& [name, tidy] : kTidies) {
        for (const int age : {0, 75, 3600}) {
            TidyHome h;
            const std::string record = h.record("reserved", age);
            {
                const Trash::Folder folder = h.open();
                const Trash::MovesLock moving(folder, Trash::MovesLock::Mode::shared);
                ASSERT_TRUE(moving.held());
                tidy(h);
                EXPECT_TRUE(test::exists(record)) << name << ", " << age << " s old";
            }
            tidy(h);
            EXPECT_FALSE(test::exists(record)) << name << ", " << age << " s old, the move over";
        }
    }
}

// A tidy holding the lock (a stopped process) delays a move only up to the bound: the move
// then fails with its reason and leaves the item, and no record, behind.
TEST(TrashTidy, AMoveGivesUpOnAHeldTidyAfterItsBound) {
    TidyHome h;
    const std::string item = h.home / "kept";
    test::writeFile(item, "x");
    const auto before = Trash::setMoveWaitBound(std::chrono::milliseconds(20));
    {
        const Trash::Folder folder = h.open();
        const Trash::MovesLock tidying(folder, Trash::MovesLock::Mode::exclusiveIfFree);
        ASSERT_TRUE(tidying.held());
        const auto moved = test::moveToTrash(item);
        EXPECT_FALSE(moved.moved());
        EXPECT_NE(moved.error.find("held by another Sorvel process tidying it"), std::string::npos) << moved.error;
        EXPECT_EQ(test::readFile(item), "x");
        EXPECT_TRUE(fs::is_empty(h.trash + "/info"));
        EXPECT_TRUE(fs::is_empty(h.trash + "/files"));
    }
    Trash::setMoveWaitBound(before);
    EXPECT_TRUE(test::moveToTrash(item).moved()); // the tidy let go
}

namespace {

// Puts `item` back from the Trash while `meanwhile` runs between taking it out and removing
// its record; returns the record `meanwhile` says must stay.
std::string putBackWhile(const std::string& item, const std::function<std::string()>& meanwhile) {
    const auto moved = test::moveToTrash(item);
    EXPECT_TRUE(moved.moved()) << moved.error;
    std::string mustStay;
    Trash::setPauseHook([&](Trash::Pause at) {
        if (at == Trash::Pause::afterTakingOut) mustStay = meanwhile();
    });
    const FileDescriptor parent(Trash::openFolderNoFollow(deletingLastPathComponent(item)));
    const auto back = Trash::restoreEntry(*Trash::locate(*moved.trashPath), parent.get(), lastPathComponent(item),
                                          moved.identity);
    Trash::setPauseHook(nullptr);
    EXPECT_TRUE(back.restored) << back.code << " " << back.error;
    EXPECT_TRUE(test::exists(item));
    return mustStay;
}

} // namespace

// A put back beside the moves and tidies of another process: the record of an item that
// arrives under the same name, or another tool's record written there, is not removed.
TEST(TrashTidy, APutBackRemovesOnlyTheRecordItRead) {
    const std::pair<const char*, std::function<std::string(TidyHome&)>> cases[] = {
        {"a tidy, then a move of a same-named item",
         [](TidyHome& h) {
             EXPECT_EQ(Trash::removeOrphanRecordsNow(h.open()), -1); // the put back is halfway
             test::writeFile(h.home / "B/X", "new");
             const auto moved = test::moveToTrash(h.home / "B/X");
             EXPECT_TRUE(moved.moved()) << moved.error;
             return h.trash + "/info/" + lastPathComponent(moved.trashPath.value_or("?")) + ".trashinfo";
         }},
        {"another tool's record under the name",
         [](TidyHome& h) {
             const std::string record = h.trash + "/info/X.trashinfo";
             fs::remove(record);
             test::writeFile(record, TrashInfo::text(h.home / "C/X", 0));
             return record;
         }},
    };
    for (const auto& [what, meanwhile] : cases) {
        TidyHome h;
        test::writeFile(h.home / "A/X", "old");
        const std::string record = putBackWhile(h.home / "A/X", [&] { return meanwhile(h); });
        EXPECT_TRUE(test::exists(record)) << what << ": " << record;
    }
}

// A move killed while it makes the item's record leaves nothing that outlives the first
// tidy, however soon it comes: no record of nothing for file managers to list, empty or not.
TEST(TrashTidy, AMoveKilledWhileRecordingLeavesNothingPastTheFirstTidy) {
    for (const auto& [name, tidy] : kTidies) {
        SCOPED_TRACE(name);
        TidyHome h;
        const std::string item = h.home / "killed";
        test::writeFile(item, "x");
        const int status = test::runInChild([&] {
            Trash::setPauseHook([](Trash::Pause at) {
                if (at == Trash::Pause::whileRecording) ::raise(SIGKILL);
            });
            (void)test::moveToTrash(item);
            return 3; // never killed
        });
        ASSERT_EQ(status, -1);
        tidy(h);
        EXPECT_EQ(test::readFile(item), "x");
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(h.trash + "/info"))
            if (entry.path().filename().string().find("killed") != std::string::npos ||
                entry.path().extension() != ".trashinfo")
                left.push_back(entry.path().filename());
        EXPECT_TRUE(left.empty()) << left.front();
    }
}
