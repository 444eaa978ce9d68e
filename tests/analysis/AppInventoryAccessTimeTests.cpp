// Sorvel's own reads leave access times as they were: the inventory shows a bundle's
// access time as its last use, so listing apps must not make every bundle recently used.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "AppFixtures.h"
#include "DuplicateFixtures.h"
#include "engine/FileWalker.h"
#include "platform/DirectoryListing.h"
#include "platform/PropertyList.h"

using namespace sorvel;

namespace {

constexpr time_t kLongAgo = 1'000'000'000; // 2001

time_t accessTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_atim.tv_sec;
}

void setAccessTime(const std::string& path, time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

} // namespace

TEST(AppInventoryAccessTime, ListingWalkingAndReadingBundlesLeaveAccessTimesAlone) {
    test::FakeMachine machine;
    const std::string app = machine.app("Quiet", "com.example.quiet", 70000);
    // Where a plain read does not move an old access time, nothing here can be told.
    const std::string probe = machine.system("/probe");
    test::writeFile(probe, "x");
    setAccessTime(probe, kLongAgo);
    (void)test::readFile(probe);
    if (accessTime(probe) == kLongAgo) GTEST_SKIP() << "this file system does not record reads in access times";

    const std::string watched[] = {app, app + "/Contents", app + "/Contents/MacOS", app + "/Contents/Info.plist"};
    for (const auto& path : watched) setAccessTime(path, kLongAgo);
    for (int round = 0; round < 2; ++round) {
        ScanControl control;
        const auto apps = AppInventory::scan(control, machine.places());
        ASSERT_EQ(apps.size(), 1u);
        EXPECT_EQ(apps[0].lastUsed, dateFromUnixSeconds(kLongAgo)) << "round " << round;
        EXPECT_GT(apps[0].bundleSize, 0); // the bundle was read through
    }
    ScanControl control;
    EXPECT_TRUE(FileWalker::walkParallel(app, control));
    EXPECT_TRUE(DirectoryListing::names(app + "/Contents"));
    EXPECT_TRUE(PropertyList::readFile(app + "/Contents/Info.plist"));
    for (const auto& path : watched) EXPECT_EQ(accessTime(path), kLongAgo) << path;
}

TEST(ContentReadAccessTime, HashingCopiesLeavesTheirAccessTimesAlone) {
    test::TempDir dir;
    const std::string probe = dir / "probe";
    test::writeFile(probe, "x");
    setAccessTime(probe, kLongAgo);
    (void)test::readFile(probe);
    if (accessTime(probe) == kLongAgo) GTEST_SKIP() << "this file system does not record reads in access times";

    const std::string copies[] = {dir / "a/copy.bin", dir / "b/copy.bin"};
    for (const auto& path : copies) {
        test::writeFileOfSize(path, 64 * 1024);
        setAccessTime(path, kLongAgo);
    }
    DuplicateFinder::Options options;
    options.minimumSize = 1;
    const auto report = test::scanOne(dir.path(), options);
    ASSERT_EQ(report.groups.size(), 1u); // both were read through to their last byte
    for (const auto& path : copies) EXPECT_EQ(accessTime(path), kLongAgo) << path;
}
