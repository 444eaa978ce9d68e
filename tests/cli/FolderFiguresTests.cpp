// What the folder commands count, and of which folder: a file with many names once, a
// link's own blocks as du counts them, and a relative path as the folder it names.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

bool contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

long long blocksOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_blocks * 512LL : -1;
}

// What du counts under the folder, less the folder's own blocks.
long long duLessFolder(const std::string& folder) {
    const auto r = test::runCommand({"/usr/bin/du", "-s", "-B1", folder});
    return std::stoll(r.out) - blocksOf(folder);
}

// The command run from inside `folder`, its arguments as typed there.
test::CommandResult runFrom(const std::string& folder, const std::vector<std::string>& args,
                            const std::string& home) {
    std::string command = "cd '" + folder + "' && exec '" SORVEL_BINARY "'";
    for (const auto& a : args) command += " '" + a + "'";
    return test::runCommand({"/bin/sh", "-c", command}, {{"HOME", home}});
}

} // namespace

TEST(FolderFigures, InsightsCountsAFileWithTenNamesOnceAndSaysSo) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "f/movie.bin", 10'485'760);
    for (int i = 1; i <= 9; ++i)
        ASSERT_EQ(link((dir / "f/movie.bin").c_str(), (dir / ("f/copy" + std::to_string(i) + ".bin")).c_str()), 0);
    const auto r = test::runSorvel({"--insights", dir / "f"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "  " + Bytes::format(blocksOf(dir / "f/movie.bin")) + " \u00B7 1 file \u00B7")) << r.out;
    EXPECT_TRUE(contains(r.out, "Hard links: 9 more names of files already counted")) << r.out;
    EXPECT_TRUE(contains(r.out, "  (and 9 more names)\n")) << r.out;
    // One row for the one file.
    EXPECT_EQ(r.out.find(".bin"), r.out.rfind(".bin")) << r.out;
}

TEST(FolderFigures, SizeCountsLinksBlocksAsDuDoes) {
    const struct {
        const char* name;
        int links;
        size_t target; // length of each link's target
        bool secondName; // a hard link to the first link too
    } rows[] = {
        {"long targets", 100, 300, false},
        {"a link with two names", 3, 300, true},
        {"short targets", 20, 8, false},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        test::writeFileOfSize(dir / "d/file", 8192);
        for (int i = 0; i < row.links; ++i)
            ASSERT_EQ(symlink(std::string(row.target, 'x').c_str(), (dir / ("d/l" + std::to_string(i))).c_str()), 0);
        if (row.secondName) {
            ASSERT_EQ(link((dir / "d/l0").c_str(), (dir / "d/again").c_str()), 0);
        }
        const auto r = test::runSorvel({"--size", dir / "d"});
        ASSERT_EQ(r.status, 0) << row.name << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find(' ')), std::to_string(duLessFolder(dir / "d"))) << row.name << r.out;
    }
}

TEST(FolderFigures, ARelativePathIsTheFolderItNames) {
    test::FakeHome home;
    // Two copies of 3 MB in a folder the duplicates screen may move from.
    test::writeFile(home / "d/one.bin", std::string(3'000'000, 'a'));
    test::writeFile(home / "d/two.bin", std::string(3'000'000, 'a'));
    test::makeDirs(home / ".cache/app");
    const struct {
        const char* name;
        std::vector<std::string> relative, absolute;
        std::string line; // the start of the line both must print alike
    } rows[] = {
        {"duplicates", {"--duplicates", "d"}, {"--duplicates", home / "d"}, "  Genuinely reclaimable"},
        {"duplicates, ./", {"--duplicates", "./d/"}, {"--duplicates", home / "d/"}, "  Genuinely reclaimable"},
        {"insights", {"--insights", ".cache"}, {"--insights", home / ".cache"}, "\n  "},
        {"size", {"--size", "d"}, {"--size", home / "d"}, ""},
    };
    for (const auto& row : rows) {
        const auto relative = runFrom(home.path(), row.relative, home.path());
        const auto absolute = runFrom("/", row.absolute, home.path());
        ASSERT_EQ(relative.status, 0) << row.name << relative.err;
        const auto lineOf = [&row](const std::string& out) {
            const size_t at = out.find(row.line);
            return at == std::string::npos ? std::string("(none)") : out.substr(at, out.find('\n', at + row.line.size()) - at);
        };
        EXPECT_EQ(lineOf(relative.out), lineOf(absolute.out)) << row.name << "\n" << relative.out << "\n" << absolute.out;
    }
    const auto copies = runFrom(home.path(), {"--duplicates", "d"}, home.path());
    EXPECT_FALSE(contains(copies.out, "outside the folders Sorvel is allowed to touch")) << copies.out;
    EXPECT_FALSE(contains(copies.out, "Genuinely reclaimable   0 KB")) << copies.out;
}

TEST(FolderFigures, BackupsSharingFilesCountThemOnceInTheirTotal) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "root/one/shared", 3'000'000);
    test::writeFileOfSize(dir / "root/two/own", 1'500'000);
    ASSERT_EQ(link((dir / "root/one/shared").c_str(), (dir / "root/two/shared").c_str()), 0);
    const long long shared = blocksOf(dir / "root/one/shared"), own = blocksOf(dir / "root/two/own");
    const auto r = test::runSorvel({"--backups", dir / "root"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "  2 backups, " + Bytes::format(shared + own) + " in total, files they share counted once\n"))
        << r.out;
    // Each backup alone still holds all of its files.
    EXPECT_TRUE(contains(r.out, Bytes::format(shared + own) + "   ")) << r.out;
    EXPECT_TRUE(contains(r.out, Bytes::format(shared) + "   ")) << r.out;
}
