#include "models/AppsModel.h"

#include <algorithm>
#include <utility>

#include "analysis/AppInventory.h"
#include "cleanup/CloudStatus.h"
#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "platform/RunningApplications.h"
#include "removal/RemovalRun.h"
#include "removal/SweepHistory.h"

namespace sorvel {
namespace {

bool counts(const InstalledApp& app) {
    using K = InstalledApp::Removability::Kind;
    return app.removability.kind == K::removable || app.removability.kind == K::needsAdministrator;
}

std::string handoffMessage(const FinderHandoff::Failure& failure) {
    // The failure's own description is the text the screen shows, case by case.
    return failure.description();
}

} // namespace

AppsModel::Services AppsModel::Services::standard() {
    Services services;
    services.inventory = [](ScanControl& control) { return AppInventory::scan(control); };
    services.whereLooked = [] {
        AppInventory::Places places = AppInventory::Places::standard();
        places.locations.clear(); // apps are looked for in the search folders only
        return Looked{places.searchPaths, AppInventory::placeAccess(places).unreadable};
    };
    services.runningBundleIdentifiers = [] { return RunningApplications::bundleIdentifiers(); };
    services.finderHandoff = [](const std::string& path, const CleanupPolicy& policy) {
        return FinderHandoff::moveToTrash(path, policy);
    };
    services.finderHandoffAvailable = [] { return FinderHandoff::isAvailable(); };
    services.dryRun = [](const std::vector<CleanupExecutor::PathSize>& paths, const CleanupPolicy& policy) {
        const CloudStatus cloud = CloudDetector::detect();
        return CleanupExecutor::run(paths, CleanupExecutor::Mode::dryRun, policy, cloud);
    };
    return services;
}

AppsModel::AppsModel(QObject* parent) : AppsModel(Services::standard(), parent) {}

AppsModel::AppsModel(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {
    const Services standard = Services::standard();
    if (!services_.inventory) services_.inventory = standard.inventory;
    if (!services_.whereLooked) services_.whereLooked = standard.whereLooked;
    if (!services_.runningBundleIdentifiers) services_.runningBundleIdentifiers = standard.runningBundleIdentifiers;
    if (!services_.finderHandoffAvailable)
        services_.finderHandoffAvailable = services_.finderHandoff ? std::function<bool()>([] { return true; })
                                                                   : standard.finderHandoffAvailable;
    if (!services_.finderHandoff) services_.finderHandoff = standard.finderHandoff;
    if (!services_.dryRun) services_.dryRun = standard.dryRun;
}

AppsModel::~AppsModel() = default;

// MARK: published state

void AppsModel::setApps(std::vector<InstalledApp> apps) {
    if (Models::assignIfChanged(apps_, std::move(apps))) emit appsChanged();
}
void AppsModel::setIsScanning(bool value) {
    if (Models::assignIfChanged(isScanning_, value)) emit isScanningChanged();
}
void AppsModel::setScannedAt(std::optional<Date> date) {
    scannedAt_ = std::move(date);
}
void AppsModel::setSelectedApp(std::optional<InstalledApp> app) {
    if (Models::assignIfChanged(selectedApp_, std::move(app))) emit selectedAppChanged();
}
void AppsModel::setSelectedPaths(std::set<std::string> paths) {
    if (Models::assignIfChanged(selectedPaths_, std::move(paths))) emit selectedPathsChanged();
}
void AppsModel::setPreview(std::vector<CleanupOutcome> outcomes) {
    if (Models::assignIfChanged(preview_, std::move(outcomes))) emit previewChanged();
}
void AppsModel::setIsPreviewing(bool value) {
    if (Models::assignIfChanged(isPreviewing_, value)) emit isPreviewingChanged();
}
void AppsModel::setStage(Stage stage) {
    if (Models::assignIfChanged(stage_, stage)) emit stageChanged();
}
void AppsModel::setHandoff(HandoffState state) {
    if (Models::assignIfChanged(handoff_, std::move(state))) emit handoffChanged();
}
void AppsModel::setFailure(std::optional<std::string> failure) {
    if (Models::assignIfChanged(failure_, std::move(failure))) emit failureChanged();
}

void AppsModel::setSaveError(std::optional<std::string> error) {
    if (Models::assignIfChanged(saveError_, std::move(error))) emit saveErrorChanged();
}

// MARK: derived values

std::vector<InstalledApp> AppsModel::removableApps() const {
    std::vector<InstalledApp> list;
    for (const auto& app : apps_)
        if (counts(app)) list.push_back(app);
    return list;
}

std::vector<InstalledApp> AppsModel::appsNeedingAdministrator() const {
    std::vector<InstalledApp> list;
    for (const auto& app : apps_)
        if (app.removability.kind == InstalledApp::Removability::Kind::needsAdministrator) list.push_back(app);
    return list;
}

int64_t AppsModel::totalLeftovers() const {
    int64_t total = 0;
    for (const auto& app : apps_)
        if (counts(app)) total += app.leftoverSize();
    return total;
}

std::vector<CleanupExecutor::PathSize> AppsModel::targets() const {
    std::vector<CleanupExecutor::PathSize> list;
    if (!selectedApp_) return list;
    const InstalledApp& app = *selectedApp_;
    if (selectedPaths_.count(app.bundlePath)) list.push_back({app.bundlePath, app.bundleSize});
    for (const auto& leftover : app.leftovers)
        if (selectedPaths_.count(leftover.path)) list.push_back({leftover.path, leftover.size});
    return list;
}

int64_t AppsModel::selectedSize() const {
    int64_t total = 0;
    for (const auto& target : targets()) total += target.size;
    return total;
}

CleanupPolicy AppsModel::policy() const {
    return selectedApp_ ? CleanupPolicy::forUninstalling(selectedApp_->bundlePath) : CleanupPolicy::standard();
}

std::vector<CleanupOutcome> AppsModel::allowed() const {
    std::vector<CleanupOutcome> list;
    for (const auto& outcome : preview_)
        if (outcome.moved() || outcome.wouldMove()) list.push_back(outcome);
    return list;
}

std::vector<CleanupOutcome> AppsModel::refused() const {
    std::vector<CleanupOutcome> list;
    for (const auto& outcome : preview_)
        if (outcome.refusal() || outcome.failure()) list.push_back(outcome);
    return list;
}

// MARK: inventory and selection

void AppsModel::scanIfNeeded() {
    if (apps_.empty() && !isScanning_) rescan();
}

void AppsModel::rescan() {
    if (task_) task_->cancelled = true;
    setIsScanning(true);
    setFailure(std::nullopt);
    auto task = std::make_shared<Task>();
    task_ = task;
    // The walk is never cancelled: a superseded run finishes and its result is dropped.
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [inventory = services_.inventory, whereLooked = services_.whereLooked] {
            ScanControl control;
            return std::make_pair(inventory(control), whereLooked());
        },
        [task](AppsModel& model, std::pair<std::vector<InstalledApp>, Looked> found) {
            if (task->cancelled) return;
            std::vector<InstalledApp>& apps = found.first;
            model.looked_ = std::move(found.second);
            const std::optional<std::string> previous =
                model.selectedApp_ ? std::optional<std::string>(model.selectedApp_->bundlePath) : std::nullopt;
            model.setApps(std::move(apps));
            model.setIsScanning(false);
            model.setScannedAt(now());
            // The outcome of an uninstall stays on screen until the user leaves it: the
            // inventory that follows the move would otherwise replace it within a moment,
            // failures included.
            if (previous && model.stage_ != Stage::done) model.selectBundlePath(previous);
        },
        [task](AppsModel& model, const std::string& reason) {
            if (task->cancelled) return;
            model.setIsScanning(false);
            model.setFailure(Models::failureSentence("listing the installed apps", reason));
        });
}

void AppsModel::select(const std::optional<InstalledApp>& app) {
    ++selectionGeneration_;
    if (isPreviewing_) setIsPreviewing(false);
    setSelectedApp(app);
    setStage(Stage::browsing);
    setPreview({});
    setHandoff(HandoffState::idle());

    std::set<std::string> ticks;
    if (app) {
        if (app->removability.kind == InstalledApp::Removability::Kind::removable) ticks.insert(app->bundlePath);
        for (const auto& leftover : app->leftovers) {
            // Name-only matches are guesses, and shared folders need an administrator.
            if (leftover.requiresAdministrator) continue;
            if (leftover.match.kind == AppLeftover::Match::Kind::appName) continue;
            // What an app of unknown identity may own is not taken as this one's unasked.
            if (leftover.ownerInDoubt) continue;
            ticks.insert(leftover.path);
        }
    }
    setSelectedPaths(std::move(ticks));
}

void AppsModel::selectBundlePath(const std::optional<std::string>& bundlePath) {
    if (bundlePath) {
        auto found = std::find_if(apps_.begin(), apps_.end(),
                                  [&](const InstalledApp& app) { return app.bundlePath == *bundlePath; });
        if (found != apps_.end()) {
            select(std::optional<InstalledApp>(*found));
            return;
        }
    }
    select(std::optional<InstalledApp>());
}

void AppsModel::syncSelection(const std::optional<std::string>& bundlePath) {
    const std::optional<std::string> current =
        selectedApp_ ? std::optional<std::string>(selectedApp_->bundlePath) : std::nullopt;
    if (current == bundlePath) return;
    selectBundlePath(bundlePath);
}

void AppsModel::toggle(const std::string& path) {
    if (stage_ == Stage::working) return;
    if (selectedApp_ && path == selectedApp_->bundlePath &&
        selectedApp_->removability.kind != InstalledApp::Removability::Kind::removable)
        return; // a bundle this program cannot move is never ticked here
    std::set<std::string> ticks = selectedPaths_;
    if (!ticks.erase(path)) ticks.insert(path);
    setSelectedPaths(std::move(ticks));
}

// MARK: removal

void AppsModel::review() {
    if (stage_ == Stage::confirming || stage_ == Stage::working) return;
    const auto paths = targets();
    if (paths.empty()) return;
    setPreview({});
    setStage(Stage::reviewing);
    setIsPreviewing(true);
    setFailure(std::nullopt);
    const CleanupPolicy captured = policy();
    const uint64_t generation = ++selectionGeneration_;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [paths, captured, dryRun = services_.dryRun] { return dryRun(paths, captured); },
        [generation](AppsModel& model, std::vector<CleanupOutcome> outcomes) {
            // Only the newest dry run may become what "uninstall" moves: one started before
            // another selection, review or "Back" would move paths the user has unticked.
            if (generation != model.selectionGeneration_) return;
            model.setIsPreviewing(false);
            model.setPreview(std::move(outcomes));
        },
        [generation](AppsModel& model, const std::string& reason) {
            if (generation != model.selectionGeneration_) return;
            // Nothing was checked, so nothing may be moved: back to the ticks.
            model.setIsPreviewing(false);
            model.setStage(Stage::browsing);
            model.setFailure(Models::failureSentence("checking what can be moved", reason));
        });
}

void AppsModel::back() {
    if (stage_ == Stage::working) return;
    ++selectionGeneration_;
    setStage(Stage::browsing);
    setPreview({});
    if (isPreviewing_) setIsPreviewing(false);
}

void AppsModel::confirm() {
    if (stage_ != Stage::reviewing || isPreviewing_ || allowed().empty()) return;
    setStage(Stage::confirming);
}

void AppsModel::cancelConfirm() {
    if (stage_ == Stage::confirming) setStage(Stage::reviewing);
}

void AppsModel::uninstall() {
    // A second press, or one after the move, would move the same paths again.
    if (stage_ != Stage::reviewing && stage_ != Stage::confirming) return;
    if (!selectedApp_ || isPreviewing_) return;
    const auto allowedOutcomes = allowed();
    if (allowedOutcomes.empty()) return;
    setStage(Stage::working);
    setFailure(std::nullopt);
    std::vector<CleanupExecutor::PathSize> paths;
    for (const auto& outcome : allowedOutcomes) paths.push_back({outcome.path, outcome.size});
    const CleanupPolicy captured = policy();
    const std::string name = selectedApp_->name;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [paths, captured, name, hold = RemovalRun::holdInFlight(), claimed = RemovalRun::claim(paths)] {
            // Recorded on this worker, ahead of the moves: items in the Trash reach the
            // history even if the model is gone before the result arrives.
            RemovalRun::Request request;
            request.paths = paths;
            request.claim = claimed;
            request.policy = captured;
            request.cloud = CloudDetector::detect();
            request.run.scope = "uninstalling " + name;
            request.run.allowedRoots = captured.allowedRoots;
            return RemovalRun::moveAndRecord(std::move(request));
        },
        [](AppsModel& model, RemovalRun::Result result) {
            model.setSaveError(result.saveError);
            model.setPreview(std::move(result.outcomes));
            model.setStage(Stage::done);
            emit model.itemsMoved(MovedItems::of(model.preview_));
            emit model.trashChanged();
            model.rescan();
        },
        [](AppsModel& model, const std::string& reason) {
            // What moved before the stop is recorded; the inventory read next shows what is left.
            model.setPreview({});
            model.setStage(Stage::done);
            emit model.trashChanged();
            model.rescan();
            model.setFailure(Models::failureSentence("the move to the Trash", reason) +
                             " What was moved is listed in the history.");
        });
}

void AppsModel::moveBundleWithFinder() {
    if (!selectedApp_ || selectedApp_->removability.kind != InstalledApp::Removability::Kind::needsAdministrator)
        return;
    if (handoff_.kind == HandoffState::Kind::working) return;
    const InstalledApp app = *selectedApp_;
    if (app.bundleIdentifier) {
        const auto running = services_.runningBundleIdentifiers();
        if (std::find(running.begin(), running.end(), *app.bundleIdentifier) != running.end()) {
            setHandoff(HandoffState::failed("Quit " + app.name + " first."));
            return;
        }
    }
    setHandoff(HandoffState::working());

    // The bundle is by definition not writable by the user: only the Finder, with the
    // user's password, can move it, so the guard must not refuse it for that.
    CleanupPolicy captured = CleanupPolicy::forUninstalling(app.bundlePath);
    captured.requiresWritability = false;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [handoff = services_.finderHandoff, path = app.bundlePath, captured, name = app.name, size = app.bundleSize,
         hold = RemovalRun::holdInFlight()] {
            // The Finder moves the bundle; the run is recorded around it on this worker, so a
            // model that is gone cannot lose it. A hand-off that moved nothing leaves no run.
            FinderHandoff::Outcome outcome = FinderHandoff::Failure::notPermitted();
            bool handedOver = false;
            RemovalRun::Request request;
            request.paths = {{path, size}};
            request.policy = captured;
            request.run.scope = name + ", moved by the Finder";
            request.run.allowedRoots = captured.allowedRoots;
            request.keepIfNothingMoved = false;
            request.mover = [&](const std::vector<CleanupExecutor::PathSize>& picked, const CleanupPolicy& policy,
                                const std::optional<CloudStatus>&, const CleanupExecutor::Progress&) {
                std::vector<CleanupOutcome> outcomes;
                handedOver = true;
                for (const auto& item : picked) {
                    outcome = handoff(item.path, policy);
                    CleanupOutcome moved;
                    moved.path = item.path;
                    moved.size = item.size;
                    if (const auto* result = std::get_if<FinderHandoff::Result>(&outcome)) {
                        moved.path = result->path;
                        // An unknown place stays empty, never a made-up one: a restore then
                        // finds the item by the Trash's record of where it came from.
                        moved.result = CleanupOutcome::MovedToTrash{result->trashPath.value_or(std::string())};
                    } else {
                        moved.result = CleanupOutcome::Failed{std::get<FinderHandoff::Failure>(outcome).description()};
                    }
                    outcomes.push_back(std::move(moved));
                }
                return outcomes;
            };
            RemovalRun::Result recorded = RemovalRun::moveAndRecord(std::move(request));
            // Never handed over (the history could not be written first): the reason is the failure.
            if (!handedOver && recorded.saveError)
                return std::make_pair(FinderHandoff::Outcome(FinderHandoff::Failure::finderFailed(*recorded.saveError)),
                                      std::optional<std::string>());
            return std::make_pair(std::move(outcome), std::move(recorded.saveError));
        },
        [name = app.name](AppsModel& model, std::pair<FinderHandoff::Outcome, std::optional<std::string>> result) {
            model.setSaveError(result.second);
            FinderHandoff::Outcome& outcome = result.first;
            if (const auto* failure = std::get_if<FinderHandoff::Failure>(&outcome)) {
                model.setHandoff(HandoffState::failed(handoffMessage(*failure)));
                return;
            }
            model.setHandoff(HandoffState::done(name + " is in the Trash."));
            emit model.trashChanged();
            model.rescan();
        },
        [](AppsModel& model, const std::string& reason) {
            model.setHandoff(HandoffState::failed(Models::failureSentence("handing the app over", reason)));
        });
}

} // namespace sorvel
