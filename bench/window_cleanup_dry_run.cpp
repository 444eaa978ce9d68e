// The cleanup preview's dry run of the benchmark home's default selection (the safe
// recommendations the coordinator ticks after a scan), from the sheet being shown to its
// review list drawn. The home is scanned once, outside the timing.
//
// Usage: window_cleanup_dry_run [--benchmark_* options]; SORVEL_BENCH_HOME picks the home.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "BenchHome.h"
#include "UiBench.h"
#include "cleanup/CleanupFinder.h"
#include "engine/MultiRootScan.h"
#include "engine/ScanControl.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/services/DesktopServices.h"

using namespace sorvel;

namespace {

class NoDesktop final : public ui::DesktopServices {
public:
    void reveal(const std::string&) override {}
    void openURL(const QString&) override {}
    void copy(const QString&) override {}
    std::optional<std::string> chooseSaveLocation(QWidget*, const QString&, const QString&) override { return {}; }
};

void BM_DryRunOfTheDefaultSelection(benchmark::State& state) {
    uibench::application();
    const char* chosen = std::getenv("SORVEL_BENCH_HOME");
    const std::string home = chosen && *chosen ? chosen : benchhome::defaultPath();
    benchhome::ensure(home);
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME"); // the Trash is the fake home's own
    const std::string config = home + "/.bench-config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    ScanControl control;
    const ScanResult scanned = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    auto services = ScanCoordinator::Services::standard();
    services.dockerPath = [] { return std::optional<std::string>(); };
    auto coordinator = uibench::finished(scanned, services);
    const auto targets = coordinator->selectedTargets();
    state.counters["rules"] = static_cast<double>(coordinator->selectedCleanupIDs().size());
    state.counters["paths"] = static_cast<double>(targets.size());

    NoDesktop desktop;
    QImage canvas(820, 640, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        ui::CleanupPreviewSheet sheet(*coordinator, desktop);
        sheet.setAttribute(Qt::WA_DeleteOnClose, false);
        sheet.show();
        uibench::waitUntil([&] { return !sheet.state().isPreparing(); });
        QCoreApplication::processEvents();
        QPainter p(&canvas);
        sheet.render(&p);
        p.end();
        state.counters["rows"] = static_cast<double>(sheet.rows().size());
        state.PauseTiming();
        sheet.hide();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_DryRunOfTheDefaultSelection)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_MAIN();
