#include <gtest/gtest.h>

#include <cstring>

#include "models/EventLoop.h"
#include "models/SettingsSaver.h"
#include "support/TestSupport.h"
#include "ui/kit/AppearanceSetting.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(Appearance, OnlyTheExactRawValuesAreRecognised) {
    EXPECT_EQ(appearanceFromRaw("light"), Appearance::light);
    EXPECT_EQ(appearanceFromRaw("dark"), Appearance::dark);
    for (const char* other : {"Dark", "DARK", "", " dark", "light ", "auto"}) EXPECT_EQ(appearanceFromRaw(other), std::nullopt) << other;
}

TEST(Appearance, StoredChoiceIsReadAndEveryWriteStoresAndApplies) {
    test::TempDir dir;
    UserDefaults defaults(dir / "defaults.json");
    {
        AppearanceSetting unset(defaults);
        EXPECT_EQ(unset.selection(), Theme::systemDefault());
        EXPECT_EQ(defaults.string(AppearanceSetting::key), std::nullopt) << "nothing is written until a change";
    }
    defaults.set(AppearanceSetting::key, "DARK");
    EXPECT_EQ(AppearanceSetting(defaults).selection(), Theme::systemDefault());
    defaults.set(AppearanceSetting::key, "dark");
    AppearanceSetting setting(defaults);
    EXPECT_EQ(setting.selection(), Appearance::dark);
    setting.toggle();
    EXPECT_EQ(Theme::appearance(), Appearance::light);
    setting.toggle();
    Models::waitForSettings(); // stored off the main thread, in the order asked
    EXPECT_EQ(defaults.string(AppearanceSetting::key), "dark");
    EXPECT_EQ(Theme::appearance(), Appearance::dark);
    setting.setSelection(Appearance::light);
    Models::waitForSettings();
    EXPECT_EQ(defaults.string(AppearanceSetting::key), "light");
    // Colours resolve against the applied appearance.
    EXPECT_EQ(Theme::window().resolve(), Theme::window().light);
    Theme::setAppearance(Appearance::dark);
    EXPECT_EQ(QColor(Theme::window()), Theme::window().dark);
    EXPECT_EQ(Theme::otherGrey().light, Theme::otherGrey().dark);
    Theme::setAppearance(Appearance::light);
}

// A choice that cannot be stored is still applied; the failure is kept with its reason.
TEST(Appearance, AFailedStoreIsKeptWithItsReason) {
    test::TempDir dir;
    test::writeFile(dir / "file", "x");
    AppearanceSetting setting(UserDefaults(dir / "file/defaults.json"));
    setting.setSelection(Appearance::dark);
    EXPECT_EQ(Theme::appearance(), Appearance::dark);
    ASSERT_TRUE(test::waitUntil([&] { return setting.saveError().has_value(); }));
    EXPECT_EQ(*setting.saveError(), AppearanceSetting::notSavedMessage(SaveStatus::failed(ENOTDIR)));
    EXPECT_NE(setting.saveError()->find(std::strerror(ENOTDIR)), std::string::npos);
    Theme::setAppearance(Appearance::light);
}
