// The real executable on a virtual X server, one step past the first window: open a
// category from the sidebar, drill into a folder from the treemap, open another category,
// and check after each step that the window is still there and has drawn the change.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/TestSupport.h"

using namespace sorvel;

namespace {

bool onPath(const char* tool) {
    return test::runCommand({"/bin/sh", "-c", std::string("command -v ") + tool}).status == 0;
}

/// A window dump (xwd, ZPixmap, 32 bits per pixel) read back for pixel checks.
struct Dump {
    std::string data;
    uint32_t width = 0, height = 0, bytesPerLine = 0;
    size_t start = 0;

    explicit Dump(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        data = bytes.str();
        if (data.size() < 100 || word(11) != 32) return;
        width = word(4);
        height = word(5);
        bytesPerLine = word(12);
        start = word(0) + size_t(word(19)) * 12;
    }
    uint32_t word(size_t index) const { return be(index * 4); }
    uint32_t be(size_t at) const {
        return (uint32_t(uint8_t(data[at])) << 24) | (uint32_t(uint8_t(data[at + 1])) << 16) |
               (uint32_t(uint8_t(data[at + 2])) << 8) | uint32_t(uint8_t(data[at + 3]));
    }
    bool valid() const { return width > 0 && start + size_t(bytesPerLine) * height <= data.size(); }
    uint32_t pixel(uint32_t x, uint32_t y) const { return be(start + size_t(y) * bytesPerLine + size_t(x) * 4); }
    /// Pixels that differ from another dump of the same size, sampled.
    size_t differences(const Dump& other) const {
        size_t n = 0;
        for (uint32_t y = 0; y < height; y += 7)
            for (uint32_t x = 0; x < width; x += 7) n += pixel(x, y) != other.pixel(x, y);
        return n;
    }
};

} // namespace

TEST(XvfbCategory, OpenACategoryDrillAndTheWindowStillAnswers) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo", "xwd"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/bootstrap installs it)";
    test::TempDir home;
    // The largest category holds one folder with a folder inside: its single tile fills
    // the treemap, and clicking it enters the folder.
    test::writeFileOfSize(home / "Library/Caches/com.example.editor/Cache/Data/blob.bin", 3 << 20);
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
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
sleep 0.5
xwd -id "$win" -silent > "$HOME/overview.xwd"
# The sidebar's first category (the largest), below "Overview".
xdotool mousemove --window "$win" 80 188 click 1
sleep 1
xwd -id "$win" -silent > "$HOME/category.xwd"
# The one tile of the category's treemap.
xdotool mousemove --window "$win" 760 950 click 1
sleep 1
xwd -id "$win" -silent > "$HOME/drilled.xwd"
# The next category in the sidebar.
xdotool mousemove --window "$win" 80 222 click 1
sleep 1
xwd -id "$win" -silent > "$HOME/logs.xwd"
kill -0 $app && echo "still running"
echo "title: $(xdotool getwindowname "$win")"
xwininfo -id "$win" | grep 'Map State'
)sh");
    const auto r = test::runCommand(
        {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", "/bin/sh", script},
        {{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}, {"XDG_DATA_HOME", home / ".local/share"},
         {"XDG_CACHE_HOME", home / ".cache"}, {"SORVEL", SORVEL_BINARY}, {"SORVEL_ANIMATIONS", "0"}});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("still running"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("title: Sorvel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("IsViewable"), std::string::npos) << r.out;

    const Dump overview(home / "overview.xwd"), category(home / "category.xwd"), drilled(home / "drilled.xwd"),
        logs(home / "logs.xwd");
    ASSERT_TRUE(overview.valid() && category.valid() && drilled.valid() && logs.valid());
    // Each step drew something new; the drilled folder has no treemap where the tile was.
    EXPECT_GT(category.differences(overview), 100u);
    EXPECT_GT(drilled.differences(category), 100u);
    EXPECT_NE(drilled.pixel(760, 950), category.pixel(760, 950));
    EXPECT_GT(logs.differences(drilled), 100u);
}
