// The window after a real scan of a Linux home and a fake system tree: the overview and
// sidebar with the Linux places measured, the caches page with the cache folder, Flatpak
// caches and the system's, and the swap page listing its swap file.
#include <set>

#include "engine/MultiRootScan.h"
#include "platform/LinuxPlaces.h"
#include "shots/ShotRegistry.h"
#include "ui/shell/MainWindow.h"

using namespace sorvel;

namespace {

void buildLinuxHome(test::UiContext& ctx) {
    const std::string sys = LinuxPlaces::systemRoot();
    const std::pair<std::string, size_t> files[] = {
        {ctx / ".cache/thumbnails/large/a.png", 3'000'000},
        {ctx / ".cache/google-chrome/Default/Cache/data", 8'000'000},
        {ctx / ".cache/pip/http/wheel", 2'000'000},
        {ctx / ".cache/obexd/photo.jpg", 400'000},
        {ctx / ".var/app/org.gimp.GIMP/cache/tmp/blob", 6'000'000},
        {ctx / ".var/app/org.gimp.GIMP/data/brushes/b", 1'000'000},
        {ctx / "snap/firefox/common/state", 500'000},
        {ctx / ".local/share/app/db", 900'000},
        {ctx / ".local/share/Trash/files/old.zip", 1'200'000},
        {ctx / ".thunderbird/p.default/Mail/inbox", 700'000},
        {ctx / ".npm/_cacache/content/c", 1'300'000},
        {ctx / ".config/app/settings.ini", 20'000},
        {ctx / ".local/state/app/history", 30'000},
        {sys + "/var/log/syslog", 400'000},
        {sys + "/var/log/journal/abc/system.journal", 9'000'000},
        {sys + "/var/cache/apt/archives/p.deb", 5'000'000},
        {sys + "/swapfile", 4'000'000},
    };
    for (const auto& [path, bytes] : files) test::writeFileOfSize(path, bytes);
    test::writeFile(sys + "/proc/swaps", "Filename Type Size Used Priority\n/swapfile file 4000 0 -2\n");
}

QWidget* scannedLinuxHome(test::UiContext& ctx, const std::optional<std::string>& category) {
    buildLinuxHome(ctx);
    ScanControl control;
    ctx.finishScan(MultiRootScan::scanSynchronously(control, ScanScope::systemData));
    if (category) ctx.coordinator().move({*category, {}});
    auto* window = new ui::MainWindow(ctx.models());
    window->show();
    test::waitUntil([&] { return !ctx.coordinator().insightsLoading(); }, 5000);
    return window;
}

} // namespace

SORVEL_SHOT("linux-home-overview", 1440, 1000) { return scannedLinuxHome(ctx, std::nullopt); }
SORVEL_SHOT("linux-home-caches", 1440, 1100) { return scannedLinuxHome(ctx, std::string("caches")); }
SORVEL_SHOT("linux-home-swap", 1440, 900) { return scannedLinuxHome(ctx, std::string("vmSwap")); }
SORVEL_SHOT("linux-home-logs", 1440, 900) { return scannedLinuxHome(ctx, std::string("logs")); }
