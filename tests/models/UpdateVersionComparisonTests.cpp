// Deciding whether a release is newer: builds first, then numeric version order; the
// minimum system version; the running version and build read from the bundle.
#include <gtest/gtest.h>

#include "models/UpdateChecker.h"
#include "platform/BundleInfo.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

Release withBuild(const std::string& version, std::optional<int64_t> build) {
    Release r;
    r.version = version;
    r.build = build;
    r.url = "https://e.com/r";
    return r;
}

struct BundleReset {
    ~BundleReset() { BundleInfo::replaceDictionary(std::nullopt); }
};

} // namespace

TEST(UpdateVersionComparison, BuildsDecideWhenBothAreKnown) {
    EXPECT_TRUE(UpdateChecker::isNewer(withBuild("0.1", 120), 119, "9.9"));
    EXPECT_FALSE(UpdateChecker::isNewer(withBuild("9.9", 119), 119, "0.1"));
    EXPECT_FALSE(UpdateChecker::isNewer(withBuild("9.9", 100), 119, "0.1"));
}

TEST(UpdateVersionComparison, VersionsDecideWithoutACurrentBuildOrAReleaseBuild) {
    EXPECT_TRUE(UpdateChecker::isNewer(withBuild("1.10", 5), 0, "1.9"));       // current build 0
    EXPECT_TRUE(UpdateChecker::isNewer(withBuild("1.10", std::nullopt), 200, "1.9"));
    EXPECT_FALSE(UpdateChecker::isNewer(withBuild("2.0", std::nullopt), 0, "2.0"));
    EXPECT_TRUE(UpdateChecker::isNewer(withBuild("1.0.0", std::nullopt), 0, "1.0"));
    EXPECT_FALSE(UpdateChecker::isNewer(withBuild("1.9", 500), 0, "1.10"));
}

TEST(UpdateVersionComparison, NumericOrderOfTexts) {
    EXPECT_EQ(UpdateChecker::numericCompare("1.10", "1.9"), 1);
    EXPECT_EQ(UpdateChecker::numericCompare("1.9", "1.10"), -1);
    EXPECT_EQ(UpdateChecker::numericCompare("2.0", "2.0"), 0);
    EXPECT_EQ(UpdateChecker::numericCompare("1.0", "1.0.0"), -1);
    EXPECT_EQ(UpdateChecker::numericCompare("1.01", "1.1"), 0);
    EXPECT_EQ(UpdateChecker::numericCompare("2.0b", "2.0a"), 1);
    EXPECT_EQ(UpdateChecker::numericCompare("10.0", "9.99999999999999999999999"), 1); // beyond 64 bits
    EXPECT_EQ(UpdateChecker::numericCompare("", "0"), -1);
}

TEST(UpdateMinimumSystem, PlaceByPlace) {
    using V = ProcessInfo::OperatingSystemVersion;
    EXPECT_FALSE(UpdateChecker::meetsMinimum("15.1", V{15, 0, 2}));
    EXPECT_TRUE(UpdateChecker::meetsMinimum("14", V{14, 0, 0}));
    EXPECT_TRUE(UpdateChecker::meetsMinimum("14.9.9", V{15, 0, 0}));
    EXPECT_FALSE(UpdateChecker::meetsMinimum("14.0.0.1", V{14, 0, 0})); // a fourth place asks for more
    EXPECT_TRUE(UpdateChecker::meetsMinimum("14.0.0.0", V{14, 0, 0}));
    EXPECT_TRUE(UpdateChecker::meetsMinimum("", V{1, 0, 0}));
    EXPECT_TRUE(UpdateChecker::meetsMinimum("...", V{1, 0, 0}));
    EXPECT_TRUE(UpdateChecker::meetsMinimum("14..2", V{14, 2, 0})); // empty pieces dropped
    EXPECT_TRUE(UpdateChecker::meetsMinimum("14.x", V{14, 0, 0}));  // a piece that is not a number is 0
    EXPECT_FALSE(UpdateChecker::meetsMinimum("14.x.1", V{14, 0, 0}));
    EXPECT_TRUE(UpdateChecker::meetsMinimum("+14.-1", V{14, 0, 0}));
}

TEST(UpdateRunningVersion, ReadFromTheBundleWithFallbacks) {
    BundleReset reset;
    BundleInfo::replaceDictionary(nlohmann::json{{"CFBundleShortVersionString", "3.1"}, {"CFBundleVersion", "+120"}});
    EXPECT_EQ(UpdateChecker::currentVersion(), "3.1");
    EXPECT_EQ(UpdateChecker::currentBuild(), 120);
    for (const char* odd : {"1.2", "", "12a", " 12", "+", "9223372036854775808"}) {
        BundleInfo::replaceDictionary(nlohmann::json{{"CFBundleVersion", odd}});
        EXPECT_EQ(UpdateChecker::currentBuild(), 0) << odd;
        EXPECT_EQ(UpdateChecker::currentVersion(), "0.0.0");
    }
    BundleInfo::replaceDictionary(nlohmann::json{{"CFBundleVersion", "-9223372036854775808"}});
    EXPECT_EQ(UpdateChecker::currentBuild(), INT64_MIN);
    BundleInfo::replaceDictionary(nlohmann::json{{"CFBundleVersion", 120}, {"CFBundleShortVersionString", 2}});
    EXPECT_EQ(UpdateChecker::currentBuild(), 0);
    EXPECT_EQ(UpdateChecker::currentVersion(), "0.0.0");
}

TEST(UpdateRunningVersion, ThisBuildCarriesItsProjectVersionAndNoFeed) {
    BundleInfo::replaceDictionary(std::nullopt);
    EXPECT_EQ(UpdateChecker::currentBuild(), 0);
    EXPECT_NE(UpdateChecker::currentVersion(), "0.0.0");
    EXPECT_FALSE(UpdateChecker::feedURL().has_value());
    EXPECT_FALSE(BundleInfo::object("SorvelAdHocSigned").has_value());
}
