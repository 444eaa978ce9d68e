#include "removal/ShownRun.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "platform/Text.h"

namespace sorvel::ShownRun {
namespace {

// What of it was put back, as History says it beside what a run moved.
std::string withPutBack(std::string line, int64_t count, bool all) {
    if (count <= 0) return line;
    return line + " \u00B7 " + (all ? std::string("all put back") : counted(count, "item") + " put back");
}

} // namespace

int64_t movedCount(const SweepRun& run) {
    return Bytes::saturatingAdd(std::max<int64_t>(run.receipt.movedCount, 0), run.putBackCount);
}

int64_t movedBytes(const SweepRun& run) {
    return Bytes::saturatingAdd(std::max<int64_t>(run.receipt.movedBytes, 0), run.putBackBytes);
}

std::string headline(const SweepRun& run, bool moving) {
    SweepReceipt shown = run.receipt;
    shown.movedCount = movedCount(run);
    shown.movedBytes = movedBytes(run);
    // Not yet tidied (by a window's start) is no less cut short.
    if (!run.finished && !moving) shown.cutShort = true;
    return withPutBack(shown.headline(), run.putBackCount, run.receipt.movedCount <= 0);
}

PutBack putBack(const std::vector<UUID>& named, const std::vector<SweepRun>& runs) {
    PutBack back;
    bool all = !named.empty();
    for (const auto& id : named) {
        const auto run = std::find_if(runs.begin(), runs.end(), [&id](const SweepRun& r) { return r.id == id; });
        // Forgotten since (cleared, or past the history's bounds): not known to be back.
        if (run == runs.end()) {
            all = false;
            continue;
        }
        back.count = Bytes::saturatingAdd(back.count, std::max<int64_t>(run->putBackCount, 0));
        all = all && run->receipt.movedCount <= 0;
    }
    back.all = all && back.count > 0;
    return back;
}

std::string headline(const SweepReceipt& receipt, const PutBack& back) {
    return withPutBack(receipt.headline(), back.count, back.all);
}

std::optional<std::string> allPutBack(const SweepRun& run) {
    if (run.putBackCount <= 0 || !run.moved.empty()) return std::nullopt;
    return "Everything this run moved was put back: " + counted(run.putBackCount, "item") + ", " +
           Bytes::format(run.putBackBytes) + ".";
}

} // namespace sorvel::ShownRun
