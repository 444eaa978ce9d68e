#include <gtest/gtest.h>

#include "engine/PathText.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(PathText, TildeAbbreviatesOnlyTheHomeAndPathsInsideIt) {
    test::ScopedEnv home("HOME", std::string("/Users/someone"));
    EXPECT_EQ(tildeAbbreviated("/Users/someone"), "~");
    EXPECT_EQ(tildeAbbreviated("/Users/someone/Library/Caches"), "~/Library/Caches");
    EXPECT_EQ(tildeAbbreviated("/Library/Caches"), "/Library/Caches");
    EXPECT_EQ(tildeAbbreviated("/Users/someoneelse/x"), "/Users/someoneelse/x");
    EXPECT_EQ(tildeAbbreviated("/Users"), "/Users");
}

TEST(PathText, TrimmedTrailingSlashKeepsOneCharacter) {
    EXPECT_EQ(trimmedTrailingSlash("/"), "/");
    EXPECT_EQ(trimmedTrailingSlash("//"), "/");
    EXPECT_EQ(trimmedTrailingSlash("////"), "/");
    EXPECT_EQ(trimmedTrailingSlash("/a/b///"), "/a/b");
    EXPECT_EQ(trimmedTrailingSlash("/a/b"), "/a/b");
    EXPECT_EQ(trimmedTrailingSlash(""), "");
    EXPECT_EQ(trimmedTrailingSlash("a/"), "a");
}

TEST(PathText, ExpandingTildeTouchesOnlyALeadingTilde) {
    test::ScopedEnv home("HOME", std::string("/home/me/"));
    EXPECT_EQ(expandingTildeInPath("~"), "/home/me");
    EXPECT_EQ(expandingTildeInPath("~/Missing"), "/home/me/Missing");
    EXPECT_EQ(expandingTildeInPath("/a/~/b"), "/a/~/b");
    EXPECT_EQ(expandingTildeInPath("a/../b/"), "a/../b/");
    EXPECT_EQ(expandingTildeInPath("~root/x"), "/root/x");
    EXPECT_EQ(expandingTildeInPath("~no-such-user-here/x"), "~no-such-user-here/x");
}
