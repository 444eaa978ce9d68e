#pragma once
// What the duplicates screen shows for the model's stage and report: which content
// stands under the header, how many cards are built, the kind chips and notes, the file
// amounts, the footer and the done lines. Pure; the widgets draw these.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/DuplicateFinder.h"
#include "models/DuplicatesModel.h"
#include "removal/CleanupExecutor.h"

namespace sorvel::DuplicatesRules {

enum class Content { intro, scanning, results, finished };
Content content(DuplicatesModel::Stage stage);

/// Group cards are built this many at a time; the figures still cover every group.
inline constexpr size_t kMaximumCards = DuplicatesModel::kSetsShownAtOnce;
/// Cards built when `shown` sets have been asked for (the first page, then each "more").
size_t visibleCards(const DuplicateFinder::Report& report, size_t shown = kMaximumCards);
/// "Show N more sets" under the cards while sets are left unshown; none when all show.
std::optional<std::string> showMoreLabel(const DuplicateFinder::Report& report, size_t shown);

struct KindLook {
    std::string label; // shown upper-cased
    bool warning = false;
    std::optional<std::string> explanation;
};
KindLook kindLook(DuplicateGroup::Kind kind);

/// "N copies · X each" of a card header (the count includes the kept copy).
std::string copiesLine(const DuplicateGroup& group);
/// "—" for the kept copy, "frees X" for the others.
std::string amount(const DuplicateFile& file, bool kept);
/// What a card's header counts: what moving its extras frees, leaving the copies in
/// `refused` (by path) where the guard keeps them, as "genuinely reclaimable" counts.
int64_t cardFigure(const DuplicateGroup& group, const std::map<std::string, std::string>& refused);
/// A row's amount: "—" for the kept copy, "never moved" for a copy in `refused`, else
/// "frees X" with what moving it frees while those copies stay.
std::string amount(const DuplicateGroup& group, size_t index, const std::map<std::string, std::string>& refused);
/// The "sparkles" note, when the apparent saving exceeds what is genuinely reclaimable: the
/// part shared storage accounts for, and the part in copies the guard keeps (`refused`).
std::optional<std::string> apparentNote(const DuplicateFinder::Report& report,
                                        const std::map<std::string, std::string>& refused = {});
std::optional<std::string> limitLine(const DuplicateFinder::Report& report);
/// What could not be read, with the system's reasons; none when everything was read.
std::optional<std::string> unreadableLine(const DuplicateFinder::Report& report);
/// One of the figures over the sets: the amount, what it is, and how it is inked.
struct Figure {
    enum class Ink { accent, secondary, primary };
    std::string value;
    std::string label;
    Ink ink = Ink::primary;
};
/// Reclaimable, apparent and the number of sets; none for a folder nothing of which
/// could be read, whose figures would read as nothing to free. "Genuinely reclaimable"
/// leaves out the copies in `refused` (by path), which the guard keeps where they are.
std::vector<Figure> figures(const DuplicateFinder::Report& report, const std::map<std::string, std::string>& refused = {});
/// The text of a report without sets: never a plain "none" when nothing could be read.
std::string emptyLine(const DuplicateFinder::Report& report);

std::string selectedLine(size_t count);
std::optional<std::string> apparentLine(int64_t selectedReclaimable, int64_t selectedApparent);

/// After a removal: the headline, then what was left alone and why.
struct Done {
    std::string title;                // "Moved N copies to the Trash"
    std::optional<std::string> leftAlone; // "N copies were left alone:"
    std::vector<std::string> reasons; // "name — reason", at most kMaximumReasons
    size_t moreReasons = 0;           // beyond those listed
};
inline constexpr size_t kMaximumReasons = 6;
Done done(const std::vector<CleanupOutcome>& outcomes);

} // namespace sorvel::DuplicatesRules
