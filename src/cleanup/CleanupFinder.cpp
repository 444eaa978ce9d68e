#include "cleanup/CleanupFinder.h"

#include <algorithm>
#include <map>

#include "cleanup/CleanupRules.h"
#include "platform/Path.h"
#include "platform/PlaceRelation.h"
#include "platform/UserDirs.h"

namespace sorvel::CleanupFinder {
namespace {

const std::map<std::string, std::set<StorageCategory>> &ruleCategories() {
    static const std::map<std::string, std::set<StorageCategory>> table{
        {"user-caches", {StorageCategory::caches}},
        {"browser-caches", {StorageCategory::caches}},
        {"logs", {StorageCategory::logs}},
        {"developer", {StorageCategory::developer, StorageCategory::caches}},
        {"leftovers", {StorageCategory::appSupport, StorageCategory::containers}},
        {"trash", {StorageCategory::trash}},
        {"ios-backups", {StorageCategory::appSupport}},
    };
    return table;
}

// Whatever the environment or a mount made of a rule's places, no rule offers the home, a
// user folder, or a folder holding either (a user may still sweep such a folder of their own).
void dropUsersOwn(std::vector<CleanupItem> &items) {
    const std::string home = homeDirectory();
    if (home.empty() || home[0] != '/') return;
    std::vector<std::string> places = UserDirs::userFolders();
    places.push_back(home);
    const PlaceSet own(places);
    for (auto &item : items)
        std::erase_if(item.targets, [&own](const CleanupTarget &target) { return own.isOrHoldsAny(target.path); });
}

} // namespace

const std::vector<std::string> &ruleIDs() {
    static const std::vector<std::string> ids{"user-caches",       "browser-caches", "logs",  "developer",
                                              "derived-data-live", "leftovers",      "trash", "ios-backups"};
    return ids;
}

std::vector<CleanupItem> recommendations(const ScanResult &result) {
    std::vector<CleanupItem> unreadOnly;
    return recommendations(result, unreadOnly);
}

std::vector<CleanupItem> recommendations(const ScanResult &result, std::vector<CleanupItem> &unreadOnly) {
    const std::string home = homeDirectory();
    std::vector<CleanupItem> items{
        CleanupRules::userCaches(result, home),
        CleanupRules::browserCaches(result, home),
        CleanupRules::logsAndDiagnostics(result, home),
        CleanupRules::developerJunk(result, home),
        CleanupRules::liveDerivedData(result, home),
        CleanupRules::leftovers(result, home),
        CleanupRules::trash(result, home),
        CleanupRules::iosBackups(result, home),
    };
    dropUsersOwn(items);
    std::vector<CleanupItem> kept;
    for (auto &item : items)
        if (item.size() > 0 || item.withheld)
            kept.push_back(std::move(item));
        else if (!item.unreadPaths.empty())
            unreadOnly.push_back(std::move(item));
    std::stable_sort(kept.begin(), kept.end(), [](const CleanupItem &a, const CleanupItem &b) {
        if (a.risk != b.risk)
            return a.risk == CleanupRisk::safe;
        return a.size() > b.size();
    });
    return kept;
}

std::optional<std::set<StorageCategory>> categories(const std::set<std::string> &ids) {
    std::set<StorageCategory> out;
    for (const auto &id : ids) {
        auto it = ruleCategories().find(id);
        if (it == ruleCategories().end())
            return std::nullopt;
        out.insert(it->second.begin(), it->second.end());
    }
    return out;
}

} // namespace sorvel::CleanupFinder
