#pragma once
// Fake apps, duplicate folders, history runs and trend snapshots on a UiContext's fake
// home, for the tool screens' tests and screenshots.
#include <QImage>
#include <QPainter>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/StorageTrends.h"
#include "models/AppsModel.h"
#include "models/SweepScheduler.h"
#include "platform/UserNotifications.h"
#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "support/TestSupport.h"
#include "uisupport/UiContext.h"

namespace sorvel::test {

/// A bundle folder with an Info.plist naming a PNG icon drawn in `colour`.
inline std::string makeBundle(const std::string& folder, const std::string& name, const std::string& identifier,
                              QColor colour) {
    const std::string bundle = folder + "/" + name + ".app";
    writeFile(bundle + "/Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
              "<key>CFBundleIdentifier</key><string>" + identifier + "</string>"
              "<key>CFBundleIconFile</key><string>" + name + ".png</string></dict></plist>\n");
    QImage icon(128, 128, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(8, 8, 112, 112), 26, 26);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(40, 40, 48, 48));
    p.end();
    std::filesystem::create_directories(bundle + "/Contents/Resources");
    icon.save(QString::fromStdString(bundle + "/Contents/Resources/" + name + ".png"));
    return bundle;
}

inline AppLeftover leftover(std::string path, int64_t size, std::string kind, AppLeftover::Match match,
                            bool admin = false) {
    return AppLeftover{std::move(path), size, std::move(kind), std::move(match), admin};
}

/// Orchard (removable, three leftovers, one only by name), Ledger Pro (needs an
/// administrator), Sketchbook (no leftovers), a sealed app and Sorvel itself.
inline std::vector<InstalledApp> sampleApps(const UiContext& ctx) {
    const std::string apps = ctx / "Applications";
    std::vector<InstalledApp> list;
    InstalledApp orchard;
    orchard.name = "Orchard";
    orchard.bundlePath = makeBundle(apps, "Orchard", "com.example.orchard", QColor(64, 160, 110));
    orchard.bundleIdentifier = "com.example.orchard";
    orchard.version = "4.2.1";
    orchard.bundleSize = 412'000'000;
    orchard.lastUsed = now() - std::chrono::hours(75);
    orchard.leftovers = {
        leftover(ctx / "Library/Application Support/com.example.orchard", 1'240'000'000, "Application Support",
                 AppLeftover::Match::exactIdentifier()),
        leftover(ctx / "Library/Caches/Orchard", 310'000'000, "Caches", AppLeftover::Match::appNameMatch()),
        leftover(ctx / "Library/Preferences/com.example.orchard.plist", 12'000, "Preferences",
                 AppLeftover::Match::exactIdentifier()),
    };
    list.push_back(orchard);
    InstalledApp ledger;
    ledger.name = "Ledger Pro";
    ledger.bundlePath = makeBundle(apps, "Ledger Pro", "com.example.ledger", QColor(70, 110, 200));
    ledger.bundleIdentifier = "com.example.ledger";
    ledger.version = "12.0";
    ledger.bundleSize = 890'000'000;
    ledger.removability = InstalledApp::Removability::needsAdministrator("root");
    ledger.leftovers = {
        leftover(ctx / "Library/Containers/com.example.ledger", 96'000'000, "Containers",
                 AppLeftover::Match::identifierPrefix("Ledger Pro")),
        leftover("/Library/Application Support/com.example.ledger", 24'000'000, "Application Support",
                 AppLeftover::Match::exactIdentifier(), true),
    };
    list.push_back(ledger);
    InstalledApp sketch;
    sketch.name = "Sketchbook";
    sketch.bundlePath = apps + "/Sketchbook.app";
    sketch.bundleSize = 58'000'000;
    list.push_back(sketch);
    InstalledApp sealed;
    sealed.name = "Photos";
    sealed.bundlePath = "/System/Applications/Photos.app";
    sealed.bundleSize = 40'000'000;
    sealed.removability = InstalledApp::Removability::sealed("on the sealed system volume \u2014 not removable by anything");
    sealed.leftovers = {leftover(ctx / "Library/Caches/com.apple.Photos", 5'000'000, "Caches",
                                 AppLeftover::Match::exactIdentifier())};
    list.push_back(sealed);
    InstalledApp self;
    self.name = "Sorvel";
    self.bundlePath = apps + "/Sorvel.app";
    self.removability = InstalledApp::Removability::selfProtected();
    list.push_back(self);
    return list;
}

/// A dry run that would move every path except those in the shared /Library.
inline std::vector<CleanupOutcome> fakeDryRun(const std::vector<CleanupExecutor::PathSize>& paths, const CleanupPolicy&) {
    std::vector<CleanupOutcome> outcomes;
    for (const auto& p : paths) {
        CleanupOutcome::Result result = CleanupOutcome::WouldMove{};
        if (p.path.rfind("/Library/", 0) == 0) result = CleanupOutcome::Refused{CleanupGuard::Refusal::outsideAllowedRoots()};
        outcomes.push_back(CleanupOutcome{UUID::random(), p.path, p.size, result});
    }
    return outcomes;
}

/// An apps model whose inventory is `apps`, whose running list is `*running` (read on
/// every ask) and whose Finder hand-off is the real one (no script runner here). With
/// `realDryRun` false the dry run is `fakeDryRun`.
inline std::unique_ptr<AppsModel> appsModel(std::vector<InstalledApp> apps,
                                            std::shared_ptr<std::vector<std::string>> running =
                                                std::make_shared<std::vector<std::string>>(),
                                            bool realDryRun = false) {
    AppsModel::Services s;
    s.inventory = [apps](ScanControl&) { return apps; };
    s.runningBundleIdentifiers = [running] { return *running; };
    if (!realDryRun) s.dryRun = fakeDryRun;
    auto model = std::make_unique<AppsModel>(s);
    model->rescan();
    waitUntil([&] { return !model->isScanning(); });
    return model;
}

/// Two runs recorded in the history: a manual cleanup that moved `items` files and a
/// scheduled report that moved nothing.
inline std::vector<SweepRun> seedHistory(const UiContext& ctx, int items = 3) {
    SweepRun report;
    report.trigger = SweepRun::Trigger::scheduled;
    report.scope = "every safe rule";
    report.receipt.date = now() - std::chrono::hours(30);
    report.receipt.foundBytes = 2'400'000'000;
    report.receipt.refusedCount = 2;
    SweepHistory::store(report);
    SweepRun run;
    run.trigger = SweepRun::Trigger::manual;
    run.scope = "items you picked";
    run.receipt.action = SweepSchedule::Action::clean;
    run.receipt.date = now() - std::chrono::hours(2);
    for (int i = 0; i < items; ++i) {
        const std::string original = ctx / ("Downloads/installer-" + std::to_string(i) + ".dmg");
        run.moved.push_back(MovedItem{original, ctx / (".local/share/Trash/files/installer-" + std::to_string(i) + ".dmg"),
                                      150'000'000 + i * 1'000'000});
        run.receipt.movedBytes += run.moved.back().size;
    }
    run.receipt.movedCount = items;
    run.receipt.foundBytes = run.receipt.movedBytes;
    SweepHistory::store(run);
    return SweepHistory::load();
}

/// A scheduler whose sweeps report `findings` (path, size) as would-move outcomes.
inline std::unique_ptr<SweepScheduler> sweeperFinding(std::vector<std::pair<std::string, int64_t>> findings,
                                                      SweepSchedule::Action action = SweepSchedule::Action::report) {
    SweepScheduler::Dependencies deps;
    deps.notifications = UserNotifications::none();
    deps.runner = [findings, action](const SweepSchedule&, SweepRun::Trigger) {
        SweepRunner::Outcome out;
        out.receipt.date = now();
        out.receipt.action = action;
        for (const auto& [path, size] : findings) {
            out.outcomes.push_back(CleanupOutcome{UUID::random(), path, size, CleanupOutcome::WouldMove{}});
            out.receipt.foundBytes += size;
        }
        // A refusal always comes with its reason, as a real sweep's does.
        out.receipt.refusedCount = 1;
        out.receipt.skippedReason = "Sorvel refused 1 item this sweep would have moved: \u201C~/.cache/thumbnails\u201D "
                                    "\u2014 not writable by you.";
        return out;
    };
    return std::make_unique<SweepScheduler>(deps);
}

/// Stores trend snapshots of the System Data scope `daysAgo` days old, growing over time.
inline void seedTrends(const std::vector<double>& daysAgo) {
    nlohmann::json array = nlohmann::json::array();
    int step = 0;
    for (double days : daysAgo) {
        StorageSnapshot s;
        s.date = now() - std::chrono::seconds(int64_t(days * 86400));
        s.scope = "System Data";
        s.categories = {{"caches", 8'000'000'000 - step * 1'500'000'000}, {"developer", 20'000'000'000 + step * 3'000'000'000},
                        {"logs", 900'000'000}, {"mail", 4'000'000'000 + step * 100'000'000}};
        s.freeBytes = 220'000'000'000 - step * 4'000'000'000;
        s.totalBytes = 1'000'000'000'000;
        array.push_back(s.toJSON());
        ++step;
    }
    UserDefaults::standard().set(StorageTrends::kDefaultsKey, array);
}

} // namespace sorvel::test
