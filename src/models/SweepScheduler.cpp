#include "models/SweepScheduler.h"

#include <algorithm>
#include <limits>
#include <cmath>
#include <ctime>
#include <unordered_set>
#include <utility>

#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "cleanup/CloudStatus.h"
#include "models/BackgroundWork.h"
#include "models/DesktopNotifications.h"
#include "models/Models.h"
#include "removal/CleanupPolicy.h"
#include "removal/CrashedRuns.h"
#include "removal/ManualRun.h"
#include "removal/OwnFolder.h"
#include "removal/RemovalRun.h"
#include "removal/SweepHistory.h"
#include "removal/SweepTiming.h"
#include "platform/RunLock.h"

#include <cerrno>

namespace sorvel {
namespace {

using Frequency = SweepSchedule::Frequency;

// Stored dates keep whole microseconds; a receipt made here reads back equal.
Date storable(Date d) { return std::chrono::time_point_cast<std::chrono::microseconds>(d); }

std::set<std::string> actionablePaths(const std::vector<CleanupOutcome>& outcomes,
                                      const std::set<std::string>& absent = {}) {
    std::set<std::string> paths;
    for (const auto& o : outcomes)
        if (o.wouldMove() && !absent.count(o.path)) paths.insert(o.path);
    return paths;
}

// A finding the sweep moved comes back as moved; every other one as "would move".
std::vector<CleanupOutcome> outcomesOf(const std::vector<SweepReceipt::Finding>& findings) {
    std::vector<CleanupOutcome> outcomes;
    for (const auto& finding : findings) {
        CleanupOutcome outcome;
        outcome.path = finding.path;
        outcome.size = finding.size;
        outcome.shared = finding.shared;
        if (finding.trashPath)
            outcome.result = CleanupOutcome::MovedToTrash{*finding.trashPath};
        else
            outcome.result = CleanupOutcome::WouldMove{};
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

// The clause after a finding's name that says why it is still where it was.
std::string whyNotMoved(const CleanupOutcome& outcome) {
    if (const auto* refusal = outcome.refusal()) return refusal->description();
    if (const auto* failure = outcome.failure()) return *failure;
    return "not moved";
}

} // namespace

SweepScheduler::SweepScheduler(Dependencies dependencies, QObject* parent)
    : QObject(parent), deps_(std::move(dependencies)) {
    if (!deps_.clock) deps_.clock = [] { return sorvel::now(); };
    if (!deps_.notifications) deps_.notifications = DesktopNotifications::session();
    if (!deps_.folderCheck) deps_.folderCheck = [](const std::string& folder) { return OwnFolder::refusal(folder); };
    // A sweep checks its folders as adding them does, within the same deadline.
    if (!deps_.runner)
        deps_.runner = [checking = SweepRunner::FolderChecking{deps_.folderCheck,
                                                               deps_.folderCheckDeadline.value_or(kFolderCheckDeadline)}](
                           const SweepSchedule& schedule, SweepRun::Trigger trigger) {
            return SweepRunner::run(schedule, trigger, std::nullopt, [] { return false; }, checking);
        };

    schedule_ = SweepSchedule::loadStored();
    lastReceipt_ = SweepReceipt::loadLast();
    storedSeen_ = lastReceipt_;
    findings_ = outcomesOf(SweepReceipt::loadFindings());
    selectedPaths_ = actionablePaths(findings_);
    refreshNextRun();

    connect(&timer_, &QTimer::timeout, this, &SweepScheduler::runIfDue);
    folderDeadline_.setSingleShot(true);
    connect(&folderDeadline_, &QTimer::timeout, this, &SweepScheduler::concludeFolderCheck);
}

SweepScheduler::~SweepScheduler() {
    // A check held by a hung disk is never waited for; it only finds the door closed.
    std::lock_guard lock(deliveries_->mutex);
    deliveries_->open = false;
}

void SweepScheduler::publish(void (SweepScheduler::*signal)()) {
    counts_.reset(); // every change of the findings, the absent and the ticks is published
    emit(this->*signal)();
    emit changed();
    // Each receipt shown is told with what of its runs was put back since.
    if (signal == &SweepScheduler::lastReceiptChanged) lookUpPutBack();
}

std::vector<CleanupOutcome> SweepScheduler::actionableFindings() const {
    std::vector<CleanupOutcome> out;
    for (const auto& o : findings_)
        if (o.wouldMove() && !isAbsent(o)) out.push_back(o);
    return out;
}

bool SweepScheduler::isActionable(const CleanupOutcome& finding) const {
    return finding.wouldMove() && !isAbsent(finding);
}

// Counted once for every change, not once a question: a tick among thousands of findings
// is asked about several times.
const SweepScheduler::Counts& SweepScheduler::counts() const {
    if (!counts_) {
        Counts c;
        for (const auto& o : findings_) {
            if (!isActionable(o)) continue;
            ++c.actionable;
            if (selectedPaths_.count(o.path)) c.selectedBytes = Bytes::saturatingAdd(c.selectedBytes, o.freed());
        }
        counts_ = c;
    }
    return *counts_;
}

int64_t SweepScheduler::selectedBytes() const { return counts().selectedBytes; }

bool SweepScheduler::allSelected() const {
    const size_t actionable = counts().actionable;
    return actionable > 0 && selectedPaths_.size() == actionable;
}

// ---- Schedule and timer ----

std::string SweepScheduler::scheduleNotSavedMessage(const SaveStatus& status) {
    return status.notSaved("Sorvel could not save the sweep schedule", "so the change will be lost when Sorvel quits");
}

void SweepScheduler::setSaveError(std::optional<std::string> error, bool fromSchedule) {
    saveErrorIsSchedule_ = error && fromSchedule;
    if (Models::assignIfChanged(saveError_, std::move(error))) publish(&SweepScheduler::saveErrorChanged);
}

void SweepScheduler::setFailure(std::optional<std::string> failure) {
    if (Models::assignIfChanged(failure_, std::move(failure))) publish(&SweepScheduler::failureChanged);
}

void SweepScheduler::start() {
    refreshFindings();
    settleCutShortSweep();
    timer_.stop();
    refreshNextRun();
    // Also while off: each check follows the schedule as stored, which another Sorvel may turn on.
    const double ms = std::clamp(tick_ * 1000.0, 1.0, 2'000'000'000.0);
    timer_.start(static_cast<int>(std::lround(ms)));
    runIfDue();
}

void SweepScheduler::stop() {
    timer_.stop();
    if (Models::assignIfChanged(nextRunDate_, std::nullopt)) publish(&SweepScheduler::nextRunDateChanged);
}

bool SweepScheduler::isDue(const SweepSchedule& schedule, const std::optional<Date>& last, Date now) {
    return SweepTiming::isDue(schedule, last, now);
}

std::optional<Date> SweepScheduler::nextRun(const SweepSchedule& schedule, const std::optional<Date>& last,
                                            Date now) {
    if (!last) return SweepTiming::nextAfter(schedule, now);
    return SweepTiming::dueAt(schedule, last, now);
}

std::optional<Date> SweepScheduler::dueAt(Date now) {
    if (lastReceipt_ && !lastReceipt_->heldOff) {
        const Date last = lastReceipt_->sweepDate();
        if (last <= now) futureSeen_.reset();
        else if (!futureSeen_ || futureSeen_->first != last) futureSeen_ = std::make_pair(last, now);
    }
    return std::as_const(*this).dueAt(now);
}

std::optional<Date> SweepScheduler::dueAt(Date now) const {
    if (schedule_.frequency == Frequency::off) return std::nullopt;
    if (!lastReceipt_ || lastReceipt_->heldOff) return now;
    const Date last = lastReceipt_->sweepDate();
    std::optional<Date> seen;
    if (last > now) seen = futureSeen_ && futureSeen_->first == last ? futureSeen_->second : now;
    const auto due = SweepTiming::dueAt(schedule_, last, now, seen);
    // A time the history has a sweep of (made before the clock was set back) is not run again.
    return due ? SweepTiming::firstUnswept(schedule_, *due, sweptTimes_) : due;
}

SweepScheduler::NextSweep SweepScheduler::nextSweep() const {
    if (schedule_.frequency == Frequency::off) return {};
    const Date now = deps_.clock();
    // No sweep yet (the first runs once armed), or one held off by a lock (tried again at
    // each check): the hour the schedule gives next, never the check.
    if (!lastReceipt_ || lastReceipt_->heldOff) return {SweepTiming::nextAfter(schedule_, now)};
    const auto due = dueAt(now);
    if (!due) return {};
    if (*due > now) return {due};
    // Another Sorvel sweeps it: this one's next is the hour after.
    if (leftToOther_ == due) return {SweepTiming::nextAfter(schedule_, now)};
    return {std::nullopt, true};
}

void SweepScheduler::runIfDue() {
    if (isRunning_) return;
    // Another Sorvel's sweep cut short is shown as what it moved once it has settled. The
    // two reads of the stored receipt never run at once: both may settle it, and the one
    // that did not would read its findings between the other's two writes.
    settleCutShortSweep();
    followStored();
    lookUpPutBack(); // another session may have put it back
    if (schedule_.frequency == Frequency::off) return;
    // A sweep waits for folders being checked, at most until their deadline: it should
    // look in them too. It never comes between a move from the panel's reading and writing
    // of the receipt and findings: it is tried again at the next check.
    if (!checkingFolders_.empty() || isCleaning_) return refreshNextRun();
    const Date now = deps_.clock();
    const auto at = dueAt(now);
    if (!at || *at > now) return refreshNextRun();
    // The sweep time it is run for, when it is one the schedule places (not the first sweep
    // of all, nor one held off by a lock).
    std::optional<Date> slot;
    if (lastReceipt_ && !lastReceipt_->heldOff) slot = *at;
    beginSweep(SweepRun::Trigger::scheduled, slot);
}

void SweepScheduler::refreshNextRun() {
    std::optional<Date> next;
    if (schedule_.frequency != Frequency::off) {
        const Date now = deps_.clock();
        if (!lastReceipt_) {
            next = SweepTiming::nextAfter(schedule_, now); // the first sweep runs once armed
        } else {
            next = dueAt(now);
            // Due already (a sweep held off by a lock, folders still being checked, another
            // Sorvel sweeping): the check that tries again is no sweep time. The next hour
            // the schedule gives is.
            if (next && *next <= now) next = SweepTiming::nextAfter(schedule_, now);
        }
    }
    if (Models::assignIfChanged(nextRunDate_, next)) publish(&SweepScheduler::nextRunDateChanged);
}

// ---- Sweeps ----

void SweepScheduler::run(SweepRun::Trigger trigger) { beginSweep(trigger, std::nullopt); }

void SweepScheduler::beginSweep(SweepRun::Trigger trigger, std::optional<Date> slot) {
    if (isRunning_ || isCleaning_) return;
    isRunning_ = true;
    publish(&SweepScheduler::isRunningChanged);
    setFailure(std::nullopt);
    std::optional<Date> known;
    if (lastReceipt_) known = lastReceipt_->date;
    // Later changes of the schedule do not reach a sweep that has begun. Quitting waits
    // for it, as for any move, so it is not cut short before it is recorded. It runs only
    // under the sweep lock, and a scheduled one only while no other Sorvel swept since.
    auto hold = RemovalRun::holdInFlight();
    Models::runThenDeliver(
        this, Models::WorkPriority::utility,
        [runner = deps_.runner, schedule = schedule_, unsaved = unsaved_, trigger, known, slot,
         hold = std::move(hold)] {
            std::optional<SweepClaim::Due> due;
            if (slot) due = SweepClaim::Due{schedule, *slot};
            // Run by the schedule stored when it starts, this Sorvel's changes on their way in it.
            const SweepClaim::Schedules schedules{
                schedule, [&] {
                    const auto stored = SweepSchedule::readStored();
                    return stored ? withUnsaved(*stored, unsaved) : schedule; // unreadable: as judged
                }};
            return SweepClaim::run(trigger == SweepRun::Trigger::scheduled, known, schedules,
                                   [&](const SweepSchedule& by) { return runner(by, trigger); }, due);
        },
        [trigger, slot, readAt = savesLanded_](SweepScheduler& model, SweepClaim::Result result) {
            if (result.kind == SweepClaim::Result::Kind::busy && slot) model.leftToOther_ = slot;
            // Changes this Sorvel made since the sweep began are made in it again.
            const bool followed = result.schedule && model.follow(*result.schedule, readAt);
            model.finishAttempt(trigger, std::move(result), followed);
        },
        [](SweepScheduler& model, const std::string& reason) { model.failSweep(reason); });
}

void SweepScheduler::finishAttempt(SweepRun::Trigger trigger, SweepClaim::Result result, bool followed) {
    switch (result.kind) {
    case SweepClaim::Result::Kind::rescheduled:
        // Judged again by the schedule as now shown, at once; else at the next check.
        isRunning_ = false;
        publish(&SweepScheduler::isRunningChanged);
        refreshNextRun();
        if (followed && timer_.isActive()) runIfDue();
        return;
    case SweepClaim::Result::Kind::ran:
        if (result.outcome) return finishSweep(std::move(*result.outcome));
        break;
    case SweepClaim::Result::Kind::sweptElsewhere:
        if (result.latest) adopt(*result.latest, result.latestFindings);
        break;
    case SweepClaim::Result::Kind::busy:
        // A scheduled one is the other Sorvel's to run; its receipt is read at the next check.
        if (trigger != SweepRun::Trigger::scheduled) setFailure(std::string(SweepClaim::kAnotherSweeping));
        break;
    }
    isRunning_ = false;
    publish(&SweepScheduler::isRunningChanged);
    refreshNextRun();
    // Taken from a sweep cut short elsewhere: what it moved is looked up once its mover is gone.
    settleCutShortSweep();
}

void SweepScheduler::adopt(const SweepReceipt& receipt, const std::vector<SweepReceipt::Finding>& findings) {
    presence_.cancel();
    absent_.clear();
    counts_.reset();
    if (Models::assignIfChanged(lastReceipt_, receipt)) publish(&SweepScheduler::lastReceiptChanged);
    if (Models::assignIfChanged(findings_, outcomesOf(findings))) publish(&SweepScheduler::findingsChanged);
    if (Models::assignIfChanged(selectedPaths_, actionablePaths(findings_)))
        publish(&SweepScheduler::selectedPathsChanged);
}

void SweepScheduler::followStored() {
    if (following_ || settling_) return;
    following_ = true;
    struct Stored {
        std::optional<SweepSchedule> schedule; // none when it cannot be read
        std::vector<Date> sweptTimes;
        std::optional<CrashedRuns::LastSweep> last; // none when unchanged or not read
    };
    Models::runThenDeliver(
        this, Models::WorkPriority::utility,
        [seen = storedSeen_]() -> Stored {
            Stored stored{SweepSchedule::readStored(), SweepClaim::sweptTimes(), std::nullopt};
            // Receipt and findings are read as one, never between a sweep's two writes: while
            // another sweeps (or the panel moves) they are read at the next check.
            const RunLock::Held lock(SweepClaim::kLockName);
            if (!lock.held() && (lock.error() == EWOULDBLOCK || lock.error() == EAGAIN)) return stored;
            auto receipt = SweepReceipt::loadLast();
            if (!receipt || receipt == seen) return stored;
            // A sweep still under way elsewhere has kept its receipt ahead as cut short: it is
            // shown once it is recorded, or once settled after its mover has gone.
            if (receipt->cutShort) stored.last = CrashedRuns::settleLastSweep();
            else stored.last = CrashedRuns::LastSweep{*receipt, SweepReceipt::loadFindings()};
            return stored;
        },
        [shown = lastReceipt_, readAt = savesLanded_](SweepScheduler& model, Stored stored) {
            model.following_ = false;
            if (model.sweptTimes_ != stored.sweptTimes) {
                model.sweptTimes_ = std::move(stored.sweptTimes);
                model.refreshNextRun();
            }
            if (stored.schedule) model.follow(*stored.schedule, readAt);
            auto& last = stored.last;
            // A sweep or a move of this one's since has a newer word; the next check reads again.
            // The same sweep taken meanwhile as it stood before it was settled gives way to this.
            const bool unsettledForm = last && model.lastReceipt_ && model.lastReceipt_->cutShort &&
                                       model.lastReceipt_->date == last->receipt.date;
            if (!last || model.isRunning_ || model.isCleaning_ || model.settling_ ||
                (model.lastReceipt_ != shown && !unsettledForm))
                return;
            model.storedSeen_ = last->receipt;
            if (model.lastReceipt_ == last->receipt) return;
            model.adopt(last->receipt, last->findings);
            model.refreshNextRun();
        },
        [](SweepScheduler& model, const std::string&) { model.following_ = false; });
}

SweepSchedule SweepScheduler::withUnsaved(SweepSchedule stored, const std::vector<Unsaved>& unsaved) {
    for (const auto& change : unsaved) stored = SweepSchedule::withChange(std::move(stored), change.before, change.after);
    return stored;
}

bool SweepScheduler::follow(const SweepSchedule& stored, uint64_t readAt) {
    if (readAt != savesLanded_) return false; // read again at the next check
    const SweepSchedule shown = withUnsaved(stored, unsaved_);
    if (shown == schedule_) return false;
    schedule_ = shown;
    publish(&SweepScheduler::scheduleChanged);
    // The timer runs whatever the frequency: the next check judges by this.
    refreshNextRun();
    return true;
}

// No receipt came back, so the last one stays and the next due test tries again.
void SweepScheduler::failSweep(const std::string& reason) {
    setFailure(Models::failureSentence("the sweep", reason));
    isRunning_ = false;
    publish(&SweepScheduler::isRunningChanged);
    refreshNextRun();
}

void SweepScheduler::finishSweep(SweepRunner::Outcome outcome) {
    // Fresh from the disk: an older look at it, and what it said, no longer apply.
    presence_.cancel();
    absent_.clear();
    counts_.reset();
    setMoveNote(std::nullopt);
    // A sweep held off again and again by a lock is told of once, not at every check.
    const bool toldAlready = outcome.receipt.heldOff && lastReceipt_ && lastReceipt_->heldOff;
    if (Models::assignIfChanged(lastReceipt_, outcome.receipt)) publish(&SweepScheduler::lastReceiptChanged);
    if (Models::assignIfChanged(findings_, std::move(outcome.outcomes))) publish(&SweepScheduler::findingsChanged);
    if (Models::assignIfChanged(selectedPaths_, actionablePaths(findings_)))
        publish(&SweepScheduler::selectedPathsChanged);
    setSaveError(outcome.saveError, false);
    isRunning_ = false;
    publish(&SweepScheduler::isRunningChanged);
    refreshNextRun();
    if (auto moves = MovedItems::of(findings_); !moves.empty()) emit itemsMoved(moves);
    if (!toldAlready) notify(outcome.receipt);
}

// A sweep cut short in another process (an earlier one, or another Sorvel's now) left its
// receipt saying so: it takes its run's counts, and its findings what the run moved. A
// receipt another Sorvel has settled already, or replaced, is read as stored.
void SweepScheduler::settleCutShortSweep() {
    if (!lastReceipt_ || !lastReceipt_->cutShort || isRunning_ || isCleaning_ || settling_ || following_) return;
    settling_ = true;
    Models::runThenDeliver(
        this, Models::WorkPriority::utility,
        [seen = *lastReceipt_]() -> std::optional<CrashedRuns::LastSweep> {
            if (auto settled = CrashedRuns::settleLastSweep()) return settled;
            auto stored = SweepReceipt::loadLast();
            if (!stored || *stored == seen) return std::nullopt;
            // Another sweep's receipt still cut short waits to be settled; this sweep's own,
            // settled elsewhere meanwhile (another session, or the read of the stored receipt),
            // still says cut short but counts what it moved.
            if (stored->cutShort && stored->date != seen.date) return std::nullopt;
            return CrashedRuns::LastSweep{*stored, SweepReceipt::loadFindings()};
        },
        [seen = *lastReceipt_](SweepScheduler& model, std::optional<CrashedRuns::LastSweep> last) {
            model.settling_ = false;
            // A sweep or a move from the panel since has a newer word.
            if (!last || model.isRunning_ || model.isCleaning_ || model.lastReceipt_ != seen) return;
            model.presence_.cancel();
            model.absent_.clear();
            model.counts_.reset();
            model.lastReceipt_ = last->receipt;
            model.publish(&SweepScheduler::lastReceiptChanged);
            model.findings_ = outcomesOf(last->findings);
            model.publish(&SweepScheduler::findingsChanged);
            if (Models::assignIfChanged(model.selectedPaths_, actionablePaths(model.findings_)))
                model.publish(&SweepScheduler::selectedPathsChanged);
            model.refreshNextRun();
        },
        // The receipt stays, saying it was cut short, until the next check.
        [](SweepScheduler& model, const std::string&) { model.settling_ = false; });
}

void SweepScheduler::notify(const SweepReceipt& receipt) {
    // A report that found nothing is not worth a notice; a withheld clean always is.
    if (receipt.action == SweepSchedule::Action::report && receipt.foundBytes < 1) return;
    const std::string body = receipt.withheldReason ? *receipt.withheldReason : receipt.headline();
    (void)UserNotifications::post(*deps_.notifications, UserNotifications::Request::make(body));
}

// ---- Menu-bar panel ----

void SweepScheduler::toggle(const std::string& path) {
    // Only a listed finding can be ticked: a stray tick would count towards allSelected.
    const auto finding = std::find_if(findings_.begin(), findings_.end(),
                                      [&](const CleanupOutcome& o) { return o.path == path && isActionable(o); });
    std::optional<Counts> counts = counts_;
    // A sum at its ceiling cannot be taken from: counted again.
    if (counts && counts->selectedBytes == std::numeric_limits<int64_t>::max()) counts.reset();
    if (selectedPaths_.erase(path)) {
        if (counts && finding != findings_.end()) counts->selectedBytes -= finding->size;
        else counts.reset();
    } else {
        if (finding == findings_.end()) return;
        selectedPaths_.insert(path);
        if (counts) counts->selectedBytes = Bytes::saturatingAdd(counts->selectedBytes, finding->size);
    }
    counts_ = counts;
    emit selectedPathsChanged();
    emit changed();
}

void SweepScheduler::selectAll(bool selected) {
    if (Models::assignIfChanged(selectedPaths_, selected ? actionablePaths(findings_, absent_) : std::set<std::string>{}))
        publish(&SweepScheduler::selectedPathsChanged);
}

void SweepScheduler::cleanSelected() {
    // A sweep of this process's own is under way: its findings replace these.
    if (isCleaning_ || isRunning_) return;
    std::vector<CleanupExecutor::PathSize> picked;
    for (const auto& o : findings_)
        if (o.wouldMove() && !isAbsent(o) && selectedPaths_.count(o.path)) picked.push_back({o.path, o.size, o.shared});
    if (picked.empty()) return;
    isCleaning_ = true;
    publish(&SweepScheduler::isCleaningChanged);
    setFailure(std::nullopt);
    setMoveNote(std::nullopt);
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [picked, when = storable(deps_.clock()), hold = RemovalRun::holdInFlight(), folders = schedule_.folders,
         checking = SweepRunner::FolderChecking{deps_.folderCheck,
                                                deps_.folderCheckDeadline.value_or(kFolderCheckDeadline)}] {
            return moveFindings(picked, when, folders, checking);
        },
        [](SweepScheduler& model, PanelMove move) { model.finishClean(std::move(move)); },
        [](SweepScheduler& model, const std::string& reason) { model.failClean(reason); });
}

// What moved before the stop is in the history; the findings stay listed as they were.
void SweepScheduler::failClean(const std::string& reason) {
    setFailure(Models::failureSentence("moving the ticked findings to the Trash", reason) +
               " What was moved is listed in the history.");
    isCleaning_ = false;
    publish(&SweepScheduler::isCleaningChanged);
}

// On the worker, so nothing depends on the scheduler still being there: the move and its
// run, then the last sweep's receipt with what the panel moved added, then the findings
// that remain.
SweepScheduler::PanelMove SweepScheduler::moveFindings(const std::vector<CleanupExecutor::PathSize>& picked,
                                                       Date when, const std::vector<std::string>& folders,
                                                       const SweepRunner::FolderChecking& checking) {
    PanelMove move;
    move.picked = picked.size();
    // Under the sweep's own lock from the first look to the last write: no sweep, of this
    // Sorvel or another, comes between the reading of its receipt and findings and their
    // writing, nor moves while the panel moves. Held past its short wait: nothing is tried.
    const RunLock::Held lock(SweepClaim::kLockName);
    if (!lock.held() && (lock.error() == EWOULDBLOCK || lock.error() == EAGAIN)) {
        move.sweeping = true;
        return move;
    }
    // What left its place since the sweep (the window moved it, say) is not tried: it would
    // only be refused, and written down as a run that moved nothing.
    std::vector<std::string> paths;
    for (const auto& p : picked) paths.push_back(p.path);
    const std::set<std::string> present = onDisk(paths);
    RemovalRun::Request request;
    for (const auto& p : picked) {
        if (present.count(p.path)) request.paths.push_back(p);
        else move.gone.push_back(p.path);
    }
    if (request.paths.empty()) return move;
    // The policy a sweep of these folders moves under: what it found in them, the panel
    // may move. A folder since taken out of the schedule, or one it would skip, lets nothing by.
    std::vector<std::string> skipped;
    request.policy = CleanupPolicy::standard().allowing(
        folders.empty() ? folders : FolderChecks::sweepable(folders, skipped, checking.check, checking.deadline));
    request.run.allowedRoots = request.policy.allowedRoots; // put back knows the folders as the move did
    request.cloud = CloudDetector::detect();
    request.run.trigger = SweepRun::Trigger::menuBar;
    request.run.scope = "findings you ticked";
    // The panel's own result: what it moved and what it refused, nothing of the sweep's.
    request.receipt = [when](const std::vector<CleanupOutcome>& outcomes) {
        SweepReceipt receipt = ManualRun::receipt(outcomes);
        receipt.date = when;
        receipt.action = SweepSchedule::Action::clean;
        return receipt;
    };
    RemovalRun::Result result = RemovalRun::moveAndRecord(std::move(request));

    SaveStatus status;
    std::unordered_set<std::string> movedPaths;
    int64_t movedBytes = 0, sharedBytes = 0;
    for (const auto& o : result.outcomes) {
        if (!o.moved()) continue;
        movedPaths.insert(o.path);
        movedBytes = Bytes::saturatingAdd(movedBytes, o.freed());
        sharedBytes = Bytes::saturatingAdd(sharedBytes, o.size - o.freed());
    }
    // The sweep's receipt stays; what the panel moved is added to it. A move that moved
    // nothing leaves it as it is.
    if (!movedPaths.empty()) {
        const std::optional<SweepReceipt> last = SweepReceipt::loadLast();
        SweepReceipt receipt = last.value_or(SweepReceipt{});
        const bool sweepMoved = last && last->action == SweepSchedule::Action::clean;
        if (last) receipt.sweptAt = last->sweepDate();
        receipt.date = when;
        receipt.action = SweepSchedule::Action::clean;
        receipt.movedCount = (sweepMoved ? last->movedCount : 0) + static_cast<int64_t>(movedPaths.size());
        receipt.movedBytes = Bytes::saturatingAdd(sweepMoved ? last->movedBytes : 0, movedBytes);
        receipt.sharedBytes = Bytes::saturatingAdd(sweepMoved ? last->sharedBytes : 0, sharedBytes);
        receipt.withheldReason.reset();
        receipt.cutShort = false; // this move was recorded whole
        if (!sweepMoved) receipt.runs.clear();
        receipt.runs.push_back(result.run.id);
        status = SweepReceipt::record(receipt);
        move.lastReceipt = receipt;
    }
    // Refused and failed picks stay, whatever their result.
    std::vector<SweepReceipt::Finding> remaining;
    for (auto& finding : SweepReceipt::loadFindings())
        if (!movedPaths.count(finding.path)) remaining.push_back(std::move(finding));
    if (SaveStatus saved = SweepReceipt::record(remaining); !saved && status) status = saved;

    move.saveError = result.saveError ? result.saveError : SweepHistory::notSavedMessage(status);
    move.outcomes = std::move(result.outcomes);
    return move;
}

void SweepScheduler::finishClean(PanelMove move) {
    if (move.sweeping) {
        setFailure(std::string(kSweepingNothingMoved));
        isCleaning_ = false;
        publish(&SweepScheduler::isCleaningChanged);
        return;
    }
    std::unordered_set<std::string> movedPaths;
    std::vector<std::string> untick = move.gone; // what stays is unticked: pressing again would change nothing
    for (const auto& o : move.outcomes) {
        if (o.moved()) movedPaths.insert(o.path);
        else untick.push_back(o.path);
    }
    bool hidden = false;
    for (const auto& path : move.gone) hidden |= absent_.insert(path).second;
    if (move.lastReceipt && Models::assignIfChanged(lastReceipt_, *move.lastReceipt))
        publish(&SweepScheduler::lastReceiptChanged);
    std::vector<CleanupOutcome> remaining;
    for (const auto& o : findings_)
        if (!movedPaths.count(o.path)) remaining.push_back(o);
    if (Models::assignIfChanged(findings_, std::move(remaining)) || hidden) publish(&SweepScheduler::findingsChanged);
    size_t unticked = 0;
    for (const auto& path : movedPaths) unticked += selectedPaths_.erase(path);
    for (const auto& path : untick) unticked += selectedPaths_.erase(path);
    if (unticked) publish(&SweepScheduler::selectedPathsChanged);
    setSaveError(move.saveError, false);
    setMoveNote(moveNoteFor(move.picked, move.gone, move.outcomes));
    if (auto moves = MovedItems::of(move.outcomes); !moves.empty()) emit itemsMoved(moves);

    isCleaning_ = false;
    publish(&SweepScheduler::isCleaningChanged);
}

// ---- What is on disk ----

std::set<std::string> SweepScheduler::onDisk(const std::vector<std::string>& paths) {
    std::set<std::string> present;
    for (const auto& path : paths)
        if (FileManager::presence(path) != FileManager::Presence::absent) present.insert(path);
    return present;
}

void SweepScheduler::refreshFindings() {
    lookUpPutBack();
    if (findings_.empty()) return;
    std::vector<std::string> paths;
    for (const auto& f : findings_)
        if (f.wouldMove() || f.moved()) paths.push_back(f.path);
    // A newer look replaces one still under way (a hung disk can hold it up).
    auto replaced = presence_.begin();
    Models::runThenDeliver(
        this, Models::WorkPriority::utility, [paths] { return onDisk(paths); },
        [replaced, paths](SweepScheduler& model, std::set<std::string> present) {
            if (!replaced->load()) model.applyPresence(paths, present);
        },
        [](SweepScheduler&, const std::string&) {}); // the list stays as it was shown
}

void SweepScheduler::applyPresence(const std::vector<std::string>& looked, const std::set<std::string>& present) {
    const std::set<std::string> asked(looked.begin(), looked.end());
    bool listChanged = false, ticksChanged = false;
    for (auto& f : findings_) {
        if (!asked.count(f.path)) continue;
        const bool there = present.count(f.path) > 0;
        if (f.wouldMove()) {
            if (!there && absent_.insert(f.path).second) {
                listChanged = true;
                ticksChanged |= selectedPaths_.erase(f.path) > 0;
            } else if (there && absent_.erase(f.path)) {
                listChanged = true; // back, unticked: nothing moves without a new tick
            }
        } else if (f.moved() && there) {
            // Put back where the sweep found it: a finding again, unticked.
            f.result = CleanupOutcome::WouldMove{};
            listChanged = true;
        }
    }
    if (listChanged) publish(&SweepScheduler::findingsChanged);
    if (ticksChanged) publish(&SweepScheduler::selectedPathsChanged);
}

ShownRun::PutBack SweepScheduler::lastPutBack() const {
    // Looked up for the runs of a receipt since replaced: nothing is known of this one's yet.
    if (!lastReceipt_ || lastReceipt_->runs != putBack_.runs) return {};
    return putBack_.back;
}

void SweepScheduler::lookUpPutBack() {
    if (!lastReceipt_ || lastReceipt_->runs.empty()) return;
    auto replaced = putBackLook_.begin();
    Models::runThenDeliver(
        this, Models::WorkPriority::utility,
        [runs = lastReceipt_->runs] {
            static const std::vector<SweepRun> none;
            const auto loaded = SweepHistory::sharedRead();
            return ShownRun::putBack(runs, loaded ? loaded->runs : none);
        },
        [replaced, runs = lastReceipt_->runs](SweepScheduler& model, ShownRun::PutBack back) {
            if (replaced->load()) return;
            const ShownRun::PutBack before = model.lastPutBack();
            model.putBack_ = {runs, back};
            if (model.lastPutBack() != before) model.publish(&SweepScheduler::putBackChanged);
        },
        [](SweepScheduler&, const std::string&) {}); // the receipt is told as it was
}

void SweepScheduler::setMoveNote(std::optional<std::string> note) {
    if (Models::assignIfChanged(moveNote_, std::move(note))) publish(&SweepScheduler::moveNoteChanged);
}

std::optional<std::string> SweepScheduler::moveNoteFor(size_t picked, const std::vector<std::string>& gone,
                                                       const std::vector<CleanupOutcome>& outcomes) {
    constexpr size_t kNamed = 3;
    std::vector<std::string> lines;
    auto name = [](const std::string& path) { return "\u201C" + lastPathComponent(path) + "\u201D \u2014 "; };
    for (const auto& path : gone)
        lines.push_back(name(path) + "no longer where the sweep found it; it was moved or removed since");
    size_t moved = 0;
    for (const auto& o : outcomes) {
        if (o.moved()) ++moved;
        else lines.push_back(name(o.path) + whyNotMoved(o));
    }
    if (lines.empty()) return std::nullopt;
    std::string note = moved == 0 ? std::string("Nothing was moved.")
                                  : std::to_string(lines.size()) + " of " + std::to_string(picked) +
                                        " ticked items were not moved.";
    for (size_t i = 0; i < lines.size() && i < kNamed; ++i) note += "\n" + lines[i];
    if (lines.size() > kNamed) note += "\nand " + std::to_string(lines.size() - kNamed) + " more.";
    return note;
}

} // namespace sorvel
