#pragma once
// The state behind the history screen: the recorded runs, which runs are opened, which
// run is being put back, and the outcomes of the last restore. Lives on the main thread;
// the history file is never read or written there: loads, restores and clearing run on a
// worker and come back through the event loop.
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "models/MovedItems.h"
#include "platform/UUID.h"
#include "removal/RestoreExecutor.h"
#include "removal/SweepHistory.h"

class QFileSystemWatcher;
class QTimer;

namespace sorvel {

class HistoryModel final : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint64 totalMoved READ totalMoved NOTIFY runsChanged)
    Q_PROPERTY(qint64 totalCount READ totalCount NOTIFY runsChanged)
    Q_PROPERTY(bool isRestoring READ isRestoring NOTIFY restoringChanged)

public:
    /// Starts loading the stored runs. Made once, at the application's start, it first
    /// removes the records a crash left in the Trash that name nothing there, and stores
    /// the runs cut short as they stand (`CrashedRuns::tidy`), from the one reading of the
    /// history the load makes.
    explicit HistoryModel(QObject* parent = nullptr);
    /// What `clearHistory` runs on its worker (tests hand in one that fails).
    using ClearWork = std::function<SaveStatus()>;
    HistoryModel(ClearWork clear, QObject* parent = nullptr);
    ~HistoryModel() override;

    const std::vector<SweepRun>& runs() const { return *runs_; }
    const std::set<UUID>& expanded() const { return expanded_; }
    const std::optional<UUID>& restoring() const { return restoring_; }
    bool isRestoring() const { return restoring_.has_value(); }
    /// True from a `reload` until its runs are in.
    bool isLoading() const { return loading_ > 0; }
    /// True from a `clearHistory` until what it did (or could not do) is in.
    bool isClearing() const { return clearing_ > 0; }
    const std::vector<RestoreOutcome>& lastRestore() const { return lastRestore_; }
    /// Why the last restore or clear could not be written to the history; none when it was.
    const std::optional<std::string>& saveError() const { return saveError_; }
    /// Why the last load, restore or clear stopped before it finished; cleared when the next starts.
    const std::optional<std::string>& failure() const { return failure_; }
    /// Set while the tidy of runs cut short is left for later (another Sorvel held the
    /// history past the wait): what the page says; each load tries the tidy again.
    const std::optional<std::string>& tidyNote() const { return tidyNote_; }

    /// Why no run is listed when that is because the history could not be read (its file,
    /// or every entry in it): where it is and what Sorvel does with it. None otherwise.
    const std::optional<std::string>& nothingRead() const { return nothingRead_; }

    /// Sum of the moved bytes and of the moved counts of every run, what was put back since included.
    int64_t totalMoved() const;
    int64_t totalCount() const;

    /// True when the run was still being moved, by this process or another, at the last
    /// load: it is not offered for put back, and not shown as cut short.
    bool isMoving(const UUID& id) const { return moving_.count(id) > 0; }

    /// The runs as loaded, and those of them still being moved.
    struct Loaded {
        std::shared_ptr<const std::vector<SweepRun>> runs;
        std::set<UUID> moving;
        /// Whether the tidy made with the load was left for later; none when none was made.
        std::optional<bool> tidyDeferred;
        std::optional<std::string> nothingRead;
    };

    /// Replaces the runs.
    void setRuns(std::vector<SweepRun> runs);
    void setRuns(std::shared_ptr<const std::vector<SweepRun>> runs);
    /// Loads the stored runs on a worker; the screen asks each time it appears. A load
    /// started before a clear or a later load is dropped when it comes back. A run cut
    /// short by a crash lists and counts only what really moved.
    void reload();
    /// Opens a closed run, closes an open one.
    void toggle(const UUID& id);
    /// Starts putting back the items of the run and returns at once. Ignored while a
    /// restore runs, and for a run without full detail or without items.
    void restore(const SweepRun& run);
    /// Has a running restore leave the items it has not yet put back in the Trash (a quit
    /// does not wait on a Trash another Sorvel holds); what came back is written down.
    void stopRestoring();
    /// Forgets the stored history (on a worker), then the model's lists; a running restore
    /// carries on. When the history cannot be written, nothing is forgotten and `saveError`
    /// says so, with the system's reason.
    void clearHistory();

    /// How often the runs are looked at again while one is still being moved (its mover may
    /// end without writing again, killed), or while no folder can be watched for the history.
    static constexpr int kFollowInterval = 500; // ms

    static std::string restoreNotSavedMessage(const SaveStatus& status);
    static std::string clearNotSavedMessage(const SaveStatus& status);

signals:
    /// A restore ended (also one that stopped part way): what came back is in its place again.
    void trashChanged();
    /// What a put back carried out: the items that left the Trash (and where they
    /// went), for the scanned tree to fold in. Before trashChanged.
    void itemsMoved(const MovedItems::Moves& moves);
    void runsChanged();
    void expandedChanged();
    void restoringChanged();
    void lastRestoreChanged();
    void saveErrorChanged();
    void failureChanged();
    /// After any of the above.
    void changed();

private:
    struct Restored {
        std::vector<RestoreOutcome> outcomes;
        SaveStatus saved;
        Loaded loaded;
    };
    void load(bool atStart);
    void finishRestore(Restored restored);
    void finishClear(const SaveStatus& cleared, bool forgetRestore);
    void finishLoad(uint64_t generation, Loaded loaded);
    void setMoving(std::set<UUID> moving);
    void setRestoring(std::optional<UUID> id);
    void setSaveError(std::optional<std::string> error);
    void setFailure(std::optional<std::string> failure);
    void setTidyNote(bool deferred);
    // Following the history as it changes on disk, by this process or another.
    void startFollowing();
    void followChange();
    void watchHistoryFolder();
    void updateFollowPoll();

    // Shared with the history's own cache: a full history is too large to hold twice.
    std::shared_ptr<const std::vector<SweepRun>> runs_;
    std::set<UUID> moving_;
    ClearWork clear_;
    std::set<UUID> expanded_;
    std::optional<UUID> restoring_;
    std::shared_ptr<std::atomic<bool>> stopRestore_;
    std::vector<RestoreOutcome> lastRestore_;
    std::optional<std::string> saveError_;
    std::optional<std::string> failure_;
    std::optional<std::string> tidyNote_;
    std::optional<std::string> nothingRead_;
    uint64_t generation_ = 0;
    uint64_t clears_ = 0;
    uint64_t restoresFinished_ = 0;
    int loading_ = 0;
    int clearing_ = 0;
    QFileSystemWatcher* historyWatch_ = nullptr;
    QTimer* followSoon_ = nullptr; // gathers a burst of changes into one load
    QTimer* followPoll_ = nullptr;
    bool followAgain_ = false; // a change came while a load was on its way
};

} // namespace sorvel
