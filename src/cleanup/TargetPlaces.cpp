#include "cleanup/TargetPlaces.h"

#include <algorithm>

#include "cleanup/LinuxRules.h"
#include "engine/PathText.h"
#include "platform/LinuxPlaces.h"
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

std::vector<std::string> placesOf(const std::string& ruleID, const std::string& home) {
    const std::string library = home + "/Library";
    std::vector<std::string> places;
    if (ruleID == "user-caches" || ruleID == "browser-caches")
        places = {library + "/Caches", library + "/Containers", LinuxPlaces::cacheHome(), LinuxPlaces::flatpakApps()};
    else if (ruleID == "logs") {
        places = LinuxPlaces::crashFolders();
        places.push_back(library + "/Logs");
    } else if (ruleID == "developer") {
        places = LinuxRules::developerFolderPaths(false);
        for (const auto& folder : LinuxRules::developerFolderPaths(true)) places.push_back(folder);
        places.push_back(library + "/Developer");
    } else if (ruleID == "derived-data-live")
        places = {library + "/Developer/Xcode/DerivedData"};
    else if (ruleID == "leftovers")
        places = {library + "/Application Support", library + "/Containers", library + "/Group Containers",
                  LinuxPlaces::flatpakApps(), LinuxPlaces::snapApps()};
    else if (ruleID == "ios-backups")
        places = {library + "/Application Support/MobileSync"};
    return places;
}

void name(std::vector<CleanupItem>& items, const std::string& home) {
    for (auto& item : items) {
        const auto& shown = !item.targets.empty() ? item.targets : item.refused;
        if (shown.empty() || (item.targets.empty() && !item.onlyRefused())) continue;
        std::vector<std::string> paths;
        for (const auto& target : shown) paths.push_back(target.path);
        item.locationLabel = label(paths, placesOf(item.id, home));
    }
}

} // namespace sorvel::TargetPlaces
