#pragma once
// What the history page shows: the totals line, the trigger symbols and labels, the
// restore summary with its problem lines, and a run's detail with its restore button.
// Pure; the widgets draw these.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "removal/RestoreExecutor.h"
#include "removal/SweepHistory.h"

namespace sorvel::HistoryRules {

std::string totalsLine(int64_t count, int64_t bytes);

struct TriggerLook {
    std::string symbol;
    std::string label;
};
TriggerLook trigger(SweepRun::Trigger trigger);
/// "Dec 7, 2026, 3:04 PM · Manual · items you picked".
/// `moving`: a process is still moving the run (it is then not said to be cut short).
std::string runSubtitle(const SweepRun& run, bool moving = false);

/// The clause after a file name for an item that did not come back.
std::string reason(const RestoreOutcome::Result& result);

inline constexpr size_t kMaximumProblemLines = 6;
struct Summary {
    std::string title;                 // "Put back N item(s) · X", or "Nothing was put back"
    bool nothingBack = false;          // no item came back: not shown as a success
    std::vector<std::string> problems; // "name — reason", the first 6 not restored
};
Summary summary(const std::vector<RestoreOutcome>& outcomes);

inline constexpr size_t kMaximumRows = 40;
struct Detail {
    std::optional<std::string> withheld;
    std::optional<std::string> emptyText; // when the run lists no items; nothing else follows
    size_t rows = 0;                      // items listed, at most 40
    std::optional<std::string> more;      // "+ N more"
    /// The restore button, only when the run can really be put back.
    std::optional<std::string> button;
    bool buttonEnabled = false;
    bool buttonBusy = false; // "Putting back…": this run's put-back under way
    /// Said instead of the button when the list is cut short.
    std::optional<std::string> trimmedNote;
};
/// The button is disabled while a restore runs, and for a run a process is still moving.
Detail detail(const SweepRun& run, const std::optional<UUID>& restoring, bool moving = false);

/// Beside a run that was cut short before its last move was written down.
inline constexpr const char* kUnfinishedNote = "did not finish";
/// Beside a run a process is still moving.
inline constexpr const char* kMovingNote = "still being moved";

inline constexpr const char* kEmptyText =
    "Nothing yet. Every removal Sorvel makes \u2014 scheduled, manual, from the sweep panel, or "
    "from an uninstall \u2014 is recorded here with the paths it took, so it can be put back.";
inline constexpr const char* kRestoreNote =
    "Restores come out of the Trash only, never overwrite anything, and go back exactly where they were taken "
    "from.";

} // namespace sorvel::HistoryRules
