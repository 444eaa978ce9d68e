// Main-thread time of the category page: opening a category whose level has 250 rows (200
// drawn, 24 tiles) and laying it out and painting it, then drilling one level into a
// folder of 250 rows. Each step is timed from the call to the painted frame.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <QScrollArea>

#include "UiBench.h"
#include "ui/screens/CategoryDetailView.h"
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

ScanNodePtr level(const std::string& path, int rows, int depth) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    for (int i = 0; i < rows; ++i) {
        auto child = depth > 0 ? level(path + "/folder " + std::to_string(i), rows, depth - 1)
                               : ScanNode::make("leaf " + std::to_string(i), path + "/leaf " + std::to_string(i));
        if (depth == 0) child->size = 1'000'000 + (rows - i) * 10'000;
        n->children.push_back(child);
        n->size += child->size;
        n->fileCount += 10;
    }
    return n;
}

struct Fixture {
    NoDesktop desktop;
    std::unique_ptr<ScanCoordinator> coordinator;
    Fixture() {
        uibench::application();
        ScanResult r;
        CategoryResult c;
        c.category = DisplayCategory::categories(ScanScope::systemData).front();
        c.roots = {level("/bench/Library/Caches", 250, 1)};
        r.categories = {c};
        auto s = ScanCoordinator::Services::standard();
        s.recommend = [](const ScanResult&) { return std::vector<CleanupItem>{}; };
        s.analyzeFolder = [](const std::string& path, const std::set<std::string>&, const std::function<bool()>&) {
            FolderInsights f;
            f.path = path;
            return f;
        };
        s.dockerPath = [] { return std::optional<std::string>(); };
        coordinator = uibench::finished(r, s);
        coordinator->move({c.category.id, {}});
    }
    const std::string& id() const { return *coordinator->selectedCategory(); }
};

// One frame: what the window's detail area shows of the page (its first 980 pixels).
void paint(QWidget& w, QImage& canvas) {
    QPainter p(&canvas);
    w.render(&p, QPoint(), QRegion(0, 0, canvas.width(), canvas.height()));
}

/// The page inside a scrolling detail area of the window's size, as the page host holds it.
struct Host {
    QScrollArea area;
    Host() {
        area.setWidgetResizable(true);
        area.resize(1100, 980);
        area.show();
    }
};

void BM_OpenCategoryOf250Rows(benchmark::State& state) {
    Fixture f;
    Host host;
    QImage canvas(1100, 980, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        auto* view = new ui::CategoryDetailView(*f.coordinator, f.desktop, f.id());
        host.area.setWidget(view); // replaces (and deletes) the page before it
        QCoreApplication::processEvents();
        paint(host.area, canvas);
    }
}

void BM_DrillOneLevelOf250Rows(benchmark::State& state) {
    Fixture f;
    Host host;
    QImage canvas(1100, 980, QImage::Format_ARGB32_Premultiplied);
    auto* view = new ui::CategoryDetailView(*f.coordinator, f.desktop, f.id());
    host.area.setWidget(view);
    QCoreApplication::processEvents();
    const ScanNodePtr first = f.coordinator->result().categories.front().roots.front()->children.front();
    for (auto _ : state) {
        f.coordinator->drill(first);
        QCoreApplication::processEvents();
        paint(host.area, canvas);
        state.PauseTiming();
        f.coordinator->drillBack(0);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_OpenCategoryOf250Rows)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrillOneLevelOf250Rows)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
