// The real executable on a virtual X server: after a scan, a click on each tool row of the
// sidebar shows that tool's page (the detail area changes each time), and Ctrl+, opens
// the settings window titled "Sorvel Settings" at 520 x 620.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "support/TestSupport.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarView.h"
#include "uisupport/UiContext.h"
#include "uisupport/XvfbRun.h"

using namespace sorvel;

namespace {

/// A hash of the pixels right of the sidebar in a dump; 0 when the dump cannot be read.
uint64_t detailHash(const test::XwdDump& xwd, int sidebarWidth) {
    if (!xwd.thirtyTwoBit || xwd.start + size_t(xwd.height) * xwd.bytesPerLine > xwd.data.size()) return 0;
    uint64_t hash = 1469598103934665603ull;
    for (uint32_t y = 0; y < xwd.height; y += 3)
        for (uint32_t x = uint32_t(sidebarWidth) + 8; x < xwd.width; x += 3) {
            hash ^= xwd.pixel(x, y);
            hash *= 1099511628211ull;
        }
    return hash;
}

} // namespace

TEST(XvfbToolPages, EachToolPageAndTheSettingsWindowOpenOnTheRealExecutable) {
    if (const auto tool = test::missingXvfbTool())
        GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";

    // Where the tool rows sit in a window of the real size, laid out here the same way.
    std::vector<QPoint> rows;
    {
        test::UiContext ctx;
        ctx.finishScan(test::UiContext::sampleResult());
        ui::MainWindow window(ctx.models(), ui::MainWindow::Startup{});
        window.resize(ui::MainWindow::defaultWidth, ui::MainWindow::defaultHeight);
        window.show();
        QCoreApplication::processEvents();
        auto* sidebar = qobject_cast<ui::SidebarView*>(window.sidebar());
        ASSERT_NE(sidebar, nullptr);
        for (Tool t : {Tool::apps, Tool::duplicates, Tool::history}) {
            QWidget* row = sidebar->row(rawValue(t));
            ASSERT_NE(row, nullptr);
            rows.push_back(row->mapTo(&window, row->rect().center()));
        }
    }

    test::TempDir home;
    test::writeFileOfSize(home / "Library/Caches/com.example.editor/cache.bin", 2 << 20);
    std::string clicks;
    for (size_t i = 0; i < rows.size(); ++i)
        clicks += "xdotool mousemove --window \"$win\" " + std::to_string(rows[i].x()) + " " +
                  std::to_string(rows[i].y()) + " click 1\nsleep 1\nxwd -id \"$win\" -silent > \"$HOME/page" +
                  std::to_string(i) + ".xwd\"\n";
    const auto r = test::runOnXvfb(home, R"sh(
sleep 1
xwd -id "$win" -silent > "$HOME/before.xwd"
)sh" + clicks + R"sh(
xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key ctrl+comma
settings=$(waitwindow 15 '^Sorvel Settings')
[ -n "$settings" ] || { echo "no settings window"; cat "$HOME/stderr.txt"; exit 4; }
echo "settings: $(xdotool getwindowname "$settings")"
xwininfo -id "$settings"
)sh");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The widget's title is exactly "Sorvel Settings"; on X the platform may add the
    // application's display name after a dash.
    EXPECT_NE(r.out.find("settings: Sorvel Settings"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Width: 520"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Height: 620"), std::string::npos) << r.out;

    // Every click changed the page: the overview, then three different tool pages.
    std::vector<uint64_t> hashes{detailHash(test::XwdDump(home / "before.xwd"), 244)};
    for (size_t i = 0; i < rows.size(); ++i) hashes.push_back(detailHash(test::XwdDump(home / ("page" + std::to_string(i) + ".xwd")), 244));
    for (size_t i = 0; i < hashes.size(); ++i) {
        EXPECT_NE(hashes[i], 0u) << "dump " << i << " unreadable";
        for (size_t j = 0; j < i; ++j) EXPECT_NE(hashes[i], hashes[j]) << "pages " << j << " and " << i << " look the same";
    }
}
