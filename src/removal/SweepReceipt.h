#pragma once
// The outcome of one run, and the two persisted values of the last sweep: its receipt
// and the paths it found.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Date.h"
#include "removal/SweepCoding.h"
#include "removal/SweepSchedule.h"

namespace sorvel {

struct SweepReceipt {
    /// One path of the last sweep's findings.
    struct Finding {
        std::string path;
        int64_t size = 0;

        nlohmann::json toJSON() const;
        static std::optional<Finding> fromJSON(const nlohmann::json& json);
        friend bool operator==(const Finding&, const Finding&) = default;
    };

    Date date = SweepCoding::sweepNow();
    SweepSchedule::Action action = SweepSchedule::Action::report;
    int64_t scannedBytes = 0;
    int64_t foundBytes = 0;
    int64_t movedBytes = 0;
    int64_t movedCount = 0;
    int64_t refusedCount = 0;
    /// Why the run moved nothing or did not run, as a sentence; none when nothing was withheld.
    std::optional<std::string> withheldReason;

    /// One line for the menu-bar panel, the history and notifications.
    std::string headline() const;

    /// "withheldReason" is left out when absent.
    nlohmann::json toJSON() const;
    /// None when a required key is missing, of another type, or the action is unknown.
    static std::optional<SweepReceipt> fromJSON(const nlohmann::json& json);

    /// The receipt stored under "SorvelLastSweep"; none when absent or unreadable.
    static std::optional<SweepReceipt> loadLast();
    /// Replaces the receipt stored under "SorvelLastSweep"; false when it could not be saved.
    static bool record(const SweepReceipt& receipt);
    /// The findings stored under "SorvelLastFindings"; empty when absent or unreadable.
    static std::vector<Finding> loadFindings();
    /// Replaces the findings stored under "SorvelLastFindings"; false when it could not be saved.
    static bool record(const std::vector<Finding>& findings);

    friend bool operator==(const SweepReceipt&, const SweepReceipt&) = default;
};

} // namespace sorvel
