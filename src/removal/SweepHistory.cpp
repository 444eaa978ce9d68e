#include "removal/SweepHistory.h"

#include <climits>
#include <unordered_set>

#include "platform/UserDefaults.h"
#include "removal/SweepCoding.h"

namespace sorvel {
namespace {

constexpr const char* kKey = "SorvelSweepHistory";

std::optional<MovedItem> decodeItem(const nlohmann::json& json) {
    using namespace SweepCoding;
    MovedItem item;
    item.originalPath = path(json, "originalPath");
    item.trashPath = path(json, "trashPath");
    item.size = integer(required(json, "size"));
    item.identity = identity(json);
    return item;
}

// One stored element: a run we could read, or the raw value of one we could not. A run
// keeps its stored form until it changes, so keys of a newer version stay with it.
struct Entry {
    std::optional<SweepRun> run;
    nlohmann::json raw;
    bool changed = false;

    nlohmann::json stored() const {
        if (!run || !changed) return raw;
        nlohmann::json out = raw.is_object() ? raw : nlohmann::json::object();
        out.update(run->toJSON());
        if (run->finished) out.erase("finished"); // left out once true, as when first written
        return out;
    }
};

std::vector<Entry> entries(const std::optional<nlohmann::json>& stored) {
    std::vector<Entry> out;
    if (!stored) return out;
    if (!stored->is_array()) {
        // Not a list at all: kept whole, as one entry nobody can read.
        out.push_back(Entry{std::nullopt, *stored});
        return out;
    }
    out.reserve(stored->size());
    for (const auto& element : *stored) out.push_back(Entry{SweepRun::fromJSON(element), element});
    return out;
}

nlohmann::json storedForm(const std::vector<Entry>& list) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& entry : list) array.push_back(entry.stored());
    return array;
}

std::vector<SweepRun> readable(const std::vector<Entry>& list) {
    std::vector<SweepRun> runs;
    for (const auto& entry : list)
        if (entry.run) runs.push_back(*entry.run);
    return runs;
}

// Drops readable runs past the run bound and empties the item lists past the detail
// bound; entries that could not be read are neither counted nor touched.
void applyBounds(std::vector<Entry>& list) {
    std::vector<Entry> kept;
    kept.reserve(list.size());
    size_t position = 0;
    for (auto& entry : list) {
        if (!entry.run) {
            kept.push_back(std::move(entry));
            continue;
        }
        if (position >= SweepHistory::kMaximumRuns) continue;
        if (position >= SweepHistory::kRunsWithDetail && !entry.run->moved.empty()) {
            entry.run->moved.clear();
            entry.run->hasDetail = false;
            entry.changed = true;
        }
        ++position;
        kept.push_back(std::move(entry));
    }
    list = std::move(kept);
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
    for (const auto& item : moved) {
        nlohmann::json j = nlohmann::json::object();
        SweepCoding::putPath(j, "originalPath", item.originalPath);
        SweepCoding::putPath(j, "trashPath", item.trashPath);
        j["size"] = item.size;
        SweepCoding::putIdentity(j, item.identity);
        items.push_back(std::move(j));
    }
    nlohmann::json json{{"id", id.uuidString()}, {"trigger", rawValue(trigger)}, {"scope", scope},
                        {"receipt", receipt.toJSON()}, {"moved", items}, {"hasDetail", hasDetail}};
    if (allowedRoots) SweepCoding::putPaths(json, "allowedRoots", *allowedRoots);
    if (!finished) json["finished"] = false;
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
        run.allowedRoots = paths(json, "allowedRoots");
        // Absent in runs stored before runs were recorded ahead of their moves.
        if (auto it = json.find("finished"); it != json.end() && it->is_boolean()) run.finished = it->get<bool>();
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
    return readable(entries(json));
}

Loaded read() {
    const auto list = entries(UserDefaults::standard().value(kKey));
    Loaded loaded;
    loaded.runs = readable(list);
    loaded.unreadable = list.size() - loaded.runs.size();
    return loaded;
}

std::vector<SweepRun> load() { return read().runs; }

std::optional<std::vector<SweepRun>> record(const SweepRun& given) {
    SweepRun run = given;
    if (run.moved.size() > kMaximumItemsPerRun) {
        run.moved.resize(kMaximumItemsPerRun);
        run.hasDetail = false;
    }
    std::vector<SweepRun> saved;
    const bool ok = UserDefaults::standard().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        std::vector<Entry> list;
        list.push_back(Entry{run, nlohmann::json::object(), true});
        for (auto& entry : entries(value)) list.push_back(std::move(entry));
        applyBounds(list);
        value = storedForm(list);
        saved = readable(list);
        return true;
    });
    if (!ok) return std::nullopt;
    return saved;
}

SaveStatus update(const SweepRun& run) {
    return UserDefaults::standard().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(value);
        for (auto& entry : list) {
            if (entry.run && entry.run->id == run.id) {
                entry.run = run;
                entry.changed = true;
                value = storedForm(list);
                return true;
            }
        }
        return false;
    });
}

SaveStatus store(const SweepRun& given) {
    SweepRun run = given;
    if (run.moved.size() > kMaximumItemsPerRun) {
        run.moved.resize(kMaximumItemsPerRun);
        run.hasDetail = false;
    }
    return UserDefaults::standard().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(value);
        bool replaced = false;
        for (auto& entry : list) {
            if (entry.run && entry.run->id == run.id) {
                entry.run = run;
                entry.changed = true;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            list.insert(list.begin(), Entry{run, nlohmann::json::object(), true});
            applyBounds(list);
        }
        value = storedForm(list);
        return true;
    });
}

SaveStatus removeItems(const UUID& id, const std::vector<std::string>& originalPaths) {
    const std::unordered_set<std::string> gone(originalPaths.begin(), originalPaths.end());
    return UserDefaults::standard().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(value);
        for (auto& entry : list) {
            if (!entry.run || entry.run->id != id) continue;
            SweepRun& run = *entry.run;
            std::erase_if(run.moved, [&](const MovedItem& item) { return gone.count(item.originalPath) > 0; });
            run.receipt.movedCount = static_cast<int64_t>(run.moved.size());
            int64_t bytes = 0;
            for (const auto& item : run.moved)
                if (__builtin_add_overflow(bytes, item.size, &bytes)) bytes = item.size > 0 ? INT64_MAX : INT64_MIN;
            run.receipt.movedBytes = bytes;
            entry.changed = true;
            value = storedForm(list);
            return true;
        }
        return false;
    });
}

std::optional<std::string> notSavedMessage(const SaveStatus& status) {
    if (status) return std::nullopt;
    if (status.reason().empty()) return kNotSavedMessage;
    return "Sorvel could not save this run to its history (" + status.reason() +
           "), so it cannot be put back from there.";
}

SaveStatus forget(const UUID& id) {
    return UserDefaults::standard().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(value);
        const auto before = list.size();
        std::erase_if(list, [&](const Entry& entry) { return entry.run && entry.run->id == id; });
        if (list.size() == before) return false;
        value = storedForm(list);
        return true;
    });
}

bool clear() {
    return UserDefaults::standard().modify(kKey, [](std::optional<nlohmann::json>& value) {
        auto list = entries(value);
        std::vector<Entry> unreadable;
        for (auto& entry : list)
            if (!entry.run) unreadable.push_back(std::move(entry));
        if (unreadable.empty()) value.reset();
        else value = storedForm(unreadable);
        return true;
    });
}

} // namespace SweepHistory
} // namespace sorvel
