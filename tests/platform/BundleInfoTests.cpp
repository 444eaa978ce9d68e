// The built-in information dictionary: the update feed address is there exactly when the
// build was given one (SORVEL_UPDATE_FEED_URL), and a replaced dictionary wins until
// restored.
#include <gtest/gtest.h>

#include "platform/BuiltInFeed.h"
#include "platform/BundleInfo.h"

using namespace sorvel;

TEST(BundleInfo, TheBuiltInDictionaryCarriesTheFeedTheBuildWasGiven) {
    BundleInfo::replaceDictionary(std::nullopt);
    const std::string built = kBuiltInUpdateFeedURL;
    if (built.empty()) {
        EXPECT_EQ(BundleInfo::object("SorvelUpdateFeedURL"), std::nullopt);
    } else {
        EXPECT_EQ(built.rfind("https://", 0), 0u);
        EXPECT_EQ(BundleInfo::string("SorvelUpdateFeedURL"), built);
    }
    EXPECT_EQ(BundleInfo::string("CFBundleVersion"), "0");

    BundleInfo::replaceDictionary(nlohmann::json{{"SorvelUpdateFeedURL", "https://elsewhere.example/feed.json"}});
    EXPECT_EQ(BundleInfo::string("SorvelUpdateFeedURL"), "https://elsewhere.example/feed.json");
    EXPECT_EQ(BundleInfo::shortVersion(), "0.0.0");
    BundleInfo::replaceDictionary(std::nullopt);
    EXPECT_EQ(BundleInfo::object("SorvelUpdateFeedURL").has_value(), !built.empty());
}
