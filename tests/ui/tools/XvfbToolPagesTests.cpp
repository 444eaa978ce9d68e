// The real executable on a virtual X server: after a scan, a click on each tool row of the
// sidebar shows that tool's page (the detail area changes each time), and Ctrl+, opens
// the settings window titled "Sorvel Settings" at 520 x 620.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fstream>
#include <sstream>

#include "support/TestSupport.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;

namespace {

bool onPath(const char* tool) {
    return test::runCommand({"/bin/sh", "-c", std::string("command -v ") + tool}).status == 0;
}

uint32_t be32(const std::string& data, size_t at) {
    return (uint32_t(uint8_t(data[at])) << 24) | (uint32_t(uint8_t(data[at + 1])) << 16) |
           (uint32_t(uint8_t(data[at + 2])) << 8) | uint32_t(uint8_t(data[at + 3]));
}

/// A hash of the pixels right of the sidebar in an XWD dump (ZPixmap, 32 bits per pixel);
/// 0 when the dump cannot be read.
uint64_t detailHash(const std::string& xwd, int sidebarWidth) {
    if (xwd.size() < 100) return 0;
    const uint32_t headerSize = be32(xwd, 0);
    const uint32_t width = be32(xwd, 4 * 4);
    const uint32_t height = be32(xwd, 5 * 4);
    const uint32_t bitsPerPixel = be32(xwd, 11 * 4);
    const uint32_t bytesPerLine = be32(xwd, 12 * 4);
    const uint32_t colours = be32(xwd, 19 * 4);
    const size_t start = headerSize + size_t(colours) * 12;
    if (bitsPerPixel != 32 || start + size_t(height) * bytesPerLine > xwd.size()) return 0;
    uint64_t hash = 1469598103934665603ull;
    for (uint32_t y = 0; y < height; y += 3)
        for (uint32_t x = uint32_t(sidebarWidth) + 8; x < width; x += 3) {
            hash ^= be32(xwd, start + size_t(y) * bytesPerLine + x * 4);
            hash *= 1099511628211ull;
        }
    return hash;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace

TEST(XvfbToolPages, EachToolPageAndTheSettingsWindowOpenOnTheRealExecutable) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo", "xwd"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/bootstrap installs it)";

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
    const std::string script = test::writeScript(home, "run.sh", R"sh(
app=
trap '[ -n "$app" ] && kill $app 2>/dev/null; wait' EXIT
QT_QPA_PLATFORM=xcb "$SORVEL" --scan 2>"$HOME/stderr.txt" &
app=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --name '^Sorvel$' | head -n 1)
[ -n "$win" ] || { echo "no window"; cat "$HOME/stderr.txt"; exit 3; }
for i in $(seq 1 300); do
  grep -q SorvelStorageTrends "$HOME/.config/sorvel/defaults.json" 2>/dev/null && break
  sleep 0.1
done
sleep 1
xwd -id "$win" -silent > "$HOME/before.xwd"
)sh" + clicks + R"sh(
xdotool windowfocus --sync "$win" 2>/dev/null
xdotool key ctrl+comma
settings=$(timeout 15 xdotool search --sync --onlyvisible --name '^Sorvel Settings' | head -n 1)
[ -n "$settings" ] || { echo "no settings window"; cat "$HOME/stderr.txt"; exit 4; }
echo "settings: $(xdotool getwindowname "$settings")"
xwininfo -id "$settings"
)sh");
    const auto r = test::runCommand(
        {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", "/bin/sh", script},
        {{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}, {"XDG_DATA_HOME", home / ".local/share"},
         {"XDG_CACHE_HOME", home / ".cache"}, {"SORVEL", SORVEL_BINARY}, {"SORVEL_ANIMATIONS", "0"}});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The widget's title is exactly "Sorvel Settings"; on X the platform may add the
    // application's display name after a dash.
    EXPECT_NE(r.out.find("settings: Sorvel Settings"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Width: 520"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Height: 620"), std::string::npos) << r.out;

    // Every click changed the page: the overview, then three different tool pages.
    std::vector<uint64_t> hashes{detailHash(readAll(home / "before.xwd"), 244)};
    for (size_t i = 0; i < rows.size(); ++i) hashes.push_back(detailHash(readAll(home / ("page" + std::to_string(i) + ".xwd")), 244));
    for (size_t i = 0; i < hashes.size(); ++i) {
        EXPECT_NE(hashes[i], 0u) << "dump " << i << " unreadable";
        for (size_t j = 0; j < i; ++j) EXPECT_NE(hashes[i], hashes[j]) << "pages " << j << " and " << i << " look the same";
    }
}
