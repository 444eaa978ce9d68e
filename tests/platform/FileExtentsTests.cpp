// What a file's extent map says about the blocks it shares: the arithmetic on given maps,
// then real reflinked copies on an XFS image.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fiemap.h>

#include "platform/FileDescriptor.h"
#include "platform/FileExtents.h"
#include "support/ReflinkVolume.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

constexpr uint32_t kShared = FIEMAP_EXTENT_SHARED;
constexpr uint64_t kMB = 1 << 20;

} // namespace

TEST(FileExtentSharing, PrivateBytesAreTheAllocationLessSharedExtents) {
    const struct {
        const char* what;
        std::vector<FileExtent> extents;
        int64_t allocated, privateBytes;
        bool identified;
    } cases[] = {
        {"no extents (empty or all holes)", {}, 0, 0, false},
        {"nothing shared", {{0, 1000, kMB, 0}, {kMB, 9000, kMB, FIEMAP_EXTENT_LAST}}, 2 * kMB, 2 * kMB, false},
        {"all shared", {{0, 1000, 2 * kMB, kShared | FIEMAP_EXTENT_LAST}}, 2 * kMB, 0, true},
        {"half shared", {{0, 1000, kMB, kShared}, {kMB, 9000, kMB, 0}}, 2 * kMB, kMB, true},
        {"preallocated past the mapped bytes", {{0, 1000, kMB, kShared}}, kMB + 4096, 4096, true},
        {"compressed: a shared map larger than the allocation",
         {{0, 1000, 4 * kMB, kShared | FIEMAP_EXTENT_ENCODED}}, kMB, 0, true},
        {"shared but not placed yet: no identity", {{0, 0, kMB, kShared | FIEMAP_EXTENT_UNKNOWN}}, kMB, 0, false},
        {"delayed allocation is the file's own", {{0, 0, kMB, FIEMAP_EXTENT_DELALLOC}}, kMB, kMB, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ExtentSharing s = FileExtents::sharing(c.extents, c.allocated, 7);
        EXPECT_EQ(s.privateBytes, c.privateBytes);
        EXPECT_EQ(s.sharedBytes, c.allocated - c.privateBytes);
        EXPECT_EQ(s.cloneID != 0, c.identified);
    }
}

TEST(FileExtentSharing, TheSameBlocksGiveTheSameIdentityHoweverTheyAreCut) {
    const auto id = [](std::vector<FileExtent> extents, uint64_t device = 7) {
        return FileExtents::sharing(extents, 4 * kMB, device).cloneID;
    };
    const uint64_t whole = id({{0, 1000, 2 * kMB, kShared}, {2 * kMB, 50'000'000, kMB, kShared}});
    // Cut at other points, listed in another order, with a private extent in between.
    EXPECT_EQ(id({{2 * kMB, 50'000'000, kMB, kShared}, {kMB, 1000 + kMB, kMB, kShared}, {3 * kMB, 8, 10, 0},
                  {0, 1000, kMB, kShared}}),
              whole);
    EXPECT_NE(id({{0, 1000, 2 * kMB, kShared}}), whole) << "a part of the blocks";
    EXPECT_NE(id({{0, 1001, 2 * kMB, kShared}, {2 * kMB, 50'000'000, kMB, kShared}}), whole) << "moved by a byte";
    EXPECT_NE(id({{0, 1000, 2 * kMB, kShared}, {2 * kMB, 50'000'000, kMB, kShared}}, 8), whole) << "another device";
}

TEST(FileExtentSharing, ReflinkedCopiesOnXfsShareTheirBlocks) {
    const auto run = test::inReflinkVolume([](const std::string& volume) {
        test::writeFileOfSize(volume + "/a.bin", 4'000'000);
        for (const auto& [mode, name] : {std::pair{"--reflink=always", "/b.bin"}, {"--reflink=never", "/c.bin"}})
            if (test::runCommand({"/bin/cp", mode, volume + "/a.bin", volume + name}).status != 0) return 10;
        const auto sharing = [&](const char* name) {
            return FileExtents::sharingOf(FileDescriptor(::open((volume + name).c_str(), O_RDONLY | O_CLOEXEC)).get());
        };
        const auto a = sharing("/a.bin"), b = sharing("/b.bin"), c = sharing("/c.bin");
        if (!a || !b || !c) return 1;
        if (a->privateBytes != 0 || b->privateBytes != 0) return 2;
        if (b->sharedBytes != test::allocatedSize(volume + "/b.bin")) return 3;
        if (a->cloneID == 0 || a->cloneID != b->cloneID) return 4;
        if (c->privateBytes != test::allocatedSize(volume + "/c.bin") || c->cloneID != 0) return 5;
        return 0;
    });
    if (!run.skipped.empty()) GTEST_SKIP() << "no XFS volume: " << run.skipped;
    EXPECT_EQ(run.status, 0) << "1: no extent map, 2: clones have private bytes, 3: shared bytes wrong, "
                                "4: clone identities differ, 5: the real copy looks shared; 10: cp failed";
}
