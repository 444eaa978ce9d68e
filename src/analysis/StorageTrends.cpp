#include "analysis/StorageTrends.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "platform/UserDefaults.h"

namespace sorvel {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

std::optional<int64_t> integerValue(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(kMax)) return std::nullopt;
        return value.get<int64_t>();
    }
    if (value.is_number_float()) {
        // A whole number written with a fraction part is still that number.
        const double d = value.get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && d >= -9.2e18 && d <= 9.2e18) return static_cast<int64_t>(d);
    }
    return std::nullopt;
}

void sortByDate(std::vector<StorageSnapshot>& history) {
    std::stable_sort(history.begin(), history.end(),
                     [](const StorageSnapshot& a, const StorageSnapshot& b) { return a.date < b.date; });
}

nlohmann::json encoded(const std::vector<StorageSnapshot>& history) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& snapshot : history) array.push_back(snapshot.toJSON());
    return array;
}

int64_t rootTotal(const CategoryResult& category) {
    int64_t total = 0;
    for (const auto& root : category.roots) {
        if (root) total = Bytes::saturatingAdd(total, root->size);
    }
    return total;
}

} // namespace

int64_t StorageSnapshot::scannedTotal() const { return scannedTotal({}); }

int64_t StorageSnapshot::scannedTotal(const std::set<std::string>& leftOut) const {
    int64_t total = 0;
    for (const auto& [id, bytes] : categories)
        if (!leftOut.count(id)) total = Bytes::saturatingAdd(total, bytes);
    return total;
}

std::set<std::string> StorageSnapshot::notReadWhole() const {
    std::set<std::string> ids = unread;
    ids.insert(readInPart.begin(), readInPart.end());
    return ids;
}

nlohmann::json StorageSnapshot::toJSON() const {
    nlohmann::json bytes = nlohmann::json::object();
    for (const auto& [id, value] : categories) bytes[id] = value;
    nlohmann::json object{{"date", secondsSinceReferenceDate(date)},
                          {"scope", scope},
                          {"categories", bytes},
                          {"freeBytes", freeBytes},
                          {"totalBytes", totalBytes}};
    if (!unread.empty()) object["notReadable"] = unread;
    if (!readInPart.empty()) object["readInPart"] = readInPart;
    return object;
}

std::optional<StorageSnapshot> StorageSnapshot::fromJSON(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto date = json.find("date");
    const auto scope = json.find("scope");
    const auto categories = json.find("categories");
    const auto freeBytes = json.find("freeBytes");
    const auto totalBytes = json.find("totalBytes");
    if (date == json.end() || scope == json.end() || categories == json.end() || freeBytes == json.end() ||
        totalBytes == json.end())
        return std::nullopt;
    if (!date->is_number() || !scope->is_string() || !categories->is_object()) return std::nullopt;
    StorageSnapshot snapshot;
    snapshot.date = dateFromReferenceSeconds(date->get<double>());
    snapshot.scope = scope->get<std::string>();
    for (const auto& [id, value] : categories->items()) {
        const auto bytes = integerValue(value);
        if (!bytes) return std::nullopt;
        snapshot.categories[id] = *bytes;
    }
    const auto free = integerValue(*freeBytes);
    const auto total = integerValue(*totalBytes);
    if (!free || !total) return std::nullopt;
    snapshot.freeBytes = *free;
    snapshot.totalBytes = *total;
    // Older snapshots have no such list; a malformed one says nothing.
    if (const auto unread = json.find("notReadable"); unread != json.end() && unread->is_array())
        for (const auto& id : *unread)
            if (id.is_string()) snapshot.unread.insert(id.get<std::string>());
    if (const auto part = json.find("readInPart"); part != json.end() && part->is_array())
        for (const auto& id : *part)
            if (id.is_string()) snapshot.readInPart.insert(id.get<std::string>());
    return snapshot;
}

namespace StorageTrends {

namespace {

std::vector<StorageSnapshot> decoded(const std::optional<nlohmann::json>& stored) {
    if (!stored || !stored->is_array()) return {};
    std::vector<StorageSnapshot> history;
    history.reserve(stored->size());
    for (const auto& element : *stored) {
        auto snapshot = StorageSnapshot::fromJSON(element);
        if (!snapshot) return {}; // the list is read whole or not at all
        history.push_back(std::move(*snapshot));
    }
    sortByDate(history);
    return history;
}

} // namespace

std::vector<StorageSnapshot> load() { return decoded(UserDefaults::standard().value(kDefaultsKey)); }

std::optional<std::string> unreadNote() {
    const UserDefaults settings = UserDefaults::standard();
    if (auto store = settings.unreadable()) return store->sentence("its storage trends", "starts the trends again");
    const auto stored = settings.value(kDefaultsKey);
    // An empty list is a history with nothing in it yet; any other list decoded to nothing
    // was not read.
    if (!stored || stored->is_null() || (stored->is_array() && stored->empty()) || !decoded(stored).empty())
        return std::nullopt;
    return "Sorvel could not read the storage trends kept in " + validUTF8(tildeAbbreviated(settings.filePath())) +
           ". The next measurement replaces them and starts the trends again.";
}

std::vector<StorageSnapshot> record(const ScanResult& result, Date now, const Calendar& calendar, SaveStatus* saved) {
    int64_t total = 0;
    StorageSnapshot snapshot;
    for (const auto& category : result.categories) {
        if (category.unreadable()) {
            snapshot.unread.insert(category.id());
            continue;
        }
        const int64_t bytes = rootTotal(category);
        snapshot.categories[category.id()] = bytes;
        if (category.partlyUnreadable() || category.partial()) snapshot.readInPart.insert(category.id());
        total = Bytes::saturatingAdd(total, bytes);
    }
    if (result.categories.empty() || total < 1) return load();

    snapshot.date = now;
    snapshot.scope = result.scope == ScanScope::wholeDisk ? "Whole Disk" : "System Data";
    snapshot.freeBytes = result.volume.availableCapacity;
    snapshot.totalBytes = result.volume.totalCapacity;

    const auto recorded = [&](std::vector<StorageSnapshot> history) {
        std::erase_if(history, [&](const StorageSnapshot& s) {
            return s.scope == snapshot.scope && calendar.isDateInSameDay(s.date, now);
        });
        history.push_back(snapshot);
        sortByDate(history);
        if (history.size() > kMaximumSnapshots)
            history.erase(history.begin(), history.end() - static_cast<ptrdiff_t>(kMaximumSnapshots));
        return history;
    };
    // Read and written under the settings lock, so two processes keep both their days.
    std::optional<std::vector<StorageSnapshot>> history;
    const SaveStatus status = UserDefaults::standard().modify(kDefaultsKey, [&](std::optional<nlohmann::json>& value) {
        history = recorded(decoded(value));
        value = encoded(*history);
        return true;
    });
    if (saved) *saved = status;
    // Not even read under the lock: the history as it would have been stored.
    return history ? std::move(*history) : recorded(load());
}

std::vector<StorageSnapshot> series(const std::string& scope, const std::vector<StorageSnapshot>& history) {
    std::vector<StorageSnapshot> out;
    for (const auto& snapshot : history) {
        if (snapshot.scope == scope) out.push_back(snapshot);
    }
    return out;
}

std::optional<StorageSnapshot> baseline(int days, const std::vector<StorageSnapshot>& series, Date now) {
    // In floating-point seconds, so no number of days can overflow the clock.
    const double cutoff = unixSeconds(now) - static_cast<double>(days) * 86'400.0;
    std::optional<StorageSnapshot> found;
    for (const auto& snapshot : series) {
        if (unixSeconds(snapshot.date) <= cutoff) found = snapshot;
    }
    return found;
}

std::vector<TrendChange> changes(const StorageSnapshot& from, const StorageSnapshot& to,
                                 const std::function<std::string(const std::string&)>& naming) {
    std::set<std::string> ids;
    for (const auto& [id, bytes] : from.categories) ids.insert(id);
    for (const auto& [id, bytes] : to.categories) ids.insert(id);

    std::vector<TrendChange> out;
    for (const auto& id : ids) {
        // A side that was not read gives no figure to take a change from.
        if (from.unread.count(id) || to.unread.count(id) || from.readInPart.count(id) || to.readInPart.count(id))
            continue;
        const auto was = from.categories.find(id);
        const auto now = to.categories.find(id);
        TrendChange change{id, naming ? naming(id) : id, was == from.categories.end() ? 0 : was->second,
                           now == to.categories.end() ? 0 : now->second};
        if (change.now != change.was) out.push_back(std::move(change));
    }
    // Differences are taken wide so figures near the 64-bit limits cannot overflow.
    auto size = [](const TrendChange& c) {
        const __int128 d = static_cast<__int128>(c.now) - static_cast<__int128>(c.was);
        return d < 0 ? -d : d;
    };
    std::stable_sort(out.begin(), out.end(), [&](const TrendChange& a, const TrendChange& b) { return size(a) > size(b); });
    return out;
}

} // namespace StorageTrends
} // namespace sorvel
