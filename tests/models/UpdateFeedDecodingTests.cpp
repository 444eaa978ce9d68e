// Reading the update feed: required and optional keys, wrong types, and what a finished
// transfer means.
#include <gtest/gtest.h>

#include "models/UpdateChecker.h"

using namespace sorvel;
using Result = UpdateChecker::FetchResult;

TEST(UpdateFeedDecoding, EveryFieldAndUnknownKeysIgnored) {
    auto r = Release::decode(R"({"version":"1.10","build":120,"url":"https://e.com/r","date":"2026-12-01",
        "notes":"Faster scans.","minimumSystemVersion":"14.2","extra":[1,2]})");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->version, "1.10");
    EXPECT_EQ(r->build, 120);
    EXPECT_EQ(r->url, "https://e.com/r");
    EXPECT_EQ(r->date, "2026-12-01");
    EXPECT_EQ(r->notes, "Faster scans.");
    EXPECT_EQ(r->minimumSystemVersion, "14.2");
    EXPECT_EQ(Release::decode(r->toJSON().dump()), r);
}

TEST(UpdateFeedDecoding, OnlyVersionAndURLAreRequired) {
    auto r = Release::decode(R"({"version":"2.0","url":"https://e.com/r","notes":null})");
    ASSERT_TRUE(r.has_value());
    EXPECT_FALSE(r->build.has_value());
    EXPECT_FALSE(r->date.has_value());
    EXPECT_FALSE(r->notes.has_value());
    EXPECT_FALSE(r->minimumSystemVersion.has_value());
}

TEST(UpdateFeedDecoding, MissingOrMistypedFieldsFail) {
    EXPECT_FALSE(Release::decode(R"({"url":"https://e.com/r"})"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0"})"));
    EXPECT_FALSE(Release::decode(R"({"version":null,"url":"https://e.com/r"})"));
    EXPECT_FALSE(Release::decode(R"({"version":1.0,"url":"https://e.com/r"})"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0","url":"https://e.com/r","build":"120"})"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0","url":"https://e.com/r","build":120.5})"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0","url":"https://e.com/r","build":1.0})"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0","url":"https://e.com/r","build":18446744073709551615})"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0","url":"https://e.com/r","notes":7})"));
    EXPECT_FALSE(Release::decode(R"({"Version":"1.0","URL":"https://e.com/r"})")); // keys match exactly
}

TEST(UpdateFeedDecoding, BodiesThatAreNotAReleaseObject) {
    EXPECT_FALSE(Release::decode(""));
    EXPECT_FALSE(Release::decode("<html>Moved</html>"));
    EXPECT_FALSE(Release::decode(R"([{"version":"1.0","url":"https://e.com/r"}])"));
    EXPECT_FALSE(Release::decode("{\"version\":\"1.0\xFF\",\"url\":\"https://e.com/r\"}"));
    EXPECT_FALSE(Release::decode(R"({"version":"1.0","url":"https://e.com/r")"));
}

TEST(UpdateFeedInterpretation, StatusTransferErrorAndBody) {
    const std::string good = R"({"version":"1.0","url":"https://e.com/r"})";
    EXPECT_EQ(UpdateChecker::interpret("", 404, good), Result::failure("The update feed returned 404."));
    EXPECT_EQ(UpdateChecker::interpret("", 500, ""), Result::failure("The update feed returned 500."));
    EXPECT_EQ(UpdateChecker::interpret("The request timed out.", 0, ""),
              Result::failure("The request timed out."));
    EXPECT_EQ(UpdateChecker::interpret("", 200, "nope"), Result::failure("The update feed could not be read."));
    auto ok = UpdateChecker::interpret("", 200, good);
    ASSERT_TRUE(ok.release.has_value());
    EXPECT_EQ(ok.release->version, "1.0");
}
