// The hidden-folders banner names the folders the scan could not read, never a folder it
// did not look in.
#include <gtest/gtest.h>

#include "ui/kit/Text.h"
#include "ui/shell/AccessBanner.h"
#include "ui/shell/HiddenFolders.h"
#include "ui/shell/MainWindow.h"
#include "models/Tool.h"
#include "ui/shell/PageHost.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

ScanNodePtr folder(const std::string& path, std::vector<ScanNodePtr> children = {}, bool denied = false) {
    auto n = test::sampleNode(path, 1000);
    n->children = std::move(children);
    if (denied) n->markUnreadable();
    return n;
}

/// /var/cache refused whole, /var/log read but for /var/log/private, and ~/.cache read.
ScanResult systemFoldersRefused(const std::string& home) {
    ScanResult result = test::UiContext::sampleResult();
    auto log = folder("/var/log", {folder("/var/log/journal"), folder("/var/log/private", {}, true)});
    log->rollUpTotals();
    result.categories[0].roots = {folder(home + "/.cache", {folder(home + "/.cache/app")}), folder("/var/cache", {}, true)};
    result.categories[1].roots = {log};
    result.unreadableFolders = 2;
    return result;
}

} // namespace

TEST(HiddenFolders, TheFoldersNamedAreTheOnesThatCouldNotBeRead) {
    const std::string home = "/home/someone";
    EXPECT_EQ(HiddenFolders::of(systemFoldersRefused(home)), (std::vector<std::string>{"/var/cache", "/var/log/private"}));
    // Refusals below what the tree keeps are said by the deepest folder kept over them.
    ScanResult deep;
    deep.categories.push_back({});
    auto kept = folder(home + "/.cache/app");
    kept->unreadableFolders = 3;
    deep.categories[0].roots = {folder(home + "/.cache", {kept})};
    deep.categories[0].roots[0]->rollUpTotals();
    EXPECT_EQ(HiddenFolders::of(deep), (std::vector<std::string>{home + "/.cache/app"}));
    EXPECT_TRUE(HiddenFolders::of(test::UiContext::sampleResult()).empty());

    const struct {
        std::vector<std::string> folders;
        std::string named;
    } rows[] = {
        {{}, "some folders"},
        {{"/var/cache"}, "/var/cache"},
        {{"/var/cache", "/var/log"}, "/var/cache and /var/log"},
        {{"/a", "/b", "/c"}, "/a, /b and /c"},
        {{"/a", "/b", "/c", "/d"}, "/a, /b, /c and 1 more folder"},
        {{"/a", "/b", "/c", "/d", "/e"}, "/a, /b, /c and 2 more folders"},
    };
    for (const auto& row : rows) EXPECT_EQ(HiddenFolders::named(row.folders), row.named);
}

// The banner over the pages (the overview and the Applications page alike) says which
// folders were not read, not a folder the scan never met.
TEST(HiddenFolders, TheBannerNamesTheFoldersOfTheScanShown) {
    test::UiContext ctx;
    MainWindow window(ctx.models(), MainWindow::Startup{});
    test::settle(&window, {1440, 980});
    ctx.finishScan(systemFoldersRefused(ctx.home()));
    ctx.coordinator().show(Tool::apps);
    auto& host = window.pageHost();
    ASSERT_TRUE(test::waitUntil([&] { return host.accessBanner() != nullptr; }));
    auto* text = host.accessBanner()->findChild<Text*>("hiddenFoldersText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text().toStdString(),
              "This user may not read /var/cache and /var/log/private, so the totals below are a lower bound. There is no "
              "Full Disk Access to grant here: only an account that can read those folders can measure them.");
}
