#include "uisupport/UiContext.h"

#include <cstdlib>
#include <utility>

#include <QApplication>
#include <QElapsedTimer>

#include "engine/DisplayCategory.h"
#include "engine/StorageCategory.h"
#include "models/SettingsSaver.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Theme.h"

namespace sorvel::test {

bool waitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool nearColour(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string ringSides(QWidget* window, const QRect& shape, const QImage& before) {
    const QImage now = window->grab().toImage();
    const QColor accent = ui::Theme::accent().resolve();
    const QPoint c = shape.center();
    const std::tuple<char, QPoint, QPoint> sides[] = {{'L', {shape.left(), c.y()}, {1, 0}},
                                                      {'T', {c.x(), shape.top()}, {0, 1}},
                                                      {'R', {shape.right(), c.y()}, {-1, 0}},
                                                      {'B', {c.x(), shape.bottom()}, {0, -1}}};
    std::string found;
    for (const auto& [letter, edge, inwards] : sides)
        for (int d = -5; d <= 5; ++d) {
            const QPoint p = edge + inwards * d;
            if (now.rect().contains(p) && nearColour(now.pixelColor(p), accent, 50) && now.pixel(p) != before.pixel(p)) {
                found += letter;
                break;
            }
        }
    return found;
}

bool ringFitsNow(const QWidget* control) {
    ui::FocusRing* ring = ui::FocusRing::around(control);
    if (!ring) return false;
    const auto placed = [ring] { return ring->outline().translated(ring->mapTo(ring->window(), QPoint(0, 0))); };
    const QRectF shown = placed();
    ui::FocusRing::reshape(control);
    return shown == placed();
}

void settle(QWidget* widget, QSize size) {
    widget->resize(size);
    widget->show();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    widget->repaint();
}

DrivenScan::DrivenScan() : state_(std::make_shared<State>()) {}

std::function<ScanResult(ScanControl&, ScanScope)> DrivenScan::function() {
    auto state = state_;
    return [state](ScanControl& control, ScanScope scope) {
        std::unique_lock lock(state->mutex);
        for (;;) {
            // A cancelled scan leaves what is handed to the one that replaced it, and hands
            // back what its walks were cut short in.
            if (control.cancelled()) {
                for (auto& [id, root] : state->onStop) control.finish(id, root);
                state->onStop.clear();
                break;
            }
            for (auto& [id, root] : state->toHand) control.finish(id, root);
            state->toHand.clear();
            if (state->bytes) control.addProgress(std::exchange(state->bytes, 0), 1, "/tmp");
            if (state->result) break;
            state->changed.wait_for(lock, std::chrono::milliseconds(20));
        }
        ScanResult out;
        if (!control.cancelled() && state->result) {
            out = std::move(*state->result);
            state->result.reset();
        }
        out.scope = scope;
        return out;
    };
}

void DrivenScan::hand(const std::string& categoryID, ScanNodePtr root) {
    std::lock_guard lock(state_->mutex);
    state_->toHand.emplace_back(categoryID, std::move(root));
    state_->changed.notify_all();
}

void DrivenScan::handOnStop(const std::string& categoryID, ScanNodePtr root) {
    std::lock_guard lock(state_->mutex);
    state_->onStop.emplace_back(categoryID, std::move(root));
}

void DrivenScan::progress(int64_t bytes) {
    std::lock_guard lock(state_->mutex);
    state_->bytes += bytes;
    state_->changed.notify_all();
}

void DrivenScan::release(ScanResult result) {
    std::lock_guard lock(state_->mutex);
    state_->result = std::move(result);
    state_->changed.notify_all();
}

UiContext::UiContext()
    : config_("XDG_CONFIG_HOME", home_ / ".config"), data_("XDG_DATA_HOME", home_ / ".local/share"),
      cache_("XDG_CACHE_HOME", home_ / ".cache") {
    auto services = ScanCoordinator::Services::standard();
    services.scan = scan_.function();
    services.recommend = [this](const ScanResult&) { return recommendations; };
    services.dockerPath = [] { return std::optional<std::string>(); };
    coordinator_ = std::make_unique<ScanCoordinator>(std::move(services));
    appearance_ = std::make_unique<ui::AppearanceSetting>(UserDefaults::standard());
    SweepScheduler::Dependencies deps;
    deps.runner = [](const SweepSchedule&, SweepRun::Trigger) { return SweepRunner::Outcome{}; };
    sweeper_ = std::make_unique<SweepScheduler>(deps);
    apps_ = std::make_unique<AppsModel>();
    duplicates_ = std::make_unique<DuplicatesModel>();
    history_ = std::make_unique<HistoryModel>();
    updates_ = std::make_unique<UpdateChecker>([](const QUrl&, UpdateChecker::Completion) {}, [](const QUrl&) {});
    models_ = std::make_unique<ui::AppModels>(ui::AppModels{*coordinator_, *appearance_, *sweeper_, *apps_,
                                                            *duplicates_, *history_, *updates_, desktop_});
}

UiContext::~UiContext() {
    coordinator_->cancel();
    scan_.release({});
    // Settings the test asked for are written before its home goes.
    Models::waitForSettings();
}

void UiContext::beginScan() {
    coordinator_->start();
    waitUntil([&] { return coordinator_->phase() == ScanCoordinator::Phase::scanning; });
}

void UiContext::finishScan(ScanResult result) {
    if (coordinator_->phase() != ScanCoordinator::Phase::scanning) beginScan();
    scan_.release(std::move(result));
    waitUntil([&] { return coordinator_->phase() == ScanCoordinator::Phase::done; });
}

ScanNodePtr sampleNode(const std::string& path, int64_t size, int64_t files) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = size;
    n->directFileSize = size;
    n->fileCount = files;
    return n;
}

ScanResult UiContext::sampleResult() {
    ScanResult r;
    r.scope = ScanScope::systemData;
    r.volume = {1'000'000'000'000, 312'000'000'000, 312'000'000'000};
    r.duration = 8.23;
    r.fullDiskAccess = false;
    const int64_t sizes[] = {14'200'000'000, 9'800'000'000, 6'100'000'000, 21'400'000'000, 2'300'000'000,
                             1'100'000'000, 4'294'967'296, 3'600'000'000, 1'900'000'000};
    int i = 0;
    for (const auto& d : DisplayCategory::categories(ScanScope::systemData)) {
        CategoryResult c;
        c.category = d;
        auto root = sampleNode(d.roots.empty() ? "/tmp/" + d.id : d.roots.front(), sizes[i], 1200 + 97 * i);
        const std::string names[] = {"com.example.editor", "Chromium", "node-gyp", "pip", "Slack", "Mail"};
        for (int k = 0; k < 6; ++k) {
            auto child = sampleNode(root->path + "/" + names[k], sizes[i] / (2 + k * 2), 40 + k);
            root->children.push_back(child);
        }
        c.roots.push_back(root);
        r.categories.push_back(std::move(c));
        ++i;
    }
    return r;
}

ScanResult UiContext::wholeDiskResult(int count) {
    ScanResult r;
    r.scope = ScanScope::wholeDisk;
    r.volume = {2'000'000'000'000, 640'000'000'000, 640'000'000'000};
    r.duration = 143.6;
    TempDir top;
    for (int i = 0; i < count; ++i) makeDirs(top / ("folder-" + std::to_string(100 + i)));
    int i = 0;
    for (const auto& d : DisplayCategory::wholeDiskCategories(top.path())) {
        CategoryResult c;
        c.category = d;
        c.roots.push_back(sampleNode(d.roots.front(), int64_t(90'000'000'000) / (i + 1), 5000 + i));
        r.categories.push_back(std::move(c));
        ++i;
    }
    return r;
}

std::vector<CleanupItem> UiContext::sampleRecommendations() {
    const auto item = [](std::string id, std::string title, CleanupRisk risk, StorageCategory category,
                         std::vector<std::pair<std::string, int64_t>> targets) {
        CleanupItem c;
        c.id = std::move(id);
        c.title = std::move(title);
        c.detail = "Rebuilt automatically the next time it is needed.";
        c.risk = risk;
        c.category = category;
        for (auto& [path, size] : targets) {
            CleanupTarget t;
            t.name = path.substr(path.rfind('/') + 1);
            t.path = path;
            t.size = size;
            c.targets.push_back(std::move(t));
        }
        return c;
    };
    return {
        item("user-caches", "Application caches", CleanupRisk::safe, StorageCategory::caches,
             {{"/home/user/.cache/chromium", 3'100'000'000}, {"/home/user/.cache/pip", 900'000'000}}),
        item("developer-junk", "Build leftovers", CleanupRisk::safe, StorageCategory::developer,
             {{"/home/user/.cache/node-gyp", 1'400'000'000}}),
        item("trash", "Items in the Trash", CleanupRisk::safe, StorageCategory::trash,
             {{"/home/user/.local/share/Trash/files", 3'600'000'000}}),
        item("logs", "Old logs", CleanupRisk::review, StorageCategory::logs,
             {{"/home/user/.local/state/logs", 800'000'000}}),
    };
}

} // namespace sorvel::test
