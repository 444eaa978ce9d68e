// Putting items back from the Trash: every refusal of the guard, real restores on a fake
// home, and that nothing is ever overwritten.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Trash.h"
#include "removal/RestoreExecutor.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;
namespace fs = std::filesystem;
using Refusal = RestoreGuard::Refusal;

namespace {

struct Home {
    test::FakeHome home;
    std::string h = home.path();
    std::string trash = h + "/.local/share/Trash";
    std::string files = trash + "/files";

    // Creates a cache folder with one file and moves it to the Trash the way a cleanup does.
    MovedItem trashed(const std::string& relative, const std::string& contents = "cache bytes") {
        const std::string original = h + "/" + relative;
        test::writeFile(original + "/data.bin", contents);
        auto moved = test::moveToTrash(original);
        EXPECT_TRUE(moved.moved()) << moved.error;
        return MovedItem{original, moved.trashPath.value_or("Trash"), static_cast<int64_t>(contents.size())};
    }
};

std::optional<Refusal> check(const MovedItem& item) { return RestoreGuard::check(item, CleanupPolicy::standard()); }

} // namespace

TEST(RestoreGuardRefusals, PlaceholderAndOtherTrashesAreNotInTheTrash) {
    Home home;
    MovedItem item = home.trashed("Library/Caches/com.example.app");
    EXPECT_EQ(check({item.originalPath, "Trash", 1}), Refusal::notInTrash());
    EXPECT_EQ(check({item.originalPath, home.trash, 1}), Refusal::notInTrash());
    EXPECT_EQ(check({item.originalPath, home.files, 1}), Refusal::notInTrash());
    EXPECT_EQ(check({item.originalPath, home.files + "/", 1}), Refusal::notInTrash());
    // The record beside it, or an item one level down, is not an item the Trash holds.
    EXPECT_EQ(check({item.originalPath, home.trash + "/info/com.example.app.trashinfo", 1}), Refusal::notInTrash());
    EXPECT_EQ(check({item.originalPath, item.trashPath + "/data.bin", 1}), Refusal::notInTrash());
    EXPECT_EQ(check({item.originalPath, "", 1}), Refusal::notInTrash());

    test::TempDir volume; // another volume's Trash, with the item really there
    test::writeFile(volume / ".Trashes/501/com.example.app/data.bin", "x");
    EXPECT_EQ(check({item.originalPath, volume / ".Trashes/501/com.example.app", 1}), Refusal::notInTrash());
    EXPECT_EQ(check({item.originalPath, home.files + "/../../Documents/x", 1}), Refusal::notInTrash());
    // The old place a previous version used is no Trash at all.
    test::writeFile(home.h + "/.Trash/com.example.app/data.bin", "x");
    EXPECT_EQ(check({item.originalPath, home.h + "/.Trash/com.example.app", 1}), Refusal::notInTrash());
    EXPECT_EQ(Refusal::notInTrash().description(), "not in the Trash any more \u2014 Sorvel only ever restores from there");
    EXPECT_EQ(check(item), std::nullopt);
}

TEST(RestoreGuardRefusals, EmptiedTrashMeansMissing) {
    Home home;
    MovedItem a = home.trashed("Library/Caches/a"), b = home.trashed("Library/Logs/b");
    fs::remove_all(home.trash);
    test::makeDirs(home.files);
    EXPECT_EQ(check(a), Refusal::missingFromTrash());
    EXPECT_EQ(check(b), Refusal::missingFromTrash());
    EXPECT_EQ(Refusal::missingFromTrash().description(), "gone from the Trash; it was emptied or the item was moved");
}

TEST(RestoreGuardRefusals, OccupiedDestinationIsNeverOverwritten) {
    Home home;
    MovedItem item = home.trashed("Library/Caches/com.example.app", "old");
    test::writeFile(item.originalPath + "/data.bin", "re-created by the app");
    EXPECT_EQ(check(item), Refusal::destinationOccupied());

    auto outcomes = RestoreExecutor::run({item}, CleanupPolicy::standard());
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_TRUE(outcomes[0].refusal());
    EXPECT_EQ(*outcomes[0].refusal(), Refusal::destinationOccupied());
    EXPECT_EQ(test::readFile(item.originalPath + "/data.bin"), "re-created by the app");
    EXPECT_EQ(test::readFile(item.trashPath + "/data.bin"), "old");

    fs::remove_all(item.originalPath);
    fs::create_symlink(home.h + "/nowhere", item.originalPath); // a dangling link occupies too
    EXPECT_EQ(check(item), Refusal::destinationOccupied());
    EXPECT_EQ(Refusal::destinationOccupied().description(),
              "something is already at the original path, and Sorvel never overwrites");
}

TEST(RestoreGuardRefusals, ParentMissingOrNotAFolder) {
    Home home;
    MovedItem item = home.trashed("Library/Caches/com.example.app/Cache.db");
    fs::remove_all(home.h + "/Library/Caches/com.example.app");
    EXPECT_EQ(check(item), Refusal::destinationParentMissing());
    test::writeFile(home.h + "/Library/Caches/com.example.app", "a file now");
    EXPECT_EQ(check(item), Refusal::destinationParentMissing());
    EXPECT_EQ(Refusal::destinationParentMissing().description(), "the folder it came from no longer exists");
}

TEST(RestoreGuardRefusals, DestinationMustPassThePolicy) {
    Home home;
    // The allowed root itself: nothing there, its parent present.
    MovedItem root = home.trashed("Library/Caches");
    ASSERT_FALSE(test::exists(home.h + "/Library/Caches"));
    auto refusal = check(root);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(*refusal, Refusal::destinationNotAllowed(CleanupGuard::Refusal::tooShallow()));
    EXPECT_EQ(refusal->description().rfind("cannot be written back there \u2014 ", 0), 0u);
    EXPECT_EQ(refusal->description(), "cannot be written back there \u2014 " +
                                          CleanupGuard::Refusal::tooShallow().description());

    test::makeDirs(home.h + "/Library/Messages");
    MovedItem messages = home.trashed("Library/Messages/Attachments");
    EXPECT_EQ(check(messages),
              Refusal::destinationNotAllowed(CleanupGuard::Refusal::protectedPath(home.h + "/Library/Messages")));

    MovedItem documents = home.trashed("Documents/Project");
    EXPECT_EQ(check(documents), Refusal::destinationNotAllowed(CleanupGuard::Refusal::outsideAllowedRoots()));
}

TEST(RestoreGuardRefusals, ParentLinkedOutsideTheAllowedFoldersIsRefused) {
    Home home;
    MovedItem item = home.trashed("Library/Caches/com.example.app/Cache.db");
    fs::remove_all(home.h + "/Library/Caches/com.example.app");
    test::makeDirs(home.h + "/Documents");
    fs::create_symlink(home.h + "/Documents", home.h + "/Library/Caches/com.example.app");
    EXPECT_EQ(check(item), Refusal::destinationNotAllowed(CleanupGuard::Refusal::outsideAllowedRoots()));
    RestoreExecutor::run({item}, CleanupPolicy::standard());
    EXPECT_FALSE(test::exists(home.h + "/Documents/Cache.db"));
}

TEST(RestoreGuardRefusals, ItemReachedThroughALinkIsNotInTheTrash) {
    Home home;
    test::writeFile(home.h + "/Documents/thesis/draft.tex", "mine");
    test::makeDirs(home.files);
    fs::create_symlink(home.h + "/Documents", home.files + "/docs");
    test::makeDirs(home.h + "/Library/Caches");
    const MovedItem item{home.h + "/Library/Caches/thesis", home.files + "/docs/thesis", 4};
    EXPECT_EQ(check(item), Refusal::notInTrash());
    RestoreExecutor::run({item}, CleanupPolicy::standard());
    EXPECT_EQ(test::readFile(home.h + "/Documents/thesis/draft.tex"), "mine");
}

TEST(RestoreExecutorRun, PutsItemsBackInOrderAndCountsOnlyRestored) {
    Home home;
    MovedItem a = home.trashed("Library/Caches/com.example.a", "aaaa");
    MovedItem b = home.trashed("Library/Logs/Example/old.log", "bb");
    MovedItem c = home.trashed("Library/Caches/com.example.c", "cccccc");
    test::writeFile(c.originalPath, "taken");
    const MovedItem gone{home.h + "/Library/Caches/gone", home.files + "/gone", 100};

    auto outcomes = RestoreExecutor::run({a, gone, b, c}, CleanupPolicy::standard());
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0].item, a);
    EXPECT_TRUE(outcomes[0].restored());
    EXPECT_EQ(*outcomes[1].refusal(), Refusal::missingFromTrash());
    EXPECT_TRUE(outcomes[2].restored());
    EXPECT_EQ(*outcomes[3].refusal(), Refusal::destinationOccupied());
    EXPECT_NE(outcomes[0].id, outcomes[2].id);
    EXPECT_EQ(RestoreExecutor::restoredBytes(outcomes), 6);

    EXPECT_EQ(test::readFile(a.originalPath + "/data.bin"), "aaaa");
    EXPECT_EQ(test::readFile(b.originalPath + "/data.bin"), "bb");
    EXPECT_FALSE(test::exists(a.trashPath));
    EXPECT_FALSE(test::exists(b.trashPath));
    EXPECT_EQ(test::readFile(c.trashPath + "/data.bin"), "cccccc");
}

TEST(RestoreExecutorRun, ParentLinkedInsideTheAllowedFoldersPasses) {
    Home home;
    MovedItem item = home.trashed("Library/Caches/linked/Cache.db", "db");
    fs::remove_all(home.h + "/Library/Caches/linked");
    test::makeDirs(home.h + "/Library/Caches/real");
    fs::create_symlink(home.h + "/Library/Caches/real", home.h + "/Library/Caches/linked");
    auto outcomes = RestoreExecutor::run({item}, CleanupPolicy::standard());
    ASSERT_TRUE(outcomes[0].restored());
    EXPECT_EQ(test::readFile(home.h + "/Library/Caches/real/Cache.db/data.bin"), "db");
}

TEST(RestoreExecutorRun, EmptyListAndFailedMoves) {
    Home home;
    EXPECT_TRUE(RestoreExecutor::run({}, CleanupPolicy::standard()).empty());
    EXPECT_EQ(RestoreExecutor::restoredBytes({}), 0);

    MovedItem item = home.trashed("Library/Caches/com.example.locked/sub", "z");
    const std::string parent = home.h + "/Library/Caches/com.example.locked";
    const std::string scratch = home.h + "/result";
    if (::geteuid() == 0) {
        for (auto& entry : fs::recursive_directory_iterator(home.h))
            [[maybe_unused]] int rc = ::lchown(entry.path().c_str(), 65534, 65534);
        [[maybe_unused]] int rc = ::lchown(home.h.c_str(), 65534, 65534);
    }
    ::chmod(parent.c_str(), 0555);
    auto body = [&] {
        auto outcomes = RestoreExecutor::run({item}, CleanupPolicy::standard());
        if (outcomes.size() != 1 || !outcomes[0].failure()) return 1;
        if (outcomes[0].failure()->find("permission") == std::string::npos) return 2;
        return RestoreExecutor::restoredBytes(outcomes) == 0 ? 0 : 3;
    };
    const int status = ::geteuid() == 0 ? test::runAsUnprivileged(body) : body();
    EXPECT_EQ(status, 0);
    ::chmod(parent.c_str(), 0755);
    EXPECT_EQ(test::readFile(item.trashPath + "/data.bin"), "z");
}

TEST(RestoreGuardRefusals, TrashThatIsALinkIsNotTheTrash) {
    test::FakeHome home;
    const std::string h = home.path();
    test::writeFile(h + "/elsewhere/files/item/data.bin", "not trashed");
    test::makeDirs(h + "/elsewhere/info");
    test::makeDirs(h + "/Library/Caches");
    test::makeDirs(h + "/.local/share");
    std::filesystem::create_symlink(h + "/elsewhere", h + "/.local/share/Trash");
    const MovedItem item{h + "/Library/Caches/item", h + "/.local/share/Trash/files/item", 11};
    EXPECT_EQ(check(item), Refusal::notInTrash());
    RestoreExecutor::run({item}, CleanupPolicy::standard());
    EXPECT_EQ(test::readFile(h + "/elsewhere/files/item/data.bin"), "not trashed");
}

TEST(RestoreExecutorRun, RestoredBytesOfHostileSizesDoNotOverflow) {
    RestoreOutcome big;
    big.item = MovedItem{"/a", "/b", INT64_MAX};
    RestoreOutcome more = big;
    more.item.size = 5;
    RestoreOutcome refused = big;
    refused.result = RestoreOutcome::Refused{RestoreGuard::Refusal::notInTrash()};
    EXPECT_EQ(RestoreExecutor::restoredBytes({big, more, refused}), INT64_MAX);
}

// Depth is measured below the deepest allowed root that holds the path, as in the cleanup
// guard; of equally deep ones, the first.
TEST(RestoreGuardRefusals, DepthCountsFromTheDeepestRootThatHoldsThePath) {
    Home home;
    const std::string a = home.h + "/Projects/a";
    using GuardRefusal = CleanupGuard::Refusal;
    const std::tuple<std::vector<std::string>, std::string, std::optional<GuardRefusal>> cases[] = {
        {{a, a + "/b"}, a + "/b", GuardRefusal::tooShallow()},
        {{a + "/b", a}, a + "/b", GuardRefusal::tooShallow()},
        {{a, a + "/b"}, a + "/b/c", std::nullopt},
    };
    for (const auto& [roots, path, refusal] : cases)
        EXPECT_EQ(RestoreGuard::destinationRefusal(path, CleanupPolicy::standard().allowing(roots)), refusal) << path;

    // A whole added folder put back where it was: it was the root of its own, deeper one.
    const MovedItem item = home.trashed("Library/Caches/app");
    const auto policy = CleanupPolicy::standard().allowing({home.h + "/Library/Caches/app"});
    EXPECT_EQ(RestoreGuard::check(item, policy), Refusal::destinationNotAllowed(GuardRefusal::tooShallow()));
}
