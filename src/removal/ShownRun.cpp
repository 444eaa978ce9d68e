#include "removal/ShownRun.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "platform/Text.h"

namespace sorvel::ShownRun {

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
    std::string line = shown.headline();
    if (run.putBackCount <= 0) return line;
    return line + " \u00B7 " +
           (run.receipt.movedCount <= 0 ? std::string("all put back") : counted(run.putBackCount, "item") + " put back");
}

std::optional<std::string> allPutBack(const SweepRun& run) {
    if (run.putBackCount <= 0 || !run.moved.empty()) return std::nullopt;
    return "Everything this run moved was put back: " + counted(run.putBackCount, "item") + ", " +
           Bytes::format(run.putBackBytes) + ".";
}

} // namespace sorvel::ShownRun
