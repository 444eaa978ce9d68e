// The schedule's changes and the user's own folders: a folder not in the schedule yet is
// checked on a worker (the check reads the disk and the mount table, which a hung mount
// can hold up) before it joins; everything else of a change applies at once.
#include "models/SweepScheduler.h"

#include <algorithm>

#include "engine/PathText.h"
#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "models/SettingsSaver.h"

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
    schedule_ = schedule;
    publish(&SweepScheduler::scheduleChanged);
    // Stored off the main thread; unwritable: said like any other save, and the timer
    // restarts all the same.
    Models::saveSetting(this, UserDefaults::standard(), "SorvelSweepSchedule", schedule_.toJSON(),
                        [](SweepScheduler& scheduler, const SaveStatus& stored) {
                            if (!stored) scheduler.setSaveError(scheduleNotSavedMessage(stored), true);
                            else if (scheduler.saveErrorIsSchedule_) scheduler.setSaveError(std::nullopt, false);
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
    // mount, say), whose folders are then not added, and whose answer is dropped when it comes.
    checkingFolders_ = folders;
    setFolderRefusal(std::nullopt); // about an earlier folder; this one is being checked
    publish(&SweepScheduler::checkingFoldersChanged);
    auto replaced = folderCheck_.begin();
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [check = deps_.folderCheck, folders = checkingFolders_] {
            FolderVerdicts verdicts;
            for (const auto& folder : folders) verdicts.emplace_back(folder, check(folder));
            return verdicts;
        },
        [replaced](SweepScheduler& model, FolderVerdicts verdicts) {
            if (!replaced->load()) model.finishFolderCheck(std::move(verdicts));
        },
        [replaced](SweepScheduler& model, const std::string& reason) {
            if (!replaced->load()) model.failFolderCheck(reason);
        });
}

void SweepScheduler::finishFolderCheck(FolderVerdicts verdicts) {
    folderCheck_.cancel();
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

void SweepScheduler::failFolderCheck(const std::string& reason) {
    folderCheck_.cancel();
    std::string named;
    for (const auto& folder : checkingFolders_)
        named += (named.empty() ? "" : ", ") + ("\u201C" + tildeAbbreviated(folder) + "\u201D");
    const bool one = checkingFolders_.size() == 1;
    checkingFolders_.clear();
    publish(&SweepScheduler::checkingFoldersChanged);
    setFolderRefusal(Models::failureSentence("checking " + named, reason) +
                     (one ? " It was not added." : " They were not added."));
    if (isArmed()) runIfDue();
}

void SweepScheduler::setFolderRefusal(std::optional<std::string> reason) {
    if (reason == folderRefusal_) return;
    folderRefusal_ = std::move(reason);
    publish(&SweepScheduler::folderRefusalChanged);
}

} // namespace sorvel
