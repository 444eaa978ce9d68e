// Nothing already in a Trash is moved again: it would free nothing yet count as freed.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "platform/MountTable.h"
#include "platform/Trash.h"
#include "removal/CleanupExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Refusal = CleanupGuard::Refusal;

TEST(CleanupGuardTrash, PathsInsideATrashAreRefused) {
    test::FakeHome home;
    const std::string trash = home / ".local/share/Trash";
    test::writeFile(trash + "/files/old/data", "deleted already");
    test::writeFile(trash + "/info/old.trashinfo", "[Trash Info]\n");
    test::writeFile(home / "Library/Caches/real/data", "a cache");
    test::makeDirs(home / "Library/Caches");
    std::filesystem::create_directory_symlink(trash + "/files", home / "Library/Caches/via-link");

    const std::string uid = std::to_string(::geteuid());
    const bool shmIsMounted = [] {
        for (const auto& mount : readMountTable())
            if (mount.mountPoint == "/dev/shm") return true;
        return false;
    }();
    // "/dev" is protected; only the file system matters here.
    auto shmPolicy = CleanupPolicy::standard().allowing({"/dev/shm"});
    std::erase(shmPolicy.deniedPrefixes, "/dev");
    struct Case {
        std::string path;
        CleanupPolicy policy;
        std::optional<Refusal> refusal;
    };
    std::vector<Case> cases = {
        {trash + "/files/old", CleanupPolicy::standard(), Refusal::insideTrash()},
        {trash + "/files/old/data", CleanupPolicy::standard(), Refusal::insideTrash()},
        {trash + "/info/old.trashinfo", CleanupPolicy::standard(), Refusal::insideTrash()},
        {trash + "/files", CleanupPolicy::standard(), Refusal::insideTrash()},
        // Written as a cache, but really inside the Trash.
        {home / "Library/Caches/via-link/old", CleanupPolicy::standard(), Refusal::insideTrash()},
        {home / "Library/Caches/real", CleanupPolicy::standard(), std::nullopt},
        // A Trash at the top of another file system, whether or not the item exists.
        {"/dev/shm/.Trash-" + uid + "/files/x", shmPolicy, Refusal::insideTrash()},
    };
    if (!shmIsMounted) cases.pop_back();
    for (const auto& c : cases) {
        const auto refusal = CleanupGuard::check(c.path, 0, c.policy, std::nullopt);
        EXPECT_EQ(refusal, c.refusal) << c.path << ": " << (refusal ? refusal->description() : "allowed");
    }
    EXPECT_EQ(Refusal::insideTrash().description(), "already in the Trash; moving it there again frees nothing");

    // A real run frees nothing and leaves the Trash as it was.
    const auto outcomes = CleanupExecutor::run({{trash + "/files/old", 15}}, CleanupExecutor::Mode::moveToTrash,
                                               CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_TRUE(outcomes[0].refusal());
    EXPECT_EQ(*outcomes[0].refusal(), Refusal::insideTrash());
    EXPECT_EQ(CleanupExecutor::freed(outcomes), 0);
    EXPECT_EQ(test::readFile(trash + "/files/old/data"), "deleted already");
    EXPECT_FALSE(test::exists(trash + "/files/old 2"));
}
