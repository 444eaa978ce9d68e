// How much of a measured folder was read decides whether its figure may be shown at all.
#include <gtest/gtest.h>

#include <functional>

#include "engine/Reading.h"
#include "engine/ScanNode.h"
#include "engine/ScanResult.h"

using namespace sorvel;

namespace {

ScanNodePtr folder(const std::string& name, int64_t fileBytes = 0) {
    auto node = ScanNode::make(name, "/x/" + name);
    node->directFileSize = fileBytes;
    node->directFileCount = fileBytes > 0 ? 1 : 0;
    node->rollUpTotals();
    return node;
}

ScanNodePtr locked(const std::string& name) {
    auto node = ScanNode::make(name, "/x/" + name);
    node->markUnreadable();
    return node;
}

ScanNodePtr holding(std::vector<ScanNodePtr> children, int64_t fileBytes = 0) {
    auto node = folder("top", fileBytes);
    node->children = std::move(children);
    node->rollUpTotals();
    return node;
}

} // namespace

TEST(Reading, AFolderIsReadWholeInPartOrNotAtAll) {
    // Below the kept depth the children are gone and only the counts remain.
    auto dropped = holding({folder("a"), locked("b")});
    dropped->children.clear();
    const struct {
        const char* name;
        std::function<ScanNodePtr()> make;
        Reading expected;
    } rows[] = {
        {"refused", [] { return locked("l"); }, Reading::none},
        {"empty and readable", [] { return folder("e"); }, Reading::whole},
        {"files and a locked folder", [] { return holding({locked("l")}, 4096); }, Reading::partial},
        {"a file deep down beside a locked folder", [] { return holding({holding({folder("f", 10)}), locked("l")}); },
         Reading::partial},
        {"only a locked folder", [] { return holding({locked("l")}); }, Reading::none},
        {"an empty folder beside a locked one", [] { return holding({folder("e"), locked("l")}); }, Reading::none},
        {"past the kept depth, no file", [&] { return dropped; }, Reading::none},
    };
    for (const auto& row : rows) EXPECT_EQ(readingOf(*row.make()), row.expected) << row.name;
}

TEST(Reading, NothingReadCarriesNoBytesAndCategoriesFollowTheirRoots) {
    EXPECT_EQ(Measured(4096, Reading::none).bytes, 0);
    EXPECT_EQ(Measured::of(*holding({locked("l")}, 4096)), Measured(4096, Reading::partial));
    const struct {
        const char* name;
        std::vector<ScanNodePtr> roots;
        bool unreadable, partly;
    } rows[] = {
        {"a root of locked folders", {holding({locked("l")})}, true, false},
        {"one such root beside a read one", {holding({locked("l")}), folder("f", 10)}, false, true},
        {"no roots", {}, false, false},
    };
    for (const auto& row : rows) {
        CategoryResult category;
        category.roots = row.roots;
        EXPECT_EQ(category.unreadable(), row.unreadable) << row.name;
        EXPECT_EQ(category.partlyUnreadable(), row.partly) << row.name;
    }
}
