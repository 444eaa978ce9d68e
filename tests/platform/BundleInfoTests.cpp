// The update feed address is in the built-in dictionary exactly when the build was given one.
#include <gtest/gtest.h>

#include "platform/BuiltInFeed.h"
#include "platform/BundleInfo.h"

using namespace sorvel;

TEST(BundleInfo, TheBuiltInDictionaryCarriesTheFeedTheBuildWasGiven) {
    const std::string built = kBuiltInUpdateFeedURL;
    const std::string other = "https://elsewhere.example/feed.json";
    BundleInfo::replaceDictionary(nlohmann::json{{"SorvelUpdateFeedURL", other}});
    EXPECT_EQ(BundleInfo::string("SorvelUpdateFeedURL"), other);
    BundleInfo::replaceDictionary(std::nullopt);
    if (built.empty()) EXPECT_EQ(BundleInfo::object("SorvelUpdateFeedURL"), std::nullopt);
    else EXPECT_EQ(BundleInfo::string("SorvelUpdateFeedURL"), built);
}
