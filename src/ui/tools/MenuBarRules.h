#pragma once
// What the menu-bar panel shows: its status line, the findings list's height, the move
// button and the figures of the last sweep. Pure; the panel draws these.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"
#include "removal/SweepReceipt.h"

namespace sorvel::MenuBarRules {

/// Said of a sweep that is due and waits for the check that runs it, never a time gone by.
inline constexpr const char* kShortly = "shortly";

/// "Sweeping…", "Next sweep in 5 hours" (or "Next sweep shortly" while a due sweep waits)
/// or "Automatic sweeps are off", in that order. A part second left counts as a second: the
/// countdown never reads "in 0 seconds", and a time reached reads "shortly".
std::string statusLine(bool isRunning, const std::optional<Date>& nextRunDate, Date now, bool dueShortly = false);
/// How long what the panel and Settings show of the next sweep stays true: until its
/// countdown's figure changes or it falls due, and never past a second, so a clock set
/// forward or back is shown within one.
int nextSweepRefreshMs(const std::optional<Date>& nextRunDate, Date now);
/// The settings window's line: "Next sweep: Dec 9, 2026 at 11:00 AM." or "Next sweep: shortly.";
/// none when neither.
std::optional<std::string> nextSweepLine(const std::optional<Date>& nextRunDate, bool dueShortly);

/// 29 points a row, at least one row's worth, never more than 200.
int findingsListHeight(size_t findings);

struct MoveButton {
    std::string title;
    bool enabled = true;
    bool busy = false; // "Moving…": the sweep's move under way
};
MoveButton moveButton(bool isCleaning, size_t ticked, int64_t selectedBytes);

struct Stat {
    std::string caption;
    std::string value;
};
/// "Found", then "Moved" for a clean receipt, then "Skipped" when something was refused.
std::vector<Stat> stats(const SweepReceipt& receipt);
/// The dot beside the headline is the accent only when something moved.
bool accentDot(const SweepReceipt& receipt);

inline constexpr const char* kSettingsTitle = "Sorvel Settings";
/// Beside a finding the sweep already moved to the Trash.
inline constexpr const char* kMovedLabel = "Moved";
inline constexpr const char* kMoveNote = "Moved items go to the Trash and can be put back from the file manager.";

} // namespace sorvel::MenuBarRules
