#include "models/HistoryModel.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QTimer>

#include <cstdint>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "removal/CleanupPolicy.h"
#include "removal/CrashedRuns.h"
#include "removal/RemovalRun.h"
#include "removal/RestoreRun.h"
#include "removal/ShownRun.h"

namespace sorvel {
namespace {

// The stored runs as they stand, runs cut short by a crash counted by what really moved;
// shared with the history's cache unless a crash left a run to settle. At the start the
// runs cut short are tidied first, from the same reading: the history is read once, and
// again only when the tidy rewrote a run. With them, the runs a process is still moving.
HistoryModel::Loaded loadSettled(bool tidying) {
    auto read = SweepHistory::sharedRead();
    HistoryModel::Loaded loaded;
    if (tidying) {
        // A tidy the history's lock held off is tried again at the next load.
        const CrashedRuns::Tidied tidied = CrashedRuns::tidy(read->runs);
        if (tidied.runsRewritten > 0) read = SweepHistory::sharedRead();
        loaded.tidyDeferred = tidied.deferred;
    }
    std::shared_ptr<const std::vector<SweepRun>> runs(read, &read->runs);
    // No run shown because none could be read is no empty history.
    loaded.nothingRead = SweepHistory::nothingReadNote(*read);
    bool pending = false;
    for (const auto& run : *runs) {
        if (!run.finished && RemovalRun::isMoving(run.id)) loaded.moving.insert(run.id);
        pending = pending || CrashedRuns::listsUnmoved(run);
    }
    // An item two runs list counts only in the run whose Trash record it carries.
    if (!pending) pending = CrashedRuns::listsTwice(*runs);
    loaded.runs = pending ? std::make_shared<const std::vector<SweepRun>>(CrashedRuns::settled(*runs)) : runs;
    return loaded;
}

// The items to put back: a run cut short as it is stored, with the items it recorded but
// never moved, so those are told as such and leave it with the restored ones.
std::vector<MovedItem> itemsToRestore(const SweepRun& run) {
    // Held for the whole loop: the history's cache may let go of its copy meanwhile.
    const auto runs = SweepHistory::sharedRuns();
    for (const auto& stored : *runs)
        if (stored.id == run.id && CrashedRuns::listsUnmoved(stored)) return stored.moved;
    return run.moved;
}

} // namespace

HistoryModel::HistoryModel(QObject* parent) : HistoryModel(SweepHistory::clear, parent) {}

HistoryModel::HistoryModel(ClearWork clear, QObject* parent)
    : QObject(parent), runs_(std::make_shared<const std::vector<SweepRun>>()), clear_(std::move(clear)) {
    load(true);
    startFollowing();
}

// The page follows a run while it moves and when it settles, whoever moves it: the history's
// folder is watched (its file is replaced whole on each write), or the nearest folder above
// it until it is made, and while a run is still being moved (its mover may die without
// writing again) the runs are looked at again now and then. Each look is a load on a
// worker; the page changes only when the runs do.
void HistoryModel::startFollowing() {
    historyWatch_ = new QFileSystemWatcher(this);
    followSoon_ = new QTimer(this);
    followSoon_->setSingleShot(true);
    followSoon_->setInterval(50);
    followPoll_ = new QTimer(this);
    followPoll_->setInterval(kFollowInterval);
    connect(historyWatch_, &QFileSystemWatcher::directoryChanged, followSoon_, qOverload<>(&QTimer::start));
    connect(followSoon_, &QTimer::timeout, this, &HistoryModel::followChange);
    connect(followPoll_, &QTimer::timeout, this, &HistoryModel::followChange);
    watchHistoryFolder();
    updateFollowPoll();
}

void HistoryModel::watchHistoryFolder() {
    if (!historyWatch_) return;
    std::string folder = deletingLastPathComponent(SweepHistory::filePath());
    while (!QDir(QString::fromStdString(folder)).exists() && folder.size() > 1)
        folder = deletingLastPathComponent(folder);
    const QString wanted = QString::fromStdString(folder);
    const QStringList watched = historyWatch_->directories();
    if (watched.size() == 1 && watched.front() == wanted) return;
    if (!watched.isEmpty()) historyWatch_->removePaths(watched);
    historyWatch_->addPath(wanted); // the poll stands in should even this fail
}

void HistoryModel::updateFollowPoll() {
    if (!followPoll_) return;
    const bool wanted = !moving_.empty() || historyWatch_->directories().isEmpty();
    if (wanted && !followPoll_->isActive()) followPoll_->start();
    if (!wanted) followPoll_->stop();
}

void HistoryModel::followChange() {
    watchHistoryFolder();
    // One load at a time: a change meanwhile is looked at once that one is in.
    if (loading_ > 0) {
        followAgain_ = true;
        return;
    }
    load(false);
}

HistoryModel::~HistoryModel() = default;

int64_t HistoryModel::totalMoved() const {
    int64_t total = 0;
    for (const auto& run : *runs_) total = Bytes::saturatingAdd(total, ShownRun::movedBytes(run));
    return total;
}

int64_t HistoryModel::totalCount() const {
    int64_t total = 0;
    for (const auto& run : *runs_) total = Bytes::saturatingAdd(total, ShownRun::movedCount(run));
    return total;
}

void HistoryModel::setRuns(std::vector<SweepRun> runs) {
    setRuns(std::make_shared<const std::vector<SweepRun>>(std::move(runs)));
}

void HistoryModel::setRuns(std::shared_ptr<const std::vector<SweepRun>> runs) {
    // Equal runs are taken too: the copy the history's cache no longer holds is let go.
    const bool same = runs == runs_ || *runs == *runs_;
    runs_ = std::move(runs);
    if (same) return;
    emit runsChanged();
    emit changed();
}

void HistoryModel::reload() { load(false); }

void HistoryModel::load(bool atStart) {
    const uint64_t generation = ++generation_;
    ++loading_;
    const bool tidying = atStart || tidyNote_.has_value();
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        // At the application's start, records a crash left naming nothing in the Trash go,
        // and runs cut short are stored as they stand; a run still moving keeps its own.
        [tidying] { return loadSettled(tidying); },
        [generation](HistoryModel& model, Loaded loaded) { model.finishLoad(generation, std::move(loaded)); },
        [generation](HistoryModel& model, const std::string& reason) {
            --model.loading_;
            if (model.followAgain_ && model.loading_ == 0 && model.followSoon_) {
                model.followAgain_ = false;
                model.followSoon_->start();
            }
            // A newer load or a clear knows better; this one's end is still announced.
            if (generation == model.generation_)
                model.setFailure(Models::failureSentence("reading the history", reason));
            emit model.changed();
        });
}

void HistoryModel::finishLoad(uint64_t generation, Loaded loaded) {
    --loading_;
    if (followAgain_ && loading_ == 0 && followSoon_) {
        followAgain_ = false;
        followSoon_->start();
    }
    if (loaded.tidyDeferred) setTidyNote(*loaded.tidyDeferred);
    if (generation != generation_) return;
    setMoving(std::move(loaded.moving));
    if (Models::assignIfChanged(nothingRead_, std::move(loaded.nothingRead))) {
        emit runsChanged();
        emit changed();
    }
    setRuns(std::move(loaded.runs));
}

void HistoryModel::setMoving(std::set<UUID> moving) {
    if (moving == moving_) return;
    moving_ = std::move(moving);
    updateFollowPoll();
    emit runsChanged();
    emit changed();
}

void HistoryModel::toggle(const UUID& id) {
    if (!expanded_.erase(id)) expanded_.insert(id);
    emit expandedChanged();
    emit changed();
}

void HistoryModel::setRestoring(std::optional<UUID> id) {
    if (!Models::assignIfChanged(restoring_, id)) return;
    emit restoringChanged();
    emit changed();
}

void HistoryModel::restore(const SweepRun& run) {
    // A run still moving rewrites its stored copy batch by batch: it is put back once done.
    if (restoring_ || !run.hasDetail || run.moved.empty() || isMoving(run.id)) return;
    setRestoring(run.id);
    setFailure(std::nullopt);
    const uint64_t clears = clears_;
    stopRestore_ = std::make_shared<std::atomic<bool>>(false);
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [run, stop = stopRestore_] {
            // Known as moving only now (another process began it since the last load): left
            // to its mover, and the list says so.
            if (!run.finished && RemovalRun::isMoving(run.id)) return Restored{{}, {}, loadSettled(false)};
            // What came back, or never left, leaves the run as it is stored now, batch by
            // batch, not as this copy shows it, so nothing written meanwhile is lost; what
            // stayed in the Trash can be tried again later.
            auto put = RestoreRun::putBack(run, itemsToRestore(run), stop.get());
            Restored done{std::move(put.outcomes), put.saved, {}};
            done.loaded = loadSettled(false);
            return done;
        },
        [clears](HistoryModel& model, Restored restored) {
            // A clear since the start knows better than the list loaded with the restore.
            if (clears != model.clears_)
                restored.loaded = Loaded{model.runs_, model.moving_, std::nullopt, model.nothingRead_};
            const MovedItems::Moves moves = MovedItems::of(restored.outcomes);
            model.finishRestore(std::move(restored));
            emit model.itemsMoved(moves);
            emit model.trashChanged();
        },
        [](HistoryModel& model, const std::string& reason) {
            model.setFailure(Models::failureSentence("putting the items back", reason) +
                             " What came back is in its place; the rest is still in the Trash.");
            model.setRestoring(std::nullopt);
            emit model.trashChanged();
            model.reload(); // the stored runs say what is still in the Trash
        });
}

void HistoryModel::stopRestoring() {
    if (restoring_ && stopRestore_) stopRestore_->store(true);
}

std::string HistoryModel::restoreNotSavedMessage(const SaveStatus& status) {
    return status.notSaved("The items are back, but Sorvel could not update its history", "so it may still list them");
}

std::string HistoryModel::clearNotSavedMessage(const SaveStatus& status) {
    return status.notSaved("Sorvel could not clear its history", "so every run stays listed");
}

void HistoryModel::finishRestore(Restored restored) {
    ++restoresFinished_;
    if (Models::assignIfChanged(lastRestore_, restored.outcomes)) emit lastRestoreChanged();
    setSaveError(restored.saved ? std::nullopt : std::optional<std::string>(restoreNotSavedMessage(restored.saved)));
    // A load started meanwhile (or a clear) knows better than this one.
    ++generation_;
    const bool same = (restored.loaded.runs == runs_ || *restored.loaded.runs == *runs_) &&
                      restored.loaded.moving == moving_;
    runs_ = std::move(restored.loaded.runs);
    moving_ = std::move(restored.loaded.moving);
    updateFollowPoll();
    if (!same) emit runsChanged();
    setRestoring(std::nullopt);
}

void HistoryModel::setFailure(std::optional<std::string> failure) {
    if (!Models::assignIfChanged(failure_, std::move(failure))) return;
    emit failureChanged();
    emit changed();
}

void HistoryModel::setTidyNote(bool deferred) {
    auto note = deferred ? std::optional<std::string>(CrashedRuns::kTidyDeferred) : std::nullopt;
    if (!Models::assignIfChanged(tidyNote_, std::move(note))) return;
    emit changed();
}

void HistoryModel::setSaveError(std::optional<std::string> error) {
    if (!Models::assignIfChanged(saveError_, std::move(error))) return;
    emit saveErrorChanged();
    emit changed();
}

void HistoryModel::clearHistory() {
    // Loads still on their way hold what is about to go.
    ++generation_;
    ++clears_;
    ++clearing_;
    const uint64_t restoresBefore = restoresFinished_;
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated, [clear = clear_] { return clear(); },
        [restoresBefore](HistoryModel& model, SaveStatus cleared) {
            --model.clearing_;
            // A restore that ended while the clear ran keeps showing what came back.
            model.finishClear(cleared, restoresBefore == model.restoresFinished_);
        },
        [](HistoryModel& model, const std::string& reason) {
            --model.clearing_;
            model.setFailure(Models::failureSentence("clearing the history", reason));
            model.reload();
        });
}

void HistoryModel::finishClear(const SaveStatus& cleared, bool forgetRestore) {
    if (!cleared) {
        setSaveError(clearNotSavedMessage(cleared));
        reload();
        return;
    }
    ++generation_;
    setSaveError(std::nullopt);
    const bool hadRuns = !runs_->empty(), hadExpanded = !expanded_.empty();
    const bool hadRestore = forgetRestore && !lastRestore_.empty();
    runs_ = std::make_shared<const std::vector<SweepRun>>();
    expanded_.clear();
    if (hadRestore) lastRestore_.clear();
    if (hadRuns) emit runsChanged();
    if (hadExpanded) emit expandedChanged();
    if (hadRestore) emit lastRestoreChanged();
    if (hadRuns || hadExpanded || hadRestore) emit changed();
}

} // namespace sorvel
