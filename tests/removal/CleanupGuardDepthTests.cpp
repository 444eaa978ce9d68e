// The guard's re-measure of a folder far deeper than a call stack could follow level by level.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include "GuardFixtures.h"
#include "removal/CleanupGuard.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

TEST(CleanupGuardDepth, AThirtyThousandLevelFolderIsRemeasuredOnAWorkerSizedStack) {
    // The home is a memory file system of its own, gone with the child's mount namespace:
    // the shared memory folder lies under /dev, which the policy protects, and removing
    // 30,000 levels from some disks takes minutes.
    test::TempDir dir;
    const int status = test::runInChild([&] {
        if (unshare(CLONE_NEWNS) != 0) return 77;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
        if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=256m") != 0) return 77;
        setenv("HOME", dir.path().c_str(), 1);
        const long long block = test::blockSize(dir.path());
        const std::string app = dir / "Library/Caches/app";
        test::makeDirs(app);
        test::makeFolderChain(app, 30000, "d", static_cast<size_t>(3 * block));
        return test::runOnSmallStack([&] {
            const auto policy = CleanupPolicy::standard();
            if (CleanupGuard::check(app, 3 * block, policy, std::nullopt) != std::nullopt) return 1;
            if (CleanupGuard::check(app, block, policy, std::nullopt) != Refusal::sizeChanged(block, 3 * block)) return 2;
            return 0;
        });
    });
    if (status == 77) GTEST_SKIP() << "cannot mount a memory file system in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0) << "-1: crashed, 1: refused at its own size, 2: the change was not measured";
}
