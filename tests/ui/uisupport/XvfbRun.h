#pragma once
// The real executable on a virtual X server: a fake home, `sorvel --scan` started under
// xvfb-run, its window found and the scan awaited, then a test's own shell steps; and
// the window dumps (xwd) those steps write, read back for pixel checks.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace sorvel::test {

/// The first tool the X tests need that is not installed, if any.
std::optional<std::string> missingXvfbTool();

/// The virtual screen and what the executable starts with.
struct XvfbSetup {
    std::string screen = "1920x1200x24";
    /// Extra environment for the executable (e.g. QT_SCALE_FACTOR).
    std::vector<std::pair<std::string, std::string>> env;
    /// Shell run on the display before the executable (e.g. a window manager, a tray);
    /// it adds the ids of what it starts to `$helpers`, which end with the run.
    std::string before;
};

/// How the executable is started.
struct XvfbLaunch {
    /// Without "--scan" the window opens on the onboarding page and no scan is awaited.
    std::string arguments = "--scan";
    /// Put before the executable (e.g. to run it as another user; the screen then needs "-ac").
    std::string launcher;
};

/// Runs `steps` (shell) once the window is up and the scan (if asked for) has finished. In `steps`,
/// `$win` is the window, `$app` the process, `$HOME` the fake home; "scan: finished" is
/// printed when the scan ended in time.
CommandResult runOnXvfb(const TempDir& home, const std::string& steps, const XvfbSetup& setup = {},
                        const XvfbLaunch& launch = {});

/// The first integer after `key` in `text`, or -1.
long numberAfter(const std::string& text, const std::string& key);
/// The first window frame that xwininfo printed in `text` (-1 where missing).
struct WindowFrame {
    long x, y, width, height;
};
WindowFrame frameIn(const std::string& text);

/// A window dump (xwd, ZPixmap, 32 bits per pixel; a root dump may hold 24).
struct XwdDump {
    std::string data;
    uint32_t width = 0, height = 0, bytesPerLine = 0, bytesPerPixel = 0;
    size_t start = 0;
    bool thirtyTwoBit = false, lsbFirst = true;

    explicit XwdDump(const std::string& path);
    uint32_t word(size_t index) const { return be(index * 4); }
    uint32_t be(size_t at) const {
        return (uint32_t(uint8_t(data[at])) << 24) | (uint32_t(uint8_t(data[at + 1])) << 16) |
               (uint32_t(uint8_t(data[at + 2])) << 8) | uint32_t(uint8_t(data[at + 3]));
    }
    /// Every row lies inside the data.
    bool valid() const {
        return width > 0 && bytesPerPixel > 0 && start + size_t(bytesPerLine) * height <= data.size();
    }
    /// The colour at a point as 0xRRGGBB, whatever the dump's pixel size and byte order.
    uint32_t rgb(uint32_t x, uint32_t y) const {
        const size_t at = start + size_t(y) * bytesPerLine + size_t(x) * bytesPerPixel;
        auto byte = [&](size_t i) { return uint32_t(uint8_t(data[at + i])); };
        if (lsbFirst) return byte(2) << 16 | byte(1) << 8 | byte(0);
        const size_t red = bytesPerPixel - 3;
        return byte(red) << 16 | byte(red + 1) << 8 | byte(red + 2);
    }
    uint32_t pixel(uint32_t x, uint32_t y) const { return be(start + size_t(y) * bytesPerLine + size_t(x) * 4); }
};

} // namespace sorvel::test
