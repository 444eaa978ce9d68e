#include "ui/tools/HistoryRules.h"

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "removal/ShownRun.h"

namespace sorvel::HistoryRules {

std::string totalsLine(int64_t count, int64_t bytes) {
    return counted(count, "item") + " \u00B7 " + Bytes::format(bytes);
}

TriggerLook trigger(SweepRun::Trigger trigger) {
    switch (trigger) {
    case SweepRun::Trigger::scheduled: return {"clock", "Schedule"};
    case SweepRun::Trigger::manual: return {"hand.tap", "Manual"};
    case SweepRun::Trigger::menuBar: return {"menubar.arrow.up.rectangle", "Sweep panel"};
    }
    return {};
}

std::string runSubtitle(const SweepRun& run, bool moving) {
    // A run cut short (the process ended mid-move) says so; its items can still be put back.
    // One still being moved, here or by another Sorvel, is not cut short.
    const char* note = run.finished ? nullptr : moving ? kMovingNote : kUnfinishedNote;
    return mediumDateShortTime(run.receipt.date) + " \u00B7 " + trigger(run.trigger).label + " \u00B7 " + run.scope +
           (note ? std::string(" \u00B7 ") + note : std::string());
}

std::string reason(const RestoreOutcome::Result& result) {
    if (const auto* failed = std::get_if<RestoreOutcome::Failed>(&result)) return failed->message;
    if (const auto* refused = std::get_if<RestoreOutcome::Refused>(&result)) return refused->refusal.description();
    return {};
}

Summary summary(const std::vector<RestoreOutcome>& outcomes) {
    Summary s;
    size_t restored = 0;
    for (const auto& outcome : outcomes) {
        if (outcome.restored()) {
            ++restored;
        } else if (s.problems.size() < kMaximumProblemLines) {
            s.problems.push_back(lastPathComponent(outcome.item.originalPath) + " \u2014 " + reason(outcome.result));
        }
    }
    s.nothingBack = restored == 0;
    if (s.nothingBack) {
        s.title = "Nothing was put back";
        return s;
    }
    s.title = "Put back " + std::to_string(restored) + " item" + (restored == 1 ? "" : "s") + " \u00B7 " +
              Bytes::format(RestoreExecutor::restoredBytes(outcomes));
    return s;
}

Detail detail(const SweepRun& run, const std::optional<UUID>& restoring, bool moving) {
    Detail d;
    d.withheld = run.receipt.withheldReason;
    if (run.moved.empty()) {
        // A run whose items were all put back did move them: it says so.
        if (auto back = ShownRun::allPutBack(run)) {
            d.emptyText = std::move(back);
            return d;
        }
        d.emptyText = run.hasDetail ? std::string("Nothing was moved in this run.")
                                    : "The per-item detail for this run has been trimmed \u2014 it is older than "
                                      "the last " +
                                          std::to_string(SweepHistory::kRunsWithDetail) +
                                          " runs, and the Trash will long since have been emptied.";
        return d;
    }
    d.rows = std::min(run.moved.size(), kMaximumRows);
    if (run.moved.size() > kMaximumRows) d.more = "+ " + std::to_string(run.moved.size() - kMaximumRows) + " more";
    if (run.hasDetail) {
        d.button = restoring == run.id ? std::string("Putting back\u2026")
                                       : "Put all " + std::to_string(run.moved.size()) + " back";
        // Its mover still rewrites it: put back once it is done.
        d.buttonEnabled = !restoring.has_value() && !(moving && !run.finished);
        d.buttonBusy = restoring == run.id;
    } else {
        // The history keeps only the first items of a very large run; putting back part of
        // a run from here would misstate what was restored.
        d.trimmedNote = "This list was trimmed to its first " + std::to_string(run.moved.size()) +
                        " items, so the run cannot be put back from here.";
    }
    return d;
}

} // namespace sorvel::HistoryRules
