// Under a real window manager (openbox), with and without a tray (trayer): the window
// manager's close hides to a tray or ends the process; Ctrl+Q ends it from every window
// (the settings window, the tray panel, the cleanup sheet), every time; the tray panel fits a small screen at 2x scaling and takes the
// keyboard; the settings window opens whole and a screen grab shows it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "uisupport/XvfbRun.h"

using namespace sorvel;

namespace {

std::optional<std::string> missingDesktopTool() {
    if (auto tool = test::missingXvfbTool()) return tool;
    for (const char* tool : {"openbox", "wmctrl", "trayer"})
        if (test::runCommand({"/bin/sh", "-c", std::string("command -v ") + tool}).status != 0) return tool;
    return std::nullopt;
}

const char* const kWindowManager = R"sh(
openbox >/dev/null 2>&1 & helpers="$helpers $!"
sleep 0.5
)sh";

const char* const kTray = R"sh(
trayer --edge top --align right --widthtype pixel --width 120 >/dev/null 2>&1 & helpers="$helpers $!"
sleep 0.8
)sh";

// Waits up to 5 s for the process to end; prints "ended" or "running".
const char* const kAwaitEnd = R"sh(
for i in $(seq 1 50); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then echo "process: running"; else echo "process: ended"; app=; fi
)sh";

// Opens the settings window with Ctrl+, and prints whether it came up.
const char* const kOpenSettings = R"sh(
xdotool windowactivate --sync "$win" 2>/dev/null; sleep 0.2
xdotool key ctrl+comma
settings=$(timeout 5 xdotool search --sync --onlyvisible --name '^Sorvel Settings$' | head -n 1)
[ -n "$settings" ] && echo "settings: open"
)sh";

// Clicks the tray icon and sets `$panel` to the panel that opens (empty when none does).
const char* const kOpenPanel = R"sh(
openpanel() {
  icon=$(xwininfo -root -tree | grep '("sorvel" "Sorvel")' | awk '{ split($(NF-1), g, "[x+]"); if (g[1] < 100) print $1 }' | head -n 1)
  [ -n "$icon" ] || { echo "no tray icon"; exit 4; }
  eval $(xdotool getwindowgeometry --shell "$icon")
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  sleep 1
  panel=
  for w in $(xdotool search --onlyvisible --name '^Sorvel$'); do [ "$w" = "$win" ] || panel=$w; done
}
)sh";

} // namespace

TEST(XvfbQuit, WithoutATrayTheWindowManagersCloseEndsTheProcess) {
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    test::TempDir home;
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
    const auto r = test::runOnXvfb(home, std::string("wmctrl -i -c \"$win\"\n") + kAwaitEnd, {"1920x1200x24", {}, kWindowManager});
    EXPECT_NE(r.out.find("process: ended"), std::string::npos) << r.out << r.err;
}

TEST(XvfbQuit, WithATrayCloseHidesAndQuitWithSettingsOpenEndsTheProcess) {
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    // Quit once ended the process only some of the time: try it a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        test::TempDir home;
        test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
        const auto r = test::runOnXvfb(home, std::string(kOpenSettings) + R"sh(
wmctrl -i -c "$win"; sleep 0.5
kill -0 $app 2>/dev/null && echo "after close: running"
xwininfo -id "$win" | grep -q IsViewable || echo "after close: hidden"
xdotool windowactivate --sync "$settings" 2>/dev/null; sleep 0.2
xdotool key ctrl+q
)sh" + kAwaitEnd,
                                       {"1920x1200x24", {}, std::string(kWindowManager) + kTray});
        EXPECT_NE(r.out.find("settings: open"), std::string::npos) << attempt << r.out << r.err;
        EXPECT_NE(r.out.find("after close: running"), std::string::npos) << attempt << r.out;
        EXPECT_NE(r.out.find("after close: hidden"), std::string::npos) << attempt << r.out;
        EXPECT_NE(r.out.find("process: ended"), std::string::npos) << "Quit left the process running\n" << r.out;
    }
}

// Ctrl+Q ends the process from whichever window of Sorvel has the keyboard: the tray panel
// and the settings window over the main window (two shortcuts for one key once made it
// ambiguous), and the cleanup sheet, before and after its move (a modal sheet once kept
// the menu's shortcut from acting).
TEST(XvfbQuit, CtrlQFromEveryWindowEndsTheProcess) {
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    // The overview's review button, then the sheet's second button (its place in every stage).
    const std::string openSheet = R"sh(
xdotool mousemove --window "$win" 1343 660 click 1
sheet=$(timeout 5 xdotool search --sync --onlyvisible --name '^Cleanup preview$' | head -n 1)
[ -n "$sheet" ] && echo "window: open"; sleep 1
)sh";
    const std::pair<const char*, std::string> cases[] = {
        {"tray panel", std::string(kOpenPanel) + "openpanel; [ -n \"$panel\" ] && echo \"window: open\"\n"},
        {"settings window", std::string(kOpenSettings) + "[ -n \"$settings\" ] && echo \"window: open\"\n"
                                                         "xdotool windowactivate --sync \"$settings\"; sleep 0.2\n"},
        {"cleanup sheet", openSheet},
        {"sheet when done", openSheet + R"sh(
xdotool mousemove --window "$sheet" 760 605 click 1; sleep 0.5
xdotool mousemove --window "$sheet" 760 605 click 1
for i in $(seq 1 50); do [ -e "$HOME/Library/Caches/com.example.big" ] || break; sleep 0.1; done
[ -e "$HOME/Library/Caches/com.example.big" ] || echo "moved"; sleep 0.5
)sh"},
    };
    for (const auto& [name, open] : cases) {
        SCOPED_TRACE(name);
        test::TempDir home;
        test::writeFileOfSize(home / "Library/Caches/com.example.big/blob", 6'000'000);
        test::writeFileOfSize(home / "Library/Logs/SomeApp/app.log", 1'500'000);
        const auto r = test::runOnXvfb(home, "sleep 0.5\n" + open + "xdotool key ctrl+q\n" + kAwaitEnd +
                                                 "grep -h Ambiguous \"$HOME/stderr.txt\"\n",
                                       {"1920x1200x24", {}, std::string(kWindowManager) + kTray});
        EXPECT_NE(r.out.find("window: open"), std::string::npos) << r.out << r.err;
        if (std::string(name) == "sheet when done") {
            EXPECT_NE(r.out.find("moved"), std::string::npos) << r.out;
        }
        EXPECT_NE(r.out.find("process: ended"), std::string::npos) << "Ctrl+Q left the process running\n" << r.out;
        EXPECT_EQ(r.out.find("Ambiguous"), std::string::npos) << r.out;
    }
}

TEST(XvfbTrayPanel, AtTwiceTheScaleOnASmallScreenTheWholePanelFitsAndScrolls) {
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    test::TempDir home;
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
    // The tray icon is the small Sorvel window inside the tray; a click opens the panel, a
    // new mapped window beside the main one.
    const auto r = test::runOnXvfb(home, R"sh(
sleep 0.5
icon=$(xwininfo -root -tree | grep '("sorvel" "Sorvel")' | awk '{ split($(NF-1), g, "[x+]"); if (g[1] < 100) print $1 }' | head -n 1)
[ -n "$icon" ] || { echo "no tray icon"; exit 4; }
eval $(xdotool getwindowgeometry --shell "$icon")
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 1
for w in $(xdotool search --onlyvisible --name '^Sorvel$'); do
  [ "$w" = "$win" ] && continue
  xwininfo -id "$w" | grep -E "Absolute upper-left|Width|Height"
done
)sh",
                                   {"1280x600x24", {{"QT_SCALE_FACTOR", "2"}}, std::string(kWindowManager) + kTray});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto after = [&](const std::string& key) {
        const size_t at = r.out.find(key);
        return at == std::string::npos ? -1L : std::strtol(r.out.c_str() + at + key.size(), nullptr, 10);
    };
    const long y = after("Absolute upper-left Y:"), h = after("Height:"), x = after("Absolute upper-left X:"),
               w = after("Width:");
    ASSERT_GT(h, 0) << "the panel did not open\n" << r.out;
    EXPECT_GE(y, 0) << r.out;
    EXPECT_LE(y + h, 600) << "the bottom of the panel (\"Quit Sorvel\") is off the screen\n" << r.out;
    EXPECT_GE(x, 0) << r.out;
    EXPECT_LE(x + w, 1280) << r.out;
}

TEST(XvfbTrayPanel, WithTheMainWindowClosedThePanelTakesTheKeyboard) {
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    // Backtab from the first control wraps to "Quit Sorvel", then "Open Sorvel", "Settings…".
    test::TempDir home;
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
    const auto r = test::runOnXvfb(home, std::string(kOpenPanel) + R"sh(
sleep 0.5
wmctrl -i -c "$win"; sleep 0.5
openpanel; [ -n "$panel" ] && echo "panel: open"
xdotool key Escape; sleep 0.5
xwininfo -id "$panel" 2>/dev/null | grep -q IsViewable || echo "escape: closed"
openpanel
xdotool key --delay 150 shift+Tab shift+Tab shift+Tab Tab Return; sleep 1
xwininfo -id "$win" | grep -q IsViewable && echo "tab, return: main shown"
wmctrl -i -c "$win"; sleep 0.5
openpanel
xdotool key --delay 150 shift+Tab shift+Tab shift+Tab space
settings=$(timeout 5 xdotool search --sync --onlyvisible --name '^Sorvel Settings$' | head -n 1)
[ -n "$settings" ] && echo "space: settings open"
wmctrl -i -c "$settings"; sleep 0.5
openpanel
xdotool key ctrl+q
)sh" + kAwaitEnd,
                                 {"1920x1200x24", {}, std::string(kWindowManager) + kTray});
    for (const char* line : {"panel: open", "escape: closed", "tab, return: main shown", "space: settings open", "process: ended"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out << r.err;
}

// The frame (window and decoration) lies in the work area; a root grab (xwd) after a move once
// showed it black: points just inside its edges are its plain ground, never black.
TEST(XvfbSettingsWindow, ItsWholeFrameLiesInTheAvailableAreaAndAScreenGrabShowsIt) {
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)";
    for (const auto& [screen, scale] : {std::pair{"1366x768x24", "1"}, std::pair{"1920x1200x24", "2"}}) {
        SCOPED_TRACE(screen);
        const test::TempDir home;
        test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
        const auto r = test::runOnXvfb(home, std::string(kOpenSettings) + R"sh(
[ -n "$settings" ] || exit 4
sleep 0.5
set -- $(xwininfo -id "$settings" | awk -F: '/Absolute upper-left [XY]|Width|Height/ { print $2 }'); x=$1 y=$2 w=$3 h=$4
set -- $(xprop -id "$settings" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g'); l=${1:-0} r=${2:-0} t=${3:-0} b=${4:-0}
set -- $(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')
[ $((x - l)) -ge $1 ] && [ $((y - t)) -ge $2 ] && [ $((x + w + r)) -le $(($1 + $3)) ] &&
  [ $((y + h + b)) -le $(($2 + $4)) ] && echo "frame: inside"
xdotool windowmove "$settings" 300 50; sleep 0.8
xwininfo -id "$settings" | grep -E "Absolute upper-left|Width|Height"
xwd -root -silent -out "$HOME/moved.xwd"
)sh",
                                     {screen, {{"QT_SCALE_FACTOR", scale}}, std::string(kWindowManager) + kTray});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("frame: inside"), std::string::npos) << r.out;
        const auto [x, y, w, h] = test::frameIn(r.out);
        const test::XwdDump dump(home / "moved.xwd");
        ASSERT_TRUE(dump.valid() && x >= 0 && y >= 0 && x + w <= long(dump.width) && y + h <= long(dump.height)) << r.out;
        for (const auto& [px, py] : {std::pair{x + 8, y + h / 4}, std::pair{x + 8, y + h / 2},
                                     std::pair{x + w - 8, y + h / 2}, std::pair{x + w - 8, y + h - 8}})
            EXPECT_NE(dump.rgb(uint32_t(px), uint32_t(py)), 0u) << "black at " << px << "," << py << "\n" << r.out;
    }
}
