#pragma once
// `--backups`, `--xcode` and `--cloud`: the evidence behind the cleanup rules, printed.
#include <optional>
#include <string>
#include <vector>

#include "cleanup/BackupEvidence.h"
#include "cleanup/CloudStatus.h"
#include "cleanup/DeveloperEvidence.h"

namespace sorvel::HeadlessReport {

/// Each returns the exit status: 0, or 1 when standard output could not be written.
int backups(const std::optional<std::string> &root);
int xcode();
int cloud();

/// The reports themselves, every line ending in a line break.
std::string backupsReport(const std::vector<DeviceBackup> &backups);
std::string xcodeReport(const DeveloperEvidence &evidence);
std::string cloudReport(const CloudStatus &status);

} // namespace sorvel::HeadlessReport
