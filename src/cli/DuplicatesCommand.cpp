#include "cli/DuplicatesCommand.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "cli/DuplicateSearch.h"
#include "cli/CommandPath.h"
#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {

using TextLayout::leftPadded;
using TextLayout::rightPadded;
using TextLayout::shownPath;
using TextLayout::tailFitted;

namespace {
constexpr size_t kGroupsShown = 25;

} // namespace

std::string duplicatesUnreadableLine(const DuplicateFinder::Report& report) {
    const std::string summary = report.unreadableSummary();
    return summary.empty() ? summary : "  " + summary;
}

bool duplicatesReadNothing(const DuplicateFinder::Report& report) { return report.readNothing(); }

std::string kindLabel(DuplicateGroup::Kind kind) {
    switch (kind) {
    case DuplicateGroup::Kind::independentCopies: return "Separate copies";
    case DuplicateGroup::Kind::clones: return "Reflinked clones \u2014 shared storage";
    case DuplicateGroup::Kind::hardLinks: return "Hard links \u2014 the same file";
    case DuplicateGroup::Kind::mixed: break;
    }
    return "Partly shared storage";
}

std::string duplicatesBanner(const std::string& root) {
    return "\n  Looking for duplicates under " + shownPath(root) + "\u2026\n\n";
}

std::string duplicatesReport(const DuplicateFinder::Report& report, const std::map<std::string, std::string>& refused) {
    std::string out;
    auto line = [&out](const std::string& text) { out += text + "\n"; };
    // Counts and totals of nothing read would pass for an answer: only what was refused.
    if (duplicatesReadNothing(report)) {
        line(duplicatesUnreadableLine(report) + "\n");
        return out;
    }
    line("  " + counted(int64_t(report.filesScanned), "file") + " considered" +
         (report.hitScanLimit ? " (scan limit reached)" : ""));
    if (const std::string unreadable = duplicatesUnreadableLine(report); !unreadable.empty()) line(unreadable);
    line("  " + counted(int64_t(report.groups.size()), "group") + " of identical files\n");
    const size_t shown = std::min(report.groups.size(), kGroupsShown);
    for (size_t i = 0; i < shown; ++i) {
        const DuplicateGroup& group = report.groups[i];
        line("  " + leftPadded(Bytes::format(group.size), 10) + " \u00D7 " + std::to_string(group.files.size()) +
             "   " + kindLabel(group.kind));
        for (size_t k = 0; k < group.files.size(); ++k) {
            const DuplicateFile& file = group.files[k];
            const bool kept = k == 0;
            // A kept copy the move would refuse says why it stays; any other kept copy frees nothing.
            const auto stays = refused.find(file.path);
            line("        " + rightPadded(kept ? "keep" : "extra", 7) +
                 rightPadded(tailFitted(shownPath(file.path), 58), 60) +
                 (stays != refused.end() ? "never moved: " + TextLayout::shown(stays->second)
                                         : "frees " + Bytes::format(group.freedLeaving(k, refused))));
        }
    }
    // What could move: each group's extras the guard lets go, as the file system frees them.
    const int64_t movable = report.reclaimableLeaving(refused);
    const int64_t staying = report.copiesLeft(refused);
    const int64_t reclaimable = report.reclaimable();
    const int64_t apparent = report.apparentSaving();
    line("");
    line("  Genuinely reclaimable   " + Bytes::format(movable));
    if (staying > 0)
        line("  Refused by the guard    " + Bytes::format(std::max<int64_t>(reclaimable - movable, 0)) + " in " +
             counted(staying, "copy", "copies") + " Sorvel never moves (a protected place, say)");
    line("  A size-only tool would claim  " + Bytes::format(apparent));
    if (apparent - reclaimable >= 1) {
        line("");
        // Clones are named only where the file system made some.
        const std::string those = report.hasClones() ? "are reflinked clones or hard links sharing their blocks, so the filesystem "
                                                     : "are hard links, more names of one file, so the filesystem ";
        line(wrap(Bytes::format(apparent - reclaimable) + " of that does not exist. Those copies " + those +
                      "counts the bytes once no matter how many names point at them.",
                  "  ", 74));
    }
    line("");
    return out;
}

int duplicates(const std::string& argument) {
    const std::string root = absolutePath(expandingTildeInPath(argument));
    if (int status = CommandPath::check(argument, root); status != 0) return status;
    if (int status = ReportOutput::emit(duplicatesBanner(root)); status != 0) return status;
    ScanControl control;
    // The copies the duplicates screen's move would refuse, under the policy it moves with.
    const auto [report, refused] =
        DuplicateSearch::run(root, DuplicateFinder::Options(), CleanupPolicy::standard().allowing({root}), control);
    if (int status = ReportOutput::emit(duplicatesReport(report, refused)); status != 0) return status;
    // No groups found in nothing readable is no answer: said, with the status of a path
    // that cannot be read.
    if (!duplicatesReadNothing(report)) return 0;
    ReportOutput::diagnostic("Cannot read anything under " + printable(argument) + " (" + report.unreadableReasons() +
                             "), so no duplicates could be looked for.\n");
    return 1;
}

} // namespace sorvel::HeadlessReport
