#pragma once
// What the user sets for unattended sweeps: which rules, which of their own folders, how
// often, at what hour, report or clean, and the most one run may move.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/UserDefaults.h"

#include <nlohmann/json.hpp>

namespace sorvel {

struct SweepSchedule {
    enum class Frequency { off, daily, weekly };
    enum class Action { report, clean };

    /// Every rule the runner considers safe, or only the listed rule identifiers (the
    /// list may be empty).
    struct RuleSelection {
        enum class Kind { allSafeRules, only };
        Kind kind = Kind::allSafeRules;
        std::set<std::string> ids; // only

        static RuleSelection allSafeRules() { return {}; }
        static RuleSelection only(std::set<std::string> ids) { return {Kind::only, std::move(ids)}; }
        bool isAllSafeRules() const { return kind == Kind::allSafeRules; }

        friend bool operator==(const RuleSelection& a, const RuleSelection& b) {
            return a.kind == b.kind && (a.kind == Kind::allSafeRules || a.ids == b.ids);
        }
    };

    RuleSelection rules;
    std::vector<std::string> folders;
    Frequency frequency = Frequency::off;
    int hour = 3;
    Action action = Action::report;
    int64_t maximumBytesPerRun = 25'000'000'000;

    /// Every field at its default (`default` is taken in C++).
    static SweepSchedule defaultSchedule() { return {}; }

    /// One sentence for the settings window.
    std::string summary() const;
    /// A lower-case phrase for what a sweep looks at; also a sweep run's scope.
    std::string scopeSummary() const;

    /// The stored form: all six keys, never the older "includedRules".
    nlohmann::json toJSON() const;
    /// None when a key holds the wrong type, an unknown frequency or action text, an hour
    /// outside 0 to 23 or a negative limit; absent keys take their defaults.
    static std::optional<SweepSchedule> fromJSON(const nlohmann::json& json);

    /// The schedule stored under "SorvelSweepSchedule", else the default.
    static SweepSchedule loadStored();
    /// The same, but none when the settings or the stored value cannot be read.
    static std::optional<SweepSchedule> readStored();
    /// Stores the schedule under "SorvelSweepSchedule"; false when it could not be written.
    static SaveStatus store(const SweepSchedule& schedule);

    /// `stored` with one session's change from `before` to `after` made in it: only what
    /// changed is taken, so what another session stored meanwhile stays (folders and rules
    /// ticked are added and taken away one by one).
    static SweepSchedule withChange(SweepSchedule stored, const SweepSchedule& before, const SweepSchedule& after);
    /// Makes the change in the schedule stored now, under the settings' lock, and gives back
    /// what it stored; a stored schedule that cannot be read is replaced by `after`.
    static SaveStatus storeChange(const SweepSchedule& before, const SweepSchedule& after,
                                  SweepSchedule* stored = nullptr);

    friend bool operator==(const SweepSchedule&, const SweepSchedule&) = default;

private:
    std::string folderPhrase() const;
};

inline constexpr SweepSchedule::Frequency kAllSweepFrequencies[] = {
    SweepSchedule::Frequency::off, SweepSchedule::Frequency::daily, SweepSchedule::Frequency::weekly};
inline constexpr SweepSchedule::Action kAllSweepActions[] = {SweepSchedule::Action::report,
                                                             SweepSchedule::Action::clean};

std::string rawValue(SweepSchedule::Frequency frequency); // "off", "daily", "weekly"
std::string rawValue(SweepSchedule::Action action);       // "report", "clean"
std::optional<SweepSchedule::Frequency> sweepFrequencyFromRaw(const std::string& raw);
std::optional<SweepSchedule::Action> sweepActionFromRaw(const std::string& raw);

} // namespace sorvel
