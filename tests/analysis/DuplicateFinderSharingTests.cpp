// How the duplicate finder tells copies that share their blocks from independent ones.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>

#include "analysis/DuplicateFixtures.h"
#include "platform/FileAttributes.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = DuplicateGroup::Kind;

namespace {

struct Shared {
    int status;
    uint32_t length = 0;
    int64_t privateSize = -1;
    uint64_t cloneID = 99;
};

Shared query(const std::string& path, attrgroup_t fork = ATTR_CMNEXT_PRIVATESIZE | ATTR_CMNEXT_CLONEID,
             uint64_t options = FSOPT_ATTR_CMN_EXTENDED) {
    attrlist request;
    request.bitmapcount = ATTR_BIT_MAP_COUNT;
    request.forkattr = fork;
    unsigned char buffer[64] = {};
    Shared s{getattrlist(path.c_str(), &request, buffer, sizeof buffer, options)};
    std::memcpy(&s.length, buffer, 4);
    std::memcpy(&s.privateSize, buffer + 4, 8);
    std::memcpy(&s.cloneID, buffer + 12, 8);
    return s;
}

DuplicateFile file(uint64_t inode, uint64_t device, uint64_t links) {
    return DuplicateFile{"f" + std::to_string(inode), 10, 0, inode, 0, {}, device, links};
}

} // namespace

TEST(DuplicateSharing, AttributeQueryGivesPrivateSizeAndNoClone) {
    TempDir dir;
    writeFile(dir / "alone", patterned(100'000, 'a'));
    writeFile(dir / "linked", patterned(100'000, 'b'));
    ASSERT_EQ(::link((dir / "linked").c_str(), (dir / "second-name").c_str()), 0);

    auto alone = query(dir / "alone");
    ASSERT_EQ(alone.status, 0);
    EXPECT_EQ(alone.length, 20u);
    EXPECT_EQ(alone.privateSize, allocatedSize(dir / "alone"));
    EXPECT_EQ(alone.cloneID, 0u);

    auto linked = query(dir / "second-name");
    ASSERT_EQ(linked.status, 0);
    EXPECT_EQ(linked.privateSize, 0);

    EXPECT_EQ(query(dir / "missing").status, -1);
    EXPECT_EQ(query(dir / "alone", ATTR_CMNEXT_PRIVATESIZE, 0).status, -1);
    EXPECT_EQ(query(dir / "alone", 0x2).status, -1);
}

TEST(DuplicateSharing, TwoNamesOfOneFileAreHardLinksThatFreeNothing) {
    TempDir dir;
    writeFile(dir / "a.bin", patterned(kTwoMB, 'c'));
    ASSERT_EQ(::link((dir / "a.bin").c_str(), (dir / "b.bin").c_str()), 0);
    auto report = scanOne(dir.path());
    EXPECT_EQ(report.filesScanned, 2);
    ASSERT_EQ(report.groups.size(), 1u);
    const auto& g = report.groups[0];
    EXPECT_EQ(g.kind, Kind::hardLinks);
    EXPECT_EQ(g.files[0].inode, g.files[1].inode);
    EXPECT_EQ(g.reclaimable(), 0);
    EXPECT_EQ(g.apparentSaving(), g.size);
    EXPECT_EQ(report.apparentSaving() - report.reclaimable(), g.size);
}

TEST(DuplicateSharing, HardLinksBesideAnIndependentCopyAreMixed) {
    TempDir dir;
    const std::string content = patterned(kTwoMB, 'd');
    writeDated(dir / "copy.bin", content, 1'500'000'000);
    writeDated(dir / "name1.bin", content, 1'600'000'000);
    ASSERT_EQ(::link((dir / "name1.bin").c_str(), (dir / "name2.bin").c_str()), 0);
    auto report = scanOne(dir.path());
    ASSERT_EQ(report.groups.size(), 1u);
    const auto& g = report.groups[0];
    ASSERT_EQ(g.files.size(), 3u);
    EXPECT_EQ(g.kind, Kind::mixed);
    EXPECT_EQ(g.files[0].path, dir / "copy.bin");
    // Both names go, and with them the file.
    EXPECT_EQ(g.reclaimable(), g.size);
    EXPECT_EQ(g.apparentSaving(), 2 * g.size);
}

TEST(DuplicateSharing, KindFollowsFilesNotPrivateSizes) {
    using DuplicateFinder::detail::kind;
    struct Case {
        std::vector<DuplicateFile> files;
        Kind expected;
    } cases[] = {
        {{file(1, 1, 1), file(2, 1, 1), file(3, 1, 1)}, Kind::independentCopies},
        {{file(7, 1, 3), file(7, 1, 3), file(7, 1, 3)}, Kind::hardLinks},
        {{file(7, 1, 2), file(7, 1, 2), file(3, 1, 1)}, Kind::mixed},
        // Each copy has a second name elsewhere: shared storage, but never clones.
        {{file(1, 1, 2), file(2, 1, 2)}, Kind::mixed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kind(c.files), c.expected) << c.files.size() << " files, first inode " << c.files[0].inode;
    }
}

TEST(DuplicateSharing, EqualFileNumbersOnDifferentDevicesAreNotHardLinks) {
    using DuplicateFinder::detail::kind;
    EXPECT_EQ(kind({file(7, 1, 1), file(7, 2, 1)}), Kind::independentCopies);
    EXPECT_EQ(kind({file(7, 3, 2), file(7, 3, 2)}), Kind::hardLinks);
    // Nor do they add up as one file when their storage is counted.
    DuplicateGroup g{"g", {file(7, 1, 1), file(7, 2, 1), file(7, 3, 1)}, 10, Kind::independentCopies};
    g.files[1].path = "other-device";
    g.files[2].path = "third-device";
    EXPECT_EQ(g.reclaimable(), 20);
}
