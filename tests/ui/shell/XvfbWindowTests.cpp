// The real executable on a virtual X server: `sorvel --scan` in a fake home maps its
// window at 1440x980, titled "Sorvel", scans, and paints more than one colour.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "support/TestSupport.h"

using namespace sorvel;

namespace {

bool onPath(const char* tool) {
    return test::runCommand({"/bin/sh", "-c", std::string("command -v ") + tool}).status == 0;
}

uint32_t be32(const std::string& data, size_t at) {
    return (uint32_t(uint8_t(data[at])) << 24) | (uint32_t(uint8_t(data[at + 1])) << 16) |
           (uint32_t(uint8_t(data[at + 2])) << 8) | uint32_t(uint8_t(data[at + 3]));
}

// Distinct pixel values in an XWD dump (ZPixmap, 32 bits per pixel), sampled.
size_t distinctColours(const std::string& xwd) {
    if (xwd.size() < 100) return 0;
    const uint32_t headerSize = be32(xwd, 0);
    const uint32_t bitsPerPixel = be32(xwd, 11 * 4);
    const uint32_t colours = be32(xwd, 19 * 4);
    const size_t start = headerSize + size_t(colours) * 12;
    if (bitsPerPixel != 32 || start >= xwd.size()) return 0;
    std::set<uint32_t> seen;
    for (size_t at = start; at + 4 <= xwd.size() && seen.size() < 64; at += 4 * 97) seen.insert(be32(xwd, at));
    return seen.size();
}

} // namespace

TEST(XvfbWindow, ScanOpensTheWindowMappedAt1440By980TitledSorvel) {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo", "xwd"})
        if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (scripts/bootstrap installs it)";
    test::TempDir home;
    test::writeFileOfSize(home / "Library/Caches/com.example.editor/cache.bin", 2 << 20);
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
grep -q SorvelStorageTrends "$HOME/.config/sorvel/defaults.json" 2>/dev/null && echo "scan: finished"
sleep 0.5
echo "title: $(xdotool getwindowname "$win")"
xwininfo -id "$win"
xwd -id "$win" -silent > "$HOME/window.xwd"
)sh");
    const auto r = test::runCommand(
        {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 1920x1200x24", "/bin/sh", script},
        {{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}, {"XDG_DATA_HOME", home / ".local/share"},
         {"XDG_CACHE_HOME", home / ".cache"}, {"SORVEL", SORVEL_BINARY}, {"SORVEL_ANIMATIONS", "0"}});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("scan: finished"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("title: Sorvel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Width: 1440"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Height: 980"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Map State: IsViewable"), std::string::npos) << r.out;
    std::ifstream dump(home / "window.xwd", std::ios::binary);
    std::stringstream bytes;
    bytes << dump.rdbuf();
    EXPECT_GT(distinctColours(bytes.str()), 8u) << "the window's pixels are blank";
}
