// A target swapped for a link at the last moment: the outcome counts what really went to
// the Trash, never the checked folder's size for a link.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "removal/CleanupExecutor.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(CleanupExecutorRace, ALinkSwappedInBeforeTheRenameCountsAsNothingFreed) {
    test::FakeHome home;
    test::ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    test::TempDir outside;
    const std::string caches = home / "Library/Caches", app = caches + "/app", spare = caches + "/spare";
    test::writeFileOfSize(outside / "big/precious", 256'000);
    test::writeFileOfSize(app + "/blob", 64'000);
    const int64_t recorded = test::independentTotal(app);
    ASSERT_EQ(::symlink((outside / "big").c_str(), (caches + "/app-link").c_str()), 0);
    FileDescriptor cachesFd(::open(caches.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(cachesFd.valid());

    std::atomic<bool> stop{false};
    std::thread flipper([&] { // while one of the two names is gone, nothing swaps
        for (long i = 0; i < 50'000'000 && !stop.load(); ++i)
            ::renameat2(cachesFd.get(), "app", cachesFd.get(), "app-link", RENAME_EXCHANGE);
    });
    int foldersMoved = 0;
    for (int i = 0; i < 800; ++i) {
        const auto outcomes = CleanupExecutor::run({{app, recorded}}, CleanupExecutor::Mode::moveToTrash,
                                                   CleanupPolicy::standard(), std::nullopt);
        ASSERT_EQ(outcomes.size(), 1u);
        const auto* moved = std::get_if<CleanupOutcome::MovedToTrash>(&outcomes[0].result);
        if (!moved) continue;
        struct stat st;
        ASSERT_EQ(::lstat(moved->trashPath.c_str(), &st), 0) << moved->trashPath;
        const bool link = S_ISLNK(st.st_mode);
        foldersMoved += link ? 0 : 1;
        EXPECT_EQ(outcomes[0].size, link ? 0 : recorded) << i;
        EXPECT_EQ(CleanupExecutor::freed(outcomes), link ? 0 : recorded) << i;
        // A fresh one of the same kind goes back under the name that went.
        if (link) ASSERT_EQ(::symlink((outside / "big").c_str(), spare.c_str()), 0);
        else test::writeFileOfSize(spare + "/blob", 64'000);
        ASSERT_EQ(::rename(spare.c_str(), app.c_str()), 0);
    }
    stop = true;
    flipper.join();
    EXPECT_GT(foldersMoved, 0);
    EXPECT_TRUE(test::exists(outside / "big/precious"));
}
