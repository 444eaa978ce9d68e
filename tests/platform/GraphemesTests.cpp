#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Graphemes.h"

using namespace sorvel;

TEST(Graphemes, BoundariesOfUserPerceivedCharacters) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<size_t> boundaries;
    };
    const Case cases[] = {
        {"empty", "", {0}},
        {"ascii, CR LF is one", "a\r\nb", {0, 1, 3, 4}},
        {"LF CR is two", "\n\r", {0, 1, 2}},
        {"combining accent joins its base", "e\xcc\x81x", {0, 3, 4}},
        {"two flags of two regional indicators each",
         "\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa\xf0\x9f\x87\xab\xf0\x9f\x87\xb7", {0, 8, 16}},
        {"joined family emoji is one",
         "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7!", {0, 18, 19}},
        {"Hangul jamo L V T make one syllable", "\xe1\x84\x80\xe1\x85\xa1\xe1\x86\xa8", {0, 9}},
        {"each invalid byte stands alone", "a\xff\xc3z", {0, 1, 2, 3, 4}},
        {"truncated sequence at the end", "\xe2\x82", {0, 1, 2}},
        {"a mark after an invalid byte joins it", "\xff\xcc\x81", {0, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Graphemes::characterBoundaries(c.text), c.boundaries) << c.what;
        EXPECT_EQ(Graphemes::characterCount(c.text), c.boundaries.size() - 1) << c.what;
    }
}
