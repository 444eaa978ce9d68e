// Folder insights: what gets counted, by kind and by age, and the single-object cases.
#include "InsightsFixtures.h"

#include <unistd.h>

#include <vector>

#include "platform/Path.h"

using namespace sorvel;
using test::findBucket;

TEST(FolderInsightsTotals, AMissingPathGivesTheEmptyResultWithoutDuration) {
    test::TempDir dir;
    auto r = test::analyzeFully(dir / "nothing-here");
    EXPECT_EQ(r.path, dir / "nothing-here");
    EXPECT_EQ(r.fileCount, 0);
    EXPECT_EQ(r.totalBytes, 0);
    EXPECT_TRUE(r.kinds.empty());
    EXPECT_TRUE(r.ages.empty());
    EXPECT_TRUE(r.largest.empty());
    EXPECT_FALSE(r.oldest.has_value());
    EXPECT_FALSE(r.newest.has_value());
    EXPECT_EQ(r.duration, 0.0);
    EXPECT_FALSE(r.truncated);
}

TEST(FolderInsightsTotals, ARegularFileIsDescribedAloneWithoutAProbe) {
    test::TempDir dir;
    // Large and unclassified by name, with a PNG header that a probe would recognise.
    test::writeLargeFile(dir / "blob", "\x89PNG\r\n\x1a\n");
    auto r = test::analyzeFully(dir / "blob");
    const int64_t size = test::allocatedSize(dir / "blob");
    EXPECT_EQ(r.fileCount, 1);
    EXPECT_EQ(r.totalBytes, size);
    ASSERT_EQ(r.kinds.size(), 1u);
    EXPECT_EQ(r.kinds[0], (Bucket<FileKind>{FileKind::other, size, 1}));
    ASSERT_EQ(r.ages.size(), 1u);
    EXPECT_EQ(r.ages[0], (Bucket<AgeBand>{AgeBand::lastMonth, size, 1}));
    ASSERT_TRUE(r.oldest && r.newest);
    EXPECT_EQ(*r.oldest, *r.newest);
    EXPECT_TRUE(r.largest.empty());
}

TEST(FolderInsightsTotals, AnEmptyFileAloneStillHasBothBuckets) {
    test::TempDir dir;
    test::writeFile(dir / "empty.txt", "");
    auto r = test::analyzeFully(dir / "empty.txt");
    ASSERT_EQ(r.kinds.size(), 1u);
    EXPECT_EQ(r.kinds[0], (Bucket<FileKind>{FileKind::code, 0, 1}));
    ASSERT_EQ(r.ages.size(), 1u);
    EXPECT_EQ(r.ages[0].bytes, 0);
}

TEST(FolderInsightsTotals, ASymbolicLinkPathIsTheLinkNotItsTarget) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "target/big.bin", 200000);
    ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    auto r = test::analyzeFully(dir / "link");
    EXPECT_EQ(r.fileCount, 1);
    struct stat st;
    ASSERT_EQ(lstat((dir / "link").c_str(), &st), 0);
    EXPECT_EQ(r.totalBytes, static_cast<int64_t>(st.st_blocks) * 512);
    ASSERT_EQ(r.kinds.size(), 1u);
    // A link's own mode carries every permission bit, so a name without extension is "executable".
    EXPECT_EQ(r.kinds[0].key, FileKind::binary);
}

TEST(FolderInsightsTotals, AnEmptyFolderHasNoBucketsButAMeasuredDuration) {
    test::TempDir dir;
    test::makeDirs(dir / "empty");
    auto r = test::analyzeFully(dir / "empty");
    EXPECT_EQ(r.fileCount, 0);
    EXPECT_TRUE(r.kinds.empty());
    EXPECT_TRUE(r.ages.empty());
    EXPECT_FALSE(r.oldest.has_value());
    EXPECT_GT(r.duration, 0.0);
}

TEST(FolderInsightsTotals, EmptyFilesAreCountedByKindButFormNoAgeBucket) {
    test::TempDir dir;
    for (int i = 0; i < 14; ++i) test::writeFile(dir / ("e" + std::to_string(i) + ".json"), "");
    test::writeFile(dir / "sub/a.png", "");
    auto r = test::analyzeFully(dir.path());
    EXPECT_EQ(r.fileCount, 15);
    EXPECT_EQ(r.totalBytes, 0);
    ASSERT_NE(findBucket(r.kinds, FileKind::code), nullptr);
    EXPECT_EQ(findBucket(r.kinds, FileKind::code)->count, 14);
    ASSERT_NE(findBucket(r.kinds, FileKind::image), nullptr);
    EXPECT_EQ(findBucket(r.kinds, FileKind::image)->bytes, 0);
    EXPECT_TRUE(r.ages.empty());
    EXPECT_EQ(r.largest.size(), 12u);
}

TEST(FolderInsightsTotals, KindsAddUpAcrossSubfoldersLargestFirst) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "a.mov", 300000);
    test::writeFileOfSize(dir / "deep/er/still/b.mp4", 300000);
    test::writeFileOfSize(dir / "docs/c.pdf", 50000);
    test::writeFileOfSize(dir / "docs/d.PDF", 50000);
    test::writeFileOfSize(dir / "e.zip", 10000);
    // Probed by content because the name says nothing and it is at least 1 MiB.
    test::writeLargeFile(dir / "deep/photo", "\xFF\xD8\xFF\xE0", 2'200'000);
    test::writeLargeFile(dir / "deep/noise", "nothing known");
    auto r = test::analyzeFully(dir.path());

    auto sum = [&](std::initializer_list<const char*> names) {
        int64_t s = 0;
        for (auto n : names) s += test::allocatedSize(dir / n);
        return s;
    };
    EXPECT_EQ(r.fileCount, 7);
    EXPECT_EQ(r.totalBytes, test::independentTotal(dir.path()));
    ASSERT_EQ(r.kinds.size(), 5u);
    EXPECT_EQ(r.kinds[0].key, FileKind::image);
    EXPECT_EQ(r.kinds[0].bytes, sum({"deep/photo"}));
    EXPECT_EQ(r.kinds[1].key, FileKind::other);
    EXPECT_EQ(r.kinds[2], (Bucket<FileKind>{FileKind::video, sum({"a.mov", "deep/er/still/b.mp4"}), 2}));
    EXPECT_EQ(r.kinds[3], (Bucket<FileKind>{FileKind::document, sum({"docs/c.pdf", "docs/d.PDF"}), 2}));
    EXPECT_EQ(r.kinds[4].key, FileKind::archive);
    for (size_t i = 1; i < r.kinds.size(); ++i) EXPECT_GE(r.kinds[i - 1].bytes, r.kinds[i].bytes);
    EXPECT_EQ(r.kinds[0].id(), "image");
}

TEST(FolderInsightsTotals, AgesUseWholeDaysFromOneReferenceDate) {
    test::TempDir dir;
    const int64_t t = 1'800'000'000;
    const int64_t day = 86'400;
    struct Case {
        const char* name;
        int64_t modified;
        AgeBand band;
    } cases[] = {
        {"future.bin", t + 5 * day, AgeBand::lastMonth},
        {"sub/recent.bin", t - 29 * day - day / 2, AgeBand::lastMonth},
        {"sub/thirty.bin", t - 30 * day, AgeBand::lastYear},
        {"year.bin", t - 365 * day, AgeBand::oneToTwoYears},
        {"sub/x/two.bin", t - 730 * day, AgeBand::twoToFiveYears},
        {"five.bin", t - 1825 * day, AgeBand::olderThanFive},
    };
    int n = 1;
    for (const auto& c : cases) test::writeFileOfSize(dir / c.name, 4096 * n++);
    for (const auto& c : cases) test::setModified(dir / c.name, c.modified);

    auto r = InsightScanner::analyze(dir.path(), [] { return false; }, {}, dateFromUnixSeconds(t));
    ASSERT_EQ(r.ages.size(), 5u);
    for (size_t i = 0; i < r.ages.size(); ++i) EXPECT_EQ(r.ages[i].key, kAllAgeBands[i]) << "band order";
    for (const auto& c : cases) {
        const auto* bucket = findBucket(r.ages, c.band);
        ASSERT_NE(bucket, nullptr) << c.name;
    }
    EXPECT_EQ(findBucket(r.ages, AgeBand::lastMonth)->count, 2);
    EXPECT_EQ(findBucket(r.ages, AgeBand::lastYear)->count, 1);
    EXPECT_EQ(findBucket(r.ages, AgeBand::lastYear)->bytes, test::allocatedSize(dir / "sub/thirty.bin"));
    EXPECT_EQ(r.staleBytes(),
              test::allocatedSize(dir / "sub/x/two.bin") + test::allocatedSize(dir / "five.bin"));
    EXPECT_EQ(r.oldest, dateFromUnixSeconds(t - 1825 * day));
    EXPECT_EQ(r.newest, dateFromUnixSeconds(t + 5 * day));
    EXPECT_EQ(r.ages[4].id(), "olderThanFive");
}

TEST(FolderInsightsTotals, StaleBytesAreZeroWithoutTheTwoOldestBands) {
    FolderInsights r;
    r.ages = {{AgeBand::lastMonth, 100, 1}, {AgeBand::oneToTwoYears, 50, 1}};
    EXPECT_EQ(r.staleBytes(), 0);
    r.ages.push_back({AgeBand::olderThanFive, 7, 1});
    EXPECT_EQ(r.staleBytes(), 7);
}

TEST(FolderInsightsTotals, HardLinksCountOnceAndSymbolicLinksNotAtAll) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "sub/one.bin", 40000);
    ASSERT_EQ(link((dir / "sub/one.bin").c_str(), (dir / "two.bin").c_str()), 0);
    ASSERT_EQ(symlink("/usr", (dir / "sub/usr").c_str()), 0);
    ASSERT_EQ(symlink((dir / "sub/one.bin").c_str(), (dir / "alias.bin").c_str()), 0);
    auto r = test::analyzeFully(dir.path());
    EXPECT_EQ(r.fileCount, 1);
    EXPECT_EQ(r.totalBytes, test::allocatedSize(dir / "two.bin"));
    EXPECT_EQ(r.otherNames, 1);
}

TEST(FolderInsightsTotals, AFileWithManyNamesIsCountedOnceWhereverTheyLie) {
    const struct {
        const char* name;
        std::vector<std::string> more; // its other names, below the folder
    } rows[] = {
        {"beside it", {"a2.bin", "a3.bin", "a4.bin", "a5.bin", "a6.bin", "a7.bin", "a8.bin", "a9.bin", "a10.bin"}},
        {"in other subfolders", {"s1/b.bin", "s2/c.bin", "s3/deep/d.bin", "s4/e.bin"}},
        {"at the top and below", {"top.bin", "s1/x.bin", "s1/y.bin"}},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        test::writeFileOfSize(dir / "s0/first.bin", 1'000'000);
        test::writeFileOfSize(dir / "s0/alone.bin", 4096);
        for (const auto& name : row.more) {
            test::makeDirs(dir / deletingLastPathComponent(name));
            ASSERT_EQ(link((dir / "s0/first.bin").c_str(), (dir / name).c_str()), 0) << name;
        }
        const auto r = test::analyzeFully(dir.path());
        const int64_t size = test::allocatedSize(dir / "s0/first.bin");
        EXPECT_EQ(r.fileCount, 2) << row.name;
        EXPECT_EQ(r.totalBytes, size + test::allocatedSize(dir / "s0/alone.bin")) << row.name;
        EXPECT_EQ(r.otherNames, static_cast<int64_t>(row.more.size())) << row.name;
        // Listed once among the largest, with how many more names it has.
        ASSERT_EQ(r.largest.size(), 2u) << row.name;
        EXPECT_EQ(r.largest[0].size, size) << row.name;
        ASSERT_EQ(r.otherNamesOf.count(r.largest[0].path), 1u) << row.name;
        EXPECT_EQ(r.otherNamesOf.at(r.largest[0].path), static_cast<int64_t>(row.more.size())) << row.name;
        int64_t kindFiles = 0;
        for (const auto& bucket : r.kinds) kindFiles += bucket.count;
        EXPECT_EQ(kindFiles, 2) << row.name;
    }
}

TEST(FolderInsightsTotals, DevicesPipesAndSocketsAreNotFiles) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0644), 0);
    test::writeFile(dir / "real.txt", "hello");
    auto r = test::analyzeFully(dir.path());
    EXPECT_EQ(r.fileCount, 1);
}

TEST(FolderInsightsTotals, ATrailingSlashDoesNotDoubleInChildPaths) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "top.bin", 9000);
    test::writeFileOfSize(dir / "sub/inner.bin", 5000);
    auto r = test::analyzeFully(dir.path() + "/");
    ASSERT_EQ(r.largest.size(), 2u);
    for (const auto& e : r.largest) EXPECT_EQ(e.path.find("//"), std::string::npos) << e.path;
    EXPECT_EQ(r.largest[0].path, dir / "top.bin");
    EXPECT_EQ(r.largest[0].name, "top.bin");
    EXPECT_EQ(r.largest[1].path, dir / "sub/inner.bin");
}

TEST(FolderInsightsLargest, TwelveAreKeptAndATieWithTheSmallestStaysOut) {
    test::TempDir dir;
    // Twelve at the top; the folder's own list is merged ahead of its subfolders'.
    for (int i = 0; i < 12; ++i) test::writeFileOfSize(dir / ("f" + std::to_string(i) + ".bin"), 8192 * (i + 1));
    test::writeFileOfSize(dir / "sub/tie.bin", 8192);
    ASSERT_EQ(test::allocatedSize(dir / "sub/tie.bin"), test::allocatedSize(dir / "f0.bin"));
    auto r = test::analyzeFully(dir.path());
    ASSERT_EQ(r.largest.size(), 12u);
    EXPECT_EQ(r.largest.back().name, "f0.bin");
    for (size_t i = 1; i < r.largest.size(); ++i) EXPECT_GE(r.largest[i - 1].size, r.largest[i].size);

    test::writeFileOfSize(dir / "sub/bigger.bin", 8192 * 2 + 100);
    auto s = test::analyzeFully(dir.path());
    ASSERT_EQ(s.largest.size(), 12u);
    EXPECT_EQ(s.largest.back().name, "f1.bin");
    EXPECT_TRUE(std::any_of(s.largest.begin(), s.largest.end(),
                            [](const FileEntry& e) { return e.name == "bigger.bin"; }));
    EXPECT_FALSE(std::any_of(s.largest.begin(), s.largest.end(),
                             [](const FileEntry& e) { return e.name == "f0.bin"; }));
}

TEST(FolderInsightsLargest, WithinOneFolderAFileOnlyAsLargeAsTheSmallestNeverEnters) {
    test::TempDir dir;
    for (int i = 0; i < 30; ++i) test::writeFileOfSize(dir / ("sub/same" + std::to_string(i)), 4096);
    test::writeFileOfSize(dir / "sub/big", 20000);
    auto r = test::analyzeFully(dir.path());
    ASSERT_EQ(r.largest.size(), 12u);
    EXPECT_EQ(r.largest[0].name, "big");
    ASSERT_TRUE(r.largest[0].modified.has_value());
    // Fresh identifiers for every entry.
    EXPECT_NE(r.largest[0].id, r.largest[1].id);
}

TEST(FolderInsightsTotals, ExcludedPathsAreLeftOutWithEverythingBelowThem) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "Preferences/a.plist", 4000);
    test::writeFileOfSize(dir / "Caches/app/blob", 300000);
    test::writeFileOfSize(dir / "Logs/x.log", 20000);
    const auto all = InsightScanner::analyze(dir.path(), {}, [] { return false; });
    const auto some = InsightScanner::analyze(dir.path(), {dir / "Caches", dir / "Logs"}, [] { return false; });
    EXPECT_EQ(all.fileCount, 3);
    EXPECT_EQ(some.fileCount, 1);
    EXPECT_EQ(some.totalBytes, test::allocatedSize(dir / "Preferences/a.plist"));
}
