// What the duplicate finder claims must hold on this file system: roots however they
// are spelled meet the exclusions, only whole files of the very inode walked are
// compared, and reclaimable bytes are what removing the extras really frees.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>

#include "analysis/DuplicateFixtures.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = DuplicateGroup::Kind;

namespace {

// Options with only the given exclusions, so a test's HOME does not matter.
DuplicateFinder::Options excluding(std::set<std::string> paths) {
    DuplicateFinder::Options options;
    options.excludedPaths = std::move(paths);
    return options;
}

void hardLink(const std::string& from, const std::string& to) {
    ASSERT_EQ(::link(from.c_str(), to.c_str()), 0) << to;
}

} // namespace

TEST(DuplicateTruth, EverySpellingOfARootMeetsTheExclusions) {
    TempDir dir;
    const std::string home = dir / "h";
    const std::string content = patterned(kTwoMB, 'r');
    writeFile(home + "/a.bin", content);
    writeFile(home + "/b.bin", content);
    writeFile(home + "/Cloud/c.bin", content);
    writeFile(home + "/Cloud/d.bin", patterned(kTwoMB, 's'));
    writeFile(home + "/Cloud/e.bin", patterned(kTwoMB, 's'));
    const auto options = excluding({home + "/Cloud"});

    const std::string cwd = std::filesystem::current_path();
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    for (const std::string& root : std::vector<std::string>{home, home + "/", home + "//", home + "/./", home + "/../h/", std::string("h"),
                                   std::string("./h/")}) {
        const auto report = scanOne(root, options);
        EXPECT_EQ(report.filesScanned, 2) << root;
        ASSERT_EQ(report.groups.size(), 1u) << root;
        for (const auto& f : report.groups[0].files) {
            EXPECT_EQ(f.path.find("Cloud"), std::string::npos) << root << ": " << f.path;
            EXPECT_EQ(f.path.find("//"), std::string::npos) << root << ": " << f.path;
            EXPECT_EQ(f.path.rfind(home + "/", 0), 0u) << root << ": " << f.path;
        }
    }
    // An exclusion written with a trailing slash is the same folder.
    EXPECT_EQ(scanOne(home, excluding({home + "/Cloud/"})).filesScanned, 2);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

TEST(DuplicateTruth, AFileThatIsNotWhatItWasWhenOpenedHasNoHash) {
    using DuplicateFinder::detail::fullHash;
    struct stat st {};
    // sysfs promises a page and holds a line: the file ends before its length.
    const char* shorter = "/sys/kernel/mm/transparent_hugepage/enabled";
    if (::stat(shorter, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 4096) {
        EXPECT_EQ(fullHash(shorter), std::nullopt) << shorter;
    }
    // procfs says 0 bytes and holds many: the file goes on past its length.
    EXPECT_EQ(fullHash("/proc/self/status"), std::nullopt);
    // Reading a process's memory at offset 0 fails: a failed read is no hash of nothing.
    ASSERT_EQ(::stat("/proc/self/mem", &st), 0);
    EXPECT_EQ(fullHash("/proc/self/mem"), std::nullopt);

    TempDir dir;
    writeFile(dir / "plain", "contents");
    EXPECT_EQ(fullHash(dir / "plain"), SHA256::hex("contents"));
}

TEST(DuplicateTruth, OnlyTheFileThatWasListedIsHashed) {
    using DuplicateFinder::detail::edgeSignature;
    using DuplicateFinder::detail::fullHash;
    using DuplicateFinder::detail::FileIdentity;
    TempDir dir;
    const std::string content = patterned(kTwoMB, 't');
    writeFile(dir / "a.bin", content);
    struct stat listed {};
    ASSERT_EQ(::stat((dir / "a.bin").c_str(), &listed), 0);
    const FileIdentity identity{static_cast<uint64_t>(listed.st_dev), static_cast<uint64_t>(listed.st_ino)};
    EXPECT_EQ(fullHash(dir / "a.bin", identity), SHA256::hex(content));

    // Swapped for another file of the same name after the listing.
    writeFile(dir / "other.bin", content);
    ASSERT_EQ(::rename((dir / "other.bin").c_str(), (dir / "a.bin").c_str()), 0);
    EXPECT_EQ(fullHash(dir / "a.bin", identity), std::nullopt);
    EXPECT_EQ(edgeSignature(dir / "a.bin", identity), std::nullopt);
    FileIdentity otherDevice = identity;
    ++otherDevice.device;
    EXPECT_EQ(fullHash(dir / "a.bin", otherDevice), std::nullopt);
    EXPECT_NE(fullHash(dir / "a.bin"), std::nullopt);
}

TEST(DuplicateTruth, ReclaimableIsWhatRemovingTheExtrasFrees) {
    // Dates order the files, oldest first and kept. "outside" is beyond the root.
    struct Case {
        const char* what;
        std::function<void(const std::string& root, const std::string& outside)> make;
        int64_t files; // how many files' worth of bytes removing the extras frees
        Kind kind;
    } cases[] = {
        {"two names of a file and an older copy",
         [](const std::string& r, const std::string&) {
             writeDated(r + "/a", patterned(1'300'000, 'u'), 1'600'000'000);
             hardLink(r + "/a", r + "/b");
             writeDated(r + "/c", patterned(1'300'000, 'u'), 1'000'000'000);
         },
         1, Kind::mixed},
        {"the kept file's second name and a copy",
         [](const std::string& r, const std::string&) {
             writeDated(r + "/a", patterned(1'300'000, 'u'), 1'000'000'000);
             hardLink(r + "/a", r + "/b");
             writeDated(r + "/c", patterned(1'300'000, 'u'), 1'600'000'000);
         },
         1, Kind::mixed},
        {"extras with a third name outside the root",
         [](const std::string& r, const std::string& o) {
             writeDated(r + "/a", patterned(1'300'000, 'u'), 1'600'000'000);
             hardLink(r + "/a", r + "/b");
             hardLink(r + "/a", o + "/a-elsewhere");
             writeDated(r + "/c", patterned(1'300'000, 'u'), 1'000'000'000);
         },
         0, Kind::mixed},
        {"two copies that each have a second name",
         [](const std::string& r, const std::string&) {
             writeDated(r + "/a", patterned(1'300'000, 'u'), 1'000'000'000);
             hardLink(r + "/a", r + "/a2");
             writeDated(r + "/c", patterned(1'300'000, 'u'), 1'600'000'000);
             hardLink(r + "/c", r + "/c2");
         },
         1, Kind::mixed},
        {"names of one file only",
         [](const std::string& r, const std::string&) {
             writeFile(r + "/a", patterned(1'300'000, 'u'));
             hardLink(r + "/a", r + "/b");
             hardLink(r + "/a", r + "/c");
         },
         0, Kind::hardLinks},
        {"three separate copies",
         [](const std::string& r, const std::string&) {
             for (const char* name : {"/a", "/b", "/c"}) writeFile(r + name, patterned(1'300'000, 'u'));
         },
         2, Kind::independentCopies},
    };
    for (const auto& c : cases) {
        TempDir dir;
        makeDirs(dir / "root");
        makeDirs(dir / "outside");
        c.make(dir / "root", dir / "outside");
        const auto report = scanOne(dir / "root", excluding({}));
        ASSERT_EQ(report.groups.size(), 1u) << c.what;
        const DuplicateGroup& g = report.groups[0];
        EXPECT_EQ(g.kind, c.kind) << c.what;
        EXPECT_EQ(g.reclaimable(), c.files * allocatedSize(dir / "root/a")) << c.what;
        EXPECT_EQ(report.reclaimable(), g.reclaimable()) << c.what;
        // The rows add up to the total, and each file's bytes are credited once.
        int64_t rows = 0;
        for (size_t i = 1; i < g.files.size(); ++i) rows += g.files[i].privateSize;
        EXPECT_EQ(rows, g.reclaimable()) << c.what;
        for (const auto& f : g.files) EXPECT_EQ(f.cloneID, 0u) << c.what;
    }
}
