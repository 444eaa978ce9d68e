#pragma once
// The settings window's rules: which recommendations are offered as sweep rules, what
// ticking one stores, the footnote under them, which folders may be added, and the
// update button's title. Pure; the window draws these.
#include <optional>
#include <string>
#include <vector>

#include "engine/CleanupItem.h"
#include "models/UpdateChecker.h"
#include "removal/SweepSchedule.h"

namespace sorvel::SettingsRules {

/// Safe recommendations with at least one target and no external action, in order.
std::vector<CleanupItem> availableRules(const std::vector<CleanupItem>& items);
bool isTicked(const SweepSchedule::RuleSelection& selection, const std::string& id);

/// The selection after clicking the row `id`. It returns to all safe rules only when
/// every listed row is ticked; identifiers the list no longer shows do not count.
SweepSchedule::RuleSelection toggle(const SweepSchedule::RuleSelection& selection,
                                    const std::vector<std::string>& listedIds, const std::string& id);

struct Footnote {
    bool warning = false;
    std::string text;
};
Footnote footnote(const SweepSchedule::RuleSelection& selection, size_t folderCount);

/// Why a folder may not be added: "/", the home folder and every folder above it would
/// hand a sweep the whole home. None when it may be added.
std::optional<std::string> folderRefusal(const std::string& path, const std::string& home);
/// The schedule with the folder appended; unchanged when already listed or refused.
SweepSchedule addingFolder(const SweepSchedule& schedule, const std::string& path, const std::string& home);
/// The schedule without any entry equal to `path`.
SweepSchedule removingFolder(const SweepSchedule& schedule, const std::string& path);

std::string checkLabel(const UpdateChecker::State& state);
std::string hourLabel(int hour);
std::string frequencyLabel(SweepSchedule::Frequency frequency);
std::string actionLabel(SweepSchedule::Action action);
std::string actionExplanation(SweepSchedule::Action action);

inline constexpr const char* kNoRulesText = "Run a scan to see which rules apply to this computer.";
inline constexpr const char* kNoFoldersText =
    "Add a folder Sorvel would not think of on its own \u2014 a build directory, a scratch area, a downloads "
    "staging folder. Its subfolders are swept alongside the rules above, each as one item; files lying "
    "directly in it are left where they are.";

} // namespace sorvel::SettingsRules
