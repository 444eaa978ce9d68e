// `--duplicates`: "genuinely reclaimable" counts only the copies the guard would let move;
// copies in protected places (the pictures) are said apart, never in that figure.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <sys/stat.h>

#include "cli/DuplicatesCommand.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

void makeOlder(const std::string& path, long seconds) {
    struct timespec at[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), at, 0), 0) << path;
}

} // namespace

TEST(DuplicatesProtected, OnlyCopiesTheGuardLetsMoveAreReclaimable) {
    struct Case {
        const char* name;
        std::string oldest;              // below the home
        std::vector<std::string> others; // newer
        std::vector<std::string> movable;
    };
    // A copy in the pictures is the one kept, else one in the document folders.
    const Case cases[] = {
        {"one copy in the pictures, two in downloads", "Downloads/a.bin", {"Pictures/b.bin", "Downloads/c.bin"},
         {"Downloads/a.bin", "Downloads/c.bin"}},
        {"two copies in the pictures", "Downloads/a.bin", {"Pictures/b.bin", "Pictures/trip/c.bin"}, {"Downloads/a.bin"}},
        {"the oldest copy in the pictures", "Pictures/a.bin", {"Downloads/b.bin"}, {"Downloads/b.bin"}},
        {"nothing protected", "Downloads/a.bin", {"Downloads/b.bin", "Music/c.bin"}, {"Downloads/a.bin", "Downloads/b.bin"}},
    };
    for (const auto& c : cases) {
        FakeHome home;
        const std::string content(1'200'000, 'q');
        writeFile(home / c.oldest, content);
        makeOlder(home / c.oldest, 1'400'000'000);
        for (const auto& other : c.others) writeFile(home / other, content);
        const auto r = runSorvel({"--duplicates", "~"}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
        ASSERT_EQ(r.status, 0) << c.name << "\n" << r.err;
        const long long size = allocatedSize(home / c.oldest);
        const long long movable = size * static_cast<long long>(c.movable.size());
        const long long all = size * static_cast<long long>(c.others.size());
        EXPECT_TRUE(contains(r.out, "  Genuinely reclaimable   " + Bytes::format(movable) + "\n")) << c.name << "\n" << r.out;
        const size_t staying = c.others.size() - c.movable.size();
        EXPECT_EQ(contains(r.out, "  Refused by the guard    " + Bytes::format(all - movable) + " in " +
                                      std::to_string(staying) + (staying == 1 ? " copy" : " copies") +
                                      " Sorvel never moves (a protected place, say)\n"),
                  staying > 0)
            << c.name << "\n" << r.out;
        // The size-only figure still counts every extra copy.
        EXPECT_TRUE(contains(r.out, "  A size-only tool would claim  " + Bytes::format(all) + "\n")) << c.name << "\n" << r.out;
        // Each copy in the pictures says why it stays; the others what they free.
        std::vector<std::string> copies = c.others;
        copies.push_back(c.oldest);
        for (const auto& copy : copies) {
            const std::string row = lineWith(r.out, "~/" + copy + " ");
            ASSERT_FALSE(row.empty()) << copy << "\n" << r.out;
            const bool inPictures = copy.rfind("Pictures/", 0) == 0;
            const bool moves = std::find(c.movable.begin(), c.movable.end(), copy) != c.movable.end();
            EXPECT_EQ(contains(row, "never moved: protected location (~/Pictures)"), inPictures) << row;
            EXPECT_TRUE(!moves || contains(row, "frees ")) << row;
        }
    }
}

TEST(DuplicatesProtected, ARefusedCopyFreesNothingInTheFigures) {
    DuplicateFinder::Report report;
    DuplicateGroup g;
    for (const char* path : {"/h/keep", "/h/Pictures/x", "/h/Downloads/y"}) {
        g.files.push_back(DuplicateFile{path, 4'000'000, 4'000'000, g.files.size() + 1, 0, {}, 1, 0});
        g.id += std::string(g.id.empty() ? "" : "\x01") + path;
    }
    g.size = 4'000'000;
    report.groups.push_back(g);
    report.filesScanned = 3;
    const std::string text =
        HeadlessReport::duplicatesReport(report, {{"/h/Pictures/x", "protected location (~/Pictures)"}});
    EXPECT_TRUE(contains(text, "  Genuinely reclaimable   " + Bytes::format(4'000'000) + "\n")) << text;
    EXPECT_TRUE(contains(text, "  Refused by the guard    " + Bytes::format(4'000'000) +
                                   " in 1 copy Sorvel never moves (a protected place, say)\n"))
        << text;
    EXPECT_TRUE(contains(text, "/h/Pictures/x")) << text;
    EXPECT_TRUE(contains(text, "never moved: protected location (~/Pictures)")) << text;
    // Without refusals the figures stay as they were.
    const std::string whole = HeadlessReport::duplicatesReport(report);
    EXPECT_TRUE(contains(whole, "  Genuinely reclaimable   " + Bytes::format(8'000'000) + "\n")) << whole;
    EXPECT_FALSE(contains(whole, "Refused by the guard")) << whole;
}
