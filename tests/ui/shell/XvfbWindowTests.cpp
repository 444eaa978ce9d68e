// The real executable on a virtual X server: `sorvel --scan` in a fake home maps its
// window at 1440x980, titled "Sorvel", scans, and paints more than one colour; on small or
// scaled screens the whole window and its minimum fit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "uisupport/XvfbRun.h"

using namespace sorvel;

namespace {

// Distinct pixel values in a dump, sampled.
size_t distinctColours(const test::XwdDump& xwd) {
    if (!xwd.thirtyTwoBit || xwd.start >= xwd.data.size()) return 0;
    std::set<uint32_t> seen;
    for (size_t at = xwd.start; at + 4 <= xwd.data.size() && seen.size() < 64; at += 4 * 97) seen.insert(xwd.be(at));
    return seen.size();
}

} // namespace

TEST(XvfbWindow, ScanOpensTheWindowMappedAt1440By980TitledSorvel) {
    if (const auto tool = test::missingXvfbTool())
        GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    test::TempDir home;
    test::writeFileOfSize(home / "Library/Caches/com.example.editor/cache.bin", 2 << 20);
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
    const auto r = test::runOnXvfb(home, R"sh(
sleep 0.5
echo "title: $(xdotool getwindowname "$win")"
xwininfo -id "$win"
xwd -id "$win" -silent > "$HOME/window.xwd"
)sh");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("scan: finished"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("title: Sorvel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Width: 1440"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Height: 980"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Map State: IsViewable"), std::string::npos) << r.out;
    EXPECT_GT(distinctColours(test::XwdDump(home / "window.xwd")), 8u) << "the window's pixels are blank";
}

namespace {

// The first integer after `key` in `text`, or -1.
long numberAfter(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return -1;
    return std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

} // namespace

TEST(XvfbWindow, TheWholeWindowAndItsMinimumFitSmallAndScaledScreens) {
    if (const auto tool = test::missingXvfbTool())
        GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    struct Case {
        std::string screen;
        long width, height;
        std::vector<std::pair<std::string, std::string>> env;
    };
    for (const Case& c : {Case{"1366x768x24", 1366, 768, {}},
                          Case{"1920x1200x24", 1920, 1200, {{"QT_SCALE_FACTOR", "2"}}}}) {
        test::TempDir home;
        test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
        const auto r = test::runOnXvfb(home, R"sh(
sleep 0.3
xwininfo -id "$win"
xprop -id "$win" WM_NORMAL_HINTS
)sh",
                                       {c.screen, c.env, ""});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const long x = numberAfter(r.out, "Absolute upper-left X:"), y = numberAfter(r.out, "Absolute upper-left Y:");
        const long w = numberAfter(r.out, "Width:"), h = numberAfter(r.out, "Height:");
        EXPECT_GE(x, 0) << c.screen << r.out;
        EXPECT_GE(y, 0) << c.screen << r.out;
        EXPECT_LE(x + w, c.width) << c.screen << r.out;
        EXPECT_LE(y + h, c.height) << c.screen << r.out;
        const long minW = numberAfter(r.out, "minimum size:"), minH = numberAfter(r.out, std::to_string(minW) + " by");
        EXPECT_GT(minW, 0) << r.out;
        EXPECT_LE(minW, c.width) << c.screen << r.out;
        EXPECT_LE(minH, c.height) << c.screen << r.out;
    }
}
