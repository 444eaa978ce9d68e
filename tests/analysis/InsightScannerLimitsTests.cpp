// Folder insights: the per-walk limits, cancellation, exclusions and unreadable folders.
#include "InsightsFixtures.h"

#include <atomic>

#include <unistd.h>

using namespace sorvel;
using test::findBucket;

namespace {

const std::string kPNG = "\x89PNG\r\n\x1a\n";

FolderInsights analyzeWith(const std::string& path, InsightScanner::Limits limits) {
    return InsightScanner::analyze(path, [] { return false; }, limits);
}

} // namespace

TEST(InsightScannerLimits, AWalkPastTheFileLimitStopsAtItsNextDirectoryAndIsMarked) {
    test::TempDir dir;
    // "big" holds 4 files and two folders of 3 files each: after "big" (4) and one
    // folder (7) the limit of 5 is passed, so the second folder is never opened.
    for (int i = 0; i < 4; ++i) test::writeFile(dir / ("big/f" + std::to_string(i) + ".txt"), "x");
    for (int i = 0; i < 3; ++i) test::writeFile(dir / ("big/d1/g" + std::to_string(i) + ".txt"), "x");
    for (int i = 0; i < 3; ++i) test::writeFile(dir / ("big/d2/h" + std::to_string(i) + ".txt"), "x");
    // Other subfolders and the folder's own files have their own or no limit.
    for (int i = 0; i < 2; ++i) test::writeFile(dir / ("small/s" + std::to_string(i) + ".txt"), "x");
    for (int i = 0; i < 6; ++i) test::writeFile(dir / ("t" + std::to_string(i) + ".txt"), "x");

    auto r = analyzeWith(dir.path(), {.filesPerWalk = 5, .probesPerWalk = 20'000});
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.fileCount, 4 + 3 + 2 + 6);

    auto full = analyzeWith(dir.path(), {});
    EXPECT_FALSE(full.truncated);
    EXPECT_EQ(full.fileCount, 18);
}

TEST(InsightScannerLimits, TheLimitIsOnlyTestedBeforeOpeningADirectory) {
    test::TempDir dir;
    for (int i = 0; i < 9; ++i) test::writeFile(dir / ("flat/f" + std::to_string(i) + ".txt"), "x");
    auto r = analyzeWith(dir.path(), {.filesPerWalk = 5, .probesPerWalk = 20'000});
    EXPECT_EQ(r.fileCount, 9);
    EXPECT_FALSE(r.truncated);
}

TEST(InsightScannerLimits, ProbesAreLimitedPerSubfolderWalkButNotAtTheTop) {
    test::TempDir dir;
    for (int i = 0; i < 3; ++i) test::writeLargeFile(dir / ("sub/p" + std::to_string(i)), kPNG);
    for (int i = 0; i < 3; ++i) test::writeLargeFile(dir / ("top" + std::to_string(i)), kPNG);
    // Small files and files known by name are never probed and never use up the budget.
    test::writeFile(dir / "sub/a/small", kPNG);
    test::writeLargeFile(dir / "sub/a/named.dat.zip", kPNG);

    auto r = analyzeWith(dir.path(), {.filesPerWalk = 400'000, .probesPerWalk = 2});
    const auto* image = findBucket(r.kinds, FileKind::image);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->count, 3 + 2);
    const auto* other = findBucket(r.kinds, FileKind::other);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->count, 1 + 1);
    EXPECT_EQ(findBucket(r.kinds, FileKind::archive)->count, 1);

    auto unlimited = test::analyzeFully(dir.path());
    EXPECT_EQ(findBucket(unlimited.kinds, FileKind::image)->count, 6);
}

TEST(InsightScannerLimits, AFailedProbeKeepsTheKindFromTheName) {
    test::TempDir dir;
    test::writeLargeFile(dir / "sub/unreadable", kPNG);
    ASSERT_EQ(chmod((dir / "sub/unreadable").c_str(), 0), 0);
    test::writeLargeFile(dir / "sub/readable", kPNG);
    const std::string path = dir.path();
    int status = test::runAsUnprivileged([&] {
        auto r = test::analyzeFully(path);
        const auto* image = findBucket(r.kinds, FileKind::image);
        const auto* other = findBucket(r.kinds, FileKind::other);
        if (r.fileCount != 2) return 1;
        if (!image || image->count != 1) return 2;
        if (!other || other->count != 1) return 3;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(InsightScannerLimits, AnUnreadableSubfolderContributesNothingElseIsCounted) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "locked/secret.bin", 50000);
    test::writeFileOfSize(dir / "locked/deeper/more.bin", 50000);
    ASSERT_EQ(chmod((dir / "locked").c_str(), 0700), 0);
    test::writeFileOfSize(dir / "open/visible.bin", 30000);
    test::writeFileOfSize(dir / "open/locked2/x.bin", 30000);
    ASSERT_EQ(chmod((dir / "open/locked2").c_str(), 0700), 0);
    test::writeFileOfSize(dir / "top.bin", 20000);
    const std::string path = dir.path();
    const int64_t expected = test::allocatedSize(dir / "open/visible.bin") + test::allocatedSize(dir / "top.bin");
    int status = test::runAsUnprivileged([&] {
        auto r = test::analyzeFully(path);
        if (r.fileCount != 2) return 1;
        if (r.totalBytes != expected) return 2;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(InsightScannerLimits, AFolderThatCannotBeOpenedGivesZerosWithADuration) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "locked/a.bin", 5000);
    ASSERT_EQ(chmod((dir / "locked").c_str(), 0700), 0);
    const std::string path = dir / "locked";
    int status = test::runAsUnprivileged([&] {
        auto r = test::analyzeFully(path);
        return (r.fileCount == 0 && r.kinds.empty() && r.duration > 0) ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(InsightScannerLimits, CancellationDuringTheWalksGivesPartialTotalsWithoutTheMark) {
    test::TempDir dir;
    for (int i = 0; i < 4; ++i) test::writeFile(dir / ("top" + std::to_string(i) + ".txt"), "x");
    for (int i = 0; i < 5; ++i) test::writeFile(dir / ("s" + std::to_string(i) + "/deep/f.txt"), "x");
    std::atomic<int> asked{0};
    auto r = InsightScanner::analyze(dir.path(), [&] {
        ++asked;
        return true;
    });
    EXPECT_EQ(r.fileCount, 4); // the folder's own files are read before any walk
    EXPECT_FALSE(r.truncated);
    EXPECT_EQ(asked.load(), 5); // once per walk, at its first directory
}

TEST(InsightScannerLimits, GloballyExcludedPathsAreNeverEnteredAtAnyDepth) {
    test::FakeHome home;
    test::writeFileOfSize(home / "Library/Mobile Documents/doc.pdf", 40000);
    test::writeFileOfSize(home / "Library/Application Support/CloudDocs/x.bin", 40000);
    test::writeFileOfSize(home / "Library/Application Support/Other/kept.bin", 10000);
    test::writeFileOfSize(home / "Library/CloudStorage/drive/y.bin", 40000);
    test::writeFileOfSize(home / "notes.txt", 3000);

    auto fromHome = test::analyzeFully(home.path());
    EXPECT_EQ(fromHome.fileCount, 2);
    EXPECT_EQ(fromHome.totalBytes, test::allocatedSize(home / "Library/Application Support/Other/kept.bin") +
                                       test::allocatedSize(home / "notes.txt"));

    auto fromLibrary = test::analyzeFully(home / "Library");
    EXPECT_EQ(fromLibrary.fileCount, 1);

    // Analysed from inside, an excluded tree is counted like any other.
    auto inside = test::analyzeFully(home / "Library/Mobile Documents");
    EXPECT_EQ(inside.fileCount, 1);
}
