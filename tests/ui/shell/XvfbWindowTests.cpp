// The real executable on a virtual X server: `sorvel --scan` in a fake home maps its
// window at 1440x980, titled "Sorvel", scans, and paints more than one colour; on small or
// scaled screens the whole window and its minimum fit.
#include <gtest/gtest.h>

#include <tuple>
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

TEST(XvfbWindow, TheWholeWindowAndItsMinimumFitSmallAndScaledScreens) {
    if (const auto tool = test::missingXvfbTool())
        GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    for (const auto& [screen, width, height, scale] :
         {std::tuple{"1366x768x24", 1366L, 768L, "1"}, std::tuple{"1920x1200x24", 1920L, 1200L, "2"}}) {
        SCOPED_TRACE(screen);
        test::TempDir home;
        test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
        const auto r = test::runOnXvfb(home, "sleep 0.3; xwininfo -id \"$win\"; xprop -id \"$win\" WM_NORMAL_HINTS\n",
                                       {screen, {{"QT_SCALE_FACTOR", scale}}, ""});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const auto f = test::frameIn(r.out);
        EXPECT_TRUE(f.x >= 0 && f.y >= 0 && f.x + f.width <= width && f.y + f.height <= height) << r.out;
        const long minW = test::numberAfter(r.out, "minimum size:");
        const long minH = test::numberAfter(r.out, std::to_string(minW) + " by");
        EXPECT_TRUE(minW > 0 && minW <= width && minH <= height) << r.out;
    }
}
