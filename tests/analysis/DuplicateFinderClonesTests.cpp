// Copies that share their blocks by cloning (reflinks) free only what they do not share.
#include <gtest/gtest.h>

#include <tuple>

#include "analysis/DuplicateFixtures.h"
#include "support/ReflinkVolume.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = DuplicateGroup::Kind;

namespace {

DuplicateFile file(const std::string& path, int64_t shared, uint64_t cloneID, uint64_t inode) {
    return DuplicateFile{path, 1000, 0, inode, cloneID, {}, 1, 1, shared};
}

} // namespace

TEST(DuplicateClones, KindAndFreedBytesFollowTheSharedBlocks) {
    using DuplicateFinder::detail::kind;
    struct Case {
        const char* what;
        std::vector<DuplicateFile> files;
        Kind expected;
        int64_t freedByExtras;
    } cases[] = {
        {"clones of one another", {file("a", 1000, 5, 1), file("b", 1000, 5, 2), file("c", 1000, 5, 3)},
         Kind::clones, 0},
        {"a clone beside a real copy", {file("a", 1000, 5, 1), file("b", 1000, 5, 2), file("c", 0, 0, 3)},
         Kind::mixed, 1000},
        {"each shares blocks, but not the same ones", {file("a", 1000, 5, 1), file("b", 1000, 6, 2)}, Kind::mixed,
         0},
        {"partly shared copies", {file("a", 400, 5, 1), file("b", 400, 5, 2)}, Kind::clones, 600},
        {"nothing shared", {file("a", 0, 0, 1), file("b", 0, 0, 2)}, Kind::independentCopies, 1000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kind(c.files), c.expected) << c.what;
        const std::vector<DuplicateFile> extras(c.files.begin() + 1, c.files.end());
        EXPECT_EQ(DuplicateFinder::bytesFreed(extras), c.freedByExtras) << c.what;
    }
}

// `cp --reflink` on a real XFS image: b.bin is a clone of a.bin, c.bin a real copy.
TEST(DuplicateClones, ReflinksOnXfsFreeNothingAndRealCopiesFreeTheirSize) {
    const auto run = inReflinkVolume([](const std::string& volume) {
        writeDated(volume + "/a.bin", patterned(3'000'000, 'a'), 1'500'000'000);
        writeDated(volume + "/d.bin", patterned(2'000'000, 'd'), 1'500'000'000);
        for (const auto& [from, to, how, date] : {std::tuple{"a", "b", "always", 1'600'000'000},
                                                  std::tuple{"a", "c", "never", 1'700'000'000},
                                                  std::tuple{"d", "e", "always", 1'600'000'000}}) {
            const std::string copy = volume + "/" + to + ".bin";
            if (runCommand({"/bin/cp", std::string("--reflink=") + how, volume + "/" + from + ".bin", copy}).status)
                return 10;
            setModified(copy, date);
        }

        const auto report = scanOne(volume);
        if (report.groups.size() != 2) return 1;
        const auto& abc = report.groups[0]; // 3 MB reclaimable comes first
        const auto& de = report.groups[1];
        if (abc.files.size() != 3 || abc.files[1].path != volume + "/b.bin") return 2;
        const int64_t copy = allocatedSize(volume + "/c.bin");
        if (abc.files[1].privateSize != 0 || abc.files[2].privateSize != copy) return 3;
        if (abc.reclaimable() != copy || abc.kind != Kind::mixed) return 4;
        if (abc.files[0].cloneID == 0 || abc.files[0].cloneID != abc.files[1].cloneID || abc.files[2].cloneID != 0)
            return 5;
        if (de.kind != Kind::clones || de.reclaimable() != 0 || de.apparentSaving() != de.size) return 6;
        if (report.reclaimable() != copy || !report.hasClones()) return 7;
        return 0;
    });
    if (!run.skipped.empty()) GTEST_SKIP() << "no XFS volume: " << run.skipped;
    EXPECT_EQ(run.status, 0) << "1: groups, 2: order, 3: private sizes, 4: reclaimable or kind of a/b/c, "
                                "5: clone identities, 6: the clone pair, 7: totals; 10: cp failed";
}
