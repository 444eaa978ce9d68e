#include <gtest/gtest.h>

#include <sys/mount.h>

#include "GuardFixtures.h"
#include "removal/CleanupGuard.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

TEST(CleanupGuardDepth, AThirtyThousandLevelFolderIsRemeasuredOnAWorkerSizedStack) {
    // A memory file system of its own as the home: /dev/shm lies under the protected /dev,
    // and removing 30,000 levels from some disks takes minutes.
    test::TempDir dir;
    const int status = test::inMountNamespace([&] {
        if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=256m") != 0) return test::kSkipped;
        setenv("HOME", dir.path().c_str(), 1);
        const long long block = test::blockSize(dir.path());
        const std::string app = dir / "Library/Caches/app";
        test::makeDirs(app);
        test::makeFolderChain(app, 30000, "d", static_cast<size_t>(3 * block));
        return test::runOnSmallStack([&] {
            const auto policy = CleanupPolicy::standard();
            if (CleanupGuard::check(app, 3 * block, policy, std::nullopt) != std::nullopt) return 1;
            return CleanupGuard::check(app, block, policy, std::nullopt) == Refusal::sizeChanged(block, 3 * block) ? 0 : 2;
        });
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount a memory file system in a mount namespace (needs root)";
    EXPECT_EQ(status, 0) << "-1: crashed, 1: refused at its own size, 2: the change was not measured";
}
