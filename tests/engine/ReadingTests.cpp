// How a walked folder is said to be read when this user may not open some of it: refused
// and what holds nothing but refused folders are not read; a folder opened and listed with
// anything in it refused is read in part, whatever bytes it found.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <type_traits>

#include "engine/FileWalker.h"
#include "engine/Reading.h"
#include "engine/ScanResult.h"
#include "support/TestSupport.h"

using namespace sorvel;

// No bare number passes for a measured size, and none is made without saying how it was read.
static_assert(!std::is_convertible_v<int64_t, Measured>);
static_assert(!std::is_convertible_v<int, Measured>);
static_assert(!std::is_default_constructible_v<Measured>);
static_assert(!std::is_constructible_v<Measured, Reading>);

namespace {

using Build = std::function<void(const std::string& top)>;

// Made by root and closed: the unprivileged user may not open it.
void lockedFolder(const std::string& path) {
    test::writeFile(path + "/inside", "data");
    ASSERT_EQ(chmod(path.c_str(), 0700), 0);
}

struct Case {
    const char* name;
    Build build;    // inside the folder `top`
    Reading reading; // of `top`
    bool denied;    // `top` itself could not be opened
};

const char* said(Reading r) { return r == Reading::whole ? "whole" : r == Reading::partial ? "partial" : "none"; }

} // namespace

TEST(Reading, AFolderOpenedAndListedIsReadInPartWhateverItsBytes) {
    const Case cases[] = {
        {"an empty folder beside a locked one",
         [](const std::string& t) {
             test::makeDirs(t + "/empty");
             lockedFolder(t + "/locked");
         },
         Reading::partial, false},
        {"a byte beside a locked folder",
         [](const std::string& t) {
             test::writeFile(t + "/byte", "x");
             lockedFolder(t + "/locked");
         },
         Reading::partial, false},
        {"nothing but locked folders", [](const std::string& t) { lockedFolder(t + "/a"); lockedFolder(t + "/b"); },
         Reading::none, false},
        {"a folder holding only a locked folder",
         [](const std::string& t) { lockedFolder(t + "/mid/locked"); }, Reading::none, false},
        {"an empty folder deep beside a locked one",
         [](const std::string& t) {
             test::makeDirs(t + "/mid/empty");
             lockedFolder(t + "/mid/locked");
         },
         Reading::partial, false},
        {"locked past the kept depth, an empty folder beside it",
         [](const std::string& t) {
             test::makeDirs(t + "/1/2/3/4/5/6/7/8/9/10/11/12/empty");
             lockedFolder(t + "/1/2/3/4/5/6/7/8/9/10/11/12/locked");
         },
         Reading::partial, false},
        {"locked past the kept depth and nothing else",
         [](const std::string& t) { lockedFolder(t + "/1/2/3/4/5/6/7/8/9/10/11/12/locked"); }, Reading::none,
         false},
        {"an empty folder", [](const std::string& t) { test::makeDirs(t + "/empty"); }, Reading::whole, false},
        {"itself locked", [](const std::string& t) { ASSERT_EQ(chmod(t.c_str(), 0700), 0); }, Reading::none, true},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const std::string top = dir / "top";
        test::makeDirs(top);
        c.build(top);
        for (int parallel = 0; parallel < 2; ++parallel) {
            const int status = test::runAsUnprivileged([&] {
                ScanControl control;
                auto node = parallel ? FileWalker::walkParallel(top, control) : FileWalker::walk(top, control);
                if (!node) return 10;
                if (readingOf(*node) != c.reading) {
                    std::fprintf(stderr, "%s: read %s\n", c.name, said(readingOf(*node)));
                    return 11;
                }
                if (node->accessDenied != c.denied) return 12;
                // Read in part and refused below are one claim; a refusal is never "whole".
                if (refusedInPart(*node) != (c.reading == Reading::partial)) return 13;
                if (c.reading != Reading::whole && node->unreadableFolders < 1) return 14;
                const Measured measured = Measured::of(*node);
                if (measured.reading != c.reading || (!measured.read() && measured.bytes != 0)) return 15;
                return 0;
            });
            EXPECT_EQ(status, 0) << c.name << (parallel ? " (parallel)" : " (sequential)");
        }
        test::runCommand({"chmod", "-R", "u+rwX", dir.path()});
    }
}

// Cut short after it counted a byte, a folder is partial; before, it is not measured (its 0
// is no lower bound), as is a parent that counted nothing else. Never whole nor unread.
TEST(Reading, AWalkCutShortIsPartialNeverWholeNorUnread) {
    for (const int64_t bytes : {4096, 0}) {
        auto parent = ScanNode::make("p", "/p");
        auto cut = ScanNode::make("c", "/p/c");
        cut->size = cut->directFileSize = bytes;
        cut->markCut();
        parent->children = {cut, ScanNode::make("empty", "/p/empty")};
        parent->rollUpTotals();
        const Reading expected = bytes > 0 ? Reading::partial : Reading::unmeasured;
        for (const auto& node : {cut, parent}) {
            EXPECT_EQ(readingOf(*node), expected) << node->path << " " << bytes;
            EXPECT_EQ(notMeasured(*node), bytes == 0) << node->path;
            EXPECT_FALSE(refusedInPart(*node)) << node->path; // cut, not refused: said apart
            EXPECT_FALSE(Measured::of(*node).whole()) << node->path;
        }
    }
}

namespace {

CategoryResult categoryOf(ScanNodePtr root) {
    DisplayCategory d;
    d.id = d.title = "c";
    return CategoryResult{d, {std::move(root)}};
}

} // namespace

// A path the tree does not hold is no whole 0: what is known of it is said.
TEST(ScanResultMeasured, APathTheTreeDoesNotHoldIsNeverAWholeZero) {
    test::TempDir dir;
    const std::string root = dir / "root";
    test::writeFileOfSize(root + "/read/f", 8192);
    test::writeFileOfSize(root + "/1/2/3/4/5/6/7/8/9/10/11/12/deep/f", 8192);
    lockedFolder(root + "/locked/sub");
    ASSERT_EQ(chmod((root + "/locked").c_str(), 0700), 0);
    test::makeDirs(root + "/cut/inner");
    const int64_t deepSize = test::allocatedSize(root + "/1/2/3/4/5/6/7/8/9/10/11/12/deep/f");

    const int status = test::runAsUnprivileged([&] {
        ScanControl control;
        ScanResult result;
        auto tree = FileWalker::walk(root, control);
        if (!tree) return 10;
        // A stop left this one unlisted: nothing of it, nor of what is inside it, is known.
        for (auto& child : tree->children)
            if (child->name == "cut") {
                child->children.clear();
                child->markCut();
            }
        tree->rollUpTotals();
        result.categories.push_back(categoryOf(tree));
        struct Row {
            std::string path;
            Measured expected;
        };
        const Row rows[] = {
            {root + "/read", Measured::of(*result.node(root + "/read"))},
            {root + "/locked", Measured::unread()},
            {root + "/locked/sub", Measured::unread()},
            {root + "/cut", Measured::unmeasured()},
            {root + "/cut/inner", Measured::unmeasured()},
            {root + "/1/2/3/4/5/6/7/8/9/10/11/12/deep", Measured::wholeRead(deepSize)},
            {root + "/gone", Measured::wholeRead(0)},
        };
        int code = 20;
        for (const Row& row : rows) {
            ++code;
            const Measured got = result.measured(row.path);
            if (!(got == row.expected)) {
                std::fprintf(stderr, "%s: %lld bytes, %s\n", row.path.c_str(), static_cast<long long>(got.bytes),
                             said(got.reading));
                return code;
            }
        }
        return result.measured(root + "/read").whole() ? 0 : 30;
    });
    test::runCommand({"chmod", "-R", "u+rwX", dir.path()});
    EXPECT_EQ(status, 0);
}
