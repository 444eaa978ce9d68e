// The real executable on a virtual X server, one step past the first window: open a
// category from the sidebar, drill into a folder from the treemap, open another category,
// and check after each step that the window is still there and has drawn the change.
#include <gtest/gtest.h>

#include "uisupport/XvfbRun.h"

using namespace sorvel;

namespace {

/// Pixels that differ between two dumps of the same size, sampled.
size_t differences(const test::XwdDump& a, const test::XwdDump& b) {
    size_t n = 0;
    for (uint32_t y = 0; y < a.height; y += 7)
        for (uint32_t x = 0; x < a.width; x += 7) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

} // namespace

TEST(XvfbCategory, OpenACategoryDrillAndTheWindowStillAnswers) {
    if (const auto tool = test::missingXvfbTool())
        GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    test::TempDir home;
    // The largest category holds one folder with a folder inside: its single tile fills
    // the treemap, and clicking it enters the folder.
    test::writeFileOfSize(home / "Library/Caches/com.example.editor/Cache/Data/blob.bin", 3 << 20);
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
    const auto r = test::runOnXvfb(home, R"sh(
sleep 0.5
xwd -id "$win" -silent > "$HOME/overview.xwd"
# The sidebar's first category (the largest), below "Overview".
xdotool mousemove --window "$win" 80 188 click 1
sleep 1
xwd -id "$win" -silent > "$HOME/category.xwd"
# The one tile of the category's treemap.
xdotool mousemove --window "$win" 760 850 click 1
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
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("still running"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("title: Sorvel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("IsViewable"), std::string::npos) << r.out;

    const test::XwdDump overview(home / "overview.xwd"), category(home / "category.xwd"), drilled(home / "drilled.xwd"),
        logs(home / "logs.xwd");
    ASSERT_TRUE(overview.valid() && category.valid() && drilled.valid() && logs.valid());
    // Each step drew something new; the drilled folder has no treemap where the tile was.
    EXPECT_GT(differences(category, overview), 100u);
    EXPECT_GT(differences(drilled, category), 100u);
    EXPECT_NE(drilled.pixel(760, 850), category.pixel(760, 850));
    EXPECT_GT(differences(logs, drilled), 100u);
}
