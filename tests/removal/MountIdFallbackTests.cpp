// On a kernel whose statx gives no mount id (before 5.8, or statx filtered), mounts are
// named through /proc/self/fdinfo; where nothing names them, the Trash test fails closed.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/MountTable.h"
#include "platform/Trash.h"
#include "removal/CleanupGuard.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// While alive, statx stands for a kernel without mount ids (or answers as `source` says).
struct OldKernel {
    explicit OldKernel(StatxMountId source = [](int) { return std::optional<int64_t>(); }) {
        setStatxMountId(std::move(source));
    }
    ~OldKernel() { setStatxMountId(nullptr); }
};

} // namespace

// The fdinfo line names the mount statx names, for a folder, a file, a missing path (its
// nearest folder) and a link (itself, not followed).
TEST(MountIdFallback, TheFdinfoLineNamesTheMountStatxNames) {
    test::TempDir dir;
    test::writeFile(dir / "f", "x");
    const std::string paths[] = {"/", dir.path(), dir / "f", dir / "missing/deeper", "/proc/self", "/proc/self/fd"};
    for (const auto& path : paths) {
        const auto byStatx = kernelMountId(path);
        ASSERT_TRUE(byStatx) << path;
        const OldKernel old;
        EXPECT_EQ(kernelMountId(path), byStatx) << path;
    }
}

// What an old kernel took away: the guard accepted nothing, the trash at the top of a file
// system was not one, and a path that no mount can be named for was not in a trash.
TEST(MountIdFallback, CleanupWorksWithoutStatxMountIds) {
    test::FakeHome home;
    const std::string item = home / "Library/Caches/app/blob";
    test::writeFile(item, "cache");
    const std::string topTrash = "/.Trash-" + std::to_string(::geteuid()) + "/files/x";
    {
        const OldKernel old;
        EXPECT_EQ(CleanupGuard::check(item, 0, CleanupPolicy::standard(), std::nullopt), std::nullopt);
        EXPECT_TRUE(Trash::isInsideTrash(topTrash));
        EXPECT_FALSE(Trash::isInsideTrash(item));
    }
    setMountNaming([](const std::string&) { return std::optional<int64_t>(); }); // no kernel answers
    EXPECT_TRUE(Trash::isInsideTrash(item));
    setMountNaming(nullptr);
}

// A path whose mount id changed while the table was read is named again, in a table read
// after it: the first id (standing for one reused since) names nothing.
TEST(MountIdFallback, AnIdThatChangedWhileTheTableWasReadIsTakenAgain) {
    test::TempDir dir;
    const auto expected = mountContaining(readMountTable(), resolvingExistingPart(dir.path()));
    ASSERT_TRUE(expected);
    std::atomic<int> calls{0};
    const OldKernel stale([&](int) { return calls++ == 0 ? std::optional<int64_t>(999'999'999) : std::nullopt; });
    const NamedMount named = namedMount(resolvingExistingPart(dir.path()));
    ASSERT_TRUE(named.mount);
    EXPECT_EQ(named.mount->id, expected->id);
    EXPECT_GE(calls.load(), 3); // held, read again after the table, and both once more
}

// A move to the trash at the top of another mounted file system (a tmpfs in the test's own
// mount namespace) still finds that file system's top folder.
TEST(MountIdFallback, AMoveToAMountedVolumesTrashWorksWithoutStatxMountIds) {
    test::FakeHome home;
    test::TempDir volume;
    const std::string v = resolvingExistingPart(volume.path());
    const int status = test::inMountNamespace([&] {
        if (::mount("tmpfs", v.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0) return test::kSkipped;
        test::writeFile(v + "/old.log", "x");
        const OldKernel old;
        const auto moved = test::moveToTrash(v + "/old.log");
        const std::string expected = v + "/.Trash-" + std::to_string(::geteuid()) + "/files/old.log";
        if (moved.trashPath != expected) std::fprintf(stderr, "not moved: %s\n", moved.error.c_str());
        return moved.trashPath == expected && test::exists(expected) ? 0 : 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount a tmpfs in a mount namespace here (needs root)";
    EXPECT_EQ(status, 0);
}
