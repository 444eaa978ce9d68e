// A figure for a path inside a folder whose walk a stop cut is "not measured", never a 0 read
// in part; and a category, or a whole result, no root of which counted a byte is not measured.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/FileWalker.h"
#include "engine/Reading.h"
#include "engine/ScanResult.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

ScanNodePtr child(const ScanNodePtr& parent, const std::string& name) {
    for (const auto& c : parent->children)
        if (c->name == name) return c;
    return nullptr;
}

// As a stop leaves a folder it never entered: no children, no bytes, marked cut.
void leaveUnentered(ScanNode& node) {
    node.children.clear();
    node.largestFiles.clear();
    node.size = node.directFileSize = node.fileCount = node.directFileCount = node.dirCount = 0;
    node.markCut();
}

CategoryResult categoryOf(std::vector<ScanNodePtr> roots) {
    DisplayCategory d;
    d.id = d.title = "c";
    return CategoryResult{d, std::move(roots)};
}

ScanNodePtr rootNode(const std::string& path, int64_t bytes, Reading reading) {
    auto node = ScanNode::make(path, path);
    node->size = node->directFileSize = bytes;
    if (reading == Reading::partial || reading == Reading::unmeasured) node->markCut();
    if (reading == Reading::none) node->markUnreadable();
    return node;
}

} // namespace

TEST(ScanResultMeasured, APathInsideAFolderAStopLeftUnreadIsNotMeasured) {
    test::TempDir dir;
    const std::string root = dir / "root";
    for (const char* file : {"never/inner/f", "inPart/done/f", "inPart/left/sub/f", "deepCut/x/f", "whole/f"})
        test::writeFileOfSize(root + "/" + file, 8192);
    test::writeFileOfSize(root + "/inPart/own.txt", 4096);
    test::writeFileOfSize(dir / "outside/f", 8192);

    ScanControl control;
    auto tree = FileWalker::walk(root, control);
    ASSERT_TRUE(tree);
    leaveUnentered(*child(tree, "never"));
    const auto inPart = child(tree, "inPart");
    leaveUnentered(*child(inPart, "left"));
    inPart->walkCut = true;
    inPart->rollUpTotals();
    // Cut below the kept depth: its bytes so far stand, the folders under it are dropped.
    const auto deepCut = child(tree, "deepCut");
    deepCut->children.clear();
    deepCut->walkCut = deepCut->partial = true;
    tree->rollUpTotals();
    ScanResult result;
    result.categories.push_back(categoryOf({tree}));

    const auto size = [&](const std::string& relative) { return test::allocatedSize(dir / relative); };
    const struct Row {
        const char* path; // under the temporary folder
        Measured expected;
    } rows[] = {
        {"root/never", Measured::unmeasured()},
        {"root/never/inner", Measured::unmeasured()},
        {"root/never/inner/f", Measured::unmeasured()},
        {"root/inPart", Measured{size("root/inPart/done/f") + size("root/inPart/own.txt"), Reading::partial}},
        {"root/inPart/done", Measured::wholeRead(size("root/inPart/done/f"))},
        {"root/inPart/left", Measured::unmeasured()},
        {"root/inPart/left/sub/f", Measured::unmeasured()},
        // A folder listed before the stop names every folder in it: a file is measured afresh.
        {"root/inPart/own.txt", Measured::wholeRead(size("root/inPart/own.txt"))},
        {"root/deepCut/x", Measured::unmeasured()},
        {"root/whole/f", Measured::wholeRead(size("root/whole/f"))},
        {"outside/f", Measured::wholeRead(size("outside/f"))},
        {"outside/missing", Measured::wholeRead(0)},
    };
    for (const Row& row : rows) {
        const Measured got = result.measured(dir / row.path);
        EXPECT_EQ(got.reading, row.expected.reading) << row.path;
        EXPECT_EQ(got.bytes, row.expected.bytes) << row.path;
        EXPECT_EQ(got.read(), givesFigure(row.expected.reading)) << row.path;
    }
}

TEST(Reading, ANotMeasuredFigureCarriesNoBytesAndJoinsAsNoFigure) {
    EXPECT_EQ(Measured(4096, Reading::unmeasured).bytes, 0);
    EXPECT_FALSE(Measured::unmeasured().read());
    const struct Row {
        Reading a, b, joined;
    } rows[] = {
        {Reading::unmeasured, Reading::unmeasured, Reading::unmeasured},
        {Reading::unmeasured, Reading::none, Reading::unmeasured},
        {Reading::none, Reading::unmeasured, Reading::unmeasured},
        {Reading::unmeasured, Reading::whole, Reading::partial},
        {Reading::partial, Reading::unmeasured, Reading::partial},
        {Reading::none, Reading::none, Reading::none},
        {Reading::whole, Reading::none, Reading::partial},
    };
    for (const Row& row : rows)
        EXPECT_EQ(joined(row.a, row.b), row.joined) << int(row.a) << " + " << int(row.b);
}

// The one decision the sidebar, the overview's tiles and the report take a category's figure from.
TEST(CategoryReading, ACategoryNoRootOfWhichCountedAByteIsNotMeasured) {
    const struct Row {
        const char* name;
        std::vector<std::pair<int64_t, Reading>> roots;
        Reading reading;
    } rows[] = {
        {"one root cut before counting", {{0, Reading::unmeasured}}, Reading::unmeasured},
        {"every root cut before counting", {{0, Reading::unmeasured}, {0, Reading::unmeasured}}, Reading::unmeasured},
        {"cut before counting beside one refused", {{0, Reading::unmeasured}, {0, Reading::none}}, Reading::unmeasured},
        {"cut before counting beside an empty one read whole", {{0, Reading::whole}, {0, Reading::unmeasured}},
         Reading::unmeasured},
        {"cut before counting beside bytes read whole", {{4096, Reading::whole}, {0, Reading::unmeasured}},
         Reading::partial},
        {"cut after counting", {{4096, Reading::partial}}, Reading::partial},
        {"every root refused", {{0, Reading::none}}, Reading::none},
        {"read whole and empty", {{0, Reading::whole}}, Reading::whole},
        {"no roots", {}, Reading::whole},
    };
    for (const Row& row : rows) {
        std::vector<ScanNodePtr> roots;
        for (const auto& [bytes, reading] : row.roots)
            roots.push_back(rootNode("/r" + std::to_string(roots.size()), bytes, reading));
        ScanResult result;
        result.categories.push_back(categoryOf(roots));
        EXPECT_EQ(result.categories.front().reading(), row.reading) << row.name;
        EXPECT_EQ(result.categories.front().notMeasured(), row.reading == Reading::unmeasured) << row.name;
        EXPECT_EQ(result.notMeasured(), row.reading == Reading::unmeasured) << row.name;
        // Beside a category that counted bytes, the whole result has a figure.
        result.categories.push_back(categoryOf({rootNode("/other", 4096, Reading::whole)}));
        EXPECT_FALSE(result.notMeasured()) << row.name;
    }
}
