#pragma once
// `--backups`, `--xcode` and `--cloud`: the evidence behind the cleanup rules, printed.
#include <optional>
#include <string>
#include <vector>

#include "cleanup/BackupEvidence.h"
#include "cleanup/CloudStatus.h"
#include "cleanup/DeveloperEvidence.h"

namespace sorvel::HeadlessReport {

/// Each returns the exit status: 0; 1 when standard output could not be written, or when
/// the folder to look in is missing, not a folder or not readable by this user, or when it
/// holds backups none of which this user may read.
int backups(const std::optional<std::string> &root);
int xcode();
int cloud();

/// The reports themselves, every line ending in a line break.
/// `unreadableFolders`: folders inside the backups that their sizes leave out.
/// `countedOnce`: the measured backups' total when they share files, each counted once.
std::string backupsReport(const std::vector<DeviceBackup> &backups, int64_t unreadableFolders = 0,
                          std::optional<int64_t> countedOnce = std::nullopt);
/// `unreadableFolders`: those the sizes leave out.
std::string xcodeReport(const DeveloperEvidence &evidence, int64_t unreadableFolders = 0);
std::string cloudReport(const CloudStatus &status);

} // namespace sorvel::HeadlessReport
