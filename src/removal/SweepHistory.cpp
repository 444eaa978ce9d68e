#include "removal/SweepHistory.h"

#include <mutex>

#include "platform/UserDefaults.h"
#include "removal/SweepCoding.h"

namespace sorvel {
namespace {

constexpr const char* kKey = "SorvelSweepHistory";

// Each record and update is one read, change and write of the whole list; a sweep
// finishing on its own thread while the user confirms a cleanup must not drop either run.
std::mutex& historyLock() {
    static std::mutex m;
    return m;
}

std::optional<MovedItem> decodeItem(const nlohmann::json& json) {
    using namespace SweepCoding;
    MovedItem item;
    item.originalPath = text(required(json, "originalPath"));
    item.trashPath = text(required(json, "trashPath"));
    item.size = integer(required(json, "size"));
    return item;
}

void save(const std::vector<SweepRun>& runs) {
    UserDefaults::standard().set(kKey, SweepHistory::encode(runs));
}

} // namespace

std::string rawValue(SweepRun::Trigger trigger) {
    switch (trigger) {
    case SweepRun::Trigger::scheduled: return "scheduled";
    case SweepRun::Trigger::manual: return "manual";
    case SweepRun::Trigger::menuBar: return "menuBar";
    }
    return "manual";
}

std::optional<SweepRun::Trigger> sweepTriggerFromRaw(const std::string& raw) {
    for (auto t : {SweepRun::Trigger::scheduled, SweepRun::Trigger::manual, SweepRun::Trigger::menuBar})
        if (rawValue(t) == raw) return t;
    return std::nullopt;
}

nlohmann::json SweepRun::toJSON() const {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : moved)
        items.push_back({{"originalPath", item.originalPath}, {"trashPath", item.trashPath}, {"size", item.size}});
    nlohmann::json json{{"id", id.uuidString()}, {"trigger", rawValue(trigger)}, {"scope", scope},
                        {"receipt", receipt.toJSON()}, {"moved", items}, {"hasDetail", hasDetail}};
    if (allowedRoots) json["allowedRoots"] = *allowedRoots;
    return json;
}

std::optional<SweepRun> SweepRun::fromJSON(const nlohmann::json& json) {
    using namespace SweepCoding;
    try {
        SweepRun run;
        auto id = UUID::parse(text(required(json, "id")));
        auto trigger = sweepTriggerFromRaw(text(required(json, "trigger")));
        auto receipt = SweepReceipt::fromJSON(required(json, "receipt"));
        if (!id || !trigger || !receipt) return std::nullopt;
        run.id = *id;
        run.trigger = *trigger;
        run.scope = text(required(json, "scope"));
        run.receipt = std::move(*receipt);
        const auto& items = required(json, "moved");
        if (!items.is_array()) return std::nullopt;
        for (const auto& element : items) {
            auto item = decodeItem(element);
            if (!item) return std::nullopt;
            run.moved.push_back(std::move(*item));
        }
        run.hasDetail = boolean(required(json, "hasDetail"));
        if (const auto* roots = present(json, "allowedRoots")) {
            if (!roots->is_array()) return std::nullopt;
            run.allowedRoots.emplace();
            for (const auto& root : *roots) run.allowedRoots->push_back(text(root));
        }
        return run;
    } catch (const SweepCoding::Malformed&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

namespace SweepHistory {

nlohmann::json encode(const std::vector<SweepRun>& runs) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& run : runs) array.push_back(run.toJSON());
    return array;
}

std::optional<std::vector<SweepRun>> decode(const nlohmann::json& json) {
    if (!json.is_array()) return std::nullopt;
    std::vector<SweepRun> runs;
    runs.reserve(json.size());
    for (const auto& element : json) {
        auto run = SweepRun::fromJSON(element);
        if (!run) return std::nullopt; // one bad record: the whole list is unreadable
        runs.push_back(std::move(*run));
    }
    return runs;
}

std::vector<SweepRun> load() {
    auto stored = UserDefaults::standard().value(kKey);
    if (!stored) return {};
    return decode(*stored).value_or(std::vector<SweepRun>{});
}

std::vector<SweepRun> record(const SweepRun& given) {
    std::lock_guard guard(historyLock());
    SweepRun run = given;
    if (run.moved.size() > kMaximumItemsPerRun) {
        run.moved.resize(kMaximumItemsPerRun);
        run.hasDetail = false;
    }
    std::vector<SweepRun> runs;
    runs.push_back(std::move(run));
    for (auto& stored : load()) runs.push_back(std::move(stored));
    if (runs.size() > kMaximumRuns) runs.resize(kMaximumRuns);
    for (size_t i = kRunsWithDetail; i < runs.size(); ++i) {
        if (runs[i].moved.empty()) continue;
        runs[i].moved.clear();
        runs[i].hasDetail = false;
    }
    save(runs);
    return runs;
}

void update(const SweepRun& run) {
    std::lock_guard guard(historyLock());
    auto runs = load();
    for (auto& stored : runs) {
        if (stored.id == run.id) {
            stored = run;
            save(runs);
            return;
        }
    }
}

} // namespace SweepHistory
} // namespace sorvel
