#pragma once
// The one long-lived model behind the main window: the current scan result, the scan's
// phases and progress, page navigation, cleanup runs, folder insights and Docker loading,
// and live updates of the finished tree. Lives on the main thread; heavy work runs on
// worker threads and comes back through the event loop. Published values are read through
// getters and announced by one signal each.
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/DockerInspector.h"
#include "analysis/FolderInsights.h"
#include "analysis/StorageTrends.h"
#include "cleanup/CloudStatus.h"
#include "engine/CleanupItem.h"
#include "engine/DisplayCategory.h"
#include "engine/FileSystemWatcher.h"
#include "engine/FileWalker.h"
#include "engine/ScanControl.h"
#include "engine/ScanResult.h"
#include "engine/TreeMoves.h"
#include "engine/TreeUpdater.h"
#include "models/LatestRequest.h"
#include "models/MovedItems.h"
#include "models/NavigationHistory.h"
#include "models/QuietPeriod.h"
#include "models/Tool.h"
#include "removal/CleanupExecutor.h"

class QTimer;

namespace sorvel {

class ScanCoordinator final : public QObject {
    Q_OBJECT
public:
    enum class Phase { idle, scanning, done, cancelled };

    using NavigationState = sorvel::NavigationState;

    /// The slow services the coordinator calls. The standard set is the machine's own;
    /// tests hand in stand-ins to control timing and what comes back.
    struct Services {
        std::function<ScanResult(ScanControl&, ScanScope)> scan;
        std::function<std::vector<CleanupItem>(const ScanResult&)> recommend;
        /// Path, paths left out of it, cancellation.
        std::function<FolderInsights(const std::string&, const std::set<std::string>&, const std::function<bool()>&)>
            analyzeFolder;
        std::function<std::optional<std::string>()> dockerPath;
        std::function<DockerUsage()> inspectDocker;
        std::function<std::vector<CleanupOutcome>(const std::vector<CleanupExecutor::PathSize>&,
                                                  CleanupExecutor::Mode, const CleanupPolicy&,
                                                  const std::optional<CloudStatus>&,
                                                  const CleanupExecutor::Progress&)>
            runCleanup;
        /// Starts a live-update watcher over the scanned roots; runs on a worker thread.
        std::function<void(FileSystemWatcher&, const std::vector<std::string>&)> startWatcher;
        /// Measures one folder again for a live update; runs on a worker thread.
        std::function<ScanNodePtr(const std::string&, ScanControl&, const FileWalker::Options&)> walk;
        /// Starts the watch over the folders above the roots missing, on the main thread;
        /// none: the watcher's own start.
        std::function<void(FileSystemWatcher&, const std::vector<std::string>&)> watchAboveMissing;
        static Services standard();
    };

    using Outcomes = std::vector<CleanupOutcome>;
    using OutcomesHandler = std::function<void(const Outcomes&)>;
    /// Hears why a run stopped before it returned outcomes: the sentence to show.
    using FailureHandler = std::function<void(const std::string&)>;

    explicit ScanCoordinator(QObject* parent = nullptr);
    explicit ScanCoordinator(Services services, QObject* parent = nullptr);
    ~ScanCoordinator() override;

    /// Whether the process was started with "--scan" (worked out once).
    static bool skipsAccessGate();
    static bool argumentsRequestScan(const QStringList& arguments);

    // Published state.
    Phase phase() const { return phase_; }
    const ScanResult& result() const { return result_; }
    int64_t scannedBytes() const { return scannedBytes_; }
    const std::string& currentPath() const { return currentPath_; }
    double elapsed() const { return elapsed_; }
    bool fullDiskAccess() const { return fullDiskAccess_; }
    const CloudStatus& cloud() const { return cloud_; }
    ScanScope scope() const { return scope_; }
    void setScope(ScanScope scope);
    const std::optional<std::string>& selectedCategory() const { return selectedCategory_; }
    const std::vector<ScanNodePtr>& drillPath() const { return drillPath_; }
    int navigationToken() const { return navigationToken_; }
    const std::set<std::string>& selectedCleanupIDs() const { return selectedCleanupIDs_; }
    /// Keeps only the ids of the current result's items that may be ticked.
    void setSelectedCleanupIDs(std::set<std::string> ids);
    const std::vector<StorageSnapshot>& trends() const { return trends_; }
    /// Why the last scan's measurement could not be added to the stored trends; none when it was.
    const std::optional<std::string>& trendsSaveError() const { return trendsSaveError_; }
    /// Why the stored trends could not be read, where they are and what the next
    /// measurement does with them; none when they read.
    const std::optional<std::string>& trendsUnread() const { return trendsUnread_; }
    static std::string trendsNotSavedMessage(const SaveStatus& status);
    CleanupProgress cleanupProgress() const { return cleanupProgress_; }
    bool resultIsStale() const { return resultIsStale_; }
    /// Why the last cleanup run could not be written to the history; none when it was.
    const std::optional<std::string>& cleanupSaveError() const { return cleanupSaveError_; }
    /// Why the last scan, cleanup run, insight or Docker reading, or live update stopped
    /// before it finished; cleared when a scan starts.
    const std::optional<std::string>& failure() const { return failure_; }
    const std::optional<FolderInsights>& insights() const { return insights_; }
    bool insightsLoading() const { return insightsLoading_; }
    const std::optional<DockerUsage>& docker() const { return docker_; }
    bool dockerLoading() const { return dockerLoading_; }
    bool liveUpdatesEnabled() const { return liveUpdatesEnabled_; }
    void setLiveUpdatesEnabled(bool enabled);
    /// True once the finished tree's watcher is set up and running; changes made before
    /// then are not seen.
    bool isWatching() const;
    /// Folders of the scanned trees that live updates follow, and those left without a
    /// watch once the process's share of the system's watches ran out: changes below them
    /// show only after a rescan. Both zero while not watching; announced by watchingChanged.
    size_t watchedFolders() const { return watchedFolders_; }
    size_t unwatchedFolders() const { return unwatchedFolders_; }
    /// The folders past the share are still being counted: unwatchedFolders is a figure so
    /// far, not the whole count. Announced by watchingChanged.
    bool stillCountingUnwatched() const { return stillCounting_; }
    /// Live updates could not start: no watch was left in the process's share or the
    /// system's. Announced by watchingChanged.
    bool watchesRanOut() const { return watchesRanOut_; }
    bool hasPendingChanges() const { return hasPendingChanges_; }
    const std::optional<Date>& lastLiveUpdate() const { return lastLiveUpdate_; }

    // Read by the overview while scanning.
    /// Roots measured whole; a root a stop cut short is shown but not counted here.
    int completedRoots() const { return completedRoots_; }
    int totalRoots() const { return totalRoots_; }

    // Scan lifecycle.
    bool hasResult() const;
    void startIfNeeded();
    /// The same with the "--scan" test decided by the caller.
    void startIfNeeded(bool skipsGate);
    void start();
    void cancel();

    // Navigation.
    void move(const NavigationState& target, bool recordingHistory = true);
    void navigateBack();
    void navigateForward();
    void navigateUp();
    bool canGoUp() const;
    std::optional<std::string> parentName() const;
    void show(Tool tool, const std::optional<std::string>& detail = std::nullopt);
    void drill(const ScanNodePtr& node);
    void drillBack(size_t depth);
    void resetNavigation();
    const std::vector<NavigationState>& backStack() const { return history_.backStack(); }
    const std::vector<NavigationState>& forwardStack() const { return history_.forwardStack(); }

    // Cleanup runs.
    std::vector<CleanupItem> selectedCleanupItems() const;
    int64_t selectedCleanupSize() const;
    std::vector<CleanupExecutor::PathSize> selectedTargets() const;
    /// Runs the executor off the main thread; `done` gets the outcomes on the main thread
    /// (not at all when the coordinator is gone by then), or `failed` why there are none.
    void runCleanup(CleanupExecutor::Mode mode, std::optional<std::vector<CleanupExecutor::PathSize>> targets,
                    OutcomesHandler done = nullptr, FailureHandler failed = nullptr);
    /// A real run of the given paths (or the ticked recommendations), recorded in the history.
    void performCleanup(std::optional<std::vector<CleanupExecutor::PathSize>> paths, OutcomesHandler done = nullptr,
                        FailureHandler failed = nullptr);
    /// The one way moved items reach the tree, whoever moved them: each leaves the figures
    /// of the folders it was counted in and is counted where it went when that lies in a
    /// scanned root, with its files, folders and refusals, all in one published change. A
    /// root missing at the scan that an item went into is measured whole first, as is an
    /// item the tree keeps no node for (on a worker; `then` runs once the change is
    /// published, or dropped). Each run's moves are to be folded once.
    void foldMoves(MovedItems::Moves moves, std::function<void()> then = nullptr);

    // Insight and Docker loading.
    /// `excluded`: paths under `path` that belong to other categories and are left out.
    void loadInsights(const std::optional<std::string>& path, const std::set<std::string>& excluded = {});
    void loadDocker(bool force);
    /// Whether Docker's command-line tool is there (asked afresh on every call); screens
    /// show the Docker breakdown only then.
    bool dockerAvailable() const;

    // Live updates: the watcher's batches of changed directories arrive here.
    void absorb(const std::vector<std::string>& paths);
    /// Stops the re-measure pass in flight, if any (the window it was for has closed).
    void cancelLivePass();
    static constexpr int incrementalBudget = 48;

signals:
    /// A move to the Trash from here ended (also one that stopped part way): what it
    /// moved has left its place on disk.
    void trashChanged();
    void phaseChanged();
    void resultChanged();
    // Scanned bytes, files, current path, elapsed time or finished roots moved: ticks every 120 ms.
    void progressChanged();
    void fullDiskAccessChanged();
    void cloudChanged();
    void scopeChanged();
    void selectedCategoryChanged();
    void drillPathChanged();
    void navigationTokenChanged();
    void selectedCleanupIDsChanged();
    void trendsChanged();
    void trendsSaveErrorChanged();
    void cleanupProgressChanged();
    void cleanupSaveErrorChanged();
    void failureChanged();
    void insightsChanged();
    void insightsLoadingChanged();
    void dockerChanged();
    void dockerLoadingChanged();
    void liveUpdatesEnabledChanged();
    void hasPendingChangesChanged();
    void lastLiveUpdateChanged();
    void watchingChanged();

private:
    struct ScanOutcome;
    struct LivePass;

    void setPhase(Phase phase);
    void publishResult(ScanResult result);
    // Progress setters only store and say whether the value moved: each step of a scan
    // announces all its progress with one progressChanged.
    bool setScannedBytes(int64_t bytes);
    bool setCurrentPath(std::string path);
    bool setElapsed(double seconds);
    void setFullDiskAccess(bool value);
    void setSelectedCategory(std::optional<std::string> id);
    void setDrillPath(std::vector<ScanNodePtr> path);
    void raiseNavigationToken();
    void setCleanupProgress(CleanupProgress progress);
    void setResultIsStale(bool value);
    void setCleanupSaveError(std::optional<std::string> error);
    void setFailure(std::optional<std::string> failure);
    void failScan(const std::shared_ptr<ScanControl>& control, const std::string& reason);
    void failLivePass(uint64_t generation, const std::string& reason);
    void setInsights(std::optional<FolderInsights> value);
    void setInsightsLoading(bool value);
    void setDocker(std::optional<DockerUsage> value);
    void setDockerLoading(bool value);
    void setHasPendingChanges(bool value);
    void setLastLiveUpdate(std::optional<Date> value);

    void probeDisks();
    void poll(const std::shared_ptr<ScanControl>& control);
    bool countFinishedRoots(std::vector<ScanControl::Completed> finished);
    void publishFoldedRoots();
    void completeScan(const std::shared_ptr<ScanControl>& control, ScanOutcome outcome);
    void stopWatching();
    void retire(std::unique_ptr<FileSystemWatcher> watcher);
    void startWatching();
    std::function<std::unique_ptr<FileSystemWatcher>(const std::vector<std::string>&)>
    watcherMaker(uint64_t generation, std::shared_ptr<std::atomic<bool>> abandoned);
    void installWatcher(uint64_t generation, std::unique_ptr<FileSystemWatcher> watcher);
    bool watchesStillCounting() const;
    void watchJoinedRoots(std::vector<std::string> roots);
    void installJoinedWatcher(uint64_t generation, std::unique_ptr<FileSystemWatcher> watcher,
                              const std::vector<std::string>& roots);
    bool takeWatchCounts();
    void followCount();
    void watchAgainIfShort();
    void processPendingChanges();
    bool heldBackByMoves();
    // Moves to fold, and what follows once they are published or dropped.
    struct Fold {
        MovedItems::Moves moves;
        std::function<void()> then;
    };
    struct Folded;
    using Appeared = std::vector<std::pair<ScanResult::MissingRoot, ScanNodePtr>>;
    void foldNext();
    void landFold(Folded folded);
    void publishFold(const std::vector<std::string>& adopted);
    static Appeared walkAppeared(const std::vector<ScanResult::MissingRoot>& missing, ScanScope scope,
                                 const TreeUpdater::Walk& walk, std::set<std::string>* present = nullptr);
    static std::vector<std::string> adopt(ScanResult& result, Appeared appeared);
    static std::optional<std::string> ownRecordsIn(const ScanResult& result);
    void recommendAgain();
    /// Off the main thread, on a result no one else holds yet.
    static void measureOwnRecordsAgain(ScanResult& result);
    /// `lookNow`: also measures those that exist already, but those a look just before
    /// found there already (`seen`): one that could not be measured is not asked for again.
    void watchMissingRoots(bool lookNow = true, const std::set<std::string>& seen = {});
    void stopWatchingMissingRoots();
    void noticeMissingRoots();
    void finishLivePass(uint64_t generation, const std::optional<std::string>& insightsPath, LivePass pass);
    void applyLivePass(const std::optional<std::string>& insightsPath, LivePass pass);
    void followNewTree();
    NavigationState position() const;
    void applyCleanupProgress(int done, int total);

    Services services_;

    Phase phase_ = Phase::idle;
    ScanResult result_;
    int64_t scannedBytes_ = 0;
    std::string currentPath_;
    double elapsed_ = 0;
    bool fullDiskAccess_ = false;
    CloudStatus cloud_;
    ScanScope scope_ = ScanScope::systemData;
    std::optional<std::string> selectedCategory_;
    std::vector<ScanNodePtr> drillPath_;
    int navigationToken_ = 0;
    NavigationHistory history_;
    std::set<std::string> selectedCleanupIDs_;
    std::vector<StorageSnapshot> trends_;
    std::optional<std::string> trendsSaveError_;
    std::optional<std::string> trendsUnread_;
    CleanupProgress cleanupProgress_;
    bool resultIsStale_ = false;
    std::optional<std::string> cleanupSaveError_;
    std::optional<std::string> failure_;
    std::optional<FolderInsights> insights_;
    bool insightsLoading_ = false;
    LatestRequest insightsRequest_;
    std::optional<std::string> insightsPath_;
    std::set<std::string> insightsExcluded_;
    std::optional<DockerUsage> docker_;
    bool dockerLoading_ = false;
    LatestRequest dockerRequest_;
    std::vector<DisplayCategory> definitions_;
    std::map<std::string, std::vector<ScanNodePtr>> partialRoots_;
    int completedRoots_ = 0;
    int totalRoots_ = 0;
    bool liveUpdatesEnabled_ = true;
    bool hasPendingChanges_ = false;
    std::optional<Date> lastLiveUpdate_;
    std::unique_ptr<FileSystemWatcher> watcher_;
    // Roots that joined the tree after the scan, each watched by a stream of its own so the
    // trees' watches go on undisturbed; folded into the one set-up at the next restart.
    std::vector<std::unique_ptr<FileSystemWatcher>> joinedWatchers_;
    std::shared_ptr<std::atomic<bool>> joinAbandoned_;
    // Raised by every stop and start of watching: a set-up handed back under an older
    // number is no longer wanted.
    uint64_t watchGeneration_ = 0;
    // Raised when the set-up in flight is no longer wanted, so it stops early.
    std::shared_ptr<std::atomic<bool>> setUpAbandoned_;
    size_t watchedFolders_ = 0;
    size_t unwatchedFolders_ = 0;
    bool watchesRanOut_ = false;
    bool stillCounting_ = false;
    bool followingCount_ = false; // a look at the count of unwatched folders is due
    int setUpsInFlight_ = 0;
    int retiring_ = 0; // watchers being stopped and freed on workers
    bool setUpOverlapped_ = false; // the current set-up began while an older one was in flight
    QuietPeriod changes_{this, 500, [this] { processPendingChanges(); }};
    // Raised by every start(): a live pass carries the number it began under and is
    // dropped when it no longer matches.
    uint64_t scanGeneration_ = 0;
    // What the published tree's walks knew of hard-linked files; each pass measures with
    // a copy and hands back the next.
    std::shared_ptr<const ScanControl::Inodes> treeInodes_;
    // The control of the one pass in flight, until it hands back (even when cancelled).
    std::shared_ptr<ScanControl> livePass_;
    // The quiet period ended while a pass was in flight: the next pass follows it.
    bool passWanted_ = false;
    // Raised by every change of the tree made without measuring (moves folded in): a pass
    // that began before one would undo it.
    uint64_t treeEdits_ = 0;
    // A pass is held back until the moves in flight end: a look is due.
    bool waitingForMoves_ = false;
    // Folds waiting, the first one being folded on a worker, one at a time in the order they
    // came: a pass waits for them, as for moves in flight.
    std::deque<Fold> folds_;
    // Raised by every change of the tree's sizes after the scan (a fold, a live pass that
    // measured a change): recommendations worked out from an older tree are not kept.
    uint64_t treeVersion_ = 0;
    // Watches the nearest existing folder above each root missing at the scan, alone.
    std::unique_ptr<FileSystemWatcher> missingWatcher_;
    uint64_t missingGeneration_ = 0; // raised by every start and stop of that watch
    bool missingCheckInFlight_ = false;
    bool missingCheckWanted_ = false;
    std::shared_ptr<ScanControl> control_;
    QTimer* pollTask_ = nullptr;
    LatestRequest scanRequest_;
    Date startedAt_;
};

} // namespace sorvel
