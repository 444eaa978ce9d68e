#include "cli/HistoryCommand.h"

#include <unistd.h>


#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "engine/Bytes.h"
#include "platform/Date.h"
#include "platform/Text.h"
#include "platform/UserDefaults.h"
#include "removal/CrashedRuns.h"
#include "removal/RemovalRun.h"
#include "removal/ShownRun.h"

namespace sorvel::HeadlessReport {
namespace {

constexpr size_t kListedRuns = 30;

const char* label(SweepRun::Trigger trigger) {
    switch (trigger) {
    case SweepRun::Trigger::scheduled: return "Scheduled";
    case SweepRun::Trigger::manual: return "Manual";
    case SweepRun::Trigger::menuBar: return "Sweep panel";
    }
    return "Manual";
}

} // namespace

std::string historyReport(const std::vector<SweepRun>& runs) {
    std::string out;
    auto line = [&out](const std::string& text) { out += text + "\n"; };
    if (runs.empty()) {
        line("\n  No runs recorded yet.\n");
        return out;
    }
    int64_t total = 0;
    for (const auto& run : runs) total = Bytes::saturatingAdd(total, ShownRun::movedBytes(run));
    line("\n  " + std::to_string(runs.size()) + " run" + (runs.size() == 1 ? "" : "s") + " recorded, " +
         Bytes::format(total) + " moved in total\n");
    for (size_t i = 0; i < runs.size() && i < kListedRuns; ++i) {
        const SweepRun& run = runs[i];
        const bool moving = !run.finished && RemovalRun::isMoving(run.id);
        // A date as wide as its column still keeps one space before the label. The run says
        // what it moved, as the window does, what was put back since included.
        line("  " + TextLayout::rightPadded(mediumDateShortTime(run.receipt.date) + " ", 22) +
             TextLayout::rightPadded(label(run.trigger), 11) +
             TextLayout::leftPadded(Bytes::format(ShownRun::movedBytes(run)), 10) + "  " +
             ShownRun::headline(run, moving));
        line("        " + TextLayout::shown(run.scope) +
             (run.hasDetail ? "" : "  \u00B7 detail trimmed, no longer restorable") +
             (run.finished ? ""
              : moving     ? "  \u00B7 still being moved"
                           : "  \u00B7 did not finish"));
    }
    line("");
    return out;
}

std::string unreadableNote(size_t unreadable) {
    if (unreadable == 0) return {};
    const bool one = unreadable == 1;
    return std::to_string(unreadable) + (one ? " entry" : " entries") +
           " in the history could not be read; Sorvel keeps " + (one ? "it" : "them") + " as stored.\n";
}

int history() {
    // A file that cannot be read holds a history nobody can list; it is not empty. Before
    // the history has a file of its own, it may still be in the settings.
    const UserDefaults historyFile(SweepHistory::filePath());
    if (!historyFile.isReadable()) {
        ReportOutput::diagnostic("The history file " + validUTF8(historyFile.filePath()) +
                                 " could not be read, so the history in it cannot be listed.\n");
        return 1;
    }
    if (const UserDefaults defaults = UserDefaults::standard();
        !defaults.isReadable() && ::access(historyFile.filePath().c_str(), F_OK) != 0) {
        ReportOutput::diagnostic("The settings file " + validUTF8(defaults.filePath()) +
                                 " could not be read, so the history in it cannot be listed.\n");
        return 1;
    }
    // Only read: an old history still in the settings is moved over by the window or a sweep.
    SweepHistory::Loaded loaded = SweepHistory::readWithoutWriting();
    // A run cut short by a crash is counted by what really moved; only read, never tidied.
    loaded.runs = CrashedRuns::settled(std::move(loaded.runs));
    // With nothing readable, the note on standard error is the whole answer: the history
    // is not empty, and saying so would be untrue.
    const bool onlyUnreadable = loaded.runs.empty() && loaded.unreadable > 0;
    const int status = onlyUnreadable ? 0 : ReportOutput::emit(historyReport(loaded.runs));
    if (loaded.unreadable > 0) ReportOutput::diagnostic(unreadableNote(loaded.unreadable));
    return status;
}

} // namespace sorvel::HeadlessReport
