#include <gtest/gtest.h>

#include "analysis/AppInventory.h"

using namespace sorvel;
using Match = AppLeftover::Match;

namespace {

InstalledApp app(const std::string& name, std::optional<std::string> identifier) {
    InstalledApp a;
    a.name = name;
    a.bundlePath = "/Applications/" + name + ".app";
    a.bundleIdentifier = std::move(identifier);
    return a;
}

struct Owners {
    std::vector<InstalledApp> apps;
    std::optional<std::pair<size_t, Match>> of(const std::string& key) const {
        return AppInventory::owner(key, AppInventory::identifierList(apps), AppInventory::nameList(apps), apps);
    }
};

} // namespace

TEST(AppLeftoverOwner, ExactIdentifierInAnyCase) {
    Owners o{{app("Editor", "com.Example.Editor")}};
    EXPECT_EQ(o.of("com.example.editor"), std::pair(size_t{0}, Match::exactIdentifier()));
    EXPECT_EQ(o.of("COM.EXAMPLE.EDITOR"), std::pair(size_t{0}, Match::exactIdentifier()));
    EXPECT_EQ(o.of("com.example.editorx"), std::nullopt);
    EXPECT_EQ(o.of("com.example"), std::nullopt);
}

TEST(AppLeftoverOwner, DottedPrefixBelongsToTheAppByName) {
    Owners o{{app("Editor", "com.example.editor")}};
    auto found = o.of("com.example.editor.helper");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->second, Match::identifierPrefix("Editor"));
    EXPECT_EQ(found->second.description(), "belongs to Editor");
    EXPECT_EQ(o.of("com.example.editor-helper"), std::nullopt); // a dot must follow the identifier
}

TEST(AppLeftoverOwner, TheLongestIdentifierWins) {
    Owners o{{app("Suite", "com.example.suite"), app("Suite Mail", "com.example.suite.mail")}};
    EXPECT_EQ(o.of("com.example.suite.mail.cache"), std::pair(size_t{1}, Match::identifierPrefix("Suite Mail")));
    EXPECT_EQ(o.of("com.example.suite.mail"), std::pair(size_t{1}, Match::exactIdentifier()));
    EXPECT_EQ(o.of("com.example.suite.calendar"), std::pair(size_t{0}, Match::identifierPrefix("Suite")));
}

TEST(AppLeftoverOwner, ExactBeatsPrefixAcrossApps) {
    // "a.b.c" is both a prefix entry of the shorter identifier and the longer one exactly.
    Owners o{{app("Short", "a.b"), app("Long", "a.b.c")}};
    EXPECT_EQ(o.of("a.b.c"), std::pair(size_t{1}, Match::exactIdentifier()));
}

TEST(AppLeftoverOwner, TheFirstOfTwoCopiesWins) {
    Owners o{{app("Copy One", "com.example.dup"), app("Copy Two", "com.example.dup")}};
    EXPECT_EQ(o.of("com.example.dup")->first, 0u);
    EXPECT_EQ(o.of("com.example.dup.more")->second, Match::identifierPrefix("Copy One"));
}

TEST(AppLeftoverOwner, TeamPrefixIsStrippedForIdentifiers) {
    Owners o{{app("Notes", "com.example.notes")}};
    EXPECT_EQ(o.of("ABCDE12345.com.example.notes"), std::pair(size_t{0}, Match::exactIdentifier()));
    EXPECT_EQ(o.of("ABCDE12345.com.example.notes.shared"), std::pair(size_t{0}, Match::identifierPrefix("Notes")));
    EXPECT_EQ(o.of("group.com.example.notes"), std::nullopt); // "group" is too short for a team
    // The name rule looks at the whole key only.
    Owners byName{{app("Notes Plus", std::nullopt)}};
    EXPECT_EQ(byName.of("ABCDE12345.notes plus"), std::nullopt);
}

TEST(AppLeftoverOwner, TeamPrefixRules) {
    using AppInventory::teamIdentifierStripped;
    EXPECT_EQ(teamIdentifierStripped("abcd1234.x.y"), "x.y");
    EXPECT_EQ(teamIdentifierStripped("abcd123.x"), std::nullopt);      // seven characters
    EXPECT_EQ(teamIdentifierStripped("abcd-1234.x"), std::nullopt);    // a hyphen
    EXPECT_EQ(teamIdentifierStripped("abcd 1234.x"), std::nullopt);    // a space
    EXPECT_EQ(teamIdentifierStripped("abcdefghij"), std::nullopt);     // no dot
    EXPECT_EQ(teamIdentifierStripped("abcdefgh."), "");
    EXPECT_EQ(teamIdentifierStripped("\xc3\xa9t\xc3\xa9" "2024ab.rest"), "rest"); // letters beyond ASCII
    EXPECT_EQ(teamIdentifierStripped("\xd9\xa1\xd9\xa2\xd9\xa3\xd9\xa4" "abcd.r"), "r"); // Arabic-Indic digits
    EXPECT_EQ(teamIdentifierStripped("\xff\xfe" "abcdefgh.r"), std::nullopt);          // not UTF-8
    // Eight bytes but four characters.
    EXPECT_EQ(teamIdentifierStripped("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9.r"), std::nullopt);
}

TEST(AppLeftoverOwner, NamesNeedFiveCharacters) {
    Owners o{{app("Mail", std::nullopt), app("Notes", std::nullopt), app("Caf\xc3\xa9", std::nullopt),
              app("Caf\xc3\xa9s", std::nullopt)}};
    EXPECT_EQ(o.of("mail"), std::nullopt);
    EXPECT_EQ(o.of("NOTES"), std::pair(size_t{1}, Match::appNameMatch()));
    EXPECT_EQ(o.of("notes")->second.description(), "matches the app's name");
    EXPECT_EQ(o.of("caf\xc3\xa9"), std::nullopt);                         // four characters, five bytes
    EXPECT_EQ(o.of("CAF\xc3\x89S"), std::pair(size_t{3}, Match::appNameMatch())); // upper-case accent too
}

TEST(AppLeftoverOwner, IdentifierEvidenceComesBeforeTheName) {
    Owners o{{app("com.example.thing", std::nullopt), app("Thing", "com.example.thing")}};
    EXPECT_EQ(o.of("com.example.thing"), std::pair(size_t{1}, Match::exactIdentifier()));
}

// An empty identifier (a broken Info.plist) would otherwise own every dot-file.
TEST(AppLeftoverOwner, AnEmptyIdentifierOwnsNothing) {
    Owners o{{app("Blank", std::string())}};
    EXPECT_EQ(o.of(".DS_Store"), std::nullopt);
    EXPECT_EQ(o.of(""), std::nullopt);
    EXPECT_TRUE(AppInventory::identifierList(o.apps).empty());
}

TEST(AppLeftoverOwner, ListsAreLongestFirstAndStable) {
    std::vector<InstalledApp> apps{app("Alpha", "x.aa"), app("Longer One", "x.bbbb"), app("Gamma", "x.cc")};
    auto ids = AppInventory::identifierList(apps);
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids[0].index, 1u);
    EXPECT_EQ(ids[1].index, 0u);
    EXPECT_EQ(ids[2].index, 2u);
    auto names = AppInventory::nameList(apps);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].name, "longer one");
    EXPECT_EQ(names[1].name, "alpha");
    EXPECT_EQ(names[2].name, "gamma");
}

TEST(AppLeftoverOwner, ExtensionRemoval) {
    using AppInventory::deletingPathExtension;
    EXPECT_EQ(deletingPathExtension("com.example.app.plist"), "com.example.app");
    EXPECT_EQ(deletingPathExtension("com.example.app"), "com.example");
    EXPECT_EQ(deletingPathExtension("NoDot"), "NoDot");
    EXPECT_EQ(deletingPathExtension(".plist"), ".plist");
    EXPECT_EQ(deletingPathExtension("a..b"), "a.");
}

TEST(AppLeftoverOwner, EvidenceTexts) {
    EXPECT_EQ(Match::identifierPrefix("X Y").description(), "belongs to X Y");
    EXPECT_EQ(Match::exactIdentifier().description(), "exact bundle identifier match");
    EXPECT_EQ(Match::appNameMatch().description(), "matches the app's name");
    EXPECT_EQ(Match::theBundle().description(), "the application itself");
}
