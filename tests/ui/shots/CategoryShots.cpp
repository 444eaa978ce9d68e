// The category page, its insights, advice and Docker blocks, and the cleanup preview in
// each of its stages.
#include <QCoreApplication>
#include <QVBoxLayout>

#include <condition_variable>
#include <mutex>

#include "engine/MultiRootScan.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "shots/ShotRegistry.h"
#include "ui/kit/Button.h"
#include "ui/screens/AdviceSection.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/screens/DockerSection.h"
#include "ui/screens/InsightsPanel.h"
#include "ui/shell/MainWindow.h"

using namespace sorvel;

namespace {

ScanNodePtr node(const std::string& path, int64_t size, int64_t files = 12) {
    auto n = ScanNode::make(lastPathComponent(path), path);
    n->size = size;
    n->fileCount = files;
    return n;
}

/// A caches category three levels deep, with real files under its first folders so the
/// insights panel has something to read.
ScanResult cachesResult(test::UiContext& ctx) {
    ScanResult r = test::UiContext::sampleResult();
    const std::string root = ctx / "Library/Caches";
    auto top = node(root, 0, 4821);
    const char* names[] = {"com.example.editor", "Chromium", "pip", "node-gyp", "Homebrew", "Yarn", "com.example.mail",
                           "JetBrains", "Slack", "go-build", "thumbnails", "fontconfig", "mesa_shader_cache",
                           "com.example.music", "pnpm", "ms-playwright", "typescript", "Spotify", "gstreamer-1.0",
                           "com.example.notes", "deno", "vscode-cpptools", "matplotlib", "bazel", "cargo", "zig",
                           "gradle", "composer"};
    int64_t size = 3'400'000'000;
    for (const char* name : names) {
        top->children.push_back(node(root + "/" + name, size, size / 2'000'000));
        size = size * 7 / 10 + 1'000'000;
    }
    auto& editor = top->children[0];
    const char* inner[] = {"CachedData", "Code Cache", "GPUCache", "logs", "extensions"};
    int64_t innerSize = 1'600'000'000;
    for (const char* name : inner) {
        editor->children.push_back(node(editor->path + "/" + name, innerSize, innerSize / 3'000'000));
        innerSize = innerSize * 6 / 10;
    }
    auto& cached = editor->children[0];
    const char* deeper[] = {"a41f09", "7c2e11", "b3d8aa", "e90c5f"};
    int64_t deepSize = 700'000'000;
    for (const char* name : deeper) {
        cached->children.push_back(node(cached->path + "/" + name, deepSize, 40));
        deepSize /= 2;
    }
    cached->largestFiles.push_back(FileEntry{UUID::random(), "index.bin", cached->path + "/index.bin", 96'000'000, std::nullopt});
    top->largestFiles.push_back(FileEntry{UUID::random(), "update-cache.tar.zst", root + "/update-cache.tar.zst",
                                          410'000'000, std::nullopt});
    int64_t total = 0;
    for (const auto& c : top->children) total += c->size;
    top->size = total + 410'000'000;

    // Files for the insights of the drilled folder.
    test::writeFileOfSize(cached->path + "/thumbs.jpg", 300'000);
    test::writeFileOfSize(cached->path + "/bundle.js", 180'000);
    test::writeFileOfSize(cached->path + "/store.sqlite", 120'000);
    test::writeFileOfSize(cached->path + "/clip.mp4", 90'000);
    test::writeFileOfSize(cached->path + "/blob", 40'000);

    for (auto& c : r.categories)
        if (c.category.id == "caches") c.roots = {top};
    return r;
}

void waitForInsights(ScanCoordinator& c) {
    test::waitUntil([&] { return !c.insightsLoading(); }, 5000);
}

} // namespace

SORVEL_SHOT("category-top-level", 1440, 1500) {
    ctx.finishScan(cachesResult(ctx));
    ctx.coordinator().move({std::string("caches"), {}});
    auto* window = new ui::MainWindow(ctx.models());
    window->show();
    waitForInsights(ctx.coordinator());
    return window;
}

SORVEL_SHOT("category-drilled-two-levels", 1440, 1100) {
    ctx.finishScan(cachesResult(ctx));
    auto& c = ctx.coordinator();
    c.move({std::string("caches"), {}});
    const auto top = c.result().category("caches")->roots.front();
    c.drill(top->children[0]);
    c.drill(top->children[0]->children[0]);
    auto* window = new ui::MainWindow(ctx.models());
    window->show();
    waitForInsights(c);
    return window;
}

SORVEL_SHOT("category-drilled-dark", 1440, 1100) {
    ctx.appearance().setSelection(ui::Appearance::dark);
    ctx.finishScan(cachesResult(ctx));
    auto& c = ctx.coordinator();
    c.move({std::string("caches"), {}});
    c.drill(c.result().category("caches")->roots.front()->children[0]);
    auto* window = new ui::MainWindow(ctx.models());
    window->show();
    waitForInsights(c);
    return window;
}

namespace {

FolderInsights sampleInsights(const std::string& path) {
    FolderInsights f;
    f.path = path;
    f.totalBytes = 8'400'000'000;
    f.fileCount = 12'345;
    f.kinds = {{FileKind::video, 3'900'000'000, 40}, {FileKind::image, 2'100'000'000, 9000},
               {FileKind::archive, 1'200'000'000, 30},  {FileKind::database, 600'000'000, 12},
               {FileKind::code, 350'000'000, 3000},     {FileKind::document, 150'000'000, 200},
               {FileKind::other, 90'000'000, 60},       {FileKind::audio, 9'000'000, 3},
               {FileKind::binary, 1'000'000, 1}};
    f.ages = {{AgeBand::lastMonth, 1'100'000'000, 10},
              {AgeBand::lastYear, 2'900'000'000, 10},
              {AgeBand::oneToTwoYears, 1'700'000'000, 10},
              {AgeBand::twoToFiveYears, 2'600'000'000, 10},
              {AgeBand::olderThanFive, 100'000'000, 10}};
    const char* names[] = {"Screen Recording 2024-03-02 at 10.41.18.mov", "backup-2023.tar.gz", "library.sqlite",
                           "IMG_4410.HEIC", "render-final-v7-really-final-this-time-for-the-client.mp4", "runme",
                           "notes.txt"};
    int64_t size = 1'200'000'000;
    for (const char* name : names) {
        f.largest.push_back(FileEntry{UUID::random(), name, path + "/" + name, size,
                                      dateFromUnixSeconds(1'700'000'000 - size / 10)});
        size = size * 6 / 10;
    }
    f.largest[3].modified.reset();
    f.truncated = true;
    return f;
}

} // namespace

SORVEL_SHOT("insights-loading", 900, 260) {
    auto* panel = new ui::InsightsPanel(ctx.desktop());
    const std::string path = ctx / "Library/Caches/com.example.editor";
    panel->setInputs(path, PathKnowledge::note(ctx / "Library/Caches"), std::nullopt, true, std::nullopt);
    return panel;
}

SORVEL_SHOT("insights-loaded", 1000, 720) {
    auto* panel = new ui::InsightsPanel(ctx.desktop());
    const std::string path = ctx / "Library/Caches";
    panel->setInputs(path, PathKnowledge::note(path), sampleInsights(path), false, std::nullopt);
    return panel;
}

SORVEL_SHOT("insights-messages-caveat", 1000, 360) {
    auto* panel = new ui::InsightsPanel(ctx.desktop());
    const std::string path = ctx / "Library/Messages/Attachments";
    CloudStatus cloud;
    cloud.messages.state = CloudState::on;
    panel->setInputs(path, PathKnowledge::note(path), std::nullopt, false, cloud);
    return panel;
}

namespace {

CloudStatus signedInCloud() {
    CloudStatus cloud;
    cloud.accountID = "someone@example.com";
    cloud.messages = {"Messages", CloudState::on, false,
                      {"The Messages sync database was written 2 days ago", "Messages keeps a sync log in your Library"}};
    cloud.photos = {"Photos", CloudState::off, true, {"Photos is not in your account's enabled services"}};
    cloud.desktopAndDocuments = {"Desktop & Documents", CloudState::unknown, false, {}};
    return cloud;
}

} // namespace

SORVEL_SHOT("advice-icloud-open", 1000, 900) {
    auto* section = new ui::AdviceSection(ctx.desktop());
    const CloudStatus cloud = signedInCloud();
    std::optional<DisplayCategory> messages;
    for (const auto& d : DisplayCategory::categories(ScanScope::systemData))
        if (d.storage == StorageCategory::mail) messages = d;
    auto items = AdviceCatalog::advice(messages, ScanResult{}, cloud);
    for (const auto& d : DisplayCategory::categories(ScanScope::systemData))
        if (d.storage == StorageCategory::developer)
            for (auto& i : AdviceCatalog::advice(d, ScanResult{}, cloud)) items.push_back(i);
    section->setInputs(items, cloud);
    section->statusRow()->toggle();
    return section;
}

namespace {

DockerUsage sampleDocker() {
    DockerUsage u;
    u.state = DockerUsage::State::ready;
    DockerUsage::Group images{"images", "Images", 14'600'000'000, 6'100'000'000, {}, "docker image prune -a"};
    images.entries = {
        {"sha256:1", "postgres:16", std::string("1 container · created 3 weeks ago"), 4'300'000'000, false,
         std::string("docker rmi sha256:1")},
        {"sha256:2", "registry.example.com/team/very/long/path/to/an/image/with/a/long/name:2024-11-02-nightly",
         std::string("unused · created 5 months ago"), 3'900'000'000, true, std::string("docker rmi sha256:2")},
        {"sha256:3", "node:20-bookworm", std::string(""), 2'200'000'000, true, std::string("docker rmi sha256:3")}};
    DockerUsage::Group containers{"containers", "Containers", 800'000'000, 0, {}, "docker container prune"};
    containers.entries = {{"c1", "db", std::string("running · postgres:16"), 800'000'000, false, std::nullopt}};
    DockerUsage::Group volumes{"volumes", "Local Volumes", 2'100'000'000, 0, {}, std::nullopt};
    DockerUsage::Group cache{"build-cache", "Build Cache", 5'000'000'000, 5'000'000'000, {}, "docker builder prune"};
    for (int i = 0; i < 45; ++i)
        cache.entries.push_back({"b" + std::to_string(i), "layer " + std::to_string(i), std::nullopt,
                                 100'000'000 - i * 1'000'000, true, std::nullopt});
    u.groups = {images, containers, volumes, cache};
    return u;
}

} // namespace

SORVEL_SHOT("docker-ready", 1000, 1900) {
    auto* section = new ui::DockerSection(ctx.desktop(), nullptr);
    section->setInputs(sampleDocker(), false);
    section->toggle("build-cache");
    section->toggle("volumes");
    return section;
}

SORVEL_SHOT("docker-loading-and-unavailable", 1000, 260) {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    auto* loading = new ui::DockerSection(ctx.desktop(), nullptr, column);
    loading->setInputs(sampleDocker(), true);
    auto* missing = new ui::DockerSection(ctx.desktop(), nullptr, column);
    DockerUsage down;
    down.state = DockerUsage::State::notResponding;
    down.note = "Docker's daemon is not running. Starting the Docker service (systemctl start docker) lets Sorvel read its disk use.";
    missing->setInputs(down, false);
    layout->addWidget(loading);
    layout->addWidget(missing);
    layout->addStretch(1);
    return column;
}

namespace {

/// A sheet over a coordinator whose runs answer at once with made-up outcomes: paths
/// with "refuse" are refused, paths with "fail" fail to move, everything else moves.
ui::CleanupPreviewSheet* sheetAt(test::UiContext& ctx, int clicks, bool allFail = false, bool hold = false) {
    auto fake = [&ctx](const std::string& name) { return ctx / ("Library/Caches/" + name); };
    CleanupItem caches;
    caches.id = "user-caches";
    caches.title = "App caches";
    for (const char* name : {"com.example.editor", "Chromium", "pip-refuse"})
        caches.targets.push_back({UUID::random(), name, fake(name), 1'200'000'000, std::string("Rebuilt on next launch")});
    CleanupItem logs;
    logs.id = "logs";
    logs.title = "Old logs";
    logs.risk = CleanupRisk::review;
    for (const char* name : {"Logs-fail", "DiagnosticReports"})
        logs.targets.push_back({UUID::random(), name, fake(name), 300'000'000, std::nullopt});

    auto gate = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
    auto s = ScanCoordinator::Services::standard();
    s.scan = [](ScanControl&, ScanScope scope) {
        ScanResult r;
        r.scope = scope;
        return r;
    };
    s.recommend = [caches, logs](const ScanResult&) { return std::vector<CleanupItem>{caches, logs}; };
    s.runCleanup = [allFail, hold, gate](const std::vector<CleanupExecutor::PathSize>& paths, CleanupExecutor::Mode mode,
                                         const CleanupPolicy&, const std::optional<CloudStatus>&,
                                         const CleanupExecutor::Progress& progress) {
        if (hold) {
            std::unique_lock lock(gate->first);
            gate->second.wait_for(lock, std::chrono::seconds(2));
        }
        std::vector<CleanupOutcome> out;
        for (const auto& p : CleanupExecutor::normalize(paths)) {
            CleanupOutcome o;
            o.path = p.path;
            o.size = p.size;
            if (p.path.find("refuse") != std::string::npos) o.result = CleanupOutcome::Refused{CleanupGuard::Refusal::notWritable()};
            else if (mode == CleanupExecutor::Mode::dryRun) o.result = CleanupOutcome::WouldMove{};
            else if (allFail || p.path.find("fail") != std::string::npos)
                o.result = CleanupOutcome::Failed{"Permission denied"};
            else o.result = CleanupOutcome::MovedToTrash{"/trash/" + lastPathComponent(p.path)};
            out.push_back(o);
        }
        if (progress) progress(1, 5);
        return out;
    };
    auto* coordinator = new ScanCoordinator(s);
    coordinator->start();
    test::waitUntil([&] { return coordinator->phase() == ScanCoordinator::Phase::done; });
    coordinator->setSelectedCleanupIDs({"user-caches", "logs"});
    auto* sheet = new ui::CleanupPreviewSheet(*coordinator, ctx.desktop());
    sheet->setAttribute(Qt::WA_DeleteOnClose, false);
    coordinator->setParent(sheet);
    sheet->show();
    if (hold) return sheet;
    test::waitUntil([&] { return !sheet->state().isPreparing(); });
    for (int i = 0; i < clicks; ++i) {
        sheet->secondButton()->click();
        QCoreApplication::processEvents();
    }
    test::waitUntil([&] { return !sheet->state().isWorking(); });
    QCoreApplication::processEvents();
    return sheet;
}

} // namespace

SORVEL_SHOT("sheet-preparing", 820, 640) { return sheetAt(ctx, 0, false, true); }
SORVEL_SHOT("sheet-review-with-refusal", 820, 640) { return sheetAt(ctx, 0); }
SORVEL_SHOT("sheet-confirming", 820, 640) { return sheetAt(ctx, 1); }
SORVEL_SHOT("sheet-done-with-failure", 820, 640) { return sheetAt(ctx, 2); }
SORVEL_SHOT("sheet-done-nothing-moved", 820, 640) { return sheetAt(ctx, 2, true); }
SORVEL_SHOT("sheet-review-dark", 820, 640) {
    ctx.appearance().setSelection(ui::Appearance::dark);
    return sheetAt(ctx, 0);
}

// A category this user may not read at all, on a 1366x768 screen: no figure, no counts,
// no explainer; the sidebar row locked.
SORVEL_SHOT("category-not-readable-1366x768", 1366, 768) {
    ScanResult r = test::UiContext::sampleResult();
    for (auto& root : r.categories.front().roots) {
        root->accessDenied = true;
        root->size = 0;
        root->fileCount = 0;
        root->children.clear();
    }
    ctx.finishScan(r);
    ctx.coordinator().move({r.categories.front().category.id, {}});
    auto* window = new ui::MainWindow(ctx.models());
    window->setMinimumSize(ui::MainWindow::fitted({ui::MainWindow::minimumWidth, ui::MainWindow::minimumHeight},
                                                  {QPoint(0, 0), QSize(1366, 768)}));
    window->show();
    return window;
}

// The Trash holding two loose files, a folder and a large file: four items, all listed and drawn.
SORVEL_SHOT("category-trash-loose-files", 1440, 1100) {
    const std::string files = Trash::directory() + "/files";
    test::writeFileOfSize(files + "/notes.txt", 40'000);
    test::writeFileOfSize(files + "/photo.jpg", 2'400'000);
    test::writeFileOfSize(files + "/old-project/main.c", 300'000);
    test::writeFileOfSize(files + "/installer.iso", 12'000'000);
    ScanControl control;
    ctx.finishScan(MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"trash"}));
    ctx.coordinator().move({std::string("trash"), {}});
    auto* window = new ui::MainWindow(ctx.models());
    window->show();
    waitForInsights(ctx.coordinator());
    return window;
}

namespace {
// The App Support category holding the device backups, one of which this user may not read,
// on a 1366x768 screen; drilled into the backups, or into the locked one.
QWidget* backupsWithOneLocked(test::UiContext& ctx, bool intoLocked) {
    ScanResult r = test::UiContext::sampleResult();
    CategoryResult* support = nullptr;
    for (auto& c : r.categories)
        if (c.category.storage == StorageCategory::appSupport) support = &c;
    const auto root = support->roots.front();
    auto backup = ScanNode::make("Backup", root->path + "/MobileSync/Backup");
    auto open = ScanNode::make("00008110-001A2B3C4D5E", backup->path + "/00008110-001A2B3C4D5E");
    open->directFileSize = 4'800'000'000;
    open->directFileCount = 2;
    open->rollUpTotals();
    auto locked = ScanNode::make("00008030-009F8E7D6C5B", backup->path + "/00008030-009F8E7D6C5B");
    locked->markUnreadable();
    backup->children = {open, locked};
    backup->rollUpTotals();
    auto sync = ScanNode::make("MobileSync", root->path + "/MobileSync");
    sync->children = {backup};
    sync->rollUpTotals();
    root->children.push_back(sync);
    root->rollUpTotals();
    ctx.finishScan(r);
    auto& c = ctx.coordinator();
    c.move({support->category.id, {}});
    c.drill(sync);
    c.drill(backup);
    if (intoLocked) c.drill(locked);
    auto* window = new ui::MainWindow(ctx.models());
    window->setMinimumSize(ui::MainWindow::fitted({ui::MainWindow::minimumWidth, ui::MainWindow::minimumHeight},
                                                  {QPoint(0, 0), QSize(1366, 768)}));
    window->show();
    waitForInsights(c);
    return window;
}
} // namespace

SORVEL_SHOT("category-backup-not-readable-row-1366x768", 1366, 768) { return backupsWithOneLocked(ctx, false); }

SORVEL_SHOT("category-drilled-into-not-readable-1366x768", 1366, 768) { return backupsWithOneLocked(ctx, true); }
