#include <gtest/gtest.h>

#include "ui/shell/OnboardingView.h"
#include "ui/shell/UpdateBanner.h"

using namespace sorvel;
using namespace sorvel::ui;
using F = OnboardingView::Footer;

TEST(OnboardingFooter, RelaunchingThenWaitingThenBundleFacts) {
    EXPECT_EQ(OnboardingView::footer(true, true, true), F::relaunching);
    EXPECT_EQ(OnboardingView::footer(false, true, true), F::waiting);
    EXPECT_EQ(OnboardingView::footer(false, false, true), F::bundle);
    EXPECT_EQ(OnboardingView::footer(false, false, false), F::noBundle);
    EXPECT_EQ(OnboardingView::footerMessage(F::relaunching), "Access granted — restarting Sorvel…");
    EXPECT_TRUE(OnboardingView::footerMessage(F::noBundle).startsWith("Running outside an app bundle, so there is no Full Disk Access to grant"));
}

TEST(UpdateBannerSubtitle, DateAndNotesVariants) {
    const auto release = [](std::optional<std::string> date, std::optional<std::string> notes) {
        Release r;
        r.version = "2.0.0";
        r.date = std::move(date);
        r.notes = std::move(notes);
        return r;
    };
    const QString browser = ". Opens in your browser — Sorvel does not download or install updates itself.";
    EXPECT_EQ(UpdateBanner::subtitle("1.0.0", release(std::nullopt, std::nullopt)), "You have 1.0.0" + browser);
    EXPECT_EQ(UpdateBanner::subtitle("1.0.0", release("Dec 1", "Faster.")), "You have 1.0.0 · released Dec 1. Faster.");
    EXPECT_EQ(UpdateBanner::subtitle("0.0.0", release("", "")), "You have 0.0.0 · released " + browser);
}

#include <QMainWindow>

#include "ui/shell/WindowGlass.h"

TEST(WindowGlassDebug, OnlyTheExactValueOneWritesTheLine) {
    QMainWindow window;
    for (const char* value : {"true", "01", "", static_cast<const char*>(nullptr)})
        EXPECT_TRUE(WindowGlass::debugLine(value, &window).isEmpty()) << (value ? value : "<unset>");
    EXPECT_TRUE(WindowGlass::debugLine("1", &window).startsWith("glass: window=<untitled> opaque="));
    window.setWindowTitle("Sorvel");
    EXPECT_TRUE(WindowGlass::debugLine("1", &window).endsWith(" layerOpaque=nil bgColor=nil"));
    EXPECT_EQ(WindowGlass::debugLine("1", nullptr), "glass: no window at configure time");
}
