#pragma once
// What the uninstaller page shows for an app and for the model's stage: list subtitles,
// the block above the bundle row, row values, the selection footer, the Finder hand-off
// block, outcome rows and the review pane's titles and buttons. Pure: the widgets draw
// these and the tests read them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/InstalledApp.h"
#include "models/AppsModel.h"
#include "platform/Date.h"
#include "removal/CleanupExecutor.h"

namespace sorvel::UninstallerRules {

/// Why the list holds no app, naming where apps were looked for: `found` apps, none of
/// them one Sorvel lists, or none found in `looked`, whose unreadable folders come first.
std::string emptyListText(size_t found, const AppsModel::Looked& looked);

/// Has a bundle identifier that one of the running applications carries.
bool isRunning(const InstalledApp& app, const std::vector<std::string>& runningIdentifiers);

/// "1.2 · 3 support files · last opened 2 days ago", the parts present.
std::string subtitle(const InstalledApp& app, Date now);

/// The block between the running warning and the bundle row.
struct RemovabilityBlock {
    enum class Kind { none, handoff, warning };
    Kind kind = Kind::none;
    std::string title; // warning only
    std::string body;  // warning only
};
RemovabilityBlock removabilityBlock(const InstalledApp& app);

/// The bundle with its leftovers, as the list shows it; none when this user may not look
/// inside the bundle, whose size is then not known (kNotReadable is shown instead).
std::optional<int64_t> listedSize(const InstalledApp& app);
inline constexpr const char* kNotReadable = "not readable";
inline constexpr const char* kNotReadableTip = "This user may not look inside it, so its size is not known.";
inline constexpr const char* kPartlyReadTip = "Part of it is not readable by this user, so its size is a lower bound.";

/// One bundle or leftover row.
struct Row {
    std::string path;
    int64_t size = 0;
    bool readable = true; // false: size is no figure, the row says kNotReadable
    std::string kind;
    std::string reason;
    bool certain = true;
    bool needsAdmin = false;
};
/// Said beside a leftover that an app of unknown identity may own.
inline constexpr const char* kOwnerInDoubt = "some apps could not be read, and this may be one of theirs";
Row bundleRow(const InstalledApp& app);
Row leftoverRow(const AppLeftover& leftover);

/// "N item(s) selected".
std::string selectionCount(size_t count);
/// The footer's figure for the ticked paths of the app: their bytes; "not readable" when
/// none of them was read, "at least …" when one of them was read in part or not at all.
std::string selectionSize(const InstalledApp& app, const std::vector<CleanupExecutor::PathSize>& targets);
/// The sentence of an app with no leftovers: what was matched, and what could not be.
std::string noLeftoversText(const InstalledApp& app);
bool reviewEnabled(size_t targetCount, bool running);

/// The Finder hand-off block for one state.
struct Handoff {
    enum class Tone { waiting, done, failed };
    enum class Action { moveWithFinder, none, openTrash };
    enum class Style { soft, subtle };
    Tone tone = Tone::waiting;
    std::string symbol;
    std::string title;
    std::string body;
    std::string button; // none: no button at all
    Style style = Style::soft;
    Action action = Action::none;
    bool enabled = true;
    bool busy = false; // stands for the hand-off under way
};
/// Where no program can take the bundle (`available` false) the block says an
/// administrator must remove it, and offers no button.
Handoff handoff(const AppsModel::HandoffState& state, const InstalledApp& app, bool running, bool available);

/// The look of one outcome row.
struct OutcomeLook {
    enum class Tone { accent, warning, rose, tertiary };
    std::string symbol;
    Tone tone = Tone::tertiary;
    std::optional<std::string> reason;
};
OutcomeLook outcomeLook(const CleanupOutcome::Result& result);
std::string allowedCaption(AppsModel::Stage stage);
inline constexpr const char* kRefusedCaption = "Refused by the safety checks \u2014 left alone";

/// Headline of the review pane. After the move it says what happened to this app: the
/// bundle moved, some of its items moved, or nothing moved.
std::string reviewTitle(AppsModel::Stage stage, const InstalledApp& app, size_t allowedCount,
                        const std::vector<CleanupOutcome>& preview);
std::string reviewSubtitle(AppsModel::Stage stage, const std::vector<CleanupOutcome>& preview);
/// The same for the app's review: a bundle not read makes the bytes freed a lower bound.
std::string reviewSubtitle(AppsModel::Stage stage, const std::vector<CleanupOutcome>& preview, const InstalledApp& app);
/// An outcome row's figure: its bytes, or kNotReadable for the app's bundle when it was not read.
std::string outcomeSize(const InstalledApp& app, const CleanupOutcome& outcome);

struct FooterButton {
    enum class Style { subtle, soft, accent };
    enum class Action { back, confirm, cancel, uninstall, none, done };
    std::string title;
    Style style = Style::subtle;
    Action action = Action::none;
    bool enabled = true;
    bool busy = false; // stands for the move under way
};
std::vector<FooterButton> reviewFooter(AppsModel::Stage stage, size_t allowedCount, bool isPreviewing);

} // namespace sorvel::UninstallerRules
