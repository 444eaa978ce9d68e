#include "cleanup/TargetPlaces.h"

#include <algorithm>

#include "engine/PathText.h"
#include "platform/Path.h"

namespace sorvel::TargetPlaces {

std::string label(const std::vector<std::string>& paths, const std::vector<std::string>& places) {
    std::vector<std::string> named;
    for (const auto& raw : paths) {
        const std::string path = standardizePath(raw);
        std::string place;
        for (const auto& candidate : places) {
            const std::string folder = standardizePath(candidate);
            if (!folder.empty() && isPathInside(path, folder) && folder.size() > place.size()) place = folder;
        }
        if (place.empty()) place = deletingLastPathComponent(path);
        if (std::find(named.begin(), named.end(), place) == named.end()) named.push_back(place);
    }
    std::string text;
    for (size_t i = 0; i < named.size() && i < 2; ++i) text += (i ? ", " : "") + tildeAbbreviated(named[i]);
    if (named.size() > 2) text += " + " + std::to_string(named.size() - 2) + " more";
    return text;
}

void name(std::vector<CleanupItem>& items) {
    for (auto& item : items) {
        const auto& shown = !item.targets.empty() ? item.targets : item.refused;
        if (shown.empty() || (item.targets.empty() && !item.onlyRefused())) continue;
        std::vector<std::string> paths;
        for (const auto& target : shown) paths.push_back(target.path);
        item.locationLabel = label(paths, item.places);
    }
}

} // namespace sorvel::TargetPlaces
