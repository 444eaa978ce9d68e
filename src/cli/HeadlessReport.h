#pragma once
// The headless commands behind the command-line options. Each prints its report and
// RETURNS the process exit status instead of ending the process itself: SorvelMain::main
// hands the status back to main(), which returns it, so buffers are flushed and objects
// destroyed normally. Every function is reached only from SorvelMain's dispatch.
#include <optional>
#include <string>

#include "engine/StorageCategory.h"

namespace sorvel::HeadlessReport {

/// `--report` (with `--json`, `--whole-disk`, `--progress`); 1 when nothing could be read.
/// Every command below returns 1 for a path, or for all it would look in, that this user
/// may not read, and says so on standard error; folders it could not read among those it
/// could are counted in its report.
int run(bool json, ScanScope scope, bool progress);
/// `--plan`: dry run of the safe recommendations.
int plan();
/// `--insights PATH`: 0, or 1 when the path cannot be examined or entered.
int insights(const std::string& path);
/// `--backups [ROOT]`; no root: the default backup folder. 1 when ROOT is missing, not a
/// folder or not readable.
int backups(const std::optional<std::string>& root);
/// `--apps`.
int apps();
/// `--duplicates PATH`.
int duplicates(const std::string& path);
/// `--history`.
int history();
/// `--xcode`.
int xcode();
/// `--docker`.
int docker();
/// `--watch PATH`: runs until the process is stopped; 1 when the path cannot be examined.
int watch(const std::string& path);
/// `--cloud`.
int cloud();
/// `--access`: the Full Disk Access probe report.
int access();
/// `--size PATH`: 0, or 1 when the path cannot be examined or entered.
int size(const std::string& path);

} // namespace sorvel::HeadlessReport
