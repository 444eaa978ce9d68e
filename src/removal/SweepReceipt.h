#pragma once
// The outcome of one run, and the two persisted values of the last sweep: its receipt
// and the paths it found.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Date.h"
#include "platform/UUID.h"
#include "platform/UserDefaults.h"
#include "removal/SweepCoding.h"
#include "removal/SweepSchedule.h"

namespace sorvel {

struct SweepReceipt {
    /// One path of the last sweep's findings.
    struct Finding {
        std::string path;
        int64_t size = 0;
        /// Where the sweep moved it; none for a finding that is still in place. Stored
        /// only when present, so older lists read as all in place.
        std::optional<std::string> trashPath = std::nullopt;
        /// Of `size`, what names outside the path hold too, which moving it leaves on disk.
        /// Stored only when there is some, so older lists read as sharing nothing.
        int64_t shared = 0;

        bool moved() const { return trashPath.has_value(); }
        nlohmann::json toJSON() const;
        static std::optional<Finding> fromJSON(const nlohmann::json& json);
        /// Equal over the path and the size, the two fields every list has.
        friend bool operator==(const Finding& a, const Finding& b) { return a.path == b.path && a.size == b.size; }
    };

    Date date = SweepCoding::sweepNow();
    /// When the sweep whose counts this receipt carries ran, once a move from the panel has
    /// added to them and dated the receipt anew; none while `date` is the sweep's own. The
    /// next scheduled sweep is counted from the sweep, not from the move.
    std::optional<Date> sweptAt;
    SweepSchedule::Action action = SweepSchedule::Action::report;
    int64_t scannedBytes = 0;
    int64_t foundBytes = 0;
    /// What the moves freed: what moved but the bytes other names hold too.
    int64_t movedBytes = 0;
    /// Those bytes: moved, yet still on disk through another name (shared storage).
    int64_t sharedBytes = 0;
    int64_t movedCount = 0;
    int64_t refusedCount = 0;
    /// Why the run moved nothing or did not run, as a sentence; none when nothing was withheld.
    std::optional<std::string> withheldReason;
    /// Why what it counts as refused stayed, when `withheldReason` does not say it already
    /// (the run moved the rest): the guard's sentence for the first of them.
    std::optional<std::string> skippedReason;
    /// The run ended before its last move was written down (the process was killed, or
    /// quit could not wait for it); its counts are what really moved.
    bool cutShort = false;
    /// The run moved nothing because a lock of Sorvel's own was held past its wait (the
    /// history's, the Trash's); `withheldReason` says which. Such a sweep is tried again
    /// at the scheduler's next check.
    bool heldOff = false;
    /// The History runs whose moves it counts: the sweep's, then each move from the panel
    /// added to it, so what is put back there is told here too. Empty for a receipt that
    /// moved nothing and for those written before it was kept.
    std::vector<UUID> runs;

    /// One line for the menu-bar panel, the history and notifications.
    std::string headline() const;
    /// What the headline adds when some of what moved is shared storage; empty otherwise.
    std::string sharedClause() const;

    /// When the sweep ran: `sweptAt`, else `date`.
    Date sweepDate() const { return sweptAt.value_or(date); }

    /// "withheldReason", "skippedReason" and "sweptAt" are left out when absent, "sharedBytes" when 0,
    /// "cutShort" and "heldOff" unless true, "runs" when empty, so older readers
    /// read every receipt.
    nlohmann::json toJSON() const;
    /// None when a required key is missing, of another type, or the action is unknown. A
    /// damaged "runs" only loses the runs it fails to name, never the receipt.
    static std::optional<SweepReceipt> fromJSON(const nlohmann::json& json);

    /// The receipt stored under "SorvelLastSweep"; none when absent or unreadable.
    static std::optional<SweepReceipt> loadLast();
    /// Replaces the receipt stored under "SorvelLastSweep"; not saved, with the reason, when
    /// it could not be.
    static SaveStatus record(const SweepReceipt& receipt);
    /// The findings stored under "SorvelLastFindings"; empty when absent or unreadable.
    static std::vector<Finding> loadFindings();
    /// Replaces the findings stored under "SorvelLastFindings"; not saved when it could not be.
    static SaveStatus record(const std::vector<Finding>& findings);

    friend bool operator==(const SweepReceipt&, const SweepReceipt&) = default;
};

} // namespace sorvel
