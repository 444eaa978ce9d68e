#pragma once
// The model behind the app uninstaller: the inventory, the selected app and its ticked
// paths, a dry run of the ticks, the move of what the dry run allowed, and the Finder
// hand-off for bundles the user cannot write. Lives on the main thread; the inventory,
// dry runs, moves and hand-offs run on the thread pool and come back through the event
// loop. Nothing is deleted: every move goes through the guard into the Trash.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/InstalledApp.h"
#include "engine/ScanControl.h"
#include "models/MovedItems.h"
#include "platform/Date.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupPolicy.h"
#include "removal/FinderHandoff.h"

namespace sorvel {

class AppsModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool isPreviewing READ isPreviewing NOTIFY isPreviewingChanged)
    Q_PROPERTY(Stage stage READ stage NOTIFY stageChanged)

public:
    enum class Stage { browsing, reviewing, confirming, working, done };
    Q_ENUM(Stage)

    struct HandoffState {
        enum class Kind { done, failed, idle, working };
        Kind kind = Kind::idle;
        std::string message; // done and failed: the text to show

        static HandoffState idle() { return {Kind::idle, {}}; }
        static HandoffState working() { return {Kind::working, {}}; }
        static HandoffState done(std::string text) { return {Kind::done, std::move(text)}; }
        static HandoffState failed(std::string text) { return {Kind::failed, std::move(text)}; }
        friend bool operator==(const HandoffState&, const HandoffState&) = default;
    };

    /// Where the inventory looks for apps, and those of its folders this user may not read.
    struct Looked {
        std::vector<std::string> searched;
        std::vector<std::string> unreadable;
        friend bool operator==(const Looked&, const Looked&) = default;
    };

    /// What the model asks of the machine; the defaults are the real inventory, process
    /// list and Finder. Each runs on a worker thread except `runningBundleIdentifiers`.
    struct Services {
        std::function<std::vector<InstalledApp>(ScanControl&)> inventory;
        /// Where that inventory looks; asked with it, on the same worker.
        std::function<Looked()> whereLooked;
        std::function<std::vector<std::string>()> runningBundleIdentifiers;
        std::function<FinderHandoff::Outcome(const std::string& path, const CleanupPolicy& policy)> finderHandoff;
        /// Whether the hand-off can run here (main thread). A stand-in `finderHandoff`
        /// without this counts as available.
        std::function<bool()> finderHandoffAvailable;
        /// The dry run of the ticked paths (the real executor, iCloud read afresh).
        std::function<std::vector<CleanupOutcome>(const std::vector<CleanupExecutor::PathSize>&, const CleanupPolicy&)>
            dryRun;

        static Services standard();
    };

    explicit AppsModel(QObject* parent = nullptr);
    explicit AppsModel(Services services, QObject* parent = nullptr);
    ~AppsModel() override;

    // Published state.
    const std::vector<InstalledApp>& apps() const { return apps_; }
    bool isScanning() const { return isScanning_; }
    const std::optional<Date>& scannedAt() const { return scannedAt_; }
    /// Where the last finished inventory looked for apps.
    const Looked& looked() const { return looked_; }
    const std::optional<InstalledApp>& selectedApp() const { return selectedApp_; }
    const std::set<std::string>& selectedPaths() const { return selectedPaths_; }
    const std::vector<CleanupOutcome>& preview() const { return preview_; }
    bool isPreviewing() const { return isPreviewing_; }
    Stage stage() const { return stage_; }
    const HandoffState& handoff() const { return handoff_; }
    /// Whether a bundle only an administrator can move can be handed to another program.
    bool canHandOff() const { return services_.finderHandoffAvailable(); }
    /// Why the last uninstall or hand-off could not be written to the history; none when it was.
    /// Why the last inventory, dry run, uninstall or hand-off stopped before it finished;
    /// cleared when the next one starts.
    const std::optional<std::string>& failure() const { return failure_; }
    const std::optional<std::string>& saveError() const { return saveError_; }

    // Derived values.
    std::vector<InstalledApp> removableApps() const;
    std::vector<InstalledApp> appsNeedingAdministrator() const;
    int64_t totalLeftovers() const;
    std::vector<CleanupExecutor::PathSize> targets() const;
    int64_t selectedSize() const;
    std::vector<CleanupOutcome> allowed() const;
    std::vector<CleanupOutcome> refused() const;

    /// The running applications' bundle identifiers, asked afresh on every call (the
    /// screens ask on each redraw; nothing observes launches or quits).
    std::vector<std::string> runningBundleIdentifiers() const { return services_.runningBundleIdentifiers(); }

    // Operations.
    void scanIfNeeded();
    void rescan();
    void select(const std::optional<InstalledApp>& app);
    /// The first app with this bundle path, or nothing.
    void selectBundlePath(const std::optional<std::string>& bundlePath);
    void syncSelection(const std::optional<std::string>& bundlePath);
    void toggle(const std::string& path);
    /// Dry run of the ticks; not while a confirmation is asked or a move runs.
    void review();
    /// Leaves the review for the ticks: the dry run in flight, if any, is dropped. Not while
    /// a move runs.
    void back();
    /// From a finished review that allowed something: asks the user to confirm.
    void confirm();
    /// Back from the confirmation to the review.
    void cancelConfirm();
    /// Moves what the review allowed; only from the review or its confirmation, once.
    void uninstall();
    void moveBundleWithFinder();

signals:
    /// A move to the Trash from here ended (also one that stopped part way): what it
    /// moved has left its place on disk.
    void trashChanged();
    /// What a move from here carried out: the items that left their places (and where
    /// they went), for the scanned tree to fold in. Before trashChanged.
    void itemsMoved(const MovedItems::Moves& moves);
    void appsChanged();
    void isScanningChanged();
    void selectedAppChanged();
    void selectedPathsChanged();
    void previewChanged();
    void isPreviewingChanged();
    void stageChanged();
    void handoffChanged();
    void saveErrorChanged();
    void failureChanged();

private:
    friend struct AppsModelProbe; // tests put the model in a state directly

    void setApps(std::vector<InstalledApp> apps);
    void setIsScanning(bool value);
    void setSelectedApp(std::optional<InstalledApp> app);
    void setSelectedPaths(std::set<std::string> paths);
    void setPreview(std::vector<CleanupOutcome> outcomes);
    void setIsPreviewing(bool value);
    void setStage(Stage stage);
    void setHandoff(HandoffState state);
    void setSaveError(std::optional<std::string> error);
    void setFailure(std::optional<std::string> failure);

    struct Task {
        bool cancelled = false;
    };

    CleanupPolicy policy() const;
    void setScannedAt(std::optional<Date> date);

    Services services_;
    std::vector<InstalledApp> apps_;
    bool isScanning_ = false;
    std::optional<Date> scannedAt_;
    Looked looked_;
    std::optional<InstalledApp> selectedApp_;
    std::set<std::string> selectedPaths_;
    std::vector<CleanupOutcome> preview_;
    bool isPreviewing_ = false;
    Stage stage_ = Stage::browsing;
    std::shared_ptr<Task> task_; // the running inventory
    HandoffState handoff_;
    std::optional<std::string> saveError_;
    std::optional<std::string> failure_;
    // Bumped by every selection, review and "Back": only the newest dry run is shown.
    uint64_t selectionGeneration_ = 0;
};

} // namespace sorvel
