#include "removal/SweepHistory.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unordered_set>

#include "engine/Bytes.h"
#include "platform/FileManager.h"
#include "platform/FreedMemory.h"
#include "platform/Path.h"
#include "platform/Text.h"
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
    // Absent in items recorded before runs cut short were settled once.
    if (auto it = json.find("stayed"); it != json.end() && it->is_boolean()) item.stayed = it->get<bool>();
    return item;
}

// One stored element: a run we could read, or the raw value of one we could not. A run
// keeps its stored form until it changes, so keys of a newer version stay with it.
struct Entry {
    std::optional<SweepRun> run;
    nlohmann::json raw;
    bool changed = false;

    // The element to store; the entry is spent.
    nlohmann::json take() {
        if (!run || !changed) return std::move(raw);
        nlohmann::json out = raw.is_object() ? std::move(raw) : nlohmann::json::object();
        out.update(run->toJSON());
        if (run->finished) out.erase("finished"); // left out once true, as when first written
        return out;
    }
};

// A stored element after its run changed, as `Entry::take` writes it.
void rewrite(nlohmann::json& element, const SweepRun& run) {
    Entry entry{run, std::move(element), true};
    element = entry.take();
}

// Whether the element names this run, before the cost of decoding it.
bool names(const nlohmann::json& element, const std::string& id) {
    if (!element.is_object()) return false;
    auto it = element.find("id");
    if (it == element.end() || !it->is_string()) return false;
    const auto& text = it->get_ref<const std::string&>();
    const auto same = [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; };
    return text.size() == id.size() && std::equal(text.begin(), text.end(), id.begin(), same);
}

// The stored run with this id, when the element is one.
std::optional<SweepRun> runNamed(const nlohmann::json& element, const UUID& id) {
    if (!names(element, id.uuidString())) return std::nullopt;
    auto run = SweepRun::fromJSON(element);
    if (!run || run->id != id) return std::nullopt;
    return run;
}

// Taken by value: a stored list is large, and its elements move into the entries.
std::vector<Entry> entries(std::optional<nlohmann::json> stored) {
    std::vector<Entry> out;
    if (!stored) return out;
    if (!stored->is_array()) {
        // Not a list at all: kept whole, as one entry nobody can read.
        out.push_back(Entry{std::nullopt, std::move(*stored)});
        return out;
    }
    out.reserve(stored->size());
    for (auto& element : *stored) {
        auto run = SweepRun::fromJSON(element);
        out.push_back(Entry{std::move(run), std::move(element)});
    }
    return out;
}

nlohmann::json storedForm(std::vector<Entry> list) {
    nlohmann::json array = nlohmann::json::array();
    for (auto& entry : list) array.push_back(entry.take());
    return array;
}

std::vector<SweepRun> readable(const std::vector<Entry>& list) {
    std::vector<SweepRun> runs;
    for (const auto& entry : list)
        if (entry.run) runs.push_back(*entry.run);
    return runs;
}

// A run whose mover still moves it (or that was cut short and not yet tidied) keeps what
// it lists whatever else is recorded meanwhile: its items may be in the Trash already, and
// only its run can put them back. The bounds take it once it has settled.
bool unsettled(const SweepRun& run) { return !run.finished && !run.receipt.cutShort; }

// Drops readable runs past the run bound and empties the item lists past the detail
// bound, but for runs not yet settled; entries that could not be read are neither counted
// nor touched.
void applyBounds(std::vector<Entry>& list) {
    std::vector<Entry> kept;
    kept.reserve(list.size());
    size_t position = 0;
    for (auto& entry : list) {
        if (!entry.run) {
            kept.push_back(std::move(entry));
            continue;
        }
        const bool keep = unsettled(*entry.run);
        if (position >= SweepHistory::kMaximumRuns && !keep) continue;
        if (position >= SweepHistory::kRunsWithDetail && !keep && !entry.run->moved.empty()) {
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

void SweepRun::recount() {
    int64_t count = 0, bytes = 0;
    for (const auto& item : moved) {
        if (item.stayed) continue;
        ++count;
        bytes = Bytes::saturatingAdd(bytes, item.size);
    }
    receipt.movedCount = count;
    receipt.movedBytes = bytes;
}

nlohmann::json SweepRun::toJSON() const {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : moved) {
        nlohmann::json j = nlohmann::json::object();
        SweepCoding::putPath(j, "originalPath", item.originalPath);
        SweepCoding::putPath(j, "trashPath", item.trashPath);
        j["size"] = item.size;
        SweepCoding::putIdentity(j, item.identity);
        if (item.stayed) j["stayed"] = true;
        items.push_back(std::move(j));
    }
    nlohmann::json json{{"id", id.uuidString()}, {"trigger", rawValue(trigger)}, {"scope", scope},
                        {"receipt", receipt.toJSON()}, {"moved", items}, {"hasDetail", hasDetail}};
    if (allowedRoots) SweepCoding::putPaths(json, "allowedRoots", *allowedRoots);
    if (!finished) json["finished"] = false;
    if (marksRecords) json["marksRecords"] = true;
    if (homeTrash) SweepCoding::putPath(json, "homeTrash", *homeTrash);
    if (putBackCount > 0) json["putBackCount"] = putBackCount;
    if (putBackBytes > 0) json["putBackBytes"] = putBackBytes;
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
        if (auto it = json.find("marksRecords"); it != json.end() && it->is_boolean())
            run.marksRecords = it->get<bool>();
        // A damaged value only loses what it tells.
        if (json.contains("homeTrash")) try {
                run.homeTrash = path(json, "homeTrash");
            } catch (const SweepCoding::Malformed&) {
            }
        // Absent in runs nothing was put back from, and in those stored before it was kept.
        if (auto it = json.find("putBackCount"); it != json.end() && it->is_number_integer())
            run.putBackCount = std::max<int64_t>(0, it->get<int64_t>());
        if (auto it = json.find("putBackBytes"); it != json.end() && it->is_number_integer())
            run.putBackBytes = std::max<int64_t>(0, it->get<int64_t>());
        return run;
    } catch (const SweepCoding::Malformed&) {
        return std::nullopt;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

namespace SweepHistory {
namespace {

// The parsed file is let go once read: the decoded runs are what is kept.
UserDefaults historyFile() { return UserDefaults(filePath(), UserDefaults::Retention::whileHeld); }

// The entries of `old` that `current` does not hold: runs by id, entries that cannot be
// read by their exact form.
std::vector<Entry> missingFrom(const std::vector<Entry>& current, std::vector<Entry> old) {
    std::set<UUID> ids;
    for (const auto& entry : current)
        if (entry.run) ids.insert(entry.run->id);
    std::erase_if(old, [&](const Entry& entry) {
        if (entry.run) return ids.count(entry.run->id) > 0;
        return std::any_of(current.begin(), current.end(),
                           [&](const Entry& held) { return !held.run && held.raw == entry.raw; });
    });
    return old;
}

// What was moved over from the old list goes ahead: it was written after the history file
// was last changed by this version.
std::vector<Entry> joined(std::vector<Entry> current, std::vector<Entry> added) {
    for (auto& entry : current) added.push_back(std::move(entry));
    applyBounds(added);
    return added;
}

// One step of the move: the old list's missing runs into the history file, then the old
// list out of the settings, unless another writer changed it meanwhile.
SaveStatus moveOnce(bool& done) {
    const UserDefaults settings = UserDefaults::standard();
    std::optional<nlohmann::json> old;
    const SaveStatus written = historyFile().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        old = settings.value(kKey);
        if (!old) return false;
        const bool existed = value.has_value();
        auto current = entries(std::move(value));
        auto added = missingFrom(current, entries(old));
        if (added.empty() && existed) return false;
        value = storedForm(joined(std::move(current), std::move(added)));
        return true;
    });
    if (!written || !old) {
        done = true;
        return written;
    }
    bool changedMeanwhile = false;
    const SaveStatus removed = UserDefaults::standard().modify(kKey, [&](std::optional<nlohmann::json>& value) {
        if (!value) return false;
        if (*value != *old) {
            changedMeanwhile = true;
            return false;
        }
        value.reset();
        return true;
    });
    done = !removed || !changedMeanwhile;
    return removed;
}

// Every change to the history file waits for the move: a run forgotten there must not come
// back from an old list still in the settings.
// A change is streamed through the file one run at a time; `body` makes it on the whole
// list when the file is not of the usual shape.
SaveStatus change(const std::function<bool()>& prepare, const JsonListStream::Edit& edit,
                  const std::function<bool(std::optional<nlohmann::json>& value)>& body) {
    if (const SaveStatus moved = moveOver(); !moved) return moved;
    const SaveStatus status = historyFile().modifyList(kKey, prepare, edit, body);
    // The parse and the write freed far more than they keep, in this worker's own heap,
    // which would hold it for good: it goes back to the system now.
    FreedMemory::giveBack();
    return status;
}

// The runs decoded from one version of the history file (and of an old list still in the
// settings; 0 when there is none), without the documents they came from.
struct ReadCache {
    std::mutex mutex;
    uint64_t history = 0, settings = 0;
    std::shared_ptr<const Loaded> loaded; // none until the first read
};

ReadCache& readCache() {
    static ReadCache cache;
    return cache;
}

std::vector<Entry> storedEntries(const std::shared_ptr<const nlohmann::json>& document) {
    if (!document) return {};
    auto it = document->find(kKey);
    if (it == document->end()) return {};
    return entries(*it);
}

// The common case, without keeping the stored form of each run. A file that cannot be
// read is one entry nobody can read.
Loaded decoded(const std::shared_ptr<const nlohmann::json>& document) {
    Loaded loaded;
    if (!document) {
        loaded.unreadable = 1;
        return loaded;
    }
    auto it = document->find(kKey);
    if (it == document->end()) return loaded;
    if (!it->is_array()) {
        loaded.unreadable = 1;
        return loaded;
    }
    loaded.runs.reserve(it->size());
    for (const auto& element : *it) {
        if (auto run = SweepRun::fromJSON(element)) loaded.runs.push_back(std::move(*run));
        else ++loaded.unreadable;
    }
    return loaded;
}

// The common case, decoded one run at a time from the file as it stands, so the whole file
// is never parsed at once; none when the file is missing, unusual or unreadable, which
// `decoded` then says as it always did. Served from memory while that version is current.
std::shared_ptr<const Loaded> streamed(uint64_t settings) {
    auto opened = historyFile().openVersion();
    if (!opened.file.valid()) return nullptr;
    ReadCache& cache = readCache();
    {
        const std::lock_guard<std::mutex> held(cache.mutex);
        if (cache.loaded && cache.history == opened.number && cache.settings == settings) return cache.loaded;
    }
    auto loaded = std::make_shared<Loaded>();
    const bool read = JsonListStream::each(opened.file.get(), kKey, [&](nlohmann::json& element) {
        if (auto run = SweepRun::fromJSON(element)) loaded->runs.push_back(std::move(*run));
        else ++loaded->unreadable;
    });
    if (!read) return nullptr;
    FreedMemory::giveBack(); // only the decoded runs stay
    const std::lock_guard<std::mutex> held(cache.mutex);
    cache.history = opened.number;
    cache.settings = settings;
    cache.loaded = loaded;
    return loaded;
}

} // namespace

std::string filePath() {
    return appendingPathComponent(deletingLastPathComponent(UserDefaults::standardFilePath()), "history.json");
}

namespace {

// What is at the path when it is there and not a plain file; none otherwise. Never opened,
// so a pipe is not waited on.
std::optional<std::string> otherThanAFile(const std::string& path, bool followLink) {
    struct stat st;
    if ((followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0 || S_ISREG(st.st_mode))
        return std::nullopt;
    if (S_ISFIFO(st.st_mode)) return "a named pipe";
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISLNK(st.st_mode)) return "a symbolic link";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "a device";
}

} // namespace

std::optional<std::string> notAFile(bool nothingMoved) {
    const std::string file = filePath(), lock = file + ".lock";
    std::string place;
    auto found = otherThanAFile(file, true);
    if (found) {
        place = "Sorvel's history file (" + validUTF8(tildeAbbreviated(file)) + ")";
    } else if ((found = otherThanAFile(lock, false))) {
        place = "the lock of Sorvel's history file (" + validUTF8(tildeAbbreviated(lock)) + ")";
    } else {
        return std::nullopt;
    }
    return "In place of " + place + " there is " + *found + ", not a file, so " +
           (nothingMoved ? "nothing was moved: Sorvel moves nothing it cannot record."
                         : "Sorvel stopped moving: the rest is still in its place.") +
           " Remove it and try again.";
}

SaveStatus moveOver() {
    if (!UserDefaults::standard().contains(kKey)) return {};
    SaveStatus status;
    bool done = false;
    // Another writer of the old list (an earlier version still running) may change it
    // between the two steps; a few rounds take in what it added.
    for (int round = 0; round < 3 && !done; ++round) status = moveOnce(done);
    return done ? status : SaveStatus::failed(EAGAIN);
}

// What `read` gives, kept between reads while neither file changes. Only a reader that may
// write moves an old list over first; the list is read where it stands all the same.
static std::shared_ptr<const Loaded> readShared(bool movingOver = true) {
    if (movingOver) (void)moveOver();
    ReadCache& cache = readCache();
    uint64_t known = 0;
    {
        const std::lock_guard<std::mutex> held(cache.mutex);
        if (cache.loaded) known = cache.history;
    }
    auto settings = UserDefaults::standard().version();
    // A list that could not be moved yet is shown with the rest.
    if (settings.object && !settings.object->contains(kKey)) settings = {};
    if (!settings.object)
        if (auto loaded = streamed(settings.number)) return loaded;
    auto history = historyFile().version(known);
    {
        const std::lock_guard<std::mutex> held(cache.mutex);
        if (cache.loaded && cache.history == history.number && cache.settings == settings.number) return cache.loaded;
    }
    // Still the version decoded, but the old list changed: the history is wanted after all.
    if (history.number == known) history = historyFile().version();
    auto loaded = std::make_shared<Loaded>();
    if (settings.object) {
        auto list = storedEntries(history.object);
        list = joined(list, missingFrom(list, storedEntries(settings.object)));
        loaded->runs = readable(list);
        loaded->unreadable = list.size() - loaded->runs.size() + (history.object ? 0 : 1);
    } else {
        *loaded = decoded(history.object);
    }
    history.object.reset();
    FreedMemory::giveBack(); // only the decoded runs stay
    const std::lock_guard<std::mutex> held(cache.mutex);
    cache.history = history.number;
    cache.settings = settings.number;
    cache.loaded = loaded;
    return loaded;
}

Loaded read() { return *readShared(); }

Loaded readWithoutWriting() { return *readShared(false); }

std::shared_ptr<const Loaded> sharedRead() { return readShared(); }

std::shared_ptr<const std::vector<SweepRun>> sharedRuns() {
    auto loaded = readShared();
    return {loaded, &loaded->runs};
}

std::optional<UnreadableStore> unreadableStore() {
    if (auto own = historyFile().unreadable()) return own;
    if (FileManager::presence(filePath()) != FileManager::Presence::absent) return std::nullopt;
    return UserDefaults::standard().unreadable();
}

std::optional<std::string> nothingReadNote(const Loaded& loaded) {
    if (!loaded.runs.empty()) return std::nullopt;
    if (auto store = unreadableStore()) return store->sentence("its history", "starts a new history");
    if (loaded.unreadable == 0) return std::nullopt;
    const bool one = loaded.unreadable == 1;
    return "Sorvel could not read " + std::string(one ? "the one entry" : "any of the " + std::to_string(loaded.unreadable) + " entries") +
           " of its history in " + validUTF8(tildeAbbreviated(filePath())) + "; it keeps " + (one ? "it" : "them") +
           " as stored.";
}

std::vector<SweepRun> load() { return read().runs; }

SaveStatus store(const SweepRun& given) {
    SweepRun run = given;
    // A run still being moved lists what its mover keeps (its items on their way with every
    // item moved, up to the cap), to be settled once it ends.
    if (run.finished && run.moved.size() > kMaximumItemsPerRun) {
        run.moved.resize(kMaximumItemsPerRun);
        run.hasDetail = false;
    }
    // Stored already (a run recorded ahead of its moves, now done): replaced in place, and
    // nothing else changes. Else it goes first and the bounds count from it.
    bool present = false, done = false;
    size_t position = 1;
    const auto prepare = [&] {
        return JsonListStream::look(filePath(), kKey, "id", run.id.uuidString(), [&](const nlohmann::json& element) {
            present = runNamed(element, run.id).has_value();
            return present;
        });
    };
    JsonListStream::Edit edit;
    edit.head = [&] {
        std::vector<nlohmann::json> head;
        if (!present) head.push_back(Entry{run, nlohmann::json::object(), true}.take());
        return head;
    };
    edit.each = [&](nlohmann::json& element) {
        if (present) {
            if (!done && runNamed(element, run.id)) {
                rewrite(element, run);
                done = true;
            }
            return true;
        }
        auto stored = SweepRun::fromJSON(element);
        if (!stored) return true;
        const bool keep = unsettled(*stored);
        if (position >= kMaximumRuns && !keep) return false;
        if (position++ >= kRunsWithDetail && !keep && !stored->moved.empty()) {
            stored->moved.clear();
            stored->hasDetail = false;
            rewrite(element, *stored);
        }
        return true;
    };
    edit.changed = [] { return true; };
    return change(prepare, edit, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(std::move(value));
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
        value = storedForm(std::move(list));
        return true;
    });
}

SaveStatus removeItems(const UUID& id, const std::vector<std::string>& originalPaths,
                       const std::vector<std::string>& putBack) {
    const std::unordered_set<std::string> gone(originalPaths.begin(), originalPaths.end());
    const std::unordered_set<std::string> back(putBack.begin(), putBack.end());
    const auto without = [&](SweepRun& run) {
        std::erase_if(run.moved, [&](const MovedItem& item) {
            if (!gone.count(item.originalPath)) return false;
            if (back.count(item.originalPath) && !item.stayed) {
                run.putBackCount = Bytes::saturatingAdd(run.putBackCount, 1);
                run.putBackBytes = Bytes::saturatingAdd(run.putBackBytes, std::max<int64_t>(item.size, 0));
            }
            return true;
        });
        run.recount();
    };
    bool done = false;
    JsonListStream::Edit edit;
    edit.each = [&](nlohmann::json& element) {
        if (done) return true;
        if (auto run = runNamed(element, id)) {
            without(*run);
            rewrite(element, *run);
            done = true;
        }
        return true;
    };
    edit.changed = [&] { return done; };
    return change(nullptr, edit, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(std::move(value));
        for (auto& entry : list) {
            if (!entry.run || entry.run->id != id) continue;
            without(*entry.run);
            entry.changed = true;
            value = storedForm(std::move(list));
            return true;
        }
        return false; // nothing is written: the moved-from value is not used
    });
}

SaveStatus replaceIfUnchanged(const SweepRun& seen, const SweepRun& now, bool& replaced) {
    replaced = false;
    JsonListStream::Edit edit;
    edit.each = [&](nlohmann::json& element) {
        if (replaced) return true;
        if (auto run = runNamed(element, seen.id); run && *run == seen) {
            rewrite(element, now);
            replaced = true;
        }
        return true;
    };
    edit.changed = [&] { return replaced; };
    return change(nullptr, edit, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(std::move(value));
        for (auto& entry : list) {
            if (!entry.run || entry.run->id != seen.id || *entry.run != seen) continue;
            entry.run = now;
            entry.changed = replaced = true;
            value = storedForm(std::move(list));
            return true;
        }
        return false;
    });
}

std::optional<std::string> notSavedMessage(const SaveStatus& status) {
    if (status) return std::nullopt;
    return status.notSaved("Sorvel could not save this run to its history", "so it cannot be put back from there");
}

SaveStatus forget(const UUID& id) {
    bool found = false;
    JsonListStream::Edit edit;
    edit.each = [&](nlohmann::json& element) {
        if (!runNamed(element, id)) return true;
        found = true;
        return false;
    };
    edit.changed = [&] { return found; };
    return change(nullptr, edit, [&](std::optional<nlohmann::json>& value) {
        auto list = entries(std::move(value));
        const auto before = list.size();
        std::erase_if(list, [&](const Entry& entry) { return entry.run && entry.run->id == id; });
        if (list.size() == before) return false;
        value = storedForm(std::move(list));
        return true;
    });
}

SaveStatus clear() {
    JsonListStream::Edit edit;
    edit.each = [](nlohmann::json& element) { return !SweepRun::fromJSON(element); };
    edit.changed = [] { return true; };
    edit.emptyRemovesKey = true;
    return change(nullptr, edit, [](std::optional<nlohmann::json>& value) {
        auto list = entries(std::move(value));
        std::vector<Entry> unreadable;
        for (auto& entry : list)
            if (!entry.run) unreadable.push_back(std::move(entry));
        if (unreadable.empty()) value.reset();
        else value = storedForm(std::move(unreadable));
        return true;
    });
}

} // namespace SweepHistory
} // namespace sorvel
