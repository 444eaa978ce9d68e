// The schedule's changes and the user's own folders: a folder not in the schedule yet is
// checked on a worker (the check reads the disk and the mount table, which a hung mount
// can hold up) before it joins; everything else of a change applies at once.
#include "models/SweepScheduler.h"

#include <algorithm>

#include "engine/PathText.h"
#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "models/SettingsSaver.h"
#include "removal/FolderChecks.h"

namespace sorvel {
namespace {

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

} // namespace

void SweepScheduler::setSchedule(const SweepSchedule& requested) {
    // Folders already in the schedule passed their check; any other waits for its own, on
    // a worker, and the rest of the change applies now.
    SweepSchedule schedule = requested;
    schedule.folders.clear();
    std::vector<std::string> fresh;
    for (const auto& folder : requested.folders) {
        if (contains(schedule_.folders, folder)) schedule.folders.push_back(folder);
        else if (!contains(fresh, folder)) fresh.push_back(folder);
    }
    // The same folders asked about again: the check already running answers them. Begun
    // first, so that the due test of the restart waits for it.
    if (!fresh.empty() && fresh != checkingFolders_) checkFolders(fresh);
    apply(schedule);
}

void SweepScheduler::apply(const SweepSchedule& schedule) {
    if (schedule == schedule_) return;
    const Unsaved change{++lastUnsaved_, schedule_, schedule};
    unsaved_.push_back(change);
    schedule_ = schedule;
    publish(&SweepScheduler::scheduleChanged);
    // Stored off the main thread, only what changed, into the schedule stored by then: another
    // Sorvel's choices since stay. Unwritable: said like any other save, kept in this Sorvel
    // until it quits, and the timer restarts all the same.
    auto merged = std::make_shared<SweepSchedule>();
    Models::writeSetting(
        this, [change, merged] { return SweepSchedule::storeChange(change.before, change.after, merged.get()); },
        [id = change.id, merged](SweepScheduler& scheduler, const SaveStatus& stored) {
            if (!stored) scheduler.setSaveError(scheduleNotSavedMessage(stored), true);
            else if (scheduler.saveErrorIsSchedule_) scheduler.setSaveError(std::nullopt, false);
            if (stored.retrying) return;
            auto& unsaved = scheduler.unsaved_;
            const auto it = std::find_if(unsaved.begin(), unsaved.end(), [id](const Unsaved& u) { return u.id == id; });
            if (it == unsaved.end()) return;
            if (!stored) return; // kept: shown over the stored schedule until Sorvel quits
            unsaved.erase(it);
            // With what another Sorvel stored meanwhile; reads begun before this are stale.
            scheduler.follow(*merged, ++scheduler.savesLanded_);
        });
    stop();
    start();
}

void SweepScheduler::addFolder(const std::string& path) {
    if (contains(schedule_.folders, path)) {
        setFolderRefusal(std::nullopt);
        return;
    }
    if (checkingFolders_ == std::vector<std::string>{path}) return;
    checkFolders({path});
}

void SweepScheduler::checkFolders(const std::vector<std::string>& folders) {
    // One check at a time: a newer one replaces the one still running (held up by a hung
    // mount, say), whose folders are then not added, and whose answers are dropped when
    // they come. Each folder on a thread of its own, so one hung folder neither holds up
    // the others nor a worker that other work needs; a folder whose earlier check is still
    // held is refused at once rather than checked on one more thread stuck beside it.
    checkingFolders_ = folders;
    folderAnswers_.assign(folders.size(), std::nullopt);
    setFolderRefusal(std::nullopt); // about an earlier folder; this one is being checked
    publish(&SweepScheduler::checkingFoldersChanged);
    auto replaced = folderCheck_.begin();
    folderDeadline_.start(deps_.folderCheckDeadline.value_or(kFolderCheckDeadline));
    // Answers reach the scheduler on the main thread, and only while it exists: a check
    // held past its end delivers nothing.
    auto deliver = [gate = deliveries_, weak = QPointer<SweepScheduler>(this), replaced](
                       size_t index, std::optional<std::string> verdict) {
        std::lock_guard lock(gate->mutex);
        if (!gate->open || replaced->load()) return;
        Models::deliver(weak, [replaced, index, verdict = std::move(verdict)](SweepScheduler& model) mutable {
            if (!replaced->load()) model.answerFolder(index, std::move(verdict));
        });
    };
    std::vector<size_t> held;
    for (size_t index = 0; index < folders.size(); ++index) {
        const std::string& folder = folders[index];
        auto failed = [deliver, index, folder](const std::string& reason) {
            deliver(index, Models::failureSentence("checking \u201C" + tildeAbbreviated(folder) + "\u201D", reason) +
                               " It was not added.");
        };
        try {
            if (!FolderChecks::start(folder, deps_.folderCheck,
                                     [deliver, index](std::optional<std::string> verdict) {
                                         deliver(index, std::move(verdict));
                                     },
                                     failed))
                held.push_back(index);
        } catch (const std::exception& e) {
            failed(e.what());
        }
    }
    for (size_t index : held)
        answerFolder(index, FolderChecks::notAnswering(folders[index], FolderChecks::kNotAdded));
}

void SweepScheduler::answerFolder(size_t index, std::optional<std::string> verdict) {
    if (index >= folderAnswers_.size()) return;
    folderAnswers_[index] = std::move(verdict);
    for (const auto& answer : folderAnswers_)
        if (!answer) return;
    concludeFolderCheck(); // every folder answered: none is left to refuse
}

void SweepScheduler::concludeFolderCheck() {
    if (!folderCheck_.live()) return;
    // Those that answered are taken as they said; the others are refused, and what they
    // say later is dropped with the request.
    FolderVerdicts verdicts;
    for (size_t index = 0; index < checkingFolders_.size(); ++index) {
        const std::string& folder = checkingFolders_[index];
        if (index < folderAnswers_.size() && folderAnswers_[index])
            verdicts.emplace_back(folder, *folderAnswers_[index]);
        else
            verdicts.emplace_back(folder, FolderChecks::notAnswering(folder, FolderChecks::kNotAdded));
    }
    finishFolderCheck(std::move(verdicts));
}

void SweepScheduler::finishFolderCheck(FolderVerdicts verdicts) {
    folderCheck_.cancel();
    folderDeadline_.stop();
    folderAnswers_.clear();
    checkingFolders_.clear();
    publish(&SweepScheduler::checkingFoldersChanged);
    // Joined to the schedule as it is now, which may have changed while the check ran.
    SweepSchedule schedule = schedule_;
    std::optional<std::string> refused;
    for (auto& [folder, reason] : verdicts) {
        if (reason) refused = refused ? *refused + " " + *reason : *reason;
        else if (!contains(schedule.folders, folder)) schedule.folders.push_back(folder);
    }
    setFolderRefusal(std::move(refused));
    if (schedule != schedule_) apply(schedule); // restarts, with a due test
    else if (isArmed()) runIfDue();             // the one held back for the check
}

void SweepScheduler::setFolderRefusal(std::optional<std::string> reason) {
    if (reason == folderRefusal_) return;
    folderRefusal_ = std::move(reason);
    publish(&SweepScheduler::folderRefusalChanged);
}

} // namespace sorvel
