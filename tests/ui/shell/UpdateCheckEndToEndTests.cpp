// The update check from a configured feed address to what the user sees, over a real TLS
// transfer from a feed on 127.0.0.1 with a certificate the test made.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "platform/BundleInfo.h"
#include "tools/ToolPageTesting.h"
#include "uisupport/LoopbackFeedServer.h"
#include "uisupport/UiContext.h"
#include "ui/kit/Button.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/UpdateBanner.h"
#include "ui/tools/SweepSettingsView.h"

using namespace sorvel;
using namespace sorvel::test;
using Kind = UpdateChecker::State::Kind;

namespace {

// The build's own dictionary with the feed address a build option would put there.
struct ConfiguredFeed {
    explicit ConfiguredFeed(const QUrl& feed) {
        auto dictionary = BundleInfo::builtInDictionary();
        dictionary["SorvelUpdateFeedURL"] = feed.toString().toStdString();
        dictionary["CFBundleShortVersionString"] = "1.2.0";
        BundleInfo::replaceDictionary(dictionary);
    }
    ~ConfiguredFeed() { BundleInfo::replaceDictionary(std::nullopt); }
};

QByteArray feedBody(const LoopbackFeedServer& server, const std::string& version, int build) {
    return QByteArray::fromStdString(
        nlohmann::json{{"version", version},
                       {"build", build},
                       {"url", server.url("/sorvel-" + QString::fromStdString(version)).toString().toStdString()},
                       {"date", "2026-12-01"},
                       {"notes", "Scans twice as fast."}}
            .dump());
}

// A press and release of the left button at the middle of the button, as the user clicks.
void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Runs a check and waits for its answer.
Kind checked(UpdateChecker& updates, bool userAsked) {
    updates.check(userAsked);
    waitUntil([&] { return updates.state().kind != Kind::checking; }, 15'000);
    return updates.state().kind;
}

} // namespace

TEST(UpdateCheckEndToEnd, ANewerReleaseOverTLSShowsTheBannerAndTheSettingsCheckSaysUpToDate) {
    UiContext ctx;
    LoopbackFeedServer server;
    TrustedCertificate trust(server.credentials().certificate);
    ConfiguredFeed feed(server.url());
    server.body = feedBody(server, "1.3.0", 130);

    std::vector<QUrl> opened;
    UpdateChecker updates(&UpdateChecker::fetch, [&](const QUrl& url) { opened.push_back(url); });
    const auto& m = ctx.models();
    ui::AppModels models{m.coordinator, m.appearance, m.sweeper, m.apps, m.duplicates, m.history, updates, m.desktop};
    ui::MainWindow window(models, ui::MainWindow::Startup{{}, {}, {}, [&] { updates.checkIfDue(); }});
    EXPECT_TRUE(window.menu().checkForUpdates()->isEnabled());

    // Showing the window runs the due check, which fetches the feed.
    settle(&window, QSize(1440, 980));
    ASSERT_TRUE(waitUntil([&] { return updates.state().kind != Kind::checking; }, 15'000));
    ASSERT_EQ(updates.state().kind, Kind::available) << updates.state().message;
    auto* banner = window.findChild<ui::UpdateBanner*>();
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->title()->text(), "Sorvel 1.3.0 is available");
    EXPECT_EQ(banner->subtitleText()->text(), "You have 1.2.0 \u00B7 released 2026-12-01. Scans twice as fast.");
    EXPECT_TRUE(updates.lastChecked().has_value());
    click(banner->download());
    EXPECT_EQ(opened, (std::vector<QUrl>{server.url("/sorvel-1.3.0")}));
    EXPECT_TRUE(banner->isVisible());

    // "Later": gone until a check finds the release again.
    click(banner->later());
    EXPECT_EQ(updates.state().kind, Kind::idle);
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(checked(updates, false), Kind::available);
    EXPECT_TRUE(banner->isVisible());

    // "Skip this one": later automatic checks keep build 130 hidden; the menu's check does not.
    click(banner->skip());
    EXPECT_EQ(updates.skippedBuild(), 130);
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(checked(updates, false), Kind::idle);
    EXPECT_FALSE(banner->isVisible());
    window.menu().checkForUpdates()->trigger();
    ASSERT_TRUE(waitUntil([&] { return updates.state().kind != Kind::checking; }, 15'000));
    EXPECT_EQ(updates.state().kind, Kind::available);
    EXPECT_TRUE(banner->isVisible());
    click(banner->later());

    // The feed now names the running version: "Check now" ends at "Up to date".
    server.body = feedBody(server, "1.2.0", 120);
    ui::SweepSettingsView settings(ctx.coordinator(), m.sweeper, updates);
    settle(&settings, QSize(560, 900));
    auto checkButton = [&] {
        settings.flush();
        return one<ui::Button>(&settings, "checkNow");
    };
    ASSERT_NE(checkButton(), nullptr);
    EXPECT_EQ(checkButton()->text(), "Check now");
    // Nothing turns the event loop between the click and the look, so the answer cannot
    // have come yet, however fast the feed is.
    click(checkButton());
    EXPECT_EQ(checkButton()->text(), "Checking\u2026");
    EXPECT_FALSE(checkButton()->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return updates.state().kind != Kind::checking; }, 15'000));
    EXPECT_EQ(checkButton()->text(), "Up to date");
    EXPECT_TRUE(checkButton()->isEnabled());
    EXPECT_FALSE(banner->isVisible());

    // Five checks, each one plain request for the feed and nothing else.
    ASSERT_EQ(server.requests.size(), 5u);
    for (const auto& line : server.requests) EXPECT_EQ(line, "GET /feed.json HTTP/1.1");
}

TEST(UpdateCheckEndToEnd, AFeedWhoseCertificateNobodyTrustsIsNotBelieved) {
    UiContext ctx;
    LoopbackFeedServer server;
    ConfiguredFeed feed(server.url());
    server.body = feedBody(server, "9.0.0", 900);
    UpdateChecker updates(&UpdateChecker::fetch, [](const QUrl&) {});

    EXPECT_EQ(checked(updates, false), Kind::idle); // automatic: a failure shows nothing
    checked(updates, true);
    EXPECT_EQ(updates.state(),
              UpdateChecker::State::failed(
                  "An SSL error has occurred and a secure connection to the server cannot be made."));
    EXPECT_TRUE(server.requests.empty());
}

TEST(UpdateCheckEndToEnd, AFeedThatTricklesIsCutOffAtTheDeadlineAndTheCheckFailsAsATimeOut) {
    UiContext ctx;
    LoopbackFeedServer server;
    TrustedCertificate trust(server.credentials().certificate);
    ConfiguredFeed feed(server.url());
    // A byte every 100 ms restarts any per-transfer time-out; the whole body would take 30 s.
    server.body = feedBody(server, "1.3.0", 130) + QByteArray(300, ' ');
    server.trickleMilliseconds = 100;
    UpdateChecker updates(UpdateChecker::fetchWithin(1'000), [](const QUrl&) {});
    ui::SweepSettingsView settings(ctx.coordinator(), ctx.models().sweeper, updates);
    auto checkButton = [&] { settings.flush(); return one<ui::Button>(&settings, "checkNow"); };
    checkButton()->click();
    EXPECT_EQ(checkButton()->text(), "Checking\u2026");
    ASSERT_TRUE(waitUntil([&] { return updates.state().kind != Kind::checking; }, 5'000));
    EXPECT_EQ(updates.state(), UpdateChecker::State::failed("The request timed out."));
    EXPECT_EQ(checkButton()->text(), "Check again");
    EXPECT_EQ(server.requests.size(), 1u);
}
