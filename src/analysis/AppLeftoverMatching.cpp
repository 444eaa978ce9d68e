// Tying entries of the Library folders to installed apps: by bundle identifier (whole,
// or as a dotted prefix, also behind a developer-team prefix), else by the app's name.
#include <locale.h>
#include <wctype.h>

#include <algorithm>

#include "analysis/AppInventory.h"
#include "engine/Reading.h"
#include "platform/Graphemes.h"
#include "platform/FileManager.h"
#include "platform/TextCase.h"

namespace sorvel::AppInventory {
namespace {

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

size_t characters(const std::string& text) { return Graphemes::characterCount(text); }

// The first code point of a UTF-8 sequence; none when the bytes are not one.
std::optional<char32_t> firstCodePoint(std::string_view s) {
    if (s.empty()) return std::nullopt;
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return b0;
    size_t length;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) length = 2, cp = b0 & 0x1F, min = 0x80;
    else if ((b0 & 0xF0) == 0xE0) length = 3, cp = b0 & 0x0F, min = 0x800;
    else if ((b0 & 0xF8) == 0xF0) length = 4, cp = b0 & 0x07, min = 0x10000;
    else return std::nullopt;
    if (length > s.size()) return std::nullopt;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte(k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

// A character is a letter or a number when the code point it starts with is one.
bool isLetterOrNumber(std::string_view character) {
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    auto cp = firstCodePoint(character);
    if (!cp) return false;
    if (*cp < 0x80) return (*cp >= '0' && *cp <= '9') || (*cp >= 'a' && *cp <= 'z') || (*cp >= 'A' && *cp <= 'Z');
    if (!unicode) return false;
    return ::iswalnum_l(static_cast<wint_t>(*cp), unicode) != 0;
}

} // namespace

std::string deletingPathExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

std::optional<std::string> teamIdentifierStripped(const std::string& key) {
    const size_t dot = key.find('.');
    if (dot == std::string::npos) return std::nullopt;
    const std::string_view team(key.data(), dot);
    const std::vector<size_t> bounds = Graphemes::characterBoundaries(team);
    if (bounds.size() < 1 + 8) return std::nullopt; // boundaries hold one entry per character plus the end
    for (size_t i = 0; i + 1 < bounds.size(); ++i)
        if (!isLetterOrNumber(team.substr(bounds[i], bounds[i + 1] - bounds[i]))) return std::nullopt;
    return key.substr(dot + 1);
}

std::vector<IdentifierEntry> identifierList(const std::vector<InstalledApp>& apps) {
    std::vector<IdentifierEntry> list;
    for (size_t i = 0; i < apps.size(); ++i) {
        // An empty identifier would claim every dot-file of the Library as its own.
        if (apps[i].bundleIdentifier && !apps[i].bundleIdentifier->empty())
            list.push_back({lowercased(*apps[i].bundleIdentifier), i});
    }
    std::stable_sort(list.begin(), list.end(), [](const IdentifierEntry& a, const IdentifierEntry& b) {
        return characters(a.identifier) > characters(b.identifier);
    });
    return list;
}

std::vector<NameEntry> nameList(const std::vector<InstalledApp>& apps) {
    std::vector<NameEntry> list;
    for (size_t i = 0; i < apps.size(); ++i) {
        if (characters(apps[i].name) >= 5) list.push_back({lowercased(apps[i].name), i});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const NameEntry& a, const NameEntry& b) { return characters(a.name) > characters(b.name); });
    return list;
}

std::optional<std::pair<size_t, AppLeftover::Match>> owner(const std::string& entry,
                                                           const std::vector<IdentifierEntry>& identifiers,
                                                           const std::vector<NameEntry>& names,
                                                           const std::vector<InstalledApp>& apps) {
    const std::string key = lowercased(entry);
    std::vector<std::string> candidates{key};
    if (auto stripped = teamIdentifierStripped(key)) candidates.push_back(*stripped);

    for (const auto& candidate : candidates)
        for (const auto& [identifier, index] : identifiers)
            if (candidate == identifier) return std::pair{index, AppLeftover::Match::exactIdentifier()};
    for (const auto& candidate : candidates)
        for (const auto& [identifier, index] : identifiers)
            if (startsWith(candidate, identifier + "."))
                return std::pair{index, AppLeftover::Match::identifierPrefix(apps[index].name)};
    for (const auto& [name, index] : names)
        if (key == name) return std::pair{index, AppLeftover::Match::appNameMatch()};
    return std::nullopt;
}

void attachLeftovers(std::vector<InstalledApp>& apps, ScanControl& control, const Places& places,
                     bool unknownInstalled) {
    const auto identifiers = identifierList(apps);
    const auto names = nameList(apps);
    const FileWalker::Options options = walkOptions();
    for (const auto& location : places.locations) {
        auto entries = FileManager::contentsOfDirectory(location.directory);
        if (!entries) continue;
        for (const auto& entry : *entries) {
            const std::string key = location.suffixed ? deletingPathExtension(entry) : entry;
            auto found = owner(key, identifiers, names, apps);
            if (!found) continue;
            std::string path = location.directory + "/" + entry;
            auto node = FileWalker::walk(path, control, options);
            if (!node || node->size < 1) continue;
            // Only an app's own whole identifier names its data for sure: a longer identifier, or
            // the same name, may be that of an app whose identity could not be read.
            const bool inDoubt = unknownInstalled && found->second.kind != AppLeftover::Match::Kind::exactIdentifier;
            apps[found->first].leftovers.push_back(AppLeftover{std::move(path), node->size, location.kind,
                                                               std::move(found->second),
                                                               location.requiresAdministrator,
                                                               readingOf(*node) == Reading::partial, inDoubt});
        }
    }
    for (auto& app : apps) {
        std::stable_sort(app.leftovers.begin(), app.leftovers.end(),
                         [](const AppLeftover& a, const AppLeftover& b) { return a.size > b.size; });
    }
}

} // namespace sorvel::AppInventory
