// `--duplicates`: "genuinely reclaimable" counts only the copies the guard would let move;
// copies in protected places (the pictures) are said apart, never in that figure.
#include <gtest/gtest.h>

#include <fcntl.h>
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
        std::string kept;                // the oldest copy
        std::vector<std::string> extras; // below the home
        std::vector<std::string> movable;
    };
    const Case cases[] = {
        {"one extra in the pictures, one in downloads", "Downloads/a.bin", {"Pictures/b.bin", "Downloads/c.bin"},
         {"Downloads/c.bin"}},
        {"every extra in the pictures", "Downloads/a.bin", {"Pictures/b.bin", "Pictures/trip/c.bin"}, {}},
        {"the kept copy in the pictures", "Pictures/a.bin", {"Downloads/b.bin"}, {"Downloads/b.bin"}},
        {"nothing protected", "Downloads/a.bin", {"Downloads/b.bin", "Music/c.bin"}, {"Downloads/b.bin", "Music/c.bin"}},
    };
    for (const auto& c : cases) {
        FakeHome home;
        const std::string content(1'200'000, 'q');
        writeFile(home / c.kept, content);
        makeOlder(home / c.kept, 1'400'000'000);
        for (const auto& extra : c.extras) writeFile(home / extra, content);
        const auto r = runSorvel({"--duplicates", "~"}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
        ASSERT_EQ(r.status, 0) << c.name << "\n" << r.err;
        long long movable = 0;
        for (const auto& path : c.movable) movable += allocatedSize(home / path);
        long long all = 0;
        for (const auto& path : c.extras) all += allocatedSize(home / path);
        EXPECT_TRUE(contains(r.out, "  Genuinely reclaimable   " + Bytes::format(movable) + "\n")) << c.name << "\n" << r.out;
        const size_t staying = c.extras.size() - c.movable.size();
        EXPECT_EQ(contains(r.out, "  Refused by the guard    " + Bytes::format(all - movable) + " in " +
                                      std::to_string(staying) + (staying == 1 ? " copy" : " copies") +
                                      " Sorvel never moves (a protected place, say)\n"),
                  staying > 0)
            << c.name << "\n" << r.out;
        // The size-only figure still counts every extra copy.
        EXPECT_TRUE(contains(r.out, "  A size-only tool would claim  " +
                                        Bytes::format(static_cast<long long>(c.extras.size()) * allocatedSize(home / c.kept)) +
                                        "\n"))
            << c.name << "\n" << r.out;
        // Each copy in the pictures says why it stays; the others what they free.
        for (const auto& extra : c.extras) {
            const size_t at = r.out.find("~/" + extra);
            ASSERT_NE(at, std::string::npos) << extra;
            const std::string row = r.out.substr(at, r.out.find('\n', at) - at);
            const bool inPictures = extra.rfind("Pictures/", 0) == 0;
            EXPECT_EQ(contains(row, "never moved: protected location (~/Pictures)"), inPictures) << row;
            EXPECT_EQ(contains(row, "frees "), !inPictures) << row;
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
