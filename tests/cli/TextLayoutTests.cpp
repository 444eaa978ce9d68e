// Padding and fitting counted in user-perceived characters.
#include <gtest/gtest.h>

#include "cli/TextLayout.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::TextLayout;

TEST(CharacterCount, CountsGraphemeClusters) {
    EXPECT_EQ(characterCount(""), 0u);
    EXPECT_EQ(characterCount("abc"), 3u);
    EXPECT_EQ(characterCount("caf\xC3\xA9"), 4u);                      // precomposed é
    EXPECT_EQ(characterCount("cafe\xCC\x81"), 4u);                     // e + combining acute
    EXPECT_EQ(characterCount("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7"), 1u); // a flag: two regional indicators
    EXPECT_EQ(characterCount("\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x87\xA9"), 2u);
    // woman + ZWJ + laptop, then a thumbs up with a skin tone
    EXPECT_EQ(characterCount("\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"),
              2u);
    EXPECT_EQ(characterCount("\xED\x95\x9C\xEA\xB8\x80"), 2u);             // two Hangul syllables
    EXPECT_EQ(characterCount("\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB"), 1u); // jamo L V T
    EXPECT_EQ(characterCount("\r\n"), 1u);
    EXPECT_EQ(characterCount("a\xFF"
                             "b"),
              3u); // an invalid byte is a character of its own
    EXPECT_EQ(characterCount("\xE2\x80\xA6"), 1u);
}

TEST(Padding, PadsToWidthAndNeverCuts) {
    EXPECT_EQ(leftPadded("12", 5), "   12");
    EXPECT_EQ(rightPadded("ab", 4), "ab  ");
    EXPECT_EQ(leftPadded("toolong", 3), "toolong");
    EXPECT_EQ(rightPadded("toolong", 3), "toolong");
    EXPECT_EQ(rightPadded("cafe\xCC\x81", 5), "cafe\xCC\x81 ");
    EXPECT_EQ(leftPadded("\xE2\x94\x80", 2), " \xE2\x94\x80");
}

TEST(Fitting, KeepsTheTailBehindAnEllipsis) {
    const std::string forty(40, 'x');
    const std::string name = "abcdefg" + std::string(33, 'y');
    EXPECT_EQ(characterCount(name), 40u);
    EXPECT_EQ(fitted(name, 34), "\xE2\x80\xA6" + std::string(33, 'y'));
    EXPECT_EQ(tailFitted(std::string(34, 'z'), 34), std::string(34, 'z'));
    EXPECT_EQ(fitted("short", 8), "short   ");
    EXPECT_EQ(tailFitted(std::string(35, 'z'), 34), "\xE2\x80\xA6" + std::string(33, 'z'));
    // Clusters stay whole when the front is cut.
    EXPECT_EQ(tailFitted("abe\xCC\x81"
                         "cd",
                         4),
              "\xE2\x80\xA6"
              "e\xCC\x81"
              "cd");
}

TEST(ShownPaths, AbbreviateTheHomeAndRepairBytes) {
    test::FakeHome home;
    EXPECT_EQ(shownPath(home.path()), "~");
    EXPECT_EQ(shownPath(home.path() + "/Library/x\xFF"), "~/Library/x\xEF\xBF\xBD");
    EXPECT_EQ(shownPath("/private/var/log"), "/private/var/log");
}
