// Under a real window manager (openbox), with and without a tray (trayer): the window
// manager's close hides to a tray or ends the process; Ctrl+Q ends it from every window,
// every time; the tray panel fits a small screen at 2x scaling and takes the
// keyboard; the settings window opens whole and a screen grab shows it.
#include <gtest/gtest.h>

#include "uisupport/XvfbRun.h"

using namespace sorvel;

namespace {

std::optional<std::string> missingDesktopTool() {
    if (auto tool = test::missingXvfbTool()) return tool;
    for (const char* tool : {"openbox", "wmctrl", "trayer"})
        if (test::runCommand({"/bin/sh", "-c", std::string("command -v ") + tool}).status != 0) return tool;
    return std::nullopt;
}

#define SKIP_WITHOUT_DESKTOP_TOOLS()                                                                                   \
    if (const auto tool = missingDesktopTool()) GTEST_SKIP() << *tool << " is not installed (scripts/bootstrap installs it)"

const std::string kWindowManager = "openbox >/dev/null 2>&1 & helpers=\"$helpers $!\"; sleep 0.5\n";
const std::string kTray = "trayer --edge top --align right --widthtype pixel --width 120 >/dev/null 2>&1 & "
                          "helpers=\"$helpers $!\"; sleep 0.8\n";

// Waits up to 5 s for the process to end; prints "process: ended" or "process: running".
const char* const kAwaitEnd = R"sh(
for i in $(seq 1 50); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
if kill -0 $app 2>/dev/null; then echo "process: running"; else echo "process: ended"; app=; fi
)sh";

// Clicks the tray icon and sets `$panel` to the panel that opens (empty when none does).
const char* const kOpenPanel = R"sh(
openpanel() {
  icon=$(xwininfo -root -tree | grep '("sorvel" "Sorvel")' | awk '{ split($(NF-1), g, "[x+]"); if (g[1] < 100) print $1 }' | head -n 1)
  [ -n "$icon" ] || { echo "no tray icon"; exit 4; }
  eval $(xdotool getwindowgeometry --shell "$icon")
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  sleep 1
  # Then shown and holding the keyboard, within a deadline (a busy machine takes longer); a
  # search that met a window being destroyed is tried again.
  panel=
  for i in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --name '^Sorvel$' 2>/dev/null); do [ "$w" = "$win" ] || panel=$w; done
    [ -n "$panel" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$panel" ] && break
    sleep 0.1
  done
}
)sh";

// Opens the settings window over the main one and sets `$settings`; `geometry` prints a
// window's x, y, width and height.
const char* const kOpenSettings = R"sh(
xdotool windowactivate --sync "$win" 2>/dev/null; sleep 0.2
xdotool key ctrl+comma
settings=$(waitwindow 5 '^Sorvel Settings$')
[ -n "$settings" ] || { echo "no settings window"; exit 4; }
geometry() { xwininfo -id "$1" | awk -F: '/Absolute upper-left [XY]|Width|Height/ { print $2 }'; }
)sh";

test::CommandResult runInFakeHome(const std::string& steps, const test::XvfbSetup& setup, const test::TempDir& home = {}) {
    test::writeFileOfSize(home / "Library/Logs/app.log", 1 << 20);
    return test::runOnXvfb(home, steps, setup);
}

} // namespace

TEST(XvfbQuit, WithoutATrayTheWindowManagersCloseEndsTheProcess) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    const auto r = runInFakeHome(std::string("wmctrl -i -c \"$win\"\n") + kAwaitEnd, {"1920x1200x24", {}, kWindowManager});
    EXPECT_NE(r.out.find("process: ended"), std::string::npos) << r.out << r.err;
}

TEST(XvfbQuit, WithATrayCloseHidesAndQuitWithSettingsOpenEndsTheProcess) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    // Quit once ended the process only some of the time: try it a few times.
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        const auto r = runInFakeHome(std::string(R"sh(
xdotool windowactivate --sync "$win" 2>/dev/null; sleep 0.2
xdotool key ctrl+comma
settings=$(waitwindow 5 '^Sorvel Settings$')
[ -n "$settings" ] && echo "settings: open"
wmctrl -i -c "$win"; sleep 0.5
kill -0 $app 2>/dev/null && echo "after close: running"
xwininfo -id "$win" | grep -q IsViewable || echo "after close: hidden"
xdotool windowactivate --sync "$settings" 2>/dev/null; sleep 0.2
xdotool key ctrl+q
)sh") + kAwaitEnd,
                                     {"1920x1200x24", {}, kWindowManager + kTray});
        for (const char* line : {"settings: open", "after close: running", "after close: hidden", "process: ended"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out << r.err;
    }
}

// Two shortcuts for one key once made Ctrl+Q ambiguous, and a modal sheet once kept it from acting.
TEST(XvfbQuit, CtrlQFromEveryWindowEndsTheProcess) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    // The overview's review button, then the sheet's second button (its place in every stage).
    const std::string sheet = R"sh(
xdotool mousemove --window "$win" 1343 660 click 1
sheet=$(waitwindow 5 '^Cleanup preview$')
[ -n "$sheet" ] && echo "window: open"; sleep 1
)sh";
    const std::pair<const char*, std::string> cases[] = {
        {"window: open", std::string(kOpenPanel) + "openpanel; [ -n \"$panel\" ] && echo \"window: open\"\n"},
        {"window: open", std::string(kOpenSettings) + "echo 'window: open'; xdotool windowactivate --sync $settings\n"},
        {"window: open", sheet},
        {"moved", sheet + R"sh(
xdotool mousemove --window "$sheet" 760 605 click 1; sleep 0.5
xdotool mousemove --window "$sheet" 760 605 click 1
for i in $(seq 1 50); do [ -e "$HOME/Library/Caches/com.example.big" ] || break; sleep 0.1; done
[ -e "$HOME/Library/Caches/com.example.big" ] || echo "moved"; sleep 0.5
)sh"},
    };
    for (const auto& [shows, open] : cases) {
        SCOPED_TRACE(open);
        test::TempDir home;
        test::writeFileOfSize(home / "Library/Caches/com.example.big/blob", 6'000'000);
        test::writeFileOfSize(home / "Library/Logs/SomeApp/app.log", 1'500'000);
        const auto r = test::runOnXvfb(home, "sleep 0.5\n" + open + "xdotool key ctrl+q\n" + kAwaitEnd +
                                                 "grep -h Ambiguous \"$HOME/stderr.txt\"\n",
                                       {"1920x1200x24", {}, kWindowManager + kTray});
        for (const char* line : {shows, "process: ended"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("Ambiguous"), std::string::npos) << r.out;
    }
}

TEST(XvfbTrayPanel, AtTwiceTheScaleOnASmallScreenTheWholePanelFitsAndScrolls) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    // The tray icon is the small Sorvel window inside the tray; a click opens the panel, a
    // new mapped window beside the main one.
    const auto r = runInFakeHome(std::string(kOpenPanel) + R"sh(
sleep 0.5
openpanel
[ -n "$panel" ] && xwininfo -id "$panel" | grep -E "Absolute upper-left|Width|Height"
)sh",
                                 {"1280x600x24", {{"QT_SCALE_FACTOR", "2"}}, kWindowManager + kTray});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto f = test::frameIn(r.out);
    ASSERT_GT(f.height, 0) << "the panel did not open\n" << r.out;
    EXPECT_TRUE(f.x >= 0 && f.y >= 0 && f.x + f.width <= 1280) << r.out;
    EXPECT_LE(f.y + f.height, 600) << "the bottom of the panel (\"Quit Sorvel\") is off the screen\n" << r.out;
}

TEST(XvfbTrayPanel, WithTheMainWindowClosedThePanelTakesTheKeyboard) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    // Backtab from the first control wraps to "Quit Sorvel", then "Open Sorvel", "Settings…".
    const auto r = runInFakeHome(std::string(kOpenPanel) + R"sh(
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
settings=$(waitwindow 5 '^Sorvel Settings$')
[ -n "$settings" ] && echo "space: settings open"
wmctrl -i -c "$settings"; sleep 0.5
openpanel
xdotool key ctrl+q
)sh" + kAwaitEnd,
                                 {"1920x1200x24", {}, kWindowManager + kTray});
    for (const char* line : {"panel: open", "escape: closed", "tab, return: main shown", "space: settings open", "process: ended"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out << r.err;
}

// On a 1366x768 screen at twice the scale, with daily sweeps (one runs at the start), the
// panel is taller than the screen and scrolls. Scrolled down to "Quit Sorvel" by the
// keyboard, "Sweep now" pressed: the panel stays where it was, so a click aimed at the
// bottom of the panel, where "Quit Sorvel" was, still lands on it.
TEST(XvfbTrayPanel, SweepNowKeepsThePanelScrolledWhereItWas) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    test::TempDir home;
    test::writeFile(home / ".config/sorvel/defaults.json",
                    R"({"SorvelSweepSchedule": {"frequency": "daily", "hour": 3, "action": "report"}})");
    const auto r = runInFakeHome(std::string(kOpenPanel) + R"sh(
sleep 2
openpanel; [ -n "$panel" ] && echo "panel: open"
xdotool key --delay 200 shift+Tab shift+Tab shift+Tab shift+Tab space; sleep 3
eval $(xdotool getwindowgeometry --shell "$panel")
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 56)) click 1
)sh" + kAwaitEnd,
                                 {"1366x768x24", {{"QT_SCALE_FACTOR", "2"}}, kWindowManager + kTray}, home);
    for (const char* line : {"panel: open", "process: ended"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out << r.err;
}

// Grabs of the whole screen (xwd) once showed the window black when it lay wholly inside the
// main window: points just inside its edges are its plain ground, never black.
TEST(XvfbSettingsWindow, ItsWholeFrameLiesInTheAvailableAreaAndAScreenGrabShowsIt) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    // The frame is the window with its decoration. It opens over the main window, which the
    // last case first moves towards the corner of the screen.
    struct Case {
        const char *screen, *scale, *before;
    };
    for (const Case& c : {Case{"1366x768x24", "1", ""}, Case{"1920x1200x24", "2", ""},
                          Case{"1366x768x24", "1", "xdotool windowmove \"$win\" 700 400; sleep 0.5\n"}}) {
        SCOPED_TRACE(std::string(c.screen) + " " + c.before);
        const test::TempDir home;
        const auto r = runInFakeHome(c.before + std::string(kOpenSettings) + R"sh(
sleep 0.5
set -- $(geometry "$settings"); x=$1 y=$2 w=$3 h=$4
set -- $(xprop -id "$settings" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g'); l=${1:-0} r=${2:-0} t=${3:-0} b=${4:-0}
set -- $(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g')
echo "frame: $((x - l)) $((y - t)) $((x + w + r)) $((y + h + b)) area: $1 $2 $(($1 + $3)) $(($2 + $4))"
[ $((x - l)) -ge $1 ] && [ $((y - t)) -ge $2 ] && [ $((x + w + r)) -le $(($1 + $3)) ] &&
  [ $((y + h + b)) -le $(($2 + $4)) ] && echo "frame: inside"
shot() {
  sleep 0.8
  echo "== $1"; xwininfo -id "$settings" | grep -E "Absolute upper-left|Width|Height"
  xwd -root -silent -out "$HOME/$1.xwd"
}
shot placed
xdotool windowmove "$settings" 300 50
shot moved
)sh",
                                     {c.screen, {{"QT_SCALE_FACTOR", c.scale}}, kWindowManager + kTray}, home);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("frame: inside"), std::string::npos) << r.out;
        for (const std::string grab : {"placed", "moved"}) {
            SCOPED_TRACE(grab);
            const size_t at = r.out.find("== " + grab);
            ASSERT_NE(at, std::string::npos) << r.out;
            const auto [x, y, w, h] = test::frameIn(r.out.substr(at));
            const test::XwdDump dump(home / (grab + ".xwd"));
            ASSERT_TRUE(dump.valid() && x >= 0 && y >= 0 && x + w <= long(dump.width) && y + h <= long(dump.height))
                << r.out;
            for (const auto& [px, py] : {std::pair{x + 8, y + h / 4}, std::pair{x + 8, y + h / 2},
                                         std::pair{x + w - 8, y + h / 2}, std::pair{x + w - 8, y + h - 8}})
                EXPECT_NE(dump.rgb(uint32_t(px), uint32_t(py)), 0u) << "black at " << px << "," << py << "\n" << r.out;
        }
    }
}

// A small home, scanned from the onboarding page by "Scan now" on a 1366x768 screen: the
// overview opens at its top, the banner about hidden folders whole, lock and all.
TEST(XvfbOnboarding, ScanNowOpensTheOverviewWithTheHiddenFoldersBannerWhole) {
    SKIP_WITHOUT_DESKTOP_TOOLS();
    if (test::runCommand({"/bin/sh", "-c", "command -v setpriv"}).status != 0) GTEST_SKIP() << "setpriv is not installed";
    test::TempDir home;
    test::writeFileOfSize(home / "Library/Caches/com.example.editor/cache.bin", 3 << 20);
    test::writeFileOfSize(home / "Library/Application Support/Example/data.bin", 2 << 20);
    test::writeFileOfSize(home / "Library/Secret/inside.bin", 1 << 10);
    // The executable runs as an ordinary user, who may not read this folder.
    ASSERT_EQ(test::runCommand({"/bin/sh", "-c", "chown -R 65534:65534 \"$0\" && chmod 000 \"$0/Library/Secret\"",
                                home.path()}).status, 0);
    test::XvfbSetup setup;
    setup.screen = "1366x768x24 -ac";
    setup.before = kWindowManager;
    const test::XvfbLaunch onboarding{"", "setpriv --reuid=65534 --regid=65534 --clear-groups"};
    // Backtab from nothing focuses the last control in reading order: "Scan now".
    const auto r = test::runOnXvfb(home, R"sh(
xdotool windowfocus --sync "$win"; sleep 0.5
xdotool key shift+Tab Return
sleep 4
xwd -id "$win" -silent > "$HOME/after.xwd"
)sh", setup, onboarding);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const test::XwdDump xwd(home / "after.xwd");
    ASSERT_TRUE(xwd.valid());
    // Rows of the upper half holding the banner's warm fill, and pixels of its orange lock.
    int bannerRows = 0, lock = 0;
    for (uint32_t y = 0; y < xwd.height / 2; ++y) {
        bool warm = false;
        for (uint32_t x = 0; x < xwd.width; x += 2) {
            const uint32_t c = xwd.rgb(x, y);
            const int red = int(c >> 16), blue = int(c & 0xff);
            warm |= x > xwd.width / 2 && red > 200 && red - blue > 20;
            lock += red > 180 && red - blue > 100;
        }
        bannerRows += warm;
    }
    EXPECT_GE(bannerRows, 75) << "the banner's top is scrolled away";
    EXPECT_GT(lock, 10) << "no lock in view";
}
