// `--duplicates PATH`: the printed groups, the two totals and the closing paragraph.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "cli/DuplicatesCommand.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = DuplicateGroup::Kind;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

DuplicateGroup group(const std::vector<std::pair<std::string, int64_t>>& files, int64_t size, Kind kind) {
    DuplicateGroup g;
    // Files of their own; one that frees less than its size has a name outside the group.
    for (const auto& [path, privateSize] : files) {
        const uint64_t inode = g.files.size() + 1;
        g.files.push_back(DuplicateFile{path, size, privateSize, inode, 0, {}, 1, privateSize < size ? 2u : 1u});
        if (!g.id.empty()) g.id += '\x01';
        g.id += path;
    }
    g.size = size;
    g.kind = kind;
    return g;
}

// The closing paragraph as one line, whatever the wrapping.
std::string unwrapped(std::string text) {
    for (size_t at = text.find("\n  "); at != std::string::npos; at = text.find("\n  ", at)) text.replace(at, 3, " ");
    return text;
}

size_t count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

} // namespace

TEST(DuplicatesCommand, APartlySharedGroupPrintsOneKeepAndTwoExtraRows) {
    FakeHome home;
    DuplicateFinder::Report report;
    report.filesScanned = 7;
    report.groups.push_back(group({{home / "a.mov", 5'000'000}, {home / "b.mov", 5'000'000}, {"/srv/c.mov", 0}},
                                  5'000'000, Kind::mixed));
    const std::string text = HeadlessReport::duplicatesReport(report);
    const std::string expected =
        "  7 files considered\n"
        "  1 group of identical files\n"
        "\n"
        "  " + std::string(6, ' ') + "5 MB \u00D7 3   Partly shared storage\n"
        "        keep   " + "~/a.mov" + std::string(53, ' ') + "frees " + Bytes::format(0) + "\n"
        "        extra  " + "~/b.mov" + std::string(53, ' ') + "frees 5 MB\n"
        "        extra  " + "/srv/c.mov" + std::string(50, ' ') + "frees " + Bytes::format(0) + "\n"
        "\n"
        "  Genuinely reclaimable   5 MB\n"
        "  A size-only tool would claim  10 MB\n"
        "\n"
        "  5 MB of that does not exist. Those copies are hard links, more names of\n"
        "  one file, so the filesystem counts the bytes once no matter how many\n"
        "  names point at them.\n"
        "\n";
    EXPECT_EQ(text, expected);
}

TEST(DuplicatesCommand, IndependentCopiesOnlyPrintNoParagraph) {
    DuplicateFinder::Report report;
    report.filesScanned = 400'123;
    report.hitScanLimit = true;
    report.groups.push_back(group({{"/x/1", 2'000'000}, {"/x/2", 2'000'000}}, 2'000'000, Kind::independentCopies));
    const std::string text = HeadlessReport::duplicatesReport(report);
    EXPECT_TRUE(contains(text, "  400123 files considered (scan limit reached)\n")) << text;
    EXPECT_TRUE(contains(text, "   Separate copies\n")) << text;
    EXPECT_TRUE(contains(text, "  Genuinely reclaimable   2 MB\n  A size-only tool would claim  2 MB\n\n")) << text;
    EXPECT_FALSE(contains(text, "does not exist")) << text;
    EXPECT_EQ(text.substr(text.size() - 3), "B\n\n");
}

TEST(DuplicatesCommand, OnlyTwentyFiveGroupsArePrintedButTotalsCoverAll) {
    DuplicateFinder::Report report;
    for (int i = 0; i < 30; ++i)
        report.groups.push_back(group({{"/g" + std::to_string(i) + "/a", 1'000'000}, {"/g" + std::to_string(i) + "/b", 0}},
                                      1'000'000, Kind::hardLinks));
    const std::string text = HeadlessReport::duplicatesReport(report);
    EXPECT_EQ(count(text, "   Hard links \u2014 the same file\n"), 25u);
    EXPECT_TRUE(contains(text, "/g24/a")) << text;
    EXPECT_FALSE(contains(text, "/g25/a")) << text;
    EXPECT_TRUE(contains(text, "  30 groups of identical files\n")) << text;
    EXPECT_TRUE(contains(text, "  A size-only tool would claim  30 MB\n")) << text;
    EXPECT_TRUE(contains(text, "\n  30 MB of that does not exist.")) << text;
}

TEST(DuplicatesCommand, LongPathsKeepTheirTailAndMixedGroupsAreLabelled) {
    DuplicateFinder::Report report;
    const std::string longPath = "/" + std::string(70, 'p') + "/tail.bin";
    report.groups.push_back(group({{"/short", 3'000'000}, {longPath, 3'000'000}}, 3'000'000, Kind::mixed));
    const std::string text = HeadlessReport::duplicatesReport(report);
    EXPECT_TRUE(contains(text, "   Partly shared storage\n")) << text;
    const std::string fitted = "\u2026" + longPath.substr(longPath.size() - 57);
    EXPECT_TRUE(contains(text, "        extra  " + fitted + "  frees 3 MB\n")) << text;
}

TEST(DuplicatesCommand, EndToEndOnAFakeHome) {
    FakeHome home;
    const std::string content(1'500'000, 'z');
    writeFile(home / "Photos/one.jpg", content);
    writeFile(home / "Photos/old/two.jpg", content);
    struct timespec older[2] = {{1'500'000'000, 0}, {1'500'000'000, 0}};
    utimensat(AT_FDCWD, (home / "Photos/old/two.jpg").c_str(), older, 0);
    ASSERT_EQ(::link((home / "Photos/one.jpg").c_str(), (home / "Photos/three.jpg").c_str()), 0);

    auto r = runSorvel({"--duplicates", "~/Photos"}, {{"HOME", home.path()}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("\n  Looking for duplicates under ~/Photos\u2026\n\n  3 files considered\n"
                          "  1 group of identical files\n\n",
                          0),
              0u)
        << r.out;
    EXPECT_TRUE(contains(r.out, " \u00D7 3   Partly shared storage\n        keep   ~/Photos/old/two.jpg")) << r.out;
    // The two extra names are all the names of one file: removing both frees it once.
    EXPECT_TRUE(contains(r.out, "  Genuinely reclaimable   " + Bytes::format(allocatedSize(home / "Photos/one.jpg")) +
                                    "\n"))
        << r.out;
    EXPECT_TRUE(contains(r.out, " of that does not exist.")) << r.out;
}

TEST(DuplicatesCommand, TheNoteNamesClonesOnlyWhereSomeExist) {
    DuplicateFinder::Report report;
    report.groups.push_back(group({{"/a", 1'000'000}, {"/b", 0}}, 1'000'000, Kind::hardLinks));
    EXPECT_TRUE(contains(unwrapped(HeadlessReport::duplicatesReport(report)), "are hard links, more names of one"));
    report.groups[0].files[1].sharedBytes = 1'000'000;
    const std::string text = unwrapped(HeadlessReport::duplicatesReport(report));
    EXPECT_TRUE(contains(text, "Those copies are reflinked clones or hard links sharing their blocks, so the")) << text;
}

TEST(DuplicatesCommand, AMissingFolderIsAnErrorNotAnEmptyReport) {
    FakeHome home;
    auto r = runSorvel({"--duplicates", home / "nowhere"}, {{"HOME", home.path()}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No such path: " + home / "nowhere" + "\n");
    EXPECT_EQ(r.out, "");
}

// What could not be read is counted with its reason. Only where nothing below the folder
// could be read is the answer the status of a path that cannot be read, with no counts or
// totals that would pass for "nothing to free"; a folder read but for some of it is
// reported as usual.
TEST(DuplicatesCommand, WhatCouldNotBeReadIsCountedAndOnlyNothingReadableFails) {
    const struct {
        const char* what;
        bool readablePair;
        bool smallFile;    // src/a.c, under the size floor
        bool lockedFile;   // locked.bin, alone in its length
        mode_t closedFolder; // 0: none
        int status;
        const char* line;
    } cases[] = {
        {"partly readable", true, false, true, 0700, 0, "  1 folder and 1 file could not be read (Permission denied)\n"},
        {"nothing readable", false, false, true, 0700, 1, "  1 folder and 1 file could not be read (Permission denied)\n"},
        {"one locked file", false, false, true, 0, 1, "  1 file could not be read (Permission denied)\n"},
        // Listable but not enterable: its names were seen, none could be looked at.
        {"a folder it may list only", false, false, true, 0744, 1,
         "  1 folder and 1 file could not be read (Permission denied)\n"},
        // Read but for one locked folder: a small file was read, so the folder was looked in.
        {"a small file beside a locked folder", false, true, false, 0700, 0,
         "  1 folder could not be read (Permission denied)\n"},
        {"a small file beside a locked file and folder", false, true, true, 0700, 0,
         "  1 folder and 1 file could not be read (Permission denied)\n"},
    };
    for (const auto& c : cases) {
        TempDir scratch, dir;
        ASSERT_EQ(::chmod(scratch.path().c_str(), 0777), 0);
        const std::string content(1'500'000, 'p');
        if (c.readablePair) {
            writeFile(dir / "a.bin", content);
            writeFile(dir / "b.bin", content);
        }
        if (c.smallFile) writeFile(dir / "src/a.c", "int main() { return 0; }\n");
        if (c.closedFolder) {
            writeFile(dir / "closed/c.bin", content);
            ASSERT_EQ(::chmod((dir / "closed").c_str(), c.closedFolder), 0);
        }
        if (c.lockedFile) {
            writeFile(dir / "locked.bin", std::string(1'200'000, 'q'));
            ASSERT_EQ(::chmod((dir / "locked.bin").c_str(), 0000), 0);
        }
        const int status = runAsUnprivileged([&] {
            const auto r = runSorvel({"--duplicates", dir.path()});
            std::ofstream(scratch / "out", std::ios::binary) << r.out;
            std::ofstream(scratch / "err", std::ios::binary) << r.err;
            return r.status;
        });
        const std::string out = readFile(scratch / "out"), err = readFile(scratch / "err");
        EXPECT_EQ(status, c.status) << c.what << "\n" << out << err;
        EXPECT_TRUE(contains(out, c.line)) << c.what << "\n" << out;
        EXPECT_EQ(contains(out, "  1 group of identical files"), c.readablePair) << c.what << "\n" << out;
        // Totals and counts only for what was looked in.
        for (const char* figure : {"Genuinely reclaimable", " considered", " of identical files"})
            EXPECT_EQ(contains(out, figure), c.status == 0) << c.what << ": " << figure << "\n" << out;
        EXPECT_EQ(err, c.status == 0 ? "" : "Cannot read anything under " + dir.path() +
                                                " (Permission denied), so no duplicates could be looked for.\n")
            << c.what;
    }
}
