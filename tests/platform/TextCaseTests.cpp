#include <gtest/gtest.h>

#include "platform/TextCase.h"

using namespace sorvel;

TEST(TextCase, LowersAsciiAndOtherScripts) {
    EXPECT_EQ(lowercased("Foo Bar.APP"), "foo bar.app");
    EXPECT_EQ(lowercased("ÜBER Ärger"), "über ärger");
    EXPECT_EQ(lowercased("ΣΟΦΙΑ"), "σοφια");
}

TEST(TextCase, KeepsBytesThatAreNotUTF8) {
    const std::string name = std::string("A\xff") + "B\xc3";
    EXPECT_EQ(lowercased(name), std::string("a\xff") + "b\xc3");
}
