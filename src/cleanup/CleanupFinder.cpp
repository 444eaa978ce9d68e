#include "cleanup/CleanupFinder.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "cleanup/CleanupRules.h"
#include "cleanup/TargetPlaces.h"
#include "platform/LinkedPlace.h"
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

// A rule's folder that is a link the walk did not follow: listed, though it measures nothing,
// so that the guard says why nothing behind it is offered.
bool isUnfollowedLink(const CleanupTarget &target) {
    struct stat st;
    return target.size <= 0 && isRuleFolder(target.path) && ::lstat(target.path.c_str(), &st) == 0 &&
           S_ISLNK(st.st_mode);
}

// Whatever the environment or a mount made of a rule's places, no rule offers the home, a
// user folder, or a folder holding either (a user may still sweep such a folder of their own).
// A rule's folder linked to one stays listed, for the guard to say why nothing there is.
void dropUsersOwn(std::vector<CleanupItem> &items) {
    const std::string home = homeDirectory();
    if (home.empty() || home[0] != '/') return;
    std::vector<std::string> places = UserDirs::userFolders();
    places.push_back(home);
    const PlaceSet own(places);
    for (auto &item : items)
        std::erase_if(item.targets, [&own](const CleanupTarget &target) {
            return own.isOrHoldsAny(target.path) && !isUnfollowedLink(target);
        });
}

// The cache folder's children at large are the least specific offer: a rule that names its
// folder says more about it.
int generality(const CleanupItem &item) { return item.id == "user-caches" ? 1 : 0; }

} // namespace

void offerEachPlaceOnce(std::vector<CleanupItem> &items) {
    struct Offer {
        size_t item, target;
    };
    std::map<std::string, std::vector<Offer>> byPath;
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t k = 0; k < items[i].targets.size(); ++k)
            byPath[standardizePath(items[i].targets[k].path)].push_back({i, k});
    std::vector<std::vector<bool>> dropped(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        dropped[i].assign(items[i].targets.size(), false);
    for (const auto &[path, offers] : byPath) {
        // Inside another offer: moving that one takes it along, and its size counts it.
        bool held = false;
        for (std::string outer = deletingLastPathComponent(path); !held && outer.size() > 1 && outer != path;
             outer = deletingLastPathComponent(outer))
            held = byPath.count(outer) > 0;
        const auto best = std::min_element(offers.begin(), offers.end(), [&](const Offer &a, const Offer &b) {
            const int ga = generality(items[a.item]), gb = generality(items[b.item]);
            return ga != gb ? ga < gb : a.item < b.item;
        });
        for (auto it = offers.begin(); it != offers.end(); ++it)
            if (held || it != best)
                dropped[it->item][it->target] = true;
    }
    for (size_t i = 0; i < items.size(); ++i) {
        std::vector<CleanupTarget> kept;
        for (size_t k = 0; k < items[i].targets.size(); ++k)
            if (!dropped[i][k])
                kept.push_back(std::move(items[i].targets[k]));
        items[i].targets = std::move(kept);
    }
}

const std::vector<std::string> &ruleIDs() {
    static const std::vector<std::string> ids{"user-caches",       "browser-caches", "logs",  "developer",
                                              "derived-data-live", "leftovers",      "trash", "ios-backups"};
    return ids;
}

void noteShared(std::vector<CleanupItem> &items, const ScanResult &result) {
    for (auto &item : items)
        for (auto &target : item.targets)
            target.shared = std::clamp<int64_t>(result.sharedBytes(target.path), 0, std::max<int64_t>(target.size, 0));
}

std::vector<CleanupItem> recommendations(const ScanResult &result) {
    std::vector<CleanupItem> unreadOnly;
    return recommendations(result, unreadOnly);
}

namespace {

// The eight rules over one scan, in the finder's order. Without evidence, the rules that
// read it (developer data, device backups) judge none: only the folders they carry count.
std::vector<CleanupItem> ruleItems(const ScanResult &result, const std::string &home, bool readEvidence) {
    const DeveloperEvidence noDeveloperData;
    return {
        CleanupRules::userCaches(result, home),
        CleanupRules::browserCaches(result, home),
        CleanupRules::logsAndDiagnostics(result, home),
        readEvidence ? CleanupRules::developerJunk(result, home)
                     : CleanupRules::developerJunk(result, home, noDeveloperData),
        readEvidence ? CleanupRules::liveDerivedData(result, home)
                     : CleanupRules::liveDerivedData(result, home, noDeveloperData),
        CleanupRules::leftovers(result, home),
        CleanupRules::trash(result, home),
        readEvidence ? CleanupRules::iosBackups(result, home) : CleanupRules::iosBackups(result, home, {}),
    };
}

} // namespace

std::vector<std::string> offeredPlaces() {
    std::vector<std::string> places;
    for (const auto &item : ruleItems(ScanResult{}, homeDirectory(), false))
        for (const auto &place : item.places)
            if (std::find(places.begin(), places.end(), place) == places.end())
                places.push_back(place);
    return places;
}

std::vector<CleanupItem> recommendations(const ScanResult &result, std::vector<CleanupItem> &unreadOnly) {
    const std::string home = homeDirectory();
    std::vector<CleanupItem> items = ruleItems(result, home, true);
    dropUsersOwn(items);
    offerEachPlaceOnce(items);
    // Named once the targets are final: a row speaks of where what it offers lies.
    TargetPlaces::name(items);
    noteShared(items, result);
    std::vector<CleanupItem> kept;
    for (auto &item : items)
        // Held but shared whole, it is still listed: its row says it frees nothing.
        if (item.heldSize() > 0 || item.withheld || !item.refused.empty() ||
            std::any_of(item.targets.begin(), item.targets.end(), isUnfollowedLink))
            kept.push_back(std::move(item));
        else if (!item.unreadPaths.empty())
            unreadOnly.push_back(std::move(item));
    order(kept);
    return kept;
}

void order(std::vector<CleanupItem> &items) {
    std::stable_sort(items.begin(), items.end(), [](const CleanupItem &a, const CleanupItem &b) {
        // What only lists refused places comes after every offer.
        if (a.onlyRefused() != b.onlyRefused())
            return b.onlyRefused();
        if (a.risk != b.risk)
            return a.risk == CleanupRisk::safe;
        return a.size() > b.size();
    });
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
