// Which files the duplicate finder groups, in what order, and what each group frees.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "analysis/DuplicateFixtures.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = DuplicateGroup::Kind;

TEST(DuplicateGrouping, TwoIdenticalCopiesKeepTheOlderAndFreeTheNewer) {
    TempDir dir;
    const std::string content = patterned(kTwoMB, 'a');
    writeDated(dir / "new.bin", content, 1'700'000'000);
    writeDated(dir / "sub/old.bin", content, 1'600'000'000);
    writeDated(dir / "other.bin", patterned(kTwoMB, 'q'), 1'650'000'000);

    auto report = scanOne(dir.path());
    EXPECT_EQ(report.filesScanned, 3);
    EXPECT_FALSE(report.hitScanLimit);
    ASSERT_EQ(report.groups.size(), 1u);
    const auto& g = report.groups[0];
    ASSERT_EQ(g.files.size(), 2u);
    EXPECT_EQ(g.files[0].path, dir / "sub/old.bin");
    EXPECT_EQ(g.files[1].path, dir / "new.bin");
    EXPECT_EQ(g.kind, Kind::independentCopies);
    EXPECT_EQ(g.size, allocatedSize(dir / "new.bin"));
    EXPECT_EQ(g.files[1].privateSize, g.files[1].size);
    EXPECT_EQ(g.files[1].cloneID, 0u);
    EXPECT_EQ(g.reclaimable(), g.files[1].privateSize);
    EXPECT_EQ(g.apparentSaving(), g.size);
    EXPECT_EQ(g.id, dir / "sub/old.bin" + "\x01" + dir / "new.bin");
    EXPECT_EQ(report.reclaimable(), g.reclaimable());
    EXPECT_EQ(report.apparentSaving(), g.apparentSaving());
}

TEST(DuplicateGrouping, EqualDatesKeepWalkOrder) {
    TempDir dir;
    const std::string content = patterned(kTwoMB, 'b');
    // The walk lists a folder, then reads the subfolder listed last first; within one
    // folder the listing order stands, so record it and expect it back.
    for (const char* name : {"one.bin", "two.bin", "three.bin"}) writeDated(dir / name, content, 1'600'000'000);
    auto report = scanOne(dir.path());
    ASSERT_EQ(report.groups.size(), 1u);
    std::vector<std::string> listed;
    BulkDirectoryReader::readThenClose(openDirectory(dir.path().c_str()), [&](const DirectoryEntry& e) {
        listed.push_back(dir / e.name);
    });
    std::vector<std::string> grouped;
    for (const auto& f : report.groups[0].files) grouped.push_back(f.path);
    EXPECT_EQ(grouped, listed);
}

TEST(DuplicateGrouping, SameSizeDifferentContentIsNoGroup) {
    TempDir dir;
    writeFile(dir / "a.bin", patterned(kTwoMB, 'a'));
    writeFile(dir / "b.bin", patterned(kTwoMB, 'c'));
    auto report = scanOne(dir.path());
    EXPECT_EQ(report.filesScanned, 2);
    EXPECT_TRUE(report.groups.empty());
}

TEST(DuplicateGrouping, SameEdgesDifferentMiddleIsNoGroup) {
    TempDir dir;
    std::string a = patterned(kTwoMB, 'a');
    std::string b = a;
    b[kTwoMB / 2] ^= 0x55;
    writeFile(dir / "a.bin", a);
    writeFile(dir / "b.bin", b);
    ASSERT_EQ(DuplicateFinder::detail::edgeSignature(dir / "a.bin"),
              DuplicateFinder::detail::edgeSignature(dir / "b.bin"));
    ASSERT_NE(DuplicateFinder::detail::fullHash(dir / "a.bin"), DuplicateFinder::detail::fullHash(dir / "b.bin"));
    EXPECT_TRUE(scanOne(dir.path()).groups.empty());
}

TEST(DuplicateGrouping, CandidatesAreChosenByAllocatedSize) {
    TempDir dir;
    // Short files with 1.5 MB reserved on disk count; long sparse files do not.
    for (const char* name : {"reserved1", "reserved2"}) {
        writeFile(dir / name, "same short text");
        int fd = ::open((dir / name).c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, 1'500'000), 0);
        ::close(fd);
    }
    for (const char* name : {"sparse1", "sparse2"}) {
        int fd = ::open((dir / name).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 5'000'000), 0);
        ::close(fd);
    }
    ASSERT_GE(allocatedSize(dir / "reserved1"), 1'000'000);
    ASSERT_LT(allocatedSize(dir / "sparse1"), 1'000'000);

    auto report = scanOne(dir.path());
    EXPECT_EQ(report.filesScanned, 2);
    ASSERT_EQ(report.groups.size(), 1u);
    EXPECT_NE(report.groups[0].files[0].path.find("reserved"), std::string::npos);
}

TEST(DuplicateGrouping, SameContentDifferentAllocationIsOneGroupFreeingWhatTheExtraHolds) {
    // Space reserved past the end (as downloaders do) changes the allocation, not the
    // contents; the copy that goes frees its own allocation, whichever copy that is.
    const struct {
        size_t length;
        off_t reserved;
        bool paddedIsExtra;
    } cases[] = {{3'000'000, 65'536, true}, {3'000'000, 65'536, false}, {kTwoMB, 3'000'000, true}};
    for (const auto& c : cases) {
        TempDir dir;
        const std::string content = patterned(c.length, 'd');
        writeFile(dir / "plain.bin", content);
        writeFile(dir / "padded.bin", content);
        int fd = ::open((dir / "padded.bin").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(c.length), c.reserved), 0);
        ::close(fd);
        writeBack(dir / "plain.bin");
        writeBack(dir / "padded.bin");
        setModified(dir / "plain.bin", c.paddedIsExtra ? 1'600'000'000 : 1'700'000'000);
        setModified(dir / "padded.bin", c.paddedIsExtra ? 1'700'000'000 : 1'600'000'000);
        ASSERT_NE(allocatedSize(dir / "plain.bin"), allocatedSize(dir / "padded.bin"));
        auto report = scanOne(dir.path());
        EXPECT_EQ(report.filesScanned, 2);
        ASSERT_EQ(report.groups.size(), 1u) << c.length << " + " << c.reserved;
        const auto& extra = report.groups[0].files.at(1);
        EXPECT_EQ(extra.path, dir / (c.paddedIsExtra ? "padded.bin" : "plain.bin"));
        EXPECT_EQ(report.reclaimable(), allocatedSize(extra.path));
    }
}

TEST(DuplicateGrouping, EmptyFilesAreNeverCandidates) {
    TempDir dir;
    for (const char* name : {"e1", "e2", "e3"}) writeFile(dir / name, "");
    auto report = scanOne(dir.path());
    EXPECT_EQ(report.filesScanned, 0);
    EXPECT_TRUE(report.groups.empty());

    // Even with no minimum they allocate nothing, so any copies stay apart from groups
    // that would free something; their group frees nothing.
    DuplicateFinder::Options all;
    all.minimumSize = 0;
    report = scanOne(dir.path(), all);
    EXPECT_EQ(report.filesScanned, 3);
    ASSERT_EQ(report.groups.size(), 1u);
    EXPECT_EQ(report.groups[0].size, 0);
    EXPECT_EQ(report.groups[0].reclaimable(), 0);
    EXPECT_EQ(report.groups[0].kind, Kind::independentCopies);
}

TEST(DuplicateGrouping, EmptyRootListLinkRootAndFileRootGiveEmptyReports) {
    TempDir dir;
    const std::string content = patterned(kTwoMB, 'e');
    writeFile(dir / "real/a.bin", content);
    writeFile(dir / "real/b.bin", content);
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);

    ScanControl control;
    auto none = DuplicateFinder::scan({}, {}, control);
    EXPECT_EQ(none.filesScanned, 0);
    EXPECT_FALSE(none.hitScanLimit);
    for (const std::string& root : {dir / "link", dir / "real/a.bin", dir / "missing"}) {
        auto report = scanOne(root);
        EXPECT_EQ(report.filesScanned, 0) << root;
        EXPECT_TRUE(report.groups.empty()) << root;
        EXPECT_FALSE(report.hitScanLimit) << root;
    }
}

TEST(DuplicateGrouping, LinksInsideTheTreeAreNotFollowed) {
    TempDir dir;
    writeFile(dir / "outside/a.bin", patterned(kTwoMB, 'f'));
    writeFile(dir / "root/b.bin", patterned(kTwoMB, 'f'));
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "root/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "outside/a.bin").c_str(), (dir / "root/filelink").c_str()), 0);
    auto report = scanOne(dir / "root");
    EXPECT_EQ(report.filesScanned, 1);
    EXPECT_TRUE(report.groups.empty());
}

TEST(DuplicateGrouping, SkippedNamesAtAnyDepthAndExactExcludedPaths) {
    FakeHome home;
    const std::string content = patterned(kTwoMB, 'g');
    writeFile(home / "p/keep.bin", content);
    writeFile(home / "p/node_modules/x.bin", content);
    writeFile(home / "p/deep/er/node_modules/y.bin", content);
    writeFile(home / "p/.git/objects/z.bin", content);
    writeFile(home / ".Trash/t.bin", content);
    writeFile(home / ".local/share/Trash/files/t.bin", content);
    writeFile(home / "Library/CloudStorage/c.bin", content);
    writeFile(home / "Library/CloudStorage2/kept-too.bin", content);

    auto report = scanOne(home.path());
    EXPECT_EQ(report.filesScanned, 2);
    ASSERT_EQ(report.groups.size(), 1u);
    std::set<std::string> paths;
    for (const auto& f : report.groups[0].files) paths.insert(f.path);
    EXPECT_EQ(paths, (std::set<std::string>{home / "p/keep.bin", home / "Library/CloudStorage2/kept-too.bin"}));

    // Excluded paths match the whole path only: a root given with a trailing "/"
    // builds "//" paths that no longer match.
    DuplicateFinder::Options options;
    options.excludedPaths = {home / "p/sub"};
    writeFile(home / "p/sub/s.bin", content);
    report = scanOne(home / "p", options);
    EXPECT_EQ(report.filesScanned, 1);
}

TEST(DuplicateGrouping, GroupsSortByReclaimableThenApparentSaving) {
    TempDir dir;
    // Three copies of a 1.2 MB file outweigh two copies of a 2 MB file on both keys,
    // and two 2 MB copies outweigh two hard-linked 3 MB names that free nothing.
    const std::string small = patterned(1'200'000, 'h');
    for (const char* name : {"s1", "s2", "s3"}) writeFile(dir / name, small);
    const std::string mid = patterned(kTwoMB, 'i');
    writeFile(dir / "m1", mid);
    writeFile(dir / "m2", mid);
    writeFile(dir / "big1", patterned(3'000'000, 'j'));
    ASSERT_EQ(::link((dir / "big1").c_str(), (dir / "big2").c_str()), 0);

    auto report = scanOne(dir.path());
    ASSERT_EQ(report.groups.size(), 3u);
    EXPECT_EQ(report.groups[0].files.size(), 3u);
    EXPECT_EQ(report.groups[1].files[0].path.substr(dir.path().size() + 1, 1), "m");
    EXPECT_EQ(report.groups[2].kind, Kind::hardLinks);
    EXPECT_EQ(report.groups[2].reclaimable(), 0);
    EXPECT_GT(report.groups[2].apparentSaving(), report.groups[0].apparentSaving());
}

TEST(DuplicateGrouping, EqualReclaimableOrdersByApparentSaving) {
    TempDir dir;
    // Both sets share one size bucket. The two plain copies sit at the top, so the walk
    // meets them first and their group is built first; the set whose kept file has two
    // more names frees the same but would claim more, so it must come first.
    const std::string plain = patterned(kTwoMB, 'k');
    writeDated(dir / "x1", plain, 1'600'000'000);
    writeDated(dir / "x2", plain, 1'600'000'001);
    const std::string linked = patterned(kTwoMB, 'l');
    writeDated(dir / "sub/y-keep", linked, 1'500'000'000);
    writeDated(dir / "sub/y-copy", linked, 1'500'000'001);
    ASSERT_EQ(::link((dir / "sub/y-keep").c_str(), (dir / "sub/y-keep-name1").c_str()), 0);
    ASSERT_EQ(::link((dir / "sub/y-keep").c_str(), (dir / "sub/y-keep-name2").c_str()), 0);

    auto report = scanOne(dir.path());
    ASSERT_EQ(report.groups.size(), 2u);
    const auto& first = report.groups[0];
    const auto& second = report.groups[1];
    ASSERT_EQ(first.files.size(), 4u);
    EXPECT_EQ(first.files[0].path.rfind(dir / "sub/y-keep", 0), 0u) << first.files[0].path;
    EXPECT_EQ(first.kind, Kind::mixed);
    EXPECT_EQ(first.reclaimable(), second.reclaimable());
    EXPECT_EQ(first.apparentSaving(), 3 * second.apparentSaving());

    DuplicateGroup single{"s", {{"s1", 10, 10, 5, 0, {}}}, 10, Kind::independentCopies};
    EXPECT_EQ(single.reclaimable(), 0);
    EXPECT_EQ(single.apparentSaving(), 0);
    EXPECT_EQ(DuplicateGroup{}.apparentSaving(), 0);
}
