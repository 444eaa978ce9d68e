#include "platform/BaseFolders.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <sys/stat.h>

#include <dirent.h>

#include "platform/Path.h"
#include "platform/PlaceRelation.h"
#include "platform/Text.h"
#include "platform/UserDirs.h"

namespace sorvel::BaseFolders {
namespace {

constexpr size_t kBases = 4;

size_t index(Base base) { return static_cast<size_t>(base); }

const char* relative(Base base) {
    switch (base) {
    case Base::cache: return ".cache";
    case Base::data: return ".local/share";
    case Base::config: return ".config";
    case Base::state: return ".local/state";
    }
    return ".cache";
}

const char* kindName(Base base) {
    switch (base) {
    case Base::cache: return "cache folder";
    case Base::data: return "data folder";
    case Base::config: return "settings folder";
    case Base::state: return "state folder";
    }
    return "cache folder";
}

struct Evaluation {
    std::array<std::string, kBases> folders;
    std::vector<SetAside> setAside;
};

std::string shown(const std::string& path) { return tildeAbbreviated(path); }

// The home's secrets, profiles and mail, and every Flatpak app's own data and settings
// (installed or not: whether it is depends on the data folder being judged).
std::vector<std::string> protectedPlaces(const std::string& home) {
    std::vector<std::string> places;
    for (const char* name : {".ssh", ".gnupg", ".pki", ".password-store", ".mozilla", ".thunderbird"})
        places.push_back(home + "/" + name);
    const std::string apps = home + "/.var/app";
    if (DIR* dir = ::opendir(apps.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            places.push_back(apps + "/" + name + "/data");
            places.push_back(apps + "/" + name + "/config");
        }
        ::closedir(dir);
    }
    return places;
}

// Why a value (in each of its readings) may not be used for its own sake; none when it may.
std::optional<std::string> ownFault(const std::vector<std::string>& readings, const std::string& home,
                                    const std::vector<std::string>& userFolders,
                                    const std::vector<std::string>& places) {
    for (const auto& reading : readings) {
        const Placement toHome = placement(reading, home);
        if (toHome == Placement::same) return "it is the home folder";
        if (toHome == Placement::holds) return "it holds the home folder";
        const auto against = [&](const std::vector<std::string>& list, const char* what) -> std::optional<std::string> {
            for (const auto& place : list) {
                const Placement p = placement(reading, place);
                const std::string named = std::string(what) + " " + shown(place);
                if (p == Placement::same) return "it is " + named;
                if (p == Placement::holds) return "it holds " + named;
                if (p == Placement::inside) return "it lies inside " + named;
            }
            return std::nullopt;
        };
        if (auto fault = against(userFolders, "the user folder")) return fault;
        if (auto fault = against(places, "the protected place")) return fault;
    }
    return std::nullopt;
}

// Why a value may not be used beside the other base folders as they now stand.
std::optional<std::string> sharedFault(Base base, const std::vector<std::string>& readings,
                                       const std::array<std::string, kBases>& folders) {
    for (const auto& reading : readings)
        for (Base other : kAllBases) {
            if (other == base) continue;
            const std::string& there = folders[index(other)];
            const std::string named = std::string("the ") + kindName(other) + " (" + shown(there) + ")";
            const Placement p = placement(reading, there);
            if (p == Placement::same) return "it is also " + named;
            if (p == Placement::holds) return "it holds " + named;
            // Nothing but caches may lie where caches are cleared, nor anything where every
            // file is a setting nothing may move.
            if (p == Placement::inside && ((other == Base::cache) || other == Base::config))
                return "it lies inside " + named;
            if (other == Base::data)
                for (const char* name : {"keyrings", "evolution"}) {
                    const std::string place = there + "/" + name;
                    const Placement q = placement(reading, place);
                    if (q != Placement::apart)
                        return std::string(q == Placement::same ? "it is" : q == Placement::holds ? "it holds" : "it lies inside") +
                               " the protected place " + shown(place);
                }
        }
    return std::nullopt;
}

Evaluation evaluate(const std::array<std::optional<std::string>, kBases>& values, const std::string& home) {
    Evaluation out;
    std::array<std::vector<std::string>, kBases> readings;
    std::array<std::string, kBases> reasons;
    for (Base base : kAllBases) out.folders[index(base)] = defaultFolder(base);
    const bool homeKnown = !home.empty() && home[0] == '/';
    std::vector<std::string> userFolders, places;
    bool listed = false;
    for (Base base : kAllBases) {
        const auto& value = values[index(base)];
        if (!value) continue;
        const std::string standard = standardizePath(*value);
        if ((*value)[0] != '/') {
            reasons[index(base)] = "it is not an absolute path";
            continue;
        }
        // The default itself stands anyway.
        if (standard == out.folders[index(base)]) continue;
        if (!homeKnown) {
            reasons[index(base)] = "the home folder is not known, so the value cannot be checked";
            continue;
        }
        if (!listed) {
            userFolders = UserDirs::userFolders();
            places = protectedPlaces(home);
            listed = true;
        }
        readings[index(base)] = {*value, standard};
        if (auto fault = ownFault(readings[index(base)], home, userFolders, places))
            reasons[index(base)] = *fault;
        else
            out.folders[index(base)] = standard;
    }
    // Setting one aside brings back its default, which may now meet another: until settled.
    for (bool changed = true; changed;) {
        changed = false;
        for (Base base : kAllBases) {
            if (readings[index(base)].empty() || !reasons[index(base)].empty()) continue;
            if (auto fault = sharedFault(base, readings[index(base)], out.folders)) {
                reasons[index(base)] = *fault;
                out.folders[index(base)] = defaultFolder(base);
                changed = true;
            }
        }
    }
    for (Base base : kAllBases)
        if (!reasons[index(base)].empty())
            out.setAside.push_back(
                {variable(base), *values[index(base)], reasons[index(base)], out.folders[index(base)]});
    return out;
}

struct Remembered {
    std::string key;
    std::chrono::steady_clock::time_point at;
    Evaluation evaluation;
};

// The explainer asks for these folders once per row shown: a judgement is kept for a
// moment, and made afresh whenever the home or a variable changes.
constexpr auto kKept = std::chrono::milliseconds(250);

Evaluation current() {
    const std::string home = homeDirectory();
    std::array<std::optional<std::string>, kBases> values;
    std::string key = home;
    for (Base base : kAllBases) {
        // An empty value is one not set, as the base directory rules say.
        if (const char* value = std::getenv(variable(base)); value && *value) values[index(base)] = value;
        key += values[index(base)] ? "\x01" + *values[index(base)] : std::string("\x02");
    }
    static std::mutex mutex;
    static std::optional<Remembered> remembered;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex);
        if (remembered && remembered->key == key && now - remembered->at < kKept) return remembered->evaluation;
    }
    Evaluation evaluation = evaluate(values, home);
    std::lock_guard lock(mutex);
    remembered = Remembered{key, now, evaluation};
    return evaluation;
}

} // namespace

const char* variable(Base base) {
    switch (base) {
    case Base::cache: return "XDG_CACHE_HOME";
    case Base::data: return "XDG_DATA_HOME";
    case Base::config: return "XDG_CONFIG_HOME";
    case Base::state: return "XDG_STATE_HOME";
    }
    return "XDG_CACHE_HOME";
}

std::string defaultFolder(Base base) { return standardizePath(appendingPathComponent(homeDirectory(), relative(base))); }

std::string folder(Base base) { return current().folders[index(base)]; }

std::vector<SetAside> setAside() { return current().setAside; }

std::vector<std::string> setAsideInsideCaches() {
    const Evaluation evaluation = current();
    const std::string& cache = evaluation.folders[index(Base::cache)];
    std::vector<std::string> folders;
    for (const auto& value : evaluation.setAside) {
        if (value.variable == variable(Base::cache) || value.value.empty() || value.value[0] != '/') continue;
        const std::string folder = standardizePath(value.value);
        if (placement(folder, cache) == Placement::inside) folders.push_back(folder);
    }
    return folders;
}

std::string sentence(const SetAside& value) {
    return value.variable + " (" + printable(value.value) + ") was set aside: " + value.reason + ". Sorvel uses " +
           printable(tildeAbbreviated(value.used)) + ".";
}

} // namespace sorvel::BaseFolders
