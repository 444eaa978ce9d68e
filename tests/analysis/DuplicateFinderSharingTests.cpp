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

DuplicateFile file(uint64_t inode, int64_t size, int64_t privateSize) {
    return DuplicateFile{"f" + std::to_string(inode), size, privateSize, inode, 0, {}};
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
    // Removing both names would free the file, but each alone frees nothing.
    EXPECT_EQ(g.reclaimable(), 0);
    EXPECT_EQ(g.apparentSaving(), 2 * g.size);
}

TEST(DuplicateSharing, KindFollowsPrivateSizesWhenFilesDiffer) {
    const std::vector<uint64_t> oneDevice{1, 1, 1};
    using DuplicateFinder::detail::kind;
    EXPECT_EQ(kind({file(1, 10, 10), file(2, 10, 10), file(3, 10, 10)}, oneDevice), Kind::independentCopies);
    EXPECT_EQ(kind({file(1, 10, 4), file(2, 10, 0), file(3, 10, 9)}, oneDevice), Kind::clones);
    EXPECT_EQ(kind({file(1, 10, 10), file(2, 10, 3), file(3, 10, 10)}, oneDevice), Kind::mixed);
    EXPECT_EQ(kind({file(7, 10, 0), file(7, 10, 0), file(7, 10, 0)}, oneDevice), Kind::hardLinks);
    // A larger private size than allocated is not sharing.
    EXPECT_EQ(kind({file(1, 10, 12), file(2, 10, 10)}, {1, 1}), Kind::independentCopies);
}

TEST(DuplicateSharing, EqualFileNumbersOnDifferentDevicesAreNotHardLinks) {
    using DuplicateFinder::detail::kind;
    EXPECT_EQ(kind({file(7, 10, 10), file(7, 10, 10)}, {1, 2}), Kind::independentCopies);
    EXPECT_EQ(kind({file(7, 10, 10), file(7, 10, 10)}, {3, 3}), Kind::hardLinks);
}
