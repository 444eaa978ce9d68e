#include <gtest/gtest.h>

#include "platform/Path.h"
#include "platform/Text.h"
#include "platform/UUID.h"
#include "support/TestSupport.h"

#include <unistd.h>

using namespace sorvel;

TEST(StandardizePath, CollapsesDotsAndSlashes) {
    EXPECT_EQ(standardizePath("/a//b/./c/"), "/a/b/c");
    EXPECT_EQ(standardizePath("/a/b/../c"), "/a/c");
    EXPECT_EQ(standardizePath("/../.."), "/");
    EXPECT_EQ(standardizePath("/"), "/");
    EXPECT_EQ(standardizePath("a/../../b"), "../b");
}

TEST(StandardizePath, ExpandsTildeFromHome) {
    test::ScopedEnv home("HOME", std::string("/home/someone/"));
    EXPECT_EQ(standardizePath("~/Library/Caches/"), "/home/someone/Library/Caches");
    EXPECT_EQ(standardizePath("~other"), "~other");
    EXPECT_EQ(homeDirectory(), "/home/someone");
}

// One split of paths into their names, shared by the standardising, the tracing of links
// and the tree's updates: empty names (doubled, leading, trailing slashes) never count.
TEST(PathPieces, AreTheNamesBetweenSlashes) {
    struct Case {
        const char* path;
        std::vector<std::string_view> pieces;
    };
    const Case cases[] = {
        {"", {}},
        {"/", {}},
        {"///", {}},
        {"a", {"a"}},
        {"/a/b", {"a", "b"}},
        {"a//b/", {"a", "b"}},
        {"/./../x", {".", "..", "x"}},
        {"/with space/\xff\n", {"with space", "\xff\n"}},
    };
    for (const auto& c : cases) EXPECT_EQ(pathPieces(c.path), c.pieces) << c.path;
    const std::string owner = "/kept/";
    EXPECT_EQ(pathPieces(owner).front().data(), owner.data() + 1) << "a view into the text, not a copy";
}

TEST(PathContainment, NeedsASlashAfterTheFolder) {
    EXPECT_TRUE(isPathInside("/a/b", "/a/b"));
    EXPECT_TRUE(isPathInside("/a/b/c", "/a/b"));
    EXPECT_FALSE(isPathInside("/a/bc", "/a/b"));
    EXPECT_TRUE(isPathInside("/x", "/"));
    EXPECT_EQ(appendingPathComponent("/", "x"), "/x");
    EXPECT_EQ(appendingPathComponent("/a/", "x"), "/a/x");
    EXPECT_EQ(lastPathComponent("/a/b/"), "b");
    EXPECT_EQ(deletingLastPathComponent("/a"), "/");
}

TEST(ValidUTF8, ReplacesEachInvalidByte) {
    EXPECT_EQ(validUTF8("ok \xC3\xA9"), "ok \xC3\xA9");
    EXPECT_EQ(validUTF8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(validUTF8("\xE2\x82"), "\xEF\xBF\xBD\xEF\xBF\xBD"); // truncated sequence
    EXPECT_FALSE(isValidUTF8("\xED\xA0\x80"));                    // surrogate
}

TEST(CountedNoun, OneIsSingularEveryOtherCountPlural) {
    const struct {
        int64_t count;
        const char* singular;
        const char* plural;
        const char* text;
    } rows[] = {{0, "item", "", "0 items"},      {1, "item", "", "1 item"},     {2, "item", "", "2 items"},
                {-1, "file", "", "-1 files"},    {1, "copy", "copies", "1 copy"}, {5, "copy", "copies", "5 copies"},
                {1'000'001, "day", "", "1000001 days"}};
    for (const auto& row : rows) EXPECT_EQ(counted(row.count, row.singular, row.plural), row.text) << row.count;
    EXPECT_EQ(agreeing(1, "run"), "run");
}

TEST(UUIDText, RoundTripsUpperCase) {
    UUID u = UUID::random();
    std::string text = u.uuidString();
    EXPECT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(UUID::parse(text), u);
    EXPECT_FALSE(UUID::parse("not-a-uuid").has_value());
    EXPECT_NE(UUID::random(), u);
}

TEST(UUIDText, AForkedChildDoesNotRepeatItsParentsIds) {
    (void)UUID::random(); // the parent has drawn before it forks
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    ASSERT_EQ(test::runInChild([&] { return write(pipeEnds[1], UUID::random().bytes.data(), 16) == 16 ? 0 : 1; }), 0);
    UUID inParent = UUID::random(), inChild;
    ASSERT_EQ(read(pipeEnds[0], inChild.bytes.data(), 16), 16);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_NE(inParent, inChild);
}

TEST(Unprivileged, ChildRunsWithoutRoot) {
    int status = test::runAsUnprivileged([] { return geteuid() == 0 ? 1 : 0; });
    EXPECT_EQ(status, 0);
}
