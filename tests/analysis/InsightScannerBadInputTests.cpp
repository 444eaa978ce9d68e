// Folder insights on odd input: very deep trees, dates centuries apart, names that are not UTF-8.
#include "InsightsFixtures.h"

#include <unistd.h>

using namespace sorvel;
using test::findBucket;

TEST(InsightScannerBadInput, TreesDeeperThanOnePathMayNameAreCountedToTheBottom) {
    test::TempDir dir;
    const std::string component = "level-with-a-long-name-" + std::string(40, 'x');
    int fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(mkdirat(fd, "sub", 0755), 0);
    int next = openat(fd, "sub", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    fd = next;
    for (int i = 0; i < 80; ++i) { // about 5,000 bytes of path
        ASSERT_EQ(mkdirat(fd, component.c_str(), 0755), 0);
        next = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
    }
    const int f = openat(fd, "bottom.txt", O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(f, 0);
    ASSERT_EQ(write(f, "x", 1), 1);
    close(f);
    close(fd);

    auto r = test::analyzeFully(dir.path());
    EXPECT_EQ(r.fileCount, 1);
    ASSERT_EQ(r.largest.size(), 1u);
    EXPECT_GT(r.largest[0].path.size(), 4096u);
    EXPECT_EQ(r.largest[0].name, "bottom.txt");
}

TEST(InsightScannerBadInput, DatesCenturiesApartStillFallInTheRightBand) {
    test::TempDir dir;
    test::writeFile(dir / "sub/old.txt", "old");
    test::writeFile(dir / "sub/new.txt", "new");
    test::setModified(dir / "sub/old.txt", -600'000'000); // 1951
    test::setModified(dir / "sub/new.txt", 4'000'000'000); // 2096
    // The latest date the clock can hold: its distance to 1951 overflows a nanosecond count.
    const Date farFuture = dateFromUnixSeconds(kDateSecondsLimit);
    auto r = InsightScanner::analyze(dir.path(), [] { return false; }, {}, farFuture);
    ASSERT_EQ(r.ages.size(), 1u);
    EXPECT_EQ(r.ages[0].key, AgeBand::olderThanFive);
    EXPECT_EQ(r.ages[0].count, 2);

    // And a date far in the future of an early reference date is the last month.
    auto early = InsightScanner::analyze(dir.path(), [] { return false; }, {}, dateFromUnixSeconds(-kDateSecondsLimit));
    ASSERT_EQ(early.ages.size(), 1u);
    EXPECT_EQ(early.ages[0].key, AgeBand::lastMonth);
    EXPECT_EQ(early.oldest, dateFromUnixSeconds(-600'000'000));
    EXPECT_EQ(early.newest, dateFromUnixSeconds(4'000'000'000));
}

TEST(InsightScannerBadInput, NamesThatAreNotUTF8KeepTheirBytes) {
    test::TempDir dir;
    const std::string name = "caf\xE9-\xFF.PNG";
    test::writeFileOfSize(dir / ("sub/" + name), 20000);
    auto r = test::analyzeFully(dir.path());
    ASSERT_EQ(r.largest.size(), 1u);
    EXPECT_EQ(r.largest[0].name, name);
    EXPECT_EQ(r.largest[0].path, dir / ("sub/" + name));
    EXPECT_EQ(r.kinds[0].key, FileKind::image);
}

TEST(InsightScannerBadInput, AnotherVolumeInsideTheFolderIsNotEntered) {
    // /dev/shm is normally a volume of its own inside /dev.
    struct stat dev, shm;
    if (stat("/dev", &dev) != 0 || stat("/dev/shm", &shm) != 0 || dev.st_dev == shm.st_dev)
        GTEST_SKIP() << "no separate volume below /dev here";
    const std::string name = "sorvel-insights-" + std::to_string(getpid()) + ".bin";
    test::writeFileOfSize("/dev/shm/" + name, 300000);
    auto r = test::analyzeFully("/dev");
    unlink(("/dev/shm/" + name).c_str());
    for (const auto& e : r.largest) EXPECT_NE(e.name, name);
    // Analysed directly, the volume is counted like any folder.
    test::writeFileOfSize("/dev/shm/" + name, 300000);
    auto direct = test::analyzeFully("/dev/shm");
    unlink(("/dev/shm/" + name).c_str());
    EXPECT_TRUE(std::any_of(direct.largest.begin(), direct.largest.end(),
                            [&](const FileEntry& e) { return e.name == name; }));
}
