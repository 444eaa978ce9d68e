// The word wrapper of the headless commands.
#include <gtest/gtest.h>

#include "cli/TextWrap.h"

using sorvel::HeadlessReport::wrap;

TEST(TextWrap, FillsLinesUpToTheWidth) {
    EXPECT_EQ(wrap("a b c", "  ", 4), "  a\n  b\n  c");
    EXPECT_EQ(wrap("a b c", "  ", 5), "  a b\n  c");
    EXPECT_EQ(wrap("a b c", "  ", 74), "  a b c");
}

TEST(TextWrap, AWordThatDoesNotFitBesideTheIndentLeavesTheIndentAlone) {
    EXPECT_EQ(wrap("abc", "  ", 4), "  \n  abc");
}

TEST(TextWrap, OnlySpacesSplitWords) {
    EXPECT_EQ(wrap("   ", "  ", 10), "");
    EXPECT_EQ(wrap("", "  ", 10), "");
    EXPECT_EQ(wrap("one   two", "", 80), "one two");
    EXPECT_EQ(wrap("tab\there line\nbreak", "", 80), "tab\there line\nbreak");
}

TEST(TextWrap, CountsCharactersNotBytes) {
    // "→" is three bytes but one character: it fits exactly.
    EXPECT_EQ(wrap("→ ab", "  ", 6), "  → ab");
    EXPECT_EQ(wrap("→ ab", "  ", 5), "  →\n  ab");
    // An accent written as a combining mark joins its letter.
    EXPECT_EQ(wrap("e\xCC\x81 x", "", 3), "e\xCC\x81 x");
}

TEST(TextWrap, LongWordsAreNeverSplit) {
    EXPECT_EQ(wrap("short averyveryverylongword end", "    ", 12), "    short\n    averyveryverylongword\n    end");
}
