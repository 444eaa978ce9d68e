#include "uisupport/XvfbRun.h"

#include <cstdlib>

#include <fstream>
#include <sstream>

namespace sorvel::test {

std::optional<std::string> missingXvfbTool() {
    for (const char* tool : {"xvfb-run", "xdotool", "xwininfo", "xwd"})
        if (runCommand({"/bin/sh", "-c", std::string("command -v ") + tool}).status != 0) return tool;
    return std::nullopt;
}

long numberAfter(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

WindowFrame frameIn(const std::string& text) {
    return {numberAfter(text, "Absolute upper-left X:"), numberAfter(text, "Absolute upper-left Y:"),
            numberAfter(text, "Width:"), numberAfter(text, "Height:")};
}

CommandResult runOnXvfb(const TempDir& home, const std::string& steps, const XvfbSetup& setup,
                        const XvfbLaunch& launch) {
    std::string exports;
    for (const auto& [name, value] : setup.env) exports += "export " + name + "='" + value + "'\n";
    // A scan is awaited until its trend snapshot is written.
    const std::string awaitScan = launch.arguments.find("--scan") == std::string::npos ? "" : R"sh(
for i in $(seq 1 300); do
  grep -q SorvelStorageTrends "$HOME/.config/sorvel/defaults.json" 2>/dev/null && break
  sleep 0.1
done
grep -q SorvelStorageTrends "$HOME/.config/sorvel/defaults.json" 2>/dev/null && echo "scan: finished"
)sh";
    const std::string script = writeScript(home, "run.sh", "helpers=\n" + exports + setup.before + R"sh(
# The first visible window whose name matches, within a deadline of $1 seconds. A search
# that meets a window being destroyed (a panel closing as a window opens) fails with an X
# error; it is tried again rather than taken as no window.
waitwindow() {
  end=$(( $(date +%s) + $1 ))
  while :; do
    found=$(xdotool search --onlyvisible --name "$2" 2>/dev/null | head -n 1)
    [ -n "$found" ] && { echo "$found"; return 0; }
    [ "$(date +%s)" -ge "$end" ] && return 1
    sleep 0.1
  done
}
app=
trap 'kill $app $helpers 2>/dev/null; wait' EXIT
QT_QPA_PLATFORM=xcb )sh" + launch.launcher + R"sh( "$SORVEL" )sh" + launch.arguments + R"sh( 2>"$HOME/stderr.txt" &
app=$!
win=
for i in $(seq 1 300); do
  win=$(xdotool search --onlyvisible --name '^Sorvel$' 2>/dev/null | head -n 1)
  [ -n "$win" ] && break
  kill -0 $app 2>/dev/null || break # ended before its window showed: no use waiting
  sleep 0.1
done
[ -n "$win" ] || { echo "no window"; cat "$HOME/stderr.txt"; exit 3; }
)sh" + awaitScan + steps);
    // Two servers started together may take the same free display number, and one of them
    // fails: the run is started again on another, as nothing in the home changed.
    CommandResult result;
    for (int attempt = 0; attempt < 3; ++attempt) {
        result = runCommand(
            {"/usr/bin/xvfb-run", "-a", "-s", "-screen 0 " + setup.screen, "/bin/sh", script},
            {{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}, {"XDG_DATA_HOME", home / ".local/share"},
             {"XDG_CACHE_HOME", home / ".cache"}, {"SORVEL", SORVEL_BINARY}, {"SORVEL_ANIMATIONS", "0"}});
        const bool noDisplay = result.status == 3 && result.out.find("could not connect to display") != std::string::npos;
        if (!noDisplay) break;
    }
    return result;
}

XwdDump::XwdDump(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    data = bytes.str();
    if (data.size() < 100 || (word(11) != 32 && word(11) != 24)) return;
    thirtyTwoBit = word(11) == 32;
    bytesPerPixel = word(11) / 8;
    lsbFirst = word(7) == 0;
    width = word(4);
    height = word(5);
    bytesPerLine = word(12);
    start = word(0) + size_t(word(19)) * 12;
}

} // namespace sorvel::test
