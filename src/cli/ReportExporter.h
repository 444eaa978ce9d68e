#pragma once
// The exported scan report: the current result as a JSON file, with when and by which
// version it was made, the local snapshot names and every category root with its
// largest children. Choosing the destination and showing a failure are window work;
// this part builds the bytes, proposes the name and writes the file.
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "engine/ScanResult.h"
#include "platform/Date.h"

namespace sorvel::ReportExporter {

/// Children listed per category root.
inline constexpr size_t kChildrenPerRoot = 25;

/// The report as pretty-printed JSON with sorted keys and no final line break; none if
/// it cannot be built, with the reason in `error` when one is given.
std::optional<std::string> encode(const ScanResult& result, std::string* error = nullptr);

/// One folder as both JSON reports give it: bytes and path, and beside them, when this user
/// could read none of it, "notReadable": true, or only part of it, "partlyUnreadable": true.
nlohmann::json folderObject(const ScanNode& node);
/// The category's roots that are symbolic links, each with where it points; not followed.
nlohmann::json linkObjects(const CategoryResult& category);
/// The base-folder values set aside, each with why and what stands in its place.
nlohmann::json setAsideObjects(const std::vector<BaseFolders::SetAside>& values);

/// A disk's total, used, free and purgeable bytes; each null, with "notMeasured": true,
/// when they could not be read.
nlohmann::json volumeObject(const VolumeStats& v);
/// Each disk the scope's places lie on, its own first, with its mount point and the bytes
/// measured on it (the reports give it where there is more than one).
nlohmann::json diskObjects(const ScanResult& result);

/// What a recommendation lists as refused by the policy, as both JSON reports give it: bytes,
/// path and the reason, never counted in the recommendation's bytes.
nlohmann::json refusedObjects(const CleanupItem& item);

/// "sorvel-scan-yyyy-MM-dd-HHmm.json" for the given moment in the local time zone.
std::string defaultFilename(Date at = now());

/// Why a report was not written: `message` is the alert's headline, `detail` what went wrong.
struct WriteFailure {
    std::string message;
    std::string detail;
};

/// Encodes the result and writes it to `path` atomically: a file already there is either
/// wholly replaced or left as it was. None on success.
std::optional<WriteFailure> write(const ScanResult& result, const std::string& path);

/// "2026-12-07T15:04:05Z": the moment in UTC with whole seconds.
std::string internetDateTime(Date date);

} // namespace sorvel::ReportExporter
