// A figure for a path inside a folder whose walk a stop cut is "not measured", never a 0 read
// in part; and a category, or a whole result, no root of which counted a byte is not measured.
#include <gtest/gtest.h>

#include "engine/FileWalker.h"
#include "engine/ScanResult.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// As a stop leaves a folder it never entered: no children, no bytes, marked cut.
void leaveUnentered(const ScanNodePtr& node) {
    node->children.clear();
    node->size = node->directFileSize = node->fileCount = node->directFileCount = 0;
    node->markCut();
}

CategoryResult categoryOf(std::vector<ScanNodePtr> roots) {
    DisplayCategory d;
    d.id = d.title = "c";
    return CategoryResult{d, std::move(roots)};
}

} // namespace

TEST(ScanResultMeasured, APathInsideAFolderAStopLeftUnreadIsNotMeasured) {
    test::TempDir dir;
    for (const char* file : {"never/inner/f", "inPart/done/f", "inPart/left/sub/f", "deepCut/x/f", "inPart/own"})
        test::writeFileOfSize(dir / ("root/" + std::string(file)), 8192);
    test::writeFileOfSize(dir / "outside/f", 8192);
    ScanControl control;
    auto tree = FileWalker::walk(dir / "root", control);
    ASSERT_TRUE(tree);
    ScanResult result;
    result.categories.push_back(categoryOf({tree}));
    leaveUnentered(result.node(dir / "root/never"));
    leaveUnentered(result.node(dir / "root/inPart/left"));
    result.node(dir / "root/inPart")->rollUpTotals();
    // Cut below the kept depth: its bytes so far stand, the folders under it are dropped.
    const auto deepCut = result.node(dir / "root/deepCut");
    deepCut->children.clear();
    deepCut->walkCut = deepCut->partial = true;
    tree->rollUpTotals();

    const int64_t f = test::allocatedSize(dir / "outside/f");
    const struct Row {
        const char* path;
        Measured expected;
    } rows[] = {
        {"root/never", Measured::unmeasured()},
        {"root/never/inner/f", Measured::unmeasured()},
        {"root/inPart", {2 * f, Reading::partial}},
        {"root/inPart/done", Measured::wholeRead(f)},
        {"root/inPart/left/sub/f", Measured::unmeasured()},
        // A folder listed before the stop names every folder in it: a file is measured afresh.
        {"root/inPart/own", Measured::wholeRead(f)},
        {"root/deepCut/x", Measured::unmeasured()},
        {"outside/f", Measured::wholeRead(f)},
    };
    for (const Row& row : rows) {
        const Measured got = result.measured(dir / row.path);
        EXPECT_TRUE(got == row.expected) << row.path << ": " << got.bytes << " bytes, reading " << int(got.reading);
        EXPECT_EQ(got.read(), givesFigure(row.expected.reading)) << row.path;
    }
    EXPECT_EQ(Measured(4096, Reading::unmeasured).bytes, 0);
}

// The one decision the sidebar, the overview's tiles and the report take a category's figure from.
TEST(CategoryReading, ACategoryNoRootOfWhichCountedAByteIsNotMeasured) {
    const auto root = [](int64_t bytes, Reading reading) {
        auto node = ScanNode::make("/r", "/r");
        node->size = bytes;
        if (reading == Reading::partial || reading == Reading::unmeasured) node->markCut();
        if (reading == Reading::none) node->markUnreadable();
        return node;
    };
    const struct Row {
        std::vector<std::pair<int64_t, Reading>> roots;
        Reading reading;
    } rows[] = {
        {{{0, Reading::unmeasured}, {0, Reading::unmeasured}}, Reading::unmeasured},
        {{{0, Reading::unmeasured}, {0, Reading::none}}, Reading::unmeasured},  // neither gave a figure
        {{{0, Reading::whole}, {0, Reading::unmeasured}}, Reading::unmeasured}, // an empty root is no figure
        {{{4096, Reading::whole}, {0, Reading::unmeasured}}, Reading::partial},
        {{{4096, Reading::partial}}, Reading::partial},
        {{{0, Reading::none}}, Reading::none},
        {{{0, Reading::whole}}, Reading::whole},
    };
    for (const Row& row : rows) {
        const size_t at = size_t(&row - rows);
        std::vector<ScanNodePtr> roots;
        for (const auto& [bytes, reading] : row.roots) roots.push_back(root(bytes, reading));
        ScanResult result;
        result.categories.push_back(categoryOf(roots));
        EXPECT_EQ(result.categories.front().reading(), row.reading) << at;
        EXPECT_EQ(result.notMeasured(), row.reading == Reading::unmeasured) << at;
        // Beside a category that counted bytes, the whole result has a figure.
        result.categories.push_back(categoryOf({root(4096, Reading::whole)}));
        EXPECT_FALSE(result.notMeasured()) << at;
    }
}
