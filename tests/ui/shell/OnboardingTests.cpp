#include <gtest/gtest.h>

#include "platform/BundleInfo.h"
#include "uisupport/UiContext.h"
#include "ui/kit/Button.h"
#include "ui/kit/Text.h"
#include "ui/shell/AccessBanner.h"
#include "ui/shell/OnboardingView.h"
#include "ui/shell/UpdateBanner.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {
AccessGrant::Services fakeGrant(bool bundle, test::RecordingDesktop& desktop) {
    AccessGrant::Services s;
    s.probe = [] { return false; };
    s.runsFromBundle = [bundle] { return bundle; };
    s.isAdHocSigned = [] { return true; };
    s.bundlePath = [] { return std::string("/Applications/Sorvel.app"); };
    s.openURL = [&desktop](const std::string& u) { desktop.openURL(QString::fromStdString(u)); };
    s.reveal = [&desktop](const std::string& p) { desktop.reveal(p); };
    s.copy = [&desktop](const std::string& t) { desktop.copy(QString::fromStdString(t)); };
    s.startNewInstance = [] { return false; };
    s.quit = [] {};
    return s;
}
} // namespace

TEST(Onboarding, FooterFollowsTheGrantAndScanWithoutItStartsAScan) {
    test::UiContext ctx;
    OnboardingView page(ctx.models(), fakeGrant(true, ctx.desktop()));
    test::settle(&page, {1180, 700});
    EXPECT_EQ(page.footerText()->text(), OnboardingView::footerMessage(OnboardingView::Footer::bundle));
    page.openSettings()->click();
    EXPECT_EQ(ctx.desktop().opened.size(), 1u);
    EXPECT_TRUE(page.grant().isWatching());
    EXPECT_EQ(page.footerText()->text(), OnboardingView::footerMessage(OnboardingView::Footer::waiting));
    page.copyPath()->click();
    EXPECT_EQ(ctx.desktop().copied, std::vector<QString>{"/Applications/Sorvel.app"});
    page.scanWithout()->click();
    EXPECT_FALSE(page.grant().isWatching());
    EXPECT_EQ(ctx.coordinator().phase(), ScanCoordinator::Phase::scanning);
}

TEST(Onboarding, OutsideABundleNoWatchAndTheTerminalLine) {
    test::UiContext ctx;
    OnboardingView page(ctx.models(), fakeGrant(false, ctx.desktop()));
    test::settle(&page, {1180, 700});
    // Nothing to grant: no button that would open a settings list or copy a bundle path.
    EXPECT_FALSE(page.openSettings()->isVisibleTo(&page) || page.copyPath()->isVisibleTo(&page));
    EXPECT_TRUE(page.scanWithout()->isVisibleTo(&page));
    page.openSettings()->click();
    EXPECT_FALSE(page.grant().isWatching());
    EXPECT_EQ(page.footerText()->text(), OnboardingView::footerMessage(OnboardingView::Footer::noBundle));
}

// The scan button names no grant where there is none, and the steps quote it as labelled.
TEST(Onboarding, TheScanButtonIsNamedForWhatThePageOffers) {
    for (const bool bundle : {true, false}) {
        test::UiContext ctx;
        OnboardingView page(ctx.models(), fakeGrant(bundle, ctx.desktop()));
        test::settle(&page, {1180, 700});
        const QString label = page.scanWithout()->text();
        EXPECT_EQ(label.contains("without"), bundle) << label.toStdString();
        const auto texts = page.findChildren<Text*>();
        EXPECT_TRUE(bundle || std::any_of(texts.begin(), texts.end(), [&](Text* t) {
                        return t->text().contains("\u201C" + label + "\u201D");
                    })) << "no step names \"" << label.toStdString() << "\"";
    }
}

TEST(AccessBannerButton, WaitsAndCannotBePressedAgainWhileWatching) {
    test::RecordingDesktop desktop;
    AccessBanner banner(fakeGrant(true, desktop));
    EXPECT_TRUE(banner.showsAdHocText());
    EXPECT_EQ(banner.fix()->text(), "Fix this");
    banner.fix()->click();
    EXPECT_EQ(banner.fix()->text(), "Waiting…");
    EXPECT_FALSE(banner.fix()->isEnabled());
    AccessBanner outside(fakeGrant(false, desktop));
    EXPECT_FALSE(outside.showsAdHocText()) << "the ad-hoc text needs a bundle";
}

TEST(UpdateBannerVisibility, ShownOnlyWhileAReleaseIsAvailable) {
    test::UiContext ctx;
    QWidget column;
    auto* banner = new UpdateBanner(ctx.updates(), &column);
    test::settle(&column, {1180, 200});
    EXPECT_FALSE(banner->isVisible()) << "idle: nothing and no space";
    ctx.updates().check(true); // no feed in this build: failed
    EXPECT_FALSE(banner->isVisible());
}

TEST(UpdateBannerVisibility, LaterPutsItAwayAndOpenLeavesItInPlace) {
    test::UiContext ctx;
    Release release;
    release.version = "9.0.0";
    release.build = 900;
    release.url = "https://example.invalid/sorvel";
    std::vector<QUrl> opened;
    UpdateChecker checker([release](const QUrl&, UpdateChecker::Completion done) { done(UpdateChecker::FetchResult::success(release)); },
                          [&](const QUrl& url) { opened.push_back(url); });
    QWidget column;
    auto* banner = new UpdateBanner(checker, &column);
    test::settle(&column, {1180, 200});
    BundleInfo::replaceDictionary(nlohmann::json{{"SorvelUpdateFeedURL", "https://example.invalid/feed.json"}});
    checker.check(true);
    BundleInfo::replaceDictionary(std::nullopt);
    ASSERT_TRUE(test::waitUntil([&] { return banner->isVisible(); }, 3000));
    EXPECT_EQ(banner->title()->text(), "Sorvel 9.0.0 is available");
    // "Skip This One" is in the tertiary text colour: its ink is the pixel farthest from its ground.
    test::settle(&column, {1180, 200});
    const QImage image = banner->grab().toImage();
    const QRect r = banner->skip()->geometry();
    const auto distance = [](const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
    };
    const QColor ground = image.pixelColor(r.topLeft());
    QColor ink = ground;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (distance(image.pixelColor(x, y), ground) > distance(ink, ground)) ink = image.pixelColor(x, y);
    const QColor tertiary = Theme::tertiaryText().resolve(), primary = Theme::primaryText().resolve();
    EXPECT_LT(distance(ink, tertiary), std::min(40, distance(ink, primary))) << ink.name().toStdString();
    banner->download()->click();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_TRUE(banner->isVisible());
    banner->later()->click();
    EXPECT_FALSE(banner->isVisible());
}

TEST(Onboarding, TheCardStandsCentredInAWidePage) {
    test::UiContext ctx;
    OnboardingView page(ctx.models(), fakeGrant(true, ctx.desktop()));
    int cardWidth = 0;
    for (int width : {1180, 1600}) {
        test::settle(&page, {width, 900});
        QWidget* card = page.footerText()->parentWidget();
        while (card && card->parentWidget() != &page) card = card->parentWidget();
        ASSERT_NE(card, nullptr);
        EXPECT_TRUE(cardWidth == 0 || card->width() == cardWidth) << "the card is stretched, not centred";
        cardWidth = card->width();
        EXPECT_NEAR(card->geometry().center().x(), width / 2, 2) << width << ": the card sits at the left";
        EXPECT_NEAR(card->geometry().center().y(), 900 / 2, 2) << width;
    }
}
