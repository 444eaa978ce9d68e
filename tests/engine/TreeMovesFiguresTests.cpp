// Folding moved items carries every figure an item counts for, not only its bytes: after
// the fold, each folder the tree keeps reads the size, files, folders, refused folders and
// reading that a fresh walk of the disk gives, also where the hidden contents of a folder
// at the kept depth hold 0 bytes and where what moved holds nothing readable. Run as the
// unprivileged user, so folders closed with mode 000 are refused.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FileWalker.h"
#include "engine/Reading.h"
#include "engine/TreeMoves.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Case {
    std::string name;
    // "f PATH BYTES" a file, "d PATH" an empty folder, "r PATH" a folder closed to the user;
    // paths below the test folder, the roots being "logs" and "trash".
    std::vector<std::string> entries;
    std::vector<std::string> moved; // below the test folder, moved into the Trash in one batch
    int keptDepth = 10;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::vector<Case> kCases = {
    {"ZeroByteContentsBelowTheKeptDepthKeepTheirCounts",
     {"f logs/box/one 0", "d logs/box/e1", "d logs/box/e2", "f logs/box/sub/zero 0", "d logs/box/sub/inner"},
     {"logs/box/e1"},
     1},
    {"ARootReadInPartStaysReadInPart",
     {"r logs/box/locked1", "r logs/box/locked2", "d logs/box/gone", "f logs/box/kept 4096"},
     {"logs/box/gone"},
     1},
    {"AKeptFolderOfRefusedFoldersJoinsTheTrashWithItsRefusal",
     {"r logs/only/r1", "r logs/only/r2", "f logs/other 4096"},
     {"logs/only"}},
    {"AHiddenFolderOfRefusedFoldersJoinsTheTrashWithItsRefusal",
     {"r logs/deep/only/r1", "f logs/deep/keep 4096"},
     {"logs/deep/only"},
     1},
    {"EmptyFilesAndFoldersFromOutsideEveryRoot",
     {"f outside/dir/empty 0", "d outside/dir/sub", "d outside/dir/sub/subsub", "f logs/x 4096"},
     {"outside/dir"}},
    {"FilesBelowTheKeptDepthLeaveAsFiles",
     {"f logs/box/sub/a 4096", "f logs/box/sub/b 0", "d logs/box/e"},
     {"logs/box/sub/a", "logs/box/sub/b"},
     1},
    {"MixedAtTheKeptDepth",
     {"f logs/app/big 40000", "f logs/app/cache/x 0", "f logs/app/cache/y 4096", "r logs/app/cache/locked",
      "d logs/app/empty", "r logs/app/closed", "f logs/app/cache/deeper/z 0"},
     {"logs/app/cache", "logs/app/big", "logs/app/empty"},
     2},
};

// What each folder of the tree says, against what the fresh walk says of the same folder.
class Checker {
public:
    void compare(const ScanNode& kept, const ScanNode& fresh) {
        auto check = [&](const char* what, int64_t a, int64_t b) {
            if (a != b) out_ << kept.path << ": " << what << " " << a << ", fresh " << b << "\n";
        };
        check("size", kept.size, fresh.size);
        check("files", kept.fileCount, fresh.fileCount);
        check("folders", kept.dirCount, fresh.dirCount);
        check("refused folders", kept.unreadableFolders, fresh.unreadableFolders);
        check("reading", static_cast<int>(readingOf(kept)), static_cast<int>(readingOf(fresh)));
        for (const auto& child : kept.children) {
            const ScanNode* match = nullptr;
            for (const auto& other : fresh.children)
                if (other->name == child->name) match = other.get();
            if (!match) out_ << child->path << ": kept, but not on disk\n";
            else compare(*child, *match);
        }
    }
    std::string report() const { return out_.str(); }

private:
    std::ostringstream out_;
};

ScanNodePtr walked(const std::string& path, int depth) {
    ScanControl control;
    FileWalker::Options options;
    options.maxNodeDepth = depth;
    return FileWalker::walk(path, control, options);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// In the unprivileged child: makes the trees, scans, moves, folds and compares; what
// differs is written to `report`.
int foldAndCompare(const Case& c, const TempDir& dir, const std::string& report) {
    std::vector<std::string> closed;
    makeDirs(dir / "logs");
    makeDirs(dir / "trash");
    for (const auto& entry : c.entries) {
        std::istringstream words(entry);
        std::string kind, path;
        size_t bytes = 0;
        words >> kind >> path >> bytes;
        if (kind == "f") writeFileOfSize(dir / path, bytes);
        else makeDirs(dir / path);
        if (kind == "r") closed.push_back(dir / path);
    }
    for (const auto& path : closed)
        if (::chmod(path.c_str(), 0) != 0) return 2;
    ScanResult result;
    DisplayCategory logs, trash;
    logs.id = "logs";
    trash.id = "trash";
    result.categories.push_back({logs, {walked(dir / "logs", c.keptDepth)}});
    result.categories.push_back({trash, {walked(dir / "trash", c.keptDepth)}});

    std::vector<TreeMoves::Move> moves;
    for (const auto& item : c.moved) {
        const std::string from = dir / item;
        const ScanNodePtr before = walked(from, c.keptDepth);
        const std::string to = dir / ("trash/" + std::to_string(moves.size()) + "-" + from.substr(from.rfind('/') + 1));
        const bool folder = isFolder(from);
        if (std::rename(from.c_str(), to.c_str()) != 0) return 3;
        moves.push_back({from, to, before ? before->size : 0, folder, nullptr});
    }
    std::vector<TreeMoves::Move> chosen;
    std::vector<size_t> at;
    for (size_t i = 0; i < moves.size(); ++i)
        if (TreeMoves::needsMeasuring(moves[i], result)) {
            chosen.push_back(moves[i]);
            at.push_back(i);
        }
    TreeMoves::measure(chosen, [&](const std::string& path) { return walked(path, c.keptDepth); });
    for (size_t k = 0; k < at.size(); ++k) moves[at[k]] = chosen[k];
    if (!TreeMoves::apply(moves, result, c.keptDepth)) return 4;

    Checker checker;
    checker.compare(*result.categories[0].roots.front(), *walked(dir / "logs", c.keptDepth));
    checker.compare(*result.categories[1].roots.front(), *walked(dir / "trash", c.keptDepth));
    std::ofstream(report) << checker.report();
    return checker.report().empty() ? 0 : 1;
}

class TreeMovesFigures : public ::testing::TestWithParam<Case> {};

TEST_P(TreeMovesFigures, EveryKeptFolderReadsWhatAFreshWalkReads) {
    const Case& c = GetParam();
    TempDir dir;
    ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0);
    const std::string report = dir / "report"; // beside the roots, in neither
    const int status = runAsUnprivileged([&] { return foldAndCompare(c, dir, report); });
    EXPECT_EQ(status, 0) << (exists(report) ? readFile(report) : std::string());
}

INSTANTIATE_TEST_SUITE_P(Trees, TreeMovesFigures, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

} // namespace
