#include "removal/SweepSchedule.h"

#include <algorithm>
#include <cstdio>

#include "platform/UserDefaults.h"
#include "removal/SweepCoding.h"

namespace sorvel {

std::string rawValue(SweepSchedule::Frequency frequency) {
    switch (frequency) {
    case SweepSchedule::Frequency::off: return "off";
    case SweepSchedule::Frequency::daily: return "daily";
    case SweepSchedule::Frequency::weekly: return "weekly";
    }
    return "off";
}

std::string rawValue(SweepSchedule::Action action) {
    return action == SweepSchedule::Action::clean ? "clean" : "report";
}

std::optional<SweepSchedule::Frequency> sweepFrequencyFromRaw(const std::string& raw) {
    for (auto f : kAllSweepFrequencies)
        if (rawValue(f) == raw) return f;
    return std::nullopt;
}

std::optional<SweepSchedule::Action> sweepActionFromRaw(const std::string& raw) {
    for (auto a : kAllSweepActions)
        if (rawValue(a) == raw) return a;
    return std::nullopt;
}

std::string SweepSchedule::summary() const {
    if (frequency == Frequency::off) return "No automatic sweeps.";
    char time[32];
    std::snprintf(time, sizeof time, "%02d:00", hour);
    const std::string what = action == Action::report ? "report what it finds" : "move safe items to the Trash";
    const std::string when = (frequency == Frequency::daily ? "every day at " : "once a week at ") + std::string(time);
    return "Sorvel will " + what + ", " + when + ".";
}

std::string SweepSchedule::folderPhrase() const {
    const size_t n = folders.size();
    return std::to_string(n) + " folder" + (n == 1 ? "" : "s") + " you added";
}

std::string SweepSchedule::scopeSummary() const {
    const bool noRules = rules.kind == RuleSelection::Kind::only && rules.ids.empty();
    if (noRules && folders.empty()) return "nothing \u2014 no rules are ticked and no folders added";
    if (noRules) return "only the " + folderPhrase();
    std::string first;
    if (rules.isAllSafeRules()) {
        first = "every safe rule";
    } else {
        const size_t n = rules.ids.size();
        first = std::to_string(n) + " rule" + (n == 1 ? "" : "s");
    }
    return folders.empty() ? first : first + " and " + folderPhrase();
}

nlohmann::json SweepSchedule::toJSON() const {
    nlohmann::json selection = nlohmann::json::object();
    if (rules.isAllSafeRules()) {
        selection["all"] = true;
    } else {
        selection["only"] = nlohmann::json::array();
        for (const auto& id : rules.ids) selection["only"].push_back(id);
    }
    nlohmann::json json{{"rules", selection},
                        {"frequency", rawValue(frequency)},
                        {"hour", hour},
                        {"action", rawValue(action)},
                        {"maximumBytesPerRun", maximumBytesPerRun}};
    // Folder names are bytes: one that is not UTF-8 is kept exactly beside its text.
    SweepCoding::putPaths(json, "folders", folders);
    return json;
}

namespace {

std::set<std::string> stringSet(const nlohmann::json& array) {
    if (!array.is_array()) throw SweepCoding::Malformed{};
    std::set<std::string> out;
    for (const auto& element : array) out.insert(SweepCoding::text(element));
    return out;
}

} // namespace

std::optional<SweepSchedule> SweepSchedule::fromJSON(const nlohmann::json& json) {
    using namespace SweepCoding;
    try {
        SweepSchedule s;
        if (auto stored = paths(json, "folders")) s.folders = std::move(*stored);
        if (const auto* v = present(json, "frequency")) {
            auto f = sweepFrequencyFromRaw(text(*v));
            if (!f) return std::nullopt;
            s.frequency = *f;
        }
        if (const auto* v = present(json, "hour")) {
            // An hour no clock shows places no sweep: read like a value of the wrong type.
            const int64_t h = integer(*v);
            if (h < 0 || h > 23) return std::nullopt;
            s.hour = static_cast<int>(h);
        }
        if (const auto* v = present(json, "action")) {
            auto a = sweepActionFromRaw(text(*v));
            if (!a) return std::nullopt;
            s.action = *a;
        }
        if (auto m = optionalInteger(json, "maximumBytesPerRun")) {
            if (*m < 0) return std::nullopt;
            s.maximumBytesPerRun = *m;
        }

        if (const auto* r = present(json, "rules")) {
            // Only "only" is read: {"all": false} and {} both mean every safe rule.
            if (const auto* only = present(*r, "only")) s.rules = RuleSelection::only(stringSet(*only));
        } else if (const auto* older = present(json, "includedRules")) {
            auto ids = stringSet(*older);
            if (!ids.empty()) s.rules = RuleSelection::only(std::move(ids));
        }
        return s;
    } catch (const SweepCoding::Malformed&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

SweepSchedule SweepSchedule::loadStored() { return readStored().value_or(defaultSchedule()); }

std::optional<SweepSchedule> SweepSchedule::readStored() {
    const UserDefaults defaults = UserDefaults::standard();
    const auto snapshot = defaults.snapshot();
    if (!snapshot || !snapshot->is_object()) return std::nullopt;
    const auto stored = snapshot->find("SorvelSweepSchedule");
    if (stored == snapshot->end()) return defaultSchedule();
    return fromJSON(*stored);
}

SaveStatus SweepSchedule::store(const SweepSchedule& schedule) {
    return UserDefaults::standard().set("SorvelSweepSchedule", schedule.toJSON());
}

namespace {

// What one list gained and lost from `before` to `after`, made in `stored`, in its order.
template <class List>
void changeList(List& stored, const List& before, const List& after) {
    auto has = [](const List& list, const auto& value) { return std::find(list.begin(), list.end(), value) != list.end(); };
    List kept;
    for (const auto& value : stored)
        if (has(after, value) || !has(before, value)) kept.insert(kept.end(), value);
    for (const auto& value : after)
        if (!has(before, value) && !has(kept, value)) kept.insert(kept.end(), value);
    stored = std::move(kept);
}

} // namespace

SweepSchedule SweepSchedule::withChange(SweepSchedule stored, const SweepSchedule& before, const SweepSchedule& after) {
    if (before.frequency != after.frequency) stored.frequency = after.frequency;
    if (before.hour != after.hour) stored.hour = after.hour;
    if (before.action != after.action) stored.action = after.action;
    if (before.maximumBytesPerRun != after.maximumBytesPerRun) stored.maximumBytesPerRun = after.maximumBytesPerRun;
    if (before.folders != after.folders) changeList(stored.folders, before.folders, after.folders);
    if (!(before.rules == after.rules)) {
        // Rules ticked one by one among the rules another session ticked; a switch between
        // every safe rule and a list is taken whole.
        if (before.rules.kind == after.rules.kind && stored.rules.kind == after.rules.kind)
            changeList(stored.rules.ids, before.rules.ids, after.rules.ids);
        else
            stored.rules = after.rules;
    }
    return stored;
}

SaveStatus SweepSchedule::storeChange(const SweepSchedule& before, const SweepSchedule& after, SweepSchedule* stored) {
    return UserDefaults::standard().modify("SorvelSweepSchedule", [&](std::optional<nlohmann::json>& value) {
        // Nothing stored, or what is stored cannot be read: this session's schedule whole.
        const std::optional<SweepSchedule> now = value ? fromJSON(*value) : std::nullopt;
        const SweepSchedule merged = now ? withChange(*now, before, after) : after;
        if (stored) *stored = merged;
        value = merged.toJSON();
        return true;
    });
}

} // namespace sorvel
