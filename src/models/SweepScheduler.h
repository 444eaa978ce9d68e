#pragma once
// The model behind scheduled sweeps and the menu-bar panel: the user's schedule (stored
// on every change), a repeating timer that starts a sweep when one is due, the next sweep
// time for display, the last receipt and findings with the user's ticks, and moving the
// ticked findings to the Trash. Lives on the main thread; sweeps and moves run on workers.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "models/LatestRequest.h"
#include "models/MovedItems.h"
#include "platform/Date.h"
#include "platform/UserNotifications.h"
#include "removal/CleanupExecutor.h"
#include "removal/FolderChecks.h"
#include "removal/ShownRun.h"
#include "removal/SweepClaim.h"
#include "removal/SweepReceipt.h"
#include "removal/SweepRunner.h"
#include "removal/SweepSchedule.h"

namespace sorvel {

class SweepScheduler final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(bool isCleaning READ isCleaning NOTIFY isCleaningChanged)
    Q_PROPERTY(qint64 selectedBytes READ selectedBytes NOTIFY selectedPathsChanged)
    Q_PROPERTY(bool allSelected READ allSelected NOTIFY selectedPathsChanged)

public:
    using Clock = std::function<Date()>;
    /// One sweep, run on a worker; records its own receipt, findings and history run.
    using Runner = std::function<SweepRunner::Outcome(const SweepSchedule&, SweepRun::Trigger)>;
    /// Why an own folder may not be swept, none when it may; run on a worker (it reads
    /// the disk and the mount table, which a hung mount can hold up).
    using FolderCheck = std::function<std::optional<std::string>(const std::string&)>;

    /// What the scheduler reaches outside itself; empty members take the real ones.
    struct Dependencies {
        Clock clock;                                              // the system clock
        Runner runner; // SweepRunner::run, cloud detected afresh, folders checked by folderCheck in its deadline
        std::shared_ptr<UserNotifications::Center> notifications; // the session bus's service
        FolderCheck folderCheck;                                  // OwnFolder::refusal
        std::optional<std::chrono::milliseconds> folderCheckDeadline; // kFolderCheckDeadline
    };

    /// Why a move from the panel moved nothing while another Sorvel swept.
    static constexpr const char* kSweepingNothingMoved =
        "Another Sorvel is sweeping this home right now, so nothing was moved. Try again once it has finished.";

    /// How long a folder's check may take before the folder is refused as not answering.
    static constexpr std::chrono::milliseconds kFolderCheckDeadline = FolderChecks::kDeadline;

    /// Reads the stored schedule, last receipt and findings; does not start the timer.
    explicit SweepScheduler(Dependencies dependencies = {}, QObject* parent = nullptr);
    ~SweepScheduler() override;

    bool isRunning() const { return isRunning_; }
    /// The moment by the scheduler's clock, which the times it shows are seen from.
    Date now() const { return deps_.clock(); }
    const std::optional<SweepReceipt>& lastReceipt() const { return lastReceipt_; }
    /// What was put back since of the History runs the last receipt names, as last looked
    /// up in the history (whichever session put it back): when the receipt is shown, at each
    /// check and with `refreshFindings`. Nothing until a look at this receipt's runs is back.
    ShownRun::PutBack lastPutBack() const;
    const std::optional<Date>& nextRunDate() const { return nextRunDate_; }
    /// The next sweep as it stands at this moment, worked out afresh from the clock: its time,
    /// or `shortly` while a due sweep waits for the check that runs it. Neither when off.
    struct NextSweep {
        std::optional<Date> at;
        bool shortly = false;
        friend bool operator==(const NextSweep&, const NextSweep&) = default;
    };
    NextSweep nextSweep() const;
    const std::vector<CleanupOutcome>& findings() const { return findings_; }
    const std::set<std::string>& selectedPaths() const { return selectedPaths_; }
    bool isCleaning() const { return isCleaning_; }
    /// Why the last sweep or move could not be written down; none when it was.
    const std::optional<std::string>& saveError() const { return saveError_; }
    /// Why the last sweep or move from the panel stopped before it finished; none when it did.
    const std::optional<std::string>& failure() const { return failure_; }
    const SweepSchedule& schedule() const { return schedule_; }
    /// True while the repeating timer runs for a schedule that sweeps. (While off it runs too,
    /// so each check follows a schedule another Sorvel stores.)
    bool isArmed() const { return timer_.isActive() && schedule_.frequency != SweepSchedule::Frequency::off; }
    /// The timer interval in seconds (300); a new value applies at the next start.
    double tick() const { return tick_; }
    void setTick(double seconds) { tick_ = seconds; }

    /// The findings that would move and were on disk at the last look, in order: what a
    /// sweep moved already is shown as moved and cannot be moved again, and what has left
    /// its place since (moved from the window, say) is not offered.
    std::vector<CleanupOutcome> actionableFindings() const;
    /// Whether this one of `findings()` is among the actionable findings.
    bool isActionable(const CleanupOutcome& finding) const;
    /// Looks on a worker at which findings are still where the sweep found them: those gone
    /// leave the list and the ticks, those back (put back from the Trash) return unticked.
    /// Asked for when the panel opens, when the scheduler starts, and after the window
    /// moves items to the Trash or puts them back; what of the last receipt's runs was put
    /// back is looked up again with it.
    void refreshFindings();
    /// Why the last move from the panel left ticked findings where they are (gone since
    /// the sweep, refused or failed), one line each; none when everything ticked moved.
    const std::optional<std::string>& moveNote() const { return moveNote_; }
    /// The note for a move of `picked` findings: those gone before it began, and the
    /// outcomes of the rest.
    static std::optional<std::string> moveNoteFor(size_t picked, const std::vector<std::string>& gone,
                                                  const std::vector<CleanupOutcome>& outcomes);
    /// Sum of the sizes of the ticked actionable findings.
    int64_t selectedBytes() const;
    /// At least one actionable finding, and as many ticks as actionable findings.
    /// Sentence shown when the schedule could not be stored, with the system's reason.
    static std::string scheduleNotSavedMessage(const SaveStatus& status);
    bool allSelected() const;

    /// A different schedule is stored and restarts the timer; an equal one changes nothing.
    /// Only what changed is stored, merged into the schedule stored now: another Sorvel's
    /// choices since are kept, and this one follows them.
    /// Own folders not in the schedule yet are checked on a worker first and join it when
    /// the check lets them; those refused stay out, and `folderRefusal` says why.
    void setSchedule(const SweepSchedule& schedule);
    /// Appends an own folder to the schedule once its check on a worker lets it; a refusal
    /// is kept as `folderRefusal`. A folder listed or being checked already changes nothing.
    /// A newer check replaces one still running: the folders of that one are not added.
    /// Each folder is checked on a thread of its own; one that has not answered by the
    /// deadline is refused as not answering, and its late answer is dropped.
    void addFolder(const std::string& path);
    /// Why the last folder the user tried to add was refused; cleared by the next one added.
    const std::optional<std::string>& folderRefusal() const { return folderRefusal_; }
    /// The folders being checked before they join the schedule, in the order asked for.
    const std::vector<std::string>& checkingFolders() const { return checkingFolders_; }
    /// Arms the timer for the current schedule and runs one due test at once. A last receipt
    /// left cut short by an earlier process is settled on a worker first.
    void start();
    /// Disarms the timer; a running sweep carries on.
    void stop();
    /// Starts a sweep on a worker unless one is running or the panel is moving; it counts as a move in flight
    /// (`RemovalRun::movesInFlight`) until it is recorded, so quitting waits for it.
    void run(SweepRun::Trigger trigger);

    /// Unticks a ticked path; ticks a path only when it is a listed finding.
    void toggle(const std::string& path);
    void selectAll(bool selected);
    /// Moves the ticked findings to the Trash under the standard policy, unless a move or a
    /// sweep runs. It holds the sweep's lock throughout; held by another Sorvel past a short
    /// wait, nothing moves and `failure` says why.
    void cleanSelected();

    /// Whether a sweep is due: never when off; always without a last receipt; else once the
    /// schedule's hour has come after the last receipt's date, on the local clock (daily:
    /// the first such hour after it; weekly: that hour on its weekday a week on). A receipt
    /// dated after now (the clock set back) is not due.
    static bool isDue(const SweepSchedule& schedule, const std::optional<Date>& last, Date now);
    /// The sweep time the due test uses: the schedule's hour after the last receipt, or
    /// after now without one or with one dated after now. None when off or when the hour
    /// or the dates cannot form a time.
    static std::optional<Date> nextRun(const SweepSchedule& schedule, const std::optional<Date>& last, Date now);

signals:
    void isRunningChanged();
    void lastReceiptChanged();
    void putBackChanged();
    void nextRunDateChanged();
    void findingsChanged();
    void selectedPathsChanged();
    void isCleaningChanged();
    void scheduleChanged();
    void saveErrorChanged();
    void folderRefusalChanged();
    void checkingFoldersChanged();
    void failureChanged();
    void moveNoteChanged();
    /// What a sweep or a move from the panel carried out: the items that left their places
    /// (and where they went), for the scanned tree to fold in.
    void itemsMoved(const MovedItems::Moves& moves);
    /// After any of the above.
    void changed();

private:
    void runIfDue();
    /// `run`, for a scheduled sweep with the sweep time it is run for.
    void beginSweep(SweepRun::Trigger trigger, std::optional<Date> slot);
    void refreshNextRun();
    /// When the next scheduled sweep is due by the last receipt, as the due test and the
    /// shown time both use it; now for a receipt that moved nothing because a lock was held.
    std::optional<Date> dueAt(Date now);
    /// The same, for a look that changes nothing.
    std::optional<Date> dueAt(Date now) const;
    /// Reads the stored last receipt on a worker: one that changed on disk since it was last
    /// read (another session's sweep, say) is shown in place of this one's.
    void followStored();
    /// What a sweep's claim came back with: the sweep's outcome, another Sorvel's newer
    /// receipt, another Sorvel sweeping now, or the schedule as another Sorvel stored it
    /// (`followed`: now shown).
    void finishAttempt(SweepRun::Trigger trigger, SweepClaim::Result result, bool followed);
    /// Takes another Sorvel's last receipt and findings as this one's own.
    void adopt(const SweepReceipt& receipt, const std::vector<SweepReceipt::Finding>& findings);
    void notify(const SweepReceipt& receipt);
    void settleCutShortSweep();
    /// Reads the history on a worker for `lastPutBack`.
    void lookUpPutBack();
    void finishSweep(SweepRunner::Outcome outcome);
    void failSweep(const std::string& reason);
    void failClean(const std::string& reason);
    void setFailure(std::optional<std::string> failure);
    /// Stores a different schedule and restarts the timer; its folders are known good.
    void apply(const SweepSchedule& schedule);
    /// A change of this Sorvel's not yet stored: the schedule it reads from the disk is
    /// shown with these made in it, in order.
    struct Unsaved {
        uint64_t id = 0;
        SweepSchedule before, after;
    };
    static SweepSchedule withUnsaved(SweepSchedule stored, const std::vector<Unsaved>& unsaved);
    /// Shows the schedule stored now (another Sorvel's change, say), with this one's unsaved
    /// changes, unless it was read before a save of this one's landed (`readAt`); true when
    /// the schedule shown changed.
    bool follow(const SweepSchedule& stored, uint64_t readAt);
    /// What the check said of each folder asked about, in order.
    using FolderVerdicts = std::vector<std::pair<std::string, std::optional<std::string>>>;
    void checkFolders(const std::vector<std::string>& folders);
    void answerFolder(size_t index, std::optional<std::string> verdict);
    /// Ends the running check: answers taken as given, folders yet to answer refused.
    void concludeFolderCheck();
    void finishFolderCheck(FolderVerdicts verdicts);
    /// What a move from the panel did, worked out and stored on its worker.
    struct PanelMove {
        size_t picked = 0;
        std::vector<std::string> gone; // picks no longer on disk, so not tried
        std::vector<CleanupOutcome> outcomes;
        std::optional<SweepReceipt> lastReceipt; // as stored now; none when unchanged
        std::optional<std::string> saveError;
        bool sweeping = false; // another Sorvel held the sweep's lock: nothing was tried
    };
    /// `folders`: the schedule's own folders, each checked as a sweep checks it, whose found
    /// items the move's policy lets by as the sweep's did.
    static PanelMove moveFindings(const std::vector<CleanupExecutor::PathSize>& picked, Date when,
                                  const std::vector<std::string>& folders, const SweepRunner::FolderChecking& checking);
    void finishClean(PanelMove move);
    void setSaveError(std::optional<std::string> error, bool fromSchedule);
    void publish(void (SweepScheduler::*signal)());
    void setFolderRefusal(std::optional<std::string> reason);
    void setMoveNote(std::optional<std::string> note);
    /// Which of these paths are on disk now (a path this user may not look at counts as there).
    static std::set<std::string> onDisk(const std::vector<std::string>& paths);
    void applyPresence(const std::vector<std::string>& looked, const std::set<std::string>& present);
    bool isAbsent(const CleanupOutcome& finding) const { return absent_.count(finding.path) > 0; }
    struct Counts {
        size_t actionable = 0;
        int64_t selectedBytes = 0;
    };
    const Counts& counts() const;

    Dependencies deps_;
    bool isRunning_ = false;
    std::optional<SweepReceipt> lastReceipt_;
    /// What was put back of these runs, as last looked up.
    struct PutBackSeen {
        std::vector<UUID> runs;
        ShownRun::PutBack back;
    } putBack_;
    LatestRequest putBackLook_;
    std::optional<Date> nextRunDate_;
    std::vector<CleanupOutcome> findings_;
    std::set<std::string> selectedPaths_;
    mutable std::optional<Counts> counts_; // until the next change
    bool isCleaning_ = false;
    std::optional<std::string> saveError_;
    bool saveErrorIsSchedule_ = false;
    SweepSchedule schedule_;
    std::vector<Unsaved> unsaved_;
    uint64_t lastUnsaved_ = 0;
    uint64_t savesLanded_ = 0; // of this Sorvel's schedule changes: a read from before one is stale
    /// When the scheduled sweeps the history records were made, as last read: a sweep time
    /// one of them stands for is not due again.
    std::vector<Date> sweptTimes_;
    std::optional<std::string> folderRefusal_;
    std::vector<std::string> checkingFolders_;
    LatestRequest folderCheck_;
    std::vector<std::optional<std::optional<std::string>>> folderAnswers_; // by folder; none until it answers
    QTimer folderDeadline_;
    /// Closed when the scheduler goes: a folder check still held then delivers nothing.
    struct Deliveries {
        std::mutex mutex;
        bool open = true;
    };
    std::shared_ptr<Deliveries> deliveries_ = std::make_shared<Deliveries>();
    std::optional<std::string> failure_;
    std::set<std::string> absent_; // findings not on disk at the last look
    std::optional<std::string> moveNote_;
    LatestRequest presence_;
    /// A last receipt dated after the clock, and when it was first seen so: the next sweep
    /// is counted from then, not from a moment that moves on with the clock.
    std::optional<std::pair<Date, Date>> futureSeen_;
    bool settling_ = false; // a cut-short receipt is being looked up on a worker
    bool following_ = false; // the stored receipt is being read on a worker
    std::optional<SweepReceipt> storedSeen_; // the stored receipt as last read
    /// A due sweep time another Sorvel was sweeping when this one came to it: shown past, not as shortly.
    std::optional<Date> leftToOther_;
    QTimer timer_;
    double tick_ = 300;
};

} // namespace sorvel
