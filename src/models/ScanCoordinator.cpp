// Creation, published setters and the scan lifecycle: start, the progress poll that folds
// finished roots into the result, completion on the main thread, and cancel.
#include "models/ScanCoordinator.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "engine/MultiRootScan.h"
#include "engine/VolumeProbe.h"
#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "platform/Calendar.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "removal/OfferScreen.h"

namespace sorvel {

namespace {

constexpr int kPollIntervalMs = 120;

double secondsBetween(Date from, Date to) { return std::chrono::duration<double>(to - from).count(); }

} // namespace

// What a scan's worker hands back: the result with its recommendations, and the reads and
// writes of the disk that follow a scan, done there rather than on the main thread.
struct ScanCoordinator::ScanOutcome {
    ScanResult result;
    bool finished = false; // not cancelled: everything below is filled in
    Date finishedAt;
    std::shared_ptr<const ScanControl::Inodes> inodes;
    CloudStatus cloud;
    std::vector<StorageSnapshot> trends;
    SaveStatus trendsSaved;
    std::optional<std::string> trendsUnread;
};

ScanCoordinator::Services ScanCoordinator::Services::standard() {
    Services s;
    s.scan = [](ScanControl& control, ScanScope scope) { return MultiRootScan::scanSynchronously(control, scope); };
    s.recommend = [](const ScanResult& result) { return OfferScreen::recommendations(result); };
    s.analyzeFolder = [](const std::string& path, const std::set<std::string>& excluded,
                         const std::function<bool()>& isCancelled) {
        // What the scan passes over by name is left out too, so the page's figures agree.
        return InsightScanner::analyze(path, excluded, FileWalker::Options().skippedNames, isCancelled);
    };
    s.dockerPath = [] { return DockerInspector::dockerPath(); };
    s.inspectDocker = [] { return DockerInspector::inspect(); };
    s.runCleanup = [](const std::vector<CleanupExecutor::PathSize>& paths, CleanupExecutor::Mode mode,
                      const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud,
                      const CleanupExecutor::Progress& progress) {
        return CleanupExecutor::run(paths, mode, policy, cloud, progress);
    };
    s.startWatcher = [](FileSystemWatcher& watcher, const std::vector<std::string>& roots) { watcher.start(roots); };
    s.walk = [](const std::string& path, ScanControl& control, const FileWalker::Options& options) {
        return FileWalker::walkParallel(path, control, options);
    };
    return s;
}

ScanCoordinator::ScanCoordinator(QObject* parent) : ScanCoordinator(Services::standard(), parent) {}

ScanCoordinator::ScanCoordinator(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    const Date created = now();
    Models::keepTreesOffMainThread();
    result_.scope = ScanScope::systemData;
    result_.volume = VolumeProbe::stats(homeDirectory());
    result_.finishedAt = created;
    result_.fullDiskAccess = false;
    fullDiskAccess_ = VolumeProbe::hasFullDiskAccess();
    cloud_ = CloudDetector::detect();
    trends_ = StorageTrends::load();
    trendsUnread_ = StorageTrends::unreadNote();
    startedAt_ = created;
}

// Only what is held is released: a scan in flight keeps its own control and finds the
// coordinator gone when it comes back.
ScanCoordinator::~ScanCoordinator() {
    // A watcher set-up still in flight gives up, and so lets its watches go, early.
    if (setUpAbandoned_) setUpAbandoned_->store(true);
}

bool ScanCoordinator::argumentsRequestScan(const QStringList& arguments) {
    return arguments.contains(QStringLiteral("--scan"));
}

bool ScanCoordinator::skipsAccessGate() {
    static const bool skips = argumentsRequestScan(QCoreApplication::arguments());
    return skips;
}

// MARK: published setters

void ScanCoordinator::setPhase(Phase phase) {
    if (phase_ == phase) return;
    phase_ = phase;
    emit phaseChanged();
}

// Every result handed here is a newly built one (its nodes are new), so it is always a change.
void ScanCoordinator::publishResult(ScanResult result) {
    result_ = std::move(result);
    emit resultChanged();
}

bool ScanCoordinator::setScannedBytes(int64_t bytes) { return Models::assignIfChanged(scannedBytes_, bytes); }


bool ScanCoordinator::setCurrentPath(std::string path) {
    return Models::assignIfChanged(currentPath_, std::move(path));
}

bool ScanCoordinator::setElapsed(double seconds) { return Models::assignIfChanged(elapsed_, seconds); }

void ScanCoordinator::setFullDiskAccess(bool value) {
    if (fullDiskAccess_ == value) return;
    fullDiskAccess_ = value;
    emit fullDiskAccessChanged();
}

void ScanCoordinator::setSelectedCleanupIDs(std::set<std::string> ids) {
    // Only what the current result offers to act on can be ticked, whoever asks.
    std::set<std::string> actionable;
    for (const auto& item : result_.cleanupItems)
        if (item.isActionable()) actionable.insert(item.id);
    std::erase_if(ids, [&](const std::string& id) { return !actionable.count(id); });
    if (selectedCleanupIDs_ == ids) return;
    selectedCleanupIDs_ = std::move(ids);
    emit selectedCleanupIDsChanged();
}

void ScanCoordinator::setResultIsStale(bool value) {
    resultIsStale_ = value;
}

void ScanCoordinator::setHasPendingChanges(bool value) {
    if (hasPendingChanges_ == value) return;
    hasPendingChanges_ = value;
    emit hasPendingChangesChanged();
}

void ScanCoordinator::setLastLiveUpdate(std::optional<Date> value) {
    if (lastLiveUpdate_ == value) return;
    lastLiveUpdate_ = value;
    emit lastLiveUpdateChanged();
}

void ScanCoordinator::setInsights(std::optional<FolderInsights> value) {
    if (Models::assignIfChanged(insights_, std::move(value))) emit insightsChanged();
}

void ScanCoordinator::setInsightsLoading(bool value) {
    if (insightsLoading_ == value) return;
    insightsLoading_ = value;
    emit insightsLoadingChanged();
}

void ScanCoordinator::setScope(ScanScope scope) {
    const ScanScope old = scope_;
    if (old == scope) return;
    scope_ = scope;
    emit scopeChanged();
    // A new scope invalidates the page shown: leave it without a history entry, then rescan.
    setSelectedCategory(std::nullopt);
    setDrillPath({});
    start();
}

// MARK: lifecycle

bool ScanCoordinator::hasResult() const {
    if (phase_ == Phase::done) return true;
    return phase_ == Phase::cancelled && !result_.categories.empty();
}

void ScanCoordinator::startIfNeeded() {
    if (phase_ != Phase::idle) return;
    startIfNeeded(fullDiskAccess_ ? false : skipsAccessGate());
}

void ScanCoordinator::startIfNeeded(bool skipsGate) {
    if (phase_ != Phase::idle) return;
    if (fullDiskAccess_ || skipsGate) start();
}

void ScanCoordinator::start() {
    cancel();
    ++scanGeneration_;
    auto control = std::make_shared<ScanControl>();
    // A scan stopped part way leaves its tables of hard-linked files in its control.
    Models::releaseElsewhere(std::exchange(control_, control));

    setPhase(Phase::scanning);
    setFailure(std::nullopt);
    bool progressMoved = setScannedBytes(0);
    progressMoved |= setElapsed(0);
    progressMoved |= setCurrentPath({});
    resetNavigation();
    startedAt_ = now();

    definitions_ = DisplayCategory::categories(scope_);
    partialRoots_.clear();
    int existing = 0;
    for (const auto& definition : definitions_)
        for (const auto& root : definition.roots)
            if (FileManager::presence(root) != FileManager::Presence::absent) ++existing;
    progressMoved |= Models::assignIfChanged(completedRoots_, 0);
    progressMoved |= Models::assignIfChanged(totalRoots_, existing);
    if (progressMoved) emit progressChanged();
    setResultIsStale(false);

    ScanResult empty;
    empty.scope = scope_;
    // Kept, not read again, while the disks stay those of the scope shown.
    const bool sameDisks = result_.scope == scope_;
    empty.volume = result_.volume;
    if (sameDisks) empty.disks = result_.disks;
    empty.finishedAt = now();
    empty.fullDiskAccess = fullDiskAccess_;
    // The tree shown until now is let go of on a worker: a whole disk's takes long to free.
    Models::releaseElsewhere(std::make_shared<const ScanResult>(std::move(result_)));
    publishResult(std::move(empty));
    if (!sameDisks) probeDisks();

    setSelectedCleanupIDs({});
    setInsights(std::nullopt);
    insightsPath_.reset();

    // The poll holds this scan's control; being a child, it goes with the coordinator.
    pollTask_ = new QTimer(this);
    pollTask_->setInterval(kPollIntervalMs);
    connect(pollTask_, &QTimer::timeout, this, [this, control] { poll(control); });
    pollTask_->start();

    scanRequest_.begin();
    // Live passes measure folders of this tree again later: who counted each hard-linked
    // file must be known then.
    control->keepInodeOwners();
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [control, scope = scope_, started = startedAt_, scan = services_.scan, recommend = services_.recommend] {
            ScanOutcome outcome;
            outcome.result = scan(*control, scope);
            if (control->cancelled()) return outcome;
            outcome.finishedAt = now();
            outcome.result.duration = secondsBetween(started, outcome.finishedAt);
            outcome.result.cleanupItems = recommend(outcome.result);
            outcome.inodes = std::make_shared<const ScanControl::Inodes>(control->takeInodes());
            outcome.cloud = CloudDetector::detect();
            if (control->cancelled()) return outcome;
            outcome.trends = StorageTrends::record(outcome.result, outcome.finishedAt, Calendar::current(),
                                                   &outcome.trendsSaved);
            outcome.trendsUnread = StorageTrends::unreadNote();
            // The tree holds the record just made of it.
            measureOwnRecordsAgain(outcome.result);
            outcome.finished = true;
            return outcome;
        },
        [control](ScanCoordinator& self, ScanOutcome outcome) { self.completeScan(control, std::move(outcome)); },
        [control](ScanCoordinator& self, const std::string& reason) { self.failScan(control, reason); });
}

// Another scope lies on other disks (Whole Disk's is the root file system): they are read
// on a worker and shown as soon as they are known, before the scan's end brings them again.
void ScanCoordinator::probeDisks() {
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [scope = scope_, definitions = definitions_] { return MultiRootScan::probeDisks(scope, definitions); },
        [generation = scanGeneration_](ScanCoordinator& self, ScopeDisks disks) {
            if (generation != self.scanGeneration_ || self.phase_ != Phase::scanning || disks.disks.empty()) return;
            ScanResult copy = self.result_;
            copy.volume = disks.disks.front().volume;
            copy.disks = std::move(disks);
            self.publishResult(std::move(copy));
        },
        [](ScanCoordinator&, const std::string&) {});
}

// Ends like a stopped scan, with what was measured so far, and says why.
void ScanCoordinator::failScan(const std::shared_ptr<ScanControl>& control, const std::string& reason) {
    if (control != control_) return;
    if (pollTask_) {
        pollTask_->stop();
        pollTask_->deleteLater();
        pollTask_ = nullptr;
    }
    setFailure(Models::failureSentence("the scan", reason));
    if (setElapsed(secondsBetween(startedAt_, now()))) emit progressChanged();
    setPhase(Phase::cancelled);
}

void ScanCoordinator::setFailure(std::optional<std::string> failure) {
    if (Models::assignIfChanged(failure_, std::move(failure))) emit failureChanged();
}

// One tick: everything that moved is announced with one progressChanged, then the result
// takes in the roots that finished.
void ScanCoordinator::poll(const std::shared_ptr<ScanControl>& control) {
    const auto progress = control->progress();
    bool moved = setScannedBytes(progress.bytes);
    moved |= setCurrentPath(progress.currentPath);
    moved |= setElapsed(secondsBetween(startedAt_, now()));
    const bool rootsFinished = countFinishedRoots(control->takeCompleted());
    if (moved || rootsFinished) emit progressChanged();
    if (rootsFinished) publishFoldedRoots();
    if (phase_ != Phase::scanning && pollTask_) {
        pollTask_->stop();
    }
}

bool ScanCoordinator::countFinishedRoots(std::vector<ScanControl::Completed> finished) {
    for (auto& done : finished) {
        // A root the stop cut short is shown, marked partial, but is not measured.
        if (done.node && !done.node->partial) ++completedRoots_;
        partialRoots_[done.categoryID].push_back(std::move(done.node));
    }
    return !finished.empty();
}

void ScanCoordinator::publishFoldedRoots() {
    std::vector<CategoryResult> categories;
    for (const auto& definition : definitions_) {
        auto it = partialRoots_.find(definition.id);
        if (it == partialRoots_.end()) continue;
        CategoryResult category{definition, it->second};
        sortBySizeDescending(category.roots);
        categories.push_back(std::move(category));
    }
    ScanResult copy = result_;
    copy.categories = std::move(categories);
    publishResult(std::move(copy));
}

void ScanCoordinator::completeScan(const std::shared_ptr<ScanControl>& control, ScanOutcome outcome) {
    // A scan that a later start() replaced says nothing about the one now running.
    if (control != control_) return;
    if (pollTask_) {
        pollTask_->stop();
        pollTask_->deleteLater();
        pollTask_ = nullptr;
    }
    if (control->cancelled() || !outcome.finished) {
        // The roots a stop cut short come back after it: their figures show, marked partial.
        if (countFinishedRoots(control->takeCompleted())) {
            emit progressChanged();
            publishFoldedRoots();
        }
        setPhase(Phase::cancelled);
        return;
    }
    // The table of the files the last tree counted is let go of on a worker: a whole disk's is big.
    Models::releaseElsewhere(std::exchange(treeInodes_, std::move(outcome.inodes)));
    publishResult(std::move(outcome.result));

    std::set<std::string> preselected;
    for (const auto& item : result_.cleanupItems)
        if (item.isSafeToClean()) preselected.insert(item.id);
    setSelectedCleanupIDs(std::move(preselected));

    int64_t total = 0;
    for (const auto& category : result_.categories)
        for (const auto& root : category.roots) total += root->size;
    bool progressMoved = setScannedBytes(total);
    setPhase(Phase::done);
    setHasPendingChanges(false);
    setLastLiveUpdate(std::nullopt);
    startWatching();
    setFullDiskAccess(result_.fullDiskAccess);
    if (Models::assignIfChanged(cloud_, std::move(outcome.cloud))) emit cloudChanged();
    progressMoved |= setCurrentPath({});
    progressMoved |= setElapsed(result_.duration);
    if (progressMoved) emit progressChanged();
    const bool unreadChanged = Models::assignIfChanged(trendsUnread_, std::move(outcome.trendsUnread));
    if (Models::assignIfChanged(trends_, std::move(outcome.trends)) || unreadChanged) emit trendsChanged();
    std::optional<std::string> trendsError;
    if (!outcome.trendsSaved) trendsError = trendsNotSavedMessage(outcome.trendsSaved);
    if (Models::assignIfChanged(trendsSaveError_, std::move(trendsError))) emit trendsSaveErrorChanged();
}

std::string ScanCoordinator::trendsNotSavedMessage(const SaveStatus& status) {
    return status.notSaved("Sorvel could not save this measurement to its storage trends",
                           "so the trends will not show it");
}

void ScanCoordinator::cancel() {
    // A load dropped here would otherwise leave its flag claiming work that never ends,
    // and an unforced Docker request would then never inspect again.
    if (dockerRequest_.live()) {
        dockerRequest_.cancel();
        setDockerLoading(false);
    }
    if (insightsRequest_.live()) {
        insightsRequest_.cancel();
        setInsightsLoading(false);
        // Nothing describes that folder now: asking for it again must load it.
        if (!insights_) insightsPath_.reset();
    }
    changes_.cancel();
    cancelLivePass();
    stopWatching();
    if (control_) control_->cancel();
    if (pollTask_) {
        pollTask_->stop();
        pollTask_->deleteLater();
        pollTask_ = nullptr;
    }
    scanRequest_.cancel();
    if (phase_ == Phase::scanning) {
        // A stopped scan ran until now, not until the last progress tick.
        if (setElapsed(secondsBetween(startedAt_, now()))) emit progressChanged();
        setPhase(Phase::cancelled);
    }
}

} // namespace sorvel
