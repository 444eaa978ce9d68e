// Layout and painting costs of the window, offscreen: the treemap layout of 10,000
// weights, and a full repaint of the main window on the overview at 1440x980 with a
// finished System Data result (nine categories, recommendations, the real kit).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <random>

#include "UiBench.h"
#include "engine/DisplayCategory.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/Animations.h"
#include "ui/screens/TreemapLayout.h"
#include "ui/shell/MainWindow.h"

using namespace sorvel;

static void TreemapLayout10k(benchmark::State& state) {
    std::mt19937 random(11);
    std::lognormal_distribution<double> size(12, 2.5);
    std::vector<double> weights(10'000);
    for (auto& w : weights) w = size(random);
    for (auto _ : state) benchmark::DoNotOptimize(ui::Treemap::layout(weights, QRectF(0, 0, 1180, 410)));
}
BENCHMARK(TreemapLayout10k)->Unit(benchmark::kMillisecond);

static ScanResult sample() {
    ScanResult r;
    r.volume = {1'000'000'000'000, 312'000'000'000, 312'000'000'000};
    int64_t size = 21'000'000'000;
    for (const auto& d : DisplayCategory::categories(ScanScope::systemData)) {
        CategoryResult c;
        c.category = d;
        auto root = ScanNode::make(d.id, "/tmp/" + d.id);
        root->size = size;
        root->fileCount = 1000;
        size = size * 2 / 3;
        c.roots.push_back(root);
        r.categories.push_back(std::move(c));
    }
    return r;
}

static void OverviewRepaint1440x980(benchmark::State& state) {
    auto services = ScanCoordinator::Services::standard();
    services.scan = [](ScanControl&, ScanScope) { return sample(); };
    services.recommend = [](const ScanResult&) {
        std::vector<CleanupItem> items;
        for (int i = 0; i < 6; ++i) {
            CleanupItem c;
            c.id = "rule-" + std::to_string(i);
            c.title = "Recommendation " + std::to_string(i);
            c.detail = "Rebuilt automatically the next time it is needed.";
            c.targets.push_back({UUID::random(), "t", "/tmp/t" + std::to_string(i), 1'000'000'000, {}});
            items.push_back(std::move(c));
        }
        return items;
    };
    ScanCoordinator coordinator(services);
    uibench::WindowModels windowModels(coordinator, UserDefaults("/dev/null/none"));
    const ui::AppModels& models = windowModels.models;
    coordinator.start();
    while (coordinator.phase() != ScanCoordinator::Phase::done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ui::MainWindow window(models, ui::MainWindow::Startup{});
    window.resize(1440, 980);
    window.show();
    QCoreApplication::processEvents();
    QImage target(window.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        window.render(&target);
        benchmark::DoNotOptimize(target.bits());
    }
}
BENCHMARK(OverviewRepaint1440x980)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ui::Animations::setEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
