#include "cli/ReportExporter.h"

#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

#include "cli/PrettyJSON.h"
#include "engine/Reading.h"
#include "platform/AtomicFile.h"
#include "platform/BundleInfo.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::ReportExporter {
namespace {

using nlohmann::json;

const char* const kFailureMessage = "Could not write the report";

int64_t categoryFiles(const CategoryResult& category) {
    int64_t files = 0;
    for (const auto& root : category.roots)
        if (root) files += root->fileCount;
    return files;
}

// A stop cut the walk short, so the figures cover only part of it: "partial": true beside
// them. Whole figures carry no such key, as before.
json markedPartial(json object, bool partial) {
    if (partial) object["partial"] = true;
    return object;
}

json rootObject(const ScanNode& root) {
    json children = json::array();
    for (size_t i = 0; i < root.children.size() && i < kChildrenPerRoot; ++i) {
        const auto& child = root.children[i];
        if (child) children.push_back(folderObject(*child));
    }
    json object = folderObject(root);
    object["children"] = std::move(children);
    return object;
}

json categoryObject(const CategoryResult& category) {
    json roots = json::array();
    for (const auto& root : category.roots)
        if (root) roots.push_back(rootObject(*root));
    // A folder refused anywhere below the roots marks the category, as the command-line report does.
    const int64_t unreadable = category.unreadableFolders();
    json links = linkObjects(category);
    json object = markedPartial(json{{"accessDenied", unreadable > 0},
                {"bytes", category.total()},
                {"files", categoryFiles(category)},
                {"id", category.category.id},
                // Its bytes and files (0) were not read: said, beside them, for readers that check.
                {"notReadable", category.unreadable()},
                {"partlyUnreadable", category.partlyUnreadable()},
                {"roots", std::move(roots)},
                {"title", category.category.title},
                {"unreadableFolders", unreadable}},
                         category.partial());
    if (!links.empty()) object["links"] = std::move(links);
    return object;
}

json recommendationObject(const CleanupItem& item) {
    json targets = json::array();
    for (const auto& target : item.targets) {
        json object{{"bytes", target.freed()}, {"path", target.path}};
        if (target.partlyRead) object["partlyUnreadable"] = true;
        if (target.size > target.freed()) object["sharedBytes"] = target.size - target.freed();
        targets.push_back(std::move(object));
    }
    json object{{"bytes", item.size()},
                {"id", item.id},
                {"risk", item.risk == CleanupRisk::safe ? "safe" : "review"},
                {"targets", std::move(targets)},
                {"title", item.title}};
    if (item.sharedSize() > 0) object["sharedBytes"] = item.sharedSize();
    // Folders of the rule's that could not be read: named, as the command-line report names them.
    if (!item.unreadPaths.empty()) object["notReadablePaths"] = item.unreadPaths;
    // Found but not offered: the reason, as the command-line report gives it.
    if (item.withheld) object["withheld"] = item.detail;
    if (!item.refused.empty()) object["refused"] = refusedObjects(item);
    return object;
}

std::string errorDetail(const std::string& path, int error) {
    return "The file \u201C" + printable(lastPathComponent(path)) + "\u201D could not be saved: " +
           std::strerror(error) + ".";
}

} // namespace

json refusedObjects(const CleanupItem& item) {
    json refused = json::array();
    for (const auto& target : item.refused)
        refused.push_back(json{{"bytes", target.size}, {"path", target.path}, {"reason", target.detail.value_or("")}});
    return refused;
}

json folderObject(const ScanNode& node) {
    // A folder not read, or not measured, has no bytes to give: its 0 stands beside the key
    // saying so. A folder read whole keeps the two keys it always had.
    json object{{"bytes", node.size}, {"path", node.path}};
    if (readingOf(node) == Reading::none) object["notReadable"] = true;
    if (readingOf(node) == Reading::unmeasured) object["notMeasured"] = true;
    if (refusedInPart(node)) object["partlyUnreadable"] = true;
    if (node.partial) object["partial"] = true;
    if (node.linkTarget) object["linkTarget"] = *node.linkTarget;
    return object;
}

json linkObjects(const CategoryResult& category) {
    json links = json::array();
    for (const auto& root : category.roots)
        if (root && root->linkTarget)
            links.push_back(json{{"followed", false}, {"path", root->path}, {"target", *root->linkTarget}});
    return links;
}

json setAsideObjects(const std::vector<BaseFolders::SetAside>& values) {
    json list = json::array();
    for (const auto& value : values)
        list.push_back(json{{"reason", value.reason}, {"used", value.used}, {"value", value.value},
                            {"variable", value.variable}});
    return list;
}

json volumeObject(const VolumeStats& v) {
    if (!v.measured)
        return json{{"freeBytes", nullptr},
                    {"notMeasured", true},
                    {"purgeableBytes", nullptr},
                    {"totalBytes", nullptr},
                    {"usedBytes", nullptr}};
    const int64_t purgeable = v.availableForImportantUsage - v.availableCapacity;
    return json{{"freeBytes", v.availableCapacity},
                {"purgeableBytes", purgeable < 0 ? 0 : purgeable},
                {"totalBytes", v.totalCapacity},
                {"usedBytes", v.used()}};
}

json diskObjects(const ScanResult& result) {
    json list = json::array();
    for (const auto& disk : result.diskFigures()) {
        json object = volumeObject(disk.volume);
        object["mountPoint"] = disk.mountPoint.empty() ? json(nullptr) : json(disk.mountPoint);
        object["scannedBytes"] = disk.scanned;
        list.push_back(std::move(object));
    }
    return list;
}

std::string internetDateTime(Date date) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count();
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&t, &parts)) return "1970-01-01T00:00:00Z";
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

std::optional<std::string> encode(const ScanResult& result, std::string* error) {
    try {
        json categories = json::array();
        for (const auto& category : result.sortedCategories()) categories.push_back(categoryObject(category));
        json recommendations = json::array();
        for (const auto& item : result.cleanupItems) recommendations.push_back(recommendationObject(item));
        json snapshots = json::array();
        for (const auto& snapshot : result.snapshots) snapshots.push_back(snapshot.name);

        int64_t scanned = 0;
        for (const auto& category : result.categories) scanned += category.total();

        json document{{"categories", std::move(categories)},
                      {"durationSeconds", result.duration},
                      {"fullDiskAccess", result.fullDiskAccess},
                      {"generatedAt", internetDateTime(result.finishedAt)},
                      {"generatedBy", "Sorvel " + BundleInfo::shortVersion()},
                      {"localSnapshots", std::move(snapshots)},
                      {"reclaimableBytes", result.reclaimable()},
                      {"recommendations", std::move(recommendations)},
                      {"scannedBytes", scanned},
                      {"unreadableFolders", result.unreadableFolders},
                      {"volume", volumeObject(result.volume)}};
        // Only where the places lie on more than one disk, each with its own figures.
        if (result.diskFigures().size() > 1) document["disks"] = diskObjects(result);
        if (!result.installedApps.unreadApps.empty()) document["unreadApps"] = result.installedApps.unreadApps;
        if (!result.setAsideFolders.empty()) document["setAsideFolders"] = setAsideObjects(result.setAsideFolders);
        return PrettyJSON::format(markedPartial(std::move(document), result.partial()), error);
    } catch (const std::exception& failure) {
        if (error) *error = PrettyJSON::reason(failure);
        return std::nullopt;
    }
}

std::string defaultFilename(Date at) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(at.time_since_epoch()).count();
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char buffer[64] = "1970-01-01-0000";
    if (localtime_r(&t, &parts)) std::strftime(buffer, sizeof buffer, "%Y-%m-%d-%H%M", &parts);
    return std::string("sorvel-scan-") + buffer + ".json";
}

std::optional<WriteFailure> write(const ScanResult& result, const std::string& path) {
    std::string why;
    auto bytes = encode(result, &why);
    if (!bytes) return WriteFailure{kFailureMessage, "The report could not be encoded: " + why + "."};

    if (int error = AtomicFile::write(path, *bytes); error != 0)
        return WriteFailure{kFailureMessage, errorDetail(path, error)};
    return std::nullopt;
}

} // namespace sorvel::ReportExporter
