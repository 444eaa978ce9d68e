#include "ui/tools/SettingsRules.h"

#include <algorithm>
#include <cstdio>

#include "platform/Path.h"

namespace sorvel::SettingsRules {

using Selection = SweepSchedule::RuleSelection;

std::vector<CleanupItem> availableRules(const std::vector<CleanupItem>& items) {
    std::vector<CleanupItem> rules;
    for (const auto& item : items)
        if (item.isSafeToClean()) rules.push_back(item);
    return rules;
}

bool isTicked(const Selection& selection, const std::string& id) {
    return selection.isAllSafeRules() || selection.ids.count(id) > 0;
}

Selection toggle(const Selection& selection, const std::vector<std::string>& listedIds, const std::string& id) {
    std::set<std::string> set =
        selection.isAllSafeRules() ? std::set<std::string>(listedIds.begin(), listedIds.end()) : selection.ids;
    if (!set.erase(id)) set.insert(id);
    const bool everyListed =
        !listedIds.empty() && std::all_of(listedIds.begin(), listedIds.end(),
                                          [&](const std::string& listed) { return set.count(listed) > 0; });
    return everyListed ? Selection::allSafeRules() : Selection::only(std::move(set));
}

Footnote footnote(const Selection& selection, size_t folderCount) {
    if (selection.isAllSafeRules())
        return {false, "All safe rules run. Rules marked \u201CREVIEW FIRST\u201D are never run automatically."};
    if (!selection.ids.empty()) return {false, "Only the ticked rules run."};
    if (folderCount == 0)
        return {true, "No rules and no folders \u2014 a sweep would have nothing to look at. Tick a rule, or add a "
                      "folder below."};
    return {false, "No rules run. Sweeps look only at the " + std::to_string(folderCount) + " folder" +
                       (folderCount == 1 ? "" : "s") + " you added below."};
}

std::optional<std::string> folderRefusal(const std::string& path, const std::string& home) {
    const std::string folder = standardizePath(path);
    const std::string homeFolder = standardizePath(home);
    if (folder.empty() || folder == "/" || isPathInside(homeFolder, folder))
        return "\u201C" + (folder == homeFolder ? std::string("~") : folder.empty() ? std::string("/") : folder) +
               "\u201D holds your whole home folder, so a sweep may not look at it. Choose a folder inside your "
               "home.";
    return std::nullopt;
}

SweepSchedule addingFolder(const SweepSchedule& schedule, const std::string& path, const std::string& home) {
    if (folderRefusal(path, home)) return schedule;
    if (std::find(schedule.folders.begin(), schedule.folders.end(), path) != schedule.folders.end()) return schedule;
    SweepSchedule next = schedule;
    next.folders.push_back(path);
    return next;
}

SweepSchedule removingFolder(const SweepSchedule& schedule, const std::string& path) {
    SweepSchedule next = schedule;
    next.folders.erase(std::remove(next.folders.begin(), next.folders.end(), path), next.folders.end());
    return next;
}

std::string checkLabel(const UpdateChecker::State& state) {
    using K = UpdateChecker::State::Kind;
    switch (state.kind) {
    case K::idle: return "Check now";
    case K::checking: return "Checking\u2026";
    case K::upToDate: return "Up to date";
    case K::available: return "Version " + (state.release ? state.release->version : std::string()) + " available";
    case K::failed: return "Check again";
    }
    return "Check now";
}

std::string hourLabel(int hour) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:00", hour);
    return buffer;
}

std::string frequencyLabel(SweepSchedule::Frequency frequency) {
    switch (frequency) {
    case SweepSchedule::Frequency::off: return "Off";
    case SweepSchedule::Frequency::daily: return "Daily";
    case SweepSchedule::Frequency::weekly: return "Weekly";
    }
    return {};
}

std::string actionLabel(SweepSchedule::Action action) {
    return action == SweepSchedule::Action::clean ? "Move to Trash" : "Report only";
}

std::string actionExplanation(SweepSchedule::Action action) {
    if (action == SweepSchedule::Action::clean)
        return "Moves what the safe rules find to the Trash, where you can still get it back. Rules marked "
               "\u201CREVIEW FIRST\u201D are never run unattended \u2014 those need you to look at them.";
    return "Scans and tells you what it found. Nothing is moved or removed.";
}

} // namespace sorvel::SettingsRules
