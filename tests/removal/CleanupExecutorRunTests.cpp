// Dry runs and real moves into the Trash of a fake home.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"
#include "platform/Trash.h"
#include "removal/CleanupExecutor.h"
#include "removal/GuardFixtures.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Mode = CleanupExecutor::Mode;
using sorvel::CleanupGuard::Refusal;

namespace {

std::vector<CleanupExecutor::PathSize> measuredItems(const std::vector<std::string>& paths) {
    std::vector<CleanupExecutor::PathSize> items;
    for (const auto& p : paths) items.push_back({p, test::independentTotal(p)});
    return items;
}

} // namespace

TEST(CleanupExecutorDryRun, ReportsEveryEighthCheckAndTheLastAndTouchesNothing) {
    test::FakeHome home;
    std::vector<CleanupExecutor::PathSize> items;
    for (int i = 0; i < 20; ++i) {
        const std::string path = home / ("Library/Caches/app" + std::to_string(i));
        test::writeFile(path + "/blob", std::string(100 + i, 'x'));
        items.push_back({path, test::independentTotal(path)});
    }
    items.push_back({home / "Library/Mail/V10", 5}); // refused

    std::mutex lock;
    std::vector<std::pair<int, int>> reports;
    const auto outcomes = CleanupExecutor::run(items, Mode::dryRun, CleanupPolicy::standard(), std::nullopt,
                                               [&](int done, int total) {
                                                   std::lock_guard g(lock);
                                                   reports.emplace_back(done, total);
                                               });
    ASSERT_EQ(outcomes.size(), 21u);
    std::multiset<int> dones;
    for (auto [done, total] : reports) {
        EXPECT_EQ(total, 21);
        dones.insert(done);
    }
    EXPECT_EQ(dones, (std::multiset<int>{8, 16, 21}));
    EXPECT_EQ(std::count_if(outcomes.begin(), outcomes.end(), [](auto& o) { return o.wouldMove(); }), 20);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(test::exists(home / ("Library/Caches/app" + std::to_string(i) + "/blob")));
    EXPECT_FALSE(test::exists(home / ".local/share/Trash"));
}

TEST(CleanupExecutorMove, MovesUnderDistinctNamesAndNeverOverwrites) {
    test::FakeHome home;
    test::writeFile(home / ".local/share/Trash/files/cache", "already in the Trash");
    ::chmod((home / ".local/share/Trash").c_str(), 0700);
    test::writeFile(home / "Library/Caches/one/cache/a", std::string(12000, 'a'));
    test::writeFile(home / "Library/Caches/two/cache/b", std::string(8000, 'b'));
    test::writeFile(home / "Library/Logs/cache", std::string(1000, 'c'));

    std::vector<std::pair<int, int>> reports;
    const auto outcomes = CleanupExecutor::run(
        measuredItems({home / "Library/Caches/one/cache", home / "Library/Caches/two/cache", home / "Library/Logs/cache"}),
        Mode::moveToTrash, CleanupPolicy::standard(), std::nullopt,
        [&](int done, int total) { reports.emplace_back(done, total); });

    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    std::set<std::string> landed;
    for (const auto& o : outcomes) {
        ASSERT_TRUE(o.moved()) << o.path << ": " << (o.failure() ? *o.failure() : "refused");
        landed.insert(std::get<CleanupOutcome::MovedToTrash>(o.result).trashPath);
        EXPECT_FALSE(test::exists(o.path));
    }
    EXPECT_EQ(landed, (std::set<std::string>{home / ".local/share/Trash/files/cache 2", home / ".local/share/Trash/files/cache 3", home / ".local/share/Trash/files/cache 4"}));
    EXPECT_EQ(test::readFile(home / ".local/share/Trash/files/cache"), "already in the Trash");
    // Contents travel with their folder.
    EXPECT_EQ(test::readFile(std::get<CleanupOutcome::MovedToTrash>(outcomes[0].result).trashPath + "/a"),
              std::string(12000, 'a'));
}

TEST(CleanupExecutorMove, APathGoneSinceTheDryRunIsRefusedAndTheNextStillMoves) {
    test::FakeHome home;
    test::writeFile(home / "Library/Caches/first/x", std::string(9000, '1'));
    test::writeFile(home / "Library/Caches/second/x", std::string(5000, '2'));
    test::writeFile(home / "Library/Caches/third/x", std::string(100, '3'));
    const auto items = measuredItems(
        {home / "Library/Caches/first", home / "Library/Caches/second", home / "Library/Caches/third"});

    const auto dry = CleanupExecutor::run(items, Mode::dryRun, CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(dry.size(), 3u);
    for (const auto& o : dry) EXPECT_TRUE(o.wouldMove()) << o.path;

    std::filesystem::remove_all(home / "Library/Caches/second");
    const auto real = CleanupExecutor::run(items, Mode::moveToTrash, CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(real.size(), 3u);
    EXPECT_TRUE(real[0].moved());
    ASSERT_NE(real[1].refusal(), nullptr);
    EXPECT_EQ(*real[1].refusal(), Refusal::notFound());
    EXPECT_EQ(real[1].refusal()->description(), "no longer exists");
    EXPECT_TRUE(real[2].moved());
    EXPECT_EQ(CleanupExecutor::freed(real), items[0].size + items[2].size);
}

TEST(CleanupExecutorMove, GrowthSinceTheDryRunIsRefusedAtTheMove) {
    test::FakeHome home;
    test::writeFile(home / "Library/Caches/busy/log", std::string(4096, 'l'));
    const auto items = measuredItems({home / "Library/Caches/busy"});
    test::writeFile(home / "Library/Caches/busy/log2", std::string(40960, 'l'));
    const auto real = CleanupExecutor::run(items, Mode::moveToTrash, CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(real.size(), 1u);
    ASSERT_NE(real[0].refusal(), nullptr);
    EXPECT_EQ(real[0].refusal()->kind, Refusal::Kind::sizeChanged);
    EXPECT_TRUE(test::exists(home / "Library/Caches/busy/log2"));
}

TEST(CleanupExecutorMove, AParentTurnedIntoALinkMidRunMovesNothingElsewhere) {
    // After the first move, the parent of the second item is swapped for a link to a
    // folder outside the allowed roots that holds an item of the same name.
    test::FakeHome home;
    test::TempDir elsewhere;
    test::writeFile(home / "Library/Caches/a/big", std::string(8000, 'a'));
    test::writeFile(home / "Library/Caches/b/victim", std::string(10, 'b'));
    test::writeFile(elsewhere / "victim", std::string(10, 'v'));
    const auto items = std::vector<CleanupExecutor::PathSize>{{home / "Library/Caches/a", 0},
                                                                {home / "Library/Caches/b/victim", 0}};
    const auto real = CleanupExecutor::run(items, Mode::moveToTrash, CleanupPolicy::standard(), std::nullopt,
                                           [&](int done, int) {
                                               if (done != 1) return;
                                               std::filesystem::remove_all(home / "Library/Caches/b");
                                               std::filesystem::create_directory_symlink(elsewhere.path(),
                                                                                         home / "Library/Caches/b");
                                           });
    ASSERT_EQ(real.size(), 2u);
    EXPECT_TRUE(real[0].moved());
    ASSERT_NE(real[1].refusal(), nullptr);
    EXPECT_EQ(*real[1].refusal(), Refusal::outsideAllowedRoots());
    EXPECT_EQ(test::readFile(elsewhere / "victim"), std::string(10, 'v'));
}

TEST(CleanupExecutorMove, NamesWithNewlinesAndOddBytesMove) {
    test::FakeHome home;
    const std::string name = "two\nlines \xC3\x28 bad";
    test::writeFile(home / ("Library/Caches/" + name), "x");
    const auto real = CleanupExecutor::run({{home / ("Library/Caches/" + name), 0}}, Mode::moveToTrash,
                                           CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(real.size(), 1u);
    ASSERT_TRUE(real[0].moved());
    EXPECT_EQ(std::get<CleanupOutcome::MovedToTrash>(real[0].result).trashPath, home / (".local/share/Trash/files/" + name));
    EXPECT_EQ(test::readFile(home / (".local/share/Trash/files/" + name)), "x");
}

TEST(CleanupExecutorMove, AnotherFileSystemUsesItsOwnTrashWithoutCopying) {
    struct stat shm, tmp;
    test::FakeHome home;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(home.path().c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system to move across";
    char pattern[] = "/dev/shm/sorvel-xdev-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string other = pattern;
    test::writeFile(other + "/item/data", "stay here");

    struct stat before;
    ASSERT_EQ(::stat((other + "/item/data").c_str(), &before), 0);
    const std::string own = "/dev/shm/.Trash-" + std::to_string(::geteuid());

    // "/dev" is protected; only the file system matters here.
    auto policy = CleanupPolicy::standard().allowing({other});
    std::erase(policy.deniedPrefixes, "/dev");
    const auto real = CleanupExecutor::run({{other + "/item", 0}}, Mode::moveToTrash, policy, std::nullopt);
    ASSERT_EQ(real.size(), 1u);
    if (real[0].moved()) {
        const std::string landed = std::get<CleanupOutcome::MovedToTrash>(real[0].result).trashPath;
        EXPECT_EQ(landed.rfind(own + "/files/item", 0), 0u) << landed;
        struct stat after;
        ASSERT_EQ(::stat((landed + "/data").c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino); // renamed, never copied
        std::filesystem::remove_all(landed);
        std::filesystem::remove(own + "/info/" + lastPathComponent(landed) + ".trashinfo");
    } else {
        ASSERT_NE(real[0].failure(), nullptr);
        EXPECT_NE(real[0].failure()->find("another file system"), std::string::npos) << *real[0].failure();
        EXPECT_EQ(test::readFile(other + "/item/data"), "stay here");
    }
    EXPECT_FALSE(test::exists(home / ".local/share/Trash/files/item"));
    std::filesystem::remove_all(other);
}

TEST(CleanupExecutorMove, AFolderTheUserCannotWriteIsRefusedAsUnprivileged) {
    test::FakeHome home;
    test::writeFile(home / "Library/Caches/rootowned/x", "x");
    ::chmod((home / "Library/Caches/rootowned").c_str(), 0555);
    const std::string path = home / "Library/Caches/rootowned";
    const int status = test::runAsUnprivileged([&] {
        const auto real = CleanupExecutor::run({{path, 0}}, Mode::moveToTrash, CleanupPolicy::standard(), std::nullopt);
        return real.size() == 1 && real[0].refusal() && *real[0].refusal() == Refusal::notWritable() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::exists(home / "Library/Caches/rootowned/x"));
}

TEST(CleanupExecutorMove, AWritableItemInAFolderTheUserCannotWriteFailsAsUnprivileged) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the home to another user";
    test::TempDir base;
    const std::string home = base / "nobody";
    test::makeDirs(home + "/Library/Caches/locked");
    test::writeFile(home + "/Library/Caches/locked/item", "mine");
    for (const char* p : {"", "/Library", "/Library/Caches", "/Library/Caches/locked/item"})
        test::giveToNobody(home + p);
    const std::string path = home + "/Library/Caches/locked/item";
    const int status = test::runAsUnprivileged([&] {
        test::ScopedEnv env("HOME", home);
        const auto real = CleanupExecutor::run({{path, 0}}, Mode::moveToTrash, CleanupPolicy::standard(), std::nullopt);
        if (real.size() != 1 || !real[0].failure()) return 1;
        return *real[0].failure() == "You do not have permission to move the item to the Trash." ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::readFile(path), "mine");
}

TEST(CleanupExecutorMove, AHomeBehindALinkStillMoves) {
    test::TempDir real;
    test::TempDir links;
    const std::string home = links / "home";
    ASSERT_EQ(::symlink(real.path().c_str(), home.c_str()), 0);
    test::ScopedEnv env("HOME", home);
    test::writeFile(real / "Library/Caches/app/x", "x");
    const auto out = CleanupExecutor::run({{home + "/Library/Caches/app", 0}}, Mode::moveToTrash,
                                          CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(out.size(), 1u);
    ASSERT_TRUE(out[0].moved()) << (out[0].failure() ? *out[0].failure() : out[0].refusal()->description());
    EXPECT_EQ(std::get<CleanupOutcome::MovedToTrash>(out[0].result).trashPath, home + "/.local/share/Trash/files/app");
    EXPECT_EQ(test::readFile(real / ".local/share/Trash/files/app/x"), "x");
}
