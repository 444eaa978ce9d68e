#pragma once
// The eight rules of the recommendation finder. Each returns exactly one item, possibly
// without targets or size; the finder filters and orders them.
#include <string>

#include "cleanup/BackupEvidence.h"
#include "cleanup/DeveloperEvidence.h"
#include "engine/CleanupItem.h"
#include "engine/ScanResult.h"

namespace sorvel::CleanupRules {

CleanupItem userCaches(const ScanResult &result, const std::string &home);
CleanupItem browserCaches(const ScanResult &result, const std::string &home);
CleanupItem logsAndDiagnostics(const ScanResult &result, const std::string &home);
CleanupItem trash(const ScanResult &result, const std::string &home);

CleanupItem developerJunk(const ScanResult &result, const std::string &home);
CleanupItem liveDerivedData(const ScanResult &result, const std::string &home);
CleanupItem leftovers(const ScanResult &result, const std::string &home);
CleanupItem iosBackups(const ScanResult &result, const std::string &home);

/// The two developer rules on evidence already taken.
CleanupItem developerJunk(const ScanResult &result, const std::string &home,
                          const DeveloperEvidence &evidence);
CleanupItem liveDerivedData(const ScanResult &result, const std::string &home,
                            const DeveloperEvidence &evidence);
/// The backup rule on backups already judged (largest first).
CleanupItem iosBackups(const ScanResult &result, const std::string &home,
                       const std::vector<DeviceBackup> &backups);

CleanupTarget makeTarget(std::string name, std::string path, int64_t size, std::optional<std::string> detail);
/// A target from a scan node: its name, path and size, a new id.
CleanupTarget targetFrom(const ScanNode &node, std::optional<std::string> detail = std::nullopt);
/// Largest first; equal sizes keep the order found.
void sortTargets(std::vector<CleanupTarget> &targets);

/// The leftover rule's detail while apps of unknown identity are installed: why nothing is
/// offered, and how many folders (of how many bytes) no readable app matches.
std::string withheldLeftoversText(const InstalledApps &installed, int64_t folders, int64_t bytes);

/// A reverse-DNS identifier of at least three parts made of letters, numbers, "-" and "_".
bool looksLikeBundleIdentifier(const std::string &identifier);

/// Distinct keys among the backups: the serial number when present, else the folder name.
int deviceCount(const std::vector<DeviceBackup> &backups);
/// The size of the scan node at the path, 0 when the result holds none.
SizeFunction sizeFromResult(const ScanResult &result);

} // namespace sorvel::CleanupRules
