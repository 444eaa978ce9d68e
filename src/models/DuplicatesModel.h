#pragma once
// The model behind the duplicates screen: the last duplicate report, the screen's stage,
// the copies ticked for removal and the outcomes of the last removal. The finder and the
// removal run on the thread pool; the kept (first) copy of a group is never ticked and
// never moved. Removals go through the guard into the Trash and are recorded in the
// history, so they can be put back.
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/DuplicateFinder.h"
#include "engine/ScanControl.h"
#include "models/MovedItems.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupPolicy.h"

namespace sorvel {

class DuplicatesModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(Stage stage READ stage NOTIFY stageChanged)

public:
    enum class Stage { idle, scanning, results, confirming, working, done };
    Q_ENUM(Stage)

    /// What the folder chooser is asked to show.
    struct FolderRequest {
        std::string title;          // "Choose Folder to Search", the dialog's title
        std::string prompt;         // "Scan"
        std::string message;        // "Look for duplicate files inside this folder."
        std::string startDirectory; // the home folder
    };
    /// Asks the user for one folder; none when dismissed. The window installs one.
    using FolderChooser = std::function<std::optional<std::string>(const FolderRequest&)>;

    explicit DuplicatesModel(QObject* parent = nullptr);
    ~DuplicatesModel() override;

    // Published state.
    const DuplicateFinder::Report& report() const { return report_; }
    bool isScanning() const { return isScanning_; }
    const std::optional<std::string>& scannedRoot() const { return scannedRoot_; }
    const std::set<std::string>& selectedPaths() const { return selectedPaths_; }
    /// Copies the move would refuse, checked with the search against the same guard and
    /// policy, each with the guard's reason; they start unticked and cannot be ticked.
    const std::map<std::string, std::string>& refusals() const { return refusals_; }
    const std::vector<CleanupOutcome>& outcomes() const { return outcomes_; }
    Stage stage() const { return stage_; }
    /// Why the last removal could not be written to the history; none when it was.
    const std::optional<std::string>& saveError() const { return saveError_; }
    /// Why the last scan or removal stopped before it finished; cleared when the next starts.
    const std::optional<std::string>& failure() const { return failure_; }

    // Derived values.
    std::vector<DuplicateFile> selected() const;
    int64_t selectedReclaimable() const;
    int64_t selectedApparent() const;

    // Operations.
    void scan(const std::optional<std::string>& root = std::nullopt);
    /// Stops the search; the folder goes back to the one the shown report came from.
    void cancel();
    void chooseFolder();
    void toggle(const DuplicateFile& file, const DuplicateGroup& group);
    /// From the results with something ticked: asks the user to confirm the move.
    void confirm();
    /// Back from the confirmation to the results.
    void cancelConfirm();
    /// Moves the ticked copies; only from the results or their confirmation, once.
    void removeSelected();

    void setFolderChooser(FolderChooser chooser) { chooser_ = std::move(chooser); }
    /// The finder's options; tests lower the minimum size.
    void setOptionsForTesting(std::function<DuplicateFinder::Options()> options) { options_ = std::move(options); }

    /// The screen shows the report's sets this many at a time.
    static constexpr size_t kSetsShownAtOnce = 120;

    /// Copies whose removal frees real space: every file after the first with at least
    /// one private byte, in groups of independent copies or mixed groups, among the sets
    /// the screen shows first; nothing in a set the user has not seen starts ticked, nor
    /// a copy in `refused`.
    static std::set<std::string> defaultSelection(const DuplicateFinder::Report& report,
                                                  const std::map<std::string, std::string>& refused = {});
    /// The guard's reason for each copy of every group that it refuses under `policy` now
    /// (`DuplicateSearch::refusalsOf`); runs off the main thread.
    static std::map<std::string, std::string> refusalsOf(const DuplicateFinder::Report& report,
                                                          const CleanupPolicy& policy);

signals:
    /// A move to the Trash from here ended (also one that stopped part way): what it
    /// moved has left its place on disk.
    void trashChanged();
    /// What a move from here carried out: the items that left their places (and where
    /// they went), for the scanned tree to fold in. Before trashChanged.
    void itemsMoved(const MovedItems::Moves& moves);
    void reportChanged();
    void isScanningChanged();
    void scannedRootChanged();
    void selectedPathsChanged();
    void refusalsChanged();
    void outcomesChanged();
    void stageChanged();
    void saveErrorChanged();
    void failureChanged();

private:
    struct Task {
        bool cancelled = false;
    };

    void setStage(Stage stage);
    void setReport(DuplicateFinder::Report report);
    void setIsScanning(bool value);
    void setScannedRoot(std::optional<std::string> root);
    void setSelectedPaths(std::set<std::string> paths);
    void setRefusals(std::map<std::string, std::string> refusals);
    CleanupPolicy removalPolicy() const;
    void setOutcomes(std::vector<CleanupOutcome> outcomes);
    void setSaveError(std::optional<std::string> error);
    void setFailure(std::optional<std::string> failure);

    DuplicateFinder::Report report_;
    bool isScanning_ = false;
    std::optional<std::string> scannedRoot_;
    std::optional<std::string> reportRoot_; // the folder of the report on screen
    std::set<std::string> selectedPaths_;
    std::map<std::string, std::string> refusals_;
    std::vector<CleanupOutcome> outcomes_;
    Stage stage_ = Stage::idle;
    std::optional<std::string> saveError_;
    std::optional<std::string> failure_;
    std::shared_ptr<ScanControl> control_ = std::make_shared<ScanControl>();
    std::shared_ptr<Task> task_;
    FolderChooser chooser_;
    std::function<DuplicateFinder::Options()> options_;
};

} // namespace sorvel
