#include "ui/tools/MenuBarRules.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "ui/tools/RelativeDate.h"

namespace sorvel::MenuBarRules {

std::string statusLine(bool isRunning, const std::optional<Date>& nextRunDate, Date now, bool dueShortly) {
    if (isRunning) return "Sweeping\u2026";
    if (!nextRunDate && !dueShortly) return "Automatic sweeps are off";
    const auto left = nextRunDate ? std::chrono::ceil<std::chrono::seconds>(*nextRunDate - now) : std::chrono::seconds(0);
    if (dueShortly || left <= std::chrono::seconds(0)) return std::string("Next sweep ") + kShortly;
    return "Next sweep " + RelativeDate::full(*nextRunDate, *nextRunDate - left);
}

int nextSweepRefreshMs(const std::optional<Date>& nextRunDate, Date now) {
    constexpr int64_t kSecond = 1000;
    if (!nextRunDate || *nextRunDate <= now) return kSecond;
    const int64_t left = std::chrono::ceil<std::chrono::milliseconds>(*nextRunDate - now).count();
    return static_cast<int>((left - 1) % kSecond + 1); // to the next whole second left
}

std::optional<std::string> nextSweepLine(const std::optional<Date>& nextRunDate, bool dueShortly) {
    if (dueShortly) return std::string("Next sweep: ") + kShortly + ".";
    if (nextRunDate) return "Next sweep: " + mediumDateShortTime(*nextRunDate) + ".";
    return std::nullopt;
}

int findingsListHeight(size_t findings) {
    if (findings <= 1) return 29;
    return static_cast<int>(std::min<size_t>(findings * 29, 200));
}

MoveButton moveButton(bool isCleaning, size_t ticked, int64_t selectedBytes) {
    MoveButton button;
    // The same text as the "Found" figure and the rows: one total never reads two ways.
    button.title = isCleaning ? "Moving\u2026" : "Move " + Bytes::format(selectedBytes) + " to Trash";
    button.enabled = !isCleaning && ticked > 0;
    button.busy = isCleaning;
    return button;
}

std::vector<Stat> stats(const SweepReceipt& receipt) {
    std::vector<Stat> list{{"Found", Bytes::format(receipt.foundBytes)}};
    if (receipt.action == SweepSchedule::Action::clean) list.push_back({"Moved", Bytes::format(receipt.movedBytes)});
    if (receipt.refusedCount >= 1) list.push_back({"Skipped", std::to_string(receipt.refusedCount)});
    return list;
}

bool accentDot(const SweepReceipt& receipt) { return receipt.movedCount >= 1; }

} // namespace sorvel::MenuBarRules
