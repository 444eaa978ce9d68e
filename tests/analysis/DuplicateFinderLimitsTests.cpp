// The duplicate finder's scan limit, cancellation and files it cannot read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <cerrno>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "analysis/DuplicateFixtures.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(DuplicateLimits, ScanLimitStopsTheWalkButConfirmsWhatWasFound) {
    TempDir dir;
    const std::string content = patterned(1'100'000, 'a');
    for (const char* sub : {"a", "b", "c"}) {
        writeFile(dir / sub + "/1.bin", content);
        writeFile(dir / sub + "/2.bin", content);
    }
    DuplicateFinder::Options options;
    options.maxFiles = 3;
    auto report = scanOne(dir.path(), options);
    // Two folders are read (the count passes the limit by the second one's files); the
    // third is still waiting when the limit is seen.
    EXPECT_TRUE(report.hitScanLimit);
    EXPECT_EQ(report.filesScanned, 4);
    ASSERT_EQ(report.groups.size(), 1u);
    EXPECT_EQ(report.groups[0].files.size(), 4u);
}

TEST(DuplicateLimits, ReachingTheLimitWithNothingLeftToReadIsNoHit) {
    TempDir dir;
    const std::string content = patterned(1'100'000, 'b');
    writeFile(dir / "1.bin", content);
    writeFile(dir / "2.bin", content);
    DuplicateFinder::Options options;
    options.maxFiles = 2;
    auto report = scanOne(dir.path(), options);
    EXPECT_FALSE(report.hitScanLimit);
    EXPECT_EQ(report.filesScanned, 2);
    EXPECT_EQ(report.groups.size(), 1u);
}

TEST(DuplicateLimits, LaterRootsAreAbandonedOnceTheLimitHolds) {
    TempDir first, second;
    const std::string content = patterned(1'100'000, 'c');
    writeFile(first / "x/1.bin", content);
    writeFile(first / "x/2.bin", content);
    writeFile(second / "3.bin", content);
    DuplicateFinder::Options options;
    options.maxFiles = 1;
    ScanControl control;
    auto report = DuplicateFinder::scan({first.path(), second.path()}, options, control);
    EXPECT_TRUE(report.hitScanLimit);
    EXPECT_EQ(report.filesScanned, 2);
}

TEST(DuplicateLimits, ACancelledControlStopsBeforeTheFirstFolder) {
    TempDir dir;
    const std::string content = patterned(1'100'000, 'd');
    writeFile(dir / "1.bin", content);
    writeFile(dir / "2.bin", content);
    ScanControl control;
    control.cancel();
    auto report = DuplicateFinder::scan({dir.path(), dir.path()}, {}, control);
    EXPECT_EQ(report.filesScanned, 0);
    EXPECT_TRUE(report.groups.empty());
    EXPECT_FALSE(report.hitScanLimit);
}

TEST(DuplicateLimits, UnreadableFilesAndFoldersDropOutAndTheRestStillGroup) {
    TempDir dir;
    const std::string content = patterned(kTwoMB, 'e');
    writeFile(dir / "open1.bin", content);
    writeFile(dir / "open2.bin", content);
    writeFile(dir / "locked.bin", content);
    writeFile(dir / "closed/inside.bin", content);
    ASSERT_EQ(::chmod((dir / "locked.bin").c_str(), 0600), 0);
    ASSERT_EQ(::chmod((dir / "closed").c_str(), 0700), 0);

    const int status = runAsUnprivileged([&] {
        auto report = scanOne(dir.path());
        if (report.filesScanned != 3) return 10 + static_cast<int>(report.filesScanned);
        if (report.groups.size() != 1) return 20;
        const auto& files = report.groups[0].files;
        if (files.size() != 2) return 30;
        for (const auto& f : files) {
            if (f.path.find("open") == std::string::npos) return 40;
        }
        // What was left out is counted with its reason, not passed over in silence.
        if (report.unreadableFolders != std::map<int, int64_t>{{EACCES, 1}}) return 50;
        if (report.unreadableFiles != std::map<int, int64_t>{{EACCES, 1}}) return 60;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(DuplicateHashes, EdgeSignatureCoversStartAndEnd) {
    TempDir dir;
    using DuplicateFinder::detail::edgeSignature;
    const std::string small = patterned(65'536, 'f');
    writeFile(dir / "small", small);
    EXPECT_EQ(edgeSignature(dir / "small"), SHA256::hex(small));

    const std::string overlapping = patterned(100'000, 'g');
    writeFile(dir / "overlap", overlapping);
    EXPECT_EQ(edgeSignature(dir / "overlap"),
              SHA256::hex(overlapping.substr(0, 65'536) + overlapping.substr(100'000 - 65'536)));

    const std::string large = patterned(kTwoMB, 'h');
    writeFile(dir / "large", large);
    EXPECT_EQ(edgeSignature(dir / "large"), SHA256::hex(large.substr(0, 65'536) + large.substr(kTwoMB - 65'536)));

    writeFile(dir / "empty", "");
    EXPECT_EQ(edgeSignature(dir / "empty"), SHA256::hex(""));
}

TEST(DuplicateHashes, FullHashStreamsTheWholeFile) {
    TempDir dir;
    const std::string content = patterned(9'000'001, 'i');
    writeFile(dir / "big", content);
    EXPECT_EQ(DuplicateFinder::detail::fullHash(dir / "big"), SHA256::hex(content));
    EXPECT_EQ(SHA256::hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(DuplicateHashes, WhatIsNotAReadableRegularFileHasNoHash) {
    TempDir dir;
    using DuplicateFinder::detail::edgeSignature;
    using DuplicateFinder::detail::fullHash;
    // A name that became a pipe since the walk must not block the scan forever.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(edgeSignature(dir / "pipe"), std::nullopt);
    EXPECT_EQ(fullHash(dir / "pipe"), std::nullopt);
    makeDirs(dir / "folder");
    EXPECT_EQ(edgeSignature(dir / "folder"), std::nullopt);
    writeFile(dir / "target", "x");
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
    EXPECT_EQ(fullHash(dir / "link"), std::nullopt);
    EXPECT_EQ(fullHash(dir / "missing"), std::nullopt);
}

TEST(DuplicateLimits, FilesDeeperThanOneSystemCallCanNameAreStillCompared) {
    TempDir dir;
    const std::string component = "level-with-a-long-name-" + std::string(40, 'x');
    int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < 80; ++i) {
        ASSERT_EQ(::mkdirat(fd, component.c_str(), 0755), 0);
        const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
    }
    const std::string content = patterned(1'100'000, 'j');
    for (const char* name : {"a.bin", "b.bin"}) {
        const int f = ::openat(fd, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_EQ(::write(f, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        ::close(f);
    }
    ASSERT_EQ(::linkat(fd, "b.bin", fd, "c.bin", 0), 0);
    ::close(fd);

    auto report = scanOne(dir.path());
    EXPECT_EQ(report.filesScanned, 3);
    ASSERT_EQ(report.groups.size(), 1u);
    const auto& files = report.groups[0].files;
    ASSERT_EQ(files.size(), 3u);
    EXPECT_GT(files[0].path.size(), 4096u);
    // The two names of one file are known as one file, however long their paths:
    // whichever is kept, removing the extras frees one file's bytes.
    for (const auto& f : files) EXPECT_EQ(f.linkCount, f.path.ends_with("a.bin") ? 1u : 2u) << f.path;
    EXPECT_EQ(report.groups[0].reclaimable(), report.groups[0].size);
    EXPECT_EQ(report.groups[0].kind, DuplicateGroup::Kind::mixed);
}
