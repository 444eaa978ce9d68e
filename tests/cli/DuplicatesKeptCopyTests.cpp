// `--duplicates`: the copy kept is one that never moves, else one in the document folders,
// else the oldest outside every folder the cleanup rules offer from, judged where it really
// lies, ages told apart to the nanosecond.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "support/TestSupport.h"

using namespace sorvel::test;

namespace {

// Equal copies below the home, each modified at its given seconds and nanoseconds.
void writeCopies(const FakeHome& home, const std::vector<std::tuple<std::string, int, long>>& copies) {
    for (const auto& [path, seconds, nanoseconds] : copies) {
        writeFile(home / path, std::string(1'200'000, 'k'));
        const struct timespec at[2] = {{1'700'000'000 + seconds, nanoseconds},
                                       {1'700'000'000 + seconds, nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (home / path).c_str(), at, 0), 0);
    }
}

} // namespace

TEST(DuplicatesKeptCopy, TheOldestOutsideThePlacesTheRulesOfferIsKept) {
    struct Case {
        const char* name;
        std::vector<std::tuple<std::string, int, long>> copies; // below the home; seconds, nanoseconds
        std::string kept;                                       // ends the "keep" row's path
        const char* link; // "cache": ~/.cache leads to ~/away; "home": searched through ~/view
    };
    const Case cases[] = {
        {"an older copy in the cache", {{"docs/big", 0, 0}, {".cache/app/big", -5, 0}}, "/docs/big ", ""},
        {"all copies in rules' places", {{".cache/app/big", 0, 0}, {".var/app/o.x.G/big", -5, 0}}, "/o.x.G/big ", ""},
        {"the original older by 5 ns", {{"docs/a.bin", 0, 100}, {"docs/a (copy).bin", 0, 105}}, "/a.bin ", ""},
        {"the copy older by 5 ns", {{"docs/a.bin", 0, 105}, {"docs/a (copy).bin", 0, 100}}, "/a (copy).bin ", ""},
        {"the cache through a link to the home", {{"docs/big", 0, 0}, {".cache/app/big", -5, 0}}, "/docs/big ", "home"},
        {"the cache folder a link", {{"docs/big", 0, 0}, {"away/app/big", -5, 0}}, "/docs/big ", "cache"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHome home;
        writeCopies(home, c.copies);
        if (::testing::Test::HasFatalFailure()) return;
        std::string root = home.path();
        const std::filesystem::path real(root);
        if (c.link == std::string("cache")) {
            std::filesystem::remove_all(home / ".cache");
            ASSERT_EQ(::symlink((home / "away").c_str(), (home / ".cache").c_str()), 0);
        } else if (c.link == std::string("home")) {
            ASSERT_EQ(::symlink(real.parent_path().c_str(), (home / "view").c_str()), 0);
            root = home / "view/" + real.filename().string(); // the home, spelled through ~/view
        }
        const auto r =
            runSorvel({"--duplicates", root}, {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
        ASSERT_EQ(r.status, 0) << r.err;
        const size_t at = r.out.find("        keep   ");
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_NE(r.out.substr(at, r.out.find('\n', at) - at).find(c.kept), std::string::npos) << r.out;
    }
}

// The copy a person keeps: one Sorvel never moves (the pictures, judged where they really lie),
// else one in the desktop's document folders over a download or one elsewhere; age decides
// only among copies alike in this. Each row in a mount namespace of its own.
TEST(DuplicatesKeptCopy, TheCopyNeverMovedOrInTheDocumentsIsKept) {
    struct Case {
        const char* name;
        std::vector<std::tuple<std::string, int, long>> copies; // below the home; seconds, nanoseconds
        std::string searched;                                   // below the home
        std::string kept;                                       // below the home, as the search meets it
        std::string offered;                                    // an extra that must be offered
        const char* setUp = "";                                 // "bind": ~/Documents at ~/.cache/bazel; "dirs": Dokumente
    };
    const Case cases[] = {
        {"a cp -p copy of a document in Downloads", {{"Documents/Thesis/drafts/ch1.odt", 0, 0}, {"Downloads/ch1.odt", 0, 0}},
         "", "Documents/Thesis/drafts/ch1.odt", "Downloads/ch1.odt"},
        {"an older download", {{"Documents/ch2.odt", 0, 0}, {"Downloads/ch2.odt", -86'400, 0}},
         "", "Documents/ch2.odt", "Downloads/ch2.odt"},
        {"a download 0.3 s older than its Pictures copy", {{"Pictures/cam/p1.jpg", 0, 300'000'000}, {"Downloads/p1.jpg", 0, 0}},
         "", "Pictures/cam/p1.jpg", "Downloads/p1.jpg"},
        {"a Music copy and an older one elsewhere", {{"Music/song.flac", 0, 0}, {"old/song.flac", -5, 0}},
         "", "Music/song.flac", "old/song.flac"},
        {"the documents folder user-dirs.dirs names", {{"Dokumente/brief.odt", 0, 0}, {"Downloads/brief.odt", -5, 0}},
         "", "Dokumente/brief.odt", "Downloads/brief.odt", "dirs"},
        {"two copies in the documents: the older", {{"Documents/b.odt", 0, 0}, {"Documents/a.odt", -5, 0}},
         "", "Documents/a.odt", "Documents/b.odt"},
        {"the documents bound at a cache folder", {{"Documents/report.docx", 0, 0}, {".cache/app/report.docx", -5, 0}},
         ".cache", ".cache/bazel/report.docx", ".cache/app/report.docx", "bind"},
    };
    int ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHome home;
        writeCopies(home, c.copies);
        if (::testing::Test::HasFatalFailure()) return;
        if (c.setUp == std::string("dirs")) writeFile(home / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
        const int status = inMountNamespace([&] {
            if (c.setUp == std::string("bind")) {
                makeDirs(home / ".cache/bazel");
                if (::mount((home / "Documents").c_str(), (home / ".cache/bazel").c_str(), nullptr, MS_BIND, nullptr) != 0)
                    return kSkipped;
            }
            const auto r = runSorvel({"--duplicates", home / c.searched},
                                     {{"HOME", home.path()}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}});
            const std::string kept = lineWith(r.out, "        keep   ~/" + c.kept + " ");
            const std::string offered = lineWith(r.out, "        extra  ~/" + c.offered + " ");
            const bool ok = r.status == 0 && !kept.empty() && offered.find("frees ") != std::string::npos;
            if (!ok) std::fprintf(stderr, "%s\n%s%s", c.name, r.out.c_str(), r.err.c_str());
            return ok ? 0 : 1;
        });
        ran += status != kSkipped;
        EXPECT_TRUE(status == 0 || status == kSkipped);
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}
