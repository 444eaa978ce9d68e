// What a file's extent map says about the blocks it shares: the arithmetic on given maps,
// then real reflinked copies on an XFS image.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fiemap.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileExtents.h"
#include "support/ReflinkVolume.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

constexpr uint32_t kShared = FIEMAP_EXTENT_SHARED;
constexpr int64_t kMB = 1 << 20;

FileExtent at(uint64_t logical, uint64_t physical, uint64_t length, uint32_t flags = 0) {
    return FileExtent{logical, physical, length, flags};
}

} // namespace

TEST(FileExtentSharing, PrivateBytesAreTheAllocationLessSharedExtents) {
    struct Case {
        const char* what;
        std::vector<FileExtent> extents;
        int64_t allocated;
        int64_t privateBytes;
        bool identified;
    } cases[] = {
        {"no extents (empty or all holes)", {}, 0, 0, false},
        {"nothing shared", {at(0, 1000, kMB), at(kMB, 9000, kMB, FIEMAP_EXTENT_LAST)}, 2 * kMB, 2 * kMB, false},
        {"all shared", {at(0, 1000, 2 * kMB, kShared | FIEMAP_EXTENT_LAST)}, 2 * kMB, 0, true},
        {"half shared", {at(0, 1000, kMB, kShared), at(kMB, 9000, kMB)}, 2 * kMB, kMB, true},
        // Preallocated beyond the end: counted in the allocation, not in the map.
        {"allocation past the mapped bytes", {at(0, 1000, kMB, kShared)}, kMB + 4096, 4096, true},
        // Compressed extents map more bytes than they take: never below nothing.
        {"shared map larger than the allocation", {at(0, 1000, 4 * kMB, kShared | FIEMAP_EXTENT_ENCODED)}, kMB, 0,
         true},
        // Shared, but with no place on the device yet: shared, without an identity.
        {"shared but not placed", {at(0, 0, kMB, kShared | FIEMAP_EXTENT_UNKNOWN)}, kMB, 0, false},
        {"delayed allocation is the file's own", {at(0, 0, kMB, FIEMAP_EXTENT_DELALLOC)}, kMB, kMB, false},
    };
    for (const auto& c : cases) {
        const ExtentSharing s = FileExtents::sharing(c.extents, c.allocated, 7);
        EXPECT_EQ(s.privateBytes, c.privateBytes) << c.what;
        EXPECT_EQ(s.sharedBytes, c.allocated - c.privateBytes) << c.what;
        EXPECT_EQ(s.cloneID != 0, c.identified) << c.what;
    }
}

TEST(FileExtentSharing, TheSameBlocksGiveTheSameIdentityHoweverTheyAreCut) {
    const auto id = [](std::vector<FileExtent> extents, uint64_t device = 7) {
        return FileExtents::sharing(extents, 4 * kMB, device).cloneID;
    };
    const uint64_t whole = id({at(0, 1000, 2 * kMB, kShared), at(2 * kMB, 50'000'000, kMB, kShared)});
    // One file's map cut at other points, listed in another order, with a private
    // extent in between: the same shared blocks.
    EXPECT_EQ(id({at(2 * kMB, 50'000'000, kMB, kShared), at(kMB, 1000 + kMB, kMB, kShared), at(3 * kMB, 8, 10),
                  at(0, 1000, kMB, kShared)}),
              whole);
    EXPECT_NE(id({at(0, 1000, 2 * kMB, kShared)}), whole) << "a part of the blocks";
    EXPECT_NE(id({at(0, 1001, 2 * kMB, kShared), at(2 * kMB, 50'000'000, kMB, kShared)}), whole) << "moved by a byte";
    EXPECT_NE(id({at(0, 1000, 2 * kMB, kShared), at(2 * kMB, 50'000'000, kMB, kShared)}, 8), whole)
        << "another device";
}

// Real clones: `cp --reflink` on a loop-mounted XFS image, in a mount namespace.
TEST(FileExtentSharing, ReflinkedCopiesOnXfsShareTheirBlocks) {
    const auto run = test::inReflinkVolume([](const std::string& volume) {
        test::writeFileOfSize(volume + "/a.bin", 4'000'000);
        if (test::runCommand({"/bin/cp", "--reflink=always", volume + "/a.bin", volume + "/b.bin"}).status != 0)
            return 10;
        if (test::runCommand({"/bin/cp", "--reflink=never", volume + "/a.bin", volume + "/c.bin"}).status != 0)
            return 11;
        auto sharing = [&](const char* name) {
            const int fd = ::open((volume + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            auto s = FileExtents::sharingOf(fd);
            ::close(fd);
            return s;
        };
        const auto a = sharing("a.bin"), b = sharing("b.bin"), c = sharing("c.bin");
        if (!a || !b || !c) return 1;
        if (a->privateBytes != 0 || b->privateBytes != 0) return 2;
        if (b->sharedBytes != test::allocatedSize(volume + "/b.bin")) return 3;
        if (a->cloneID == 0 || a->cloneID != b->cloneID) return 4;
        if (c->privateBytes != test::allocatedSize(volume + "/c.bin") || c->cloneID != 0) return 5;
        return 0;
    });
    if (!run.skipped.empty()) GTEST_SKIP() << "no XFS volume: " << run.skipped;
    EXPECT_EQ(run.status, 0) << "1: no extent map, 2: clones have private bytes, 3: shared bytes wrong, "
                                "4: clone identities differ, 5: the real copy looks shared; 10/11: cp failed";
}
