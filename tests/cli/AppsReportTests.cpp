// The text of `--apps` from inventories built by hand.
#include <gtest/gtest.h>

#include "cli/AppsCommand.h"
#include "cli/TextLayout.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using R = InstalledApp::Removability;
using Match = AppLeftover::Match;

namespace {

InstalledApp app(const std::string& name, std::optional<std::string> version, int64_t size, R removability) {
    InstalledApp a;
    a.name = name;
    a.bundlePath = "/Applications/" + name + ".app";
    a.version = std::move(version);
    a.bundleSize = size;
    a.removability = std::move(removability);
    return a;
}

AppLeftover leftover(const std::string& path, int64_t size, Match match, bool admin = false) {
    return AppLeftover{path, size, "Cache", std::move(match), admin};
}

std::string bytes(int64_t n) { return Bytes::format(n); }
// The spaces that take an ASCII path to the 58-character column.
std::string pad(const std::string& path) { return std::string(58 - path.size(), ' '); }

} // namespace

TEST(AppsReport, WholeReportForAFewApps) {
    test::FakeHome home;
    auto editor = app("Editor", "2.0", 5'000'000, R::removable());
    editor.bundlePath = home.path() + "/Applications/Editor.app";
    editor.leftovers = {leftover(home.path() + "/Library/Caches/com.example.editor", 1'000'000, Match::exactIdentifier())};
    auto daemon = app("Daemon", std::nullopt, 2'000'000, R::needsAdministrator());
    daemon.leftovers = {
        leftover("/Library/LaunchDaemons/com.example.daemon.plist", 4096, Match::exactIdentifier(), true),
        leftover(home.path() + "/Library/Logs/com.example.daemon.sub", 2048, Match::identifierPrefix("Daemon")),
    };
    auto sealed = app("Clock", "1", 9'000'000, R::sealed("cannot be read"));
    sealed.leftovers = {leftover("/x", 7'000'000, Match::appNameMatch())};
    auto self = app("Sorvel", "1", 100, R::selfProtected());
    self.leftovers = {leftover("/y", 5'000'000, Match::appNameMatch())};
    auto plain = app("Plain Name", std::nullopt, 1'000, R::removable());

    const std::string expected =
        "  5 apps, 3 listed, 1 needing an administrator to remove\n"
        "\n"
        "  Editor 2.0                        " + TextLayout::leftPadded(bytes(6'000'000), 11) +
        "   ~/Applications/Editor.app\n"
        "      1 leftover file               " + bytes(1'000'000) + "\n"
        "        \u00b7 ~/Library/Caches/com.example.editor" + pad("~/Library/Caches/com.example.editor") +
        TextLayout::leftPadded(bytes(1'000'000), 10) + "  exact bundle identifier match\n"
        "  Daemon                            " + TextLayout::leftPadded(bytes(2'006'144), 11) +
        "   /Applications/Daemon.app  [admin]\n"
        "      2 leftover files              " + bytes(6144) + "\n"
        "        \u00b7 /Library/LaunchDaemons/com.example.daemon.plist" + pad("/Library/LaunchDaemons/com.example.daemon.plist") +
        TextLayout::leftPadded(bytes(4096), 10) + "  exact bundle identifier match (needs admin)\n"
        "        \u00b7 ~/Library/Logs/com.example.daemon.sub" + pad("~/Library/Logs/com.example.daemon.sub") +
        TextLayout::leftPadded(bytes(2048), 10) + "  belongs to Daemon\n"
        "  Plain Name                        " + TextLayout::leftPadded(bytes(1'000), 11) +
        "   /Applications/Plain Name.app\n"
        "\n"
        "  " + bytes(1'006'144) + " sits outside the app bundles themselves.\n"
        "  Sorvel never removes anything from this command.\n"
        "\n";
    EXPECT_EQ(HeadlessReport::appsReport({editor, daemon, sealed, self, plain}), expected);
}

TEST(AppsReport, SixLeftoverRowsThenACountOfTheRest) {
    auto a = app("Hoarder", "1", 0, R::removable());
    for (int i = 0; i < 9; ++i) a.leftovers.push_back(leftover("/l/" + std::to_string(i), 10 - i, Match::appNameMatch()));
    auto out = test::lines(HeadlessReport::appsReport({a}));
    // Header, blank, app, count, six rows, "more", blank, total, closing, blank.
    ASSERT_EQ(out.size(), 15u);
    EXPECT_EQ(out[3].rfind("      9 leftover files", 0), 0u);
    EXPECT_EQ(out[4].rfind("        \u00b7 /l/0 ", 0), 0u);
    EXPECT_EQ(out[9].rfind("        \u00b7 /l/5 ", 0), 0u);
    EXPECT_EQ(out[10], "        \u00b7 + 3 more");

    a.leftovers.resize(7);
    out = test::lines(HeadlessReport::appsReport({a}));
    EXPECT_EQ(out[10], "        \u00b7 + 1 more");
    a.leftovers.resize(6);
    out = test::lines(HeadlessReport::appsReport({a}));
    EXPECT_EQ(out[10], "");
}

TEST(AppsReport, FortyAppsPrintedButTheTotalCountsAll) {
    std::vector<InstalledApp> apps;
    for (int i = 0; i < 45; ++i) {
        auto a = app("App Number " + std::to_string(i), std::nullopt, 1000, R::removable());
        a.leftovers = {leftover("/c/" + std::to_string(i), 1'000'000, Match::appNameMatch())};
        apps.push_back(a);
    }
    const std::string report = HeadlessReport::appsReport(apps);
    EXPECT_NE(report.find("  45 apps, 45 listed, 0 needing an administrator to remove\n"), std::string::npos);
    EXPECT_NE(report.find("App Number 39 "), std::string::npos);
    EXPECT_EQ(report.find("App Number 40 "), std::string::npos);
    EXPECT_NE(report.find("\n  " + bytes(45'000'000) + " sits outside the app bundles themselves.\n"),
              std::string::npos);
}

TEST(AppsReport, LongNamesAndPathsKeepTheirTails) {
    const std::string name40 = "Forty Characters Of Application Name XYZ";
    ASSERT_EQ(name40.size(), 40u);
    auto a = app(name40, std::nullopt, 0, R::removable());
    const std::string longPath = "/Library/Application Support/" + std::string(40, 'p') + "/tail-of-path";
    a.leftovers = {leftover(longPath, 4096, Match::exactIdentifier())};
    auto out = test::lines(HeadlessReport::appsReport({a}));
    EXPECT_EQ(out[2].rfind("  \u2026" + name40.substr(7) + TextLayout::leftPadded(bytes(4096), 11), 0), 0u);
    const std::string fittedPath = "\u2026" + longPath.substr(longPath.size() - 55);
    EXPECT_EQ(out[4], "        \u00b7 " + fittedPath + "  " + TextLayout::leftPadded(bytes(4096), 10) +
                          "  exact bundle identifier match");

    // A name with its version counts both; exactly 34 characters stays whole.
    auto b = app(std::string(29, 'n'), "1.23", 0, R::removable());
    out = test::lines(HeadlessReport::appsReport({b}));
    EXPECT_EQ(out[2].rfind("  " + std::string(29, 'n') + " 1.23" + TextLayout::leftPadded(bytes(0), 11), 0), 0u);
    b.name += "n"; // one more and the front gives way
    out = test::lines(HeadlessReport::appsReport({b}));
    EXPECT_EQ(out[2].rfind("  \u2026" + std::string(28, 'n') + " 1.23" + TextLayout::leftPadded(bytes(0), 11), 0), 0u);
}

TEST(AppsReport, NamesThatAreNotUTF8PrintAsValidText) {
    auto a = app("Caf\xe9 Tool", "\xff", 0, R::removable());
    a.bundlePath = "/Applications/Caf\xe9 Tool.app";
    a.leftovers = {leftover("/Library/Caches/Caf\xe9 Tool", 4096, Match::identifierPrefix("Caf\xe9 Tool"))};
    const std::string report = HeadlessReport::appsReport({a});
    EXPECT_NE(report.find("Caf\xef\xbf\xbd Tool \xef\xbf\xbd"), std::string::npos);
    EXPECT_NE(report.find("/Applications/Caf\xef\xbf\xbd Tool.app"), std::string::npos);
    EXPECT_NE(report.find("belongs to Caf\xef\xbf\xbd Tool"), std::string::npos);
    EXPECT_EQ(report.find('\xe9'), std::string::npos);
}

TEST(AppsReport, NoAppsAtAll) {
    EXPECT_EQ(HeadlessReport::appsReport({}),
              "  0 apps, 0 listed, 0 needing an administrator to remove\n\n\n  " + bytes(0) +
                  " sits outside the app bundles themselves.\n  Sorvel never removes anything from this command.\n\n");
}
