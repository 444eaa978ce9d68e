#pragma once
// `--report`: measure a scope, attach the recommendations, print text or JSON.
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanNode.h"
#include "engine/ScanResult.h"
#include "engine/StorageCategory.h"

namespace sorvel::HeadlessReport {

/// Runs the report and returns the exit status: 0, or 1 when the report could not be
/// written to standard output or when this user could read none of what it measures.
int run(bool json, ScanScope scope, bool progress);

/// The text report of a finished result, every line ending in a line break. `unreadOnly`:
/// recommendations left out for having nothing read, said among the others.
std::string scanReportText(const ScanResult &result, const std::vector<CleanupItem> &unreadOnly = {});
/// The JSON report of a finished result with a final line break; none if it cannot be built,
/// with the reason in `error` when one is given.
std::optional<std::string> scanReportJSON(const ScanResult &result, std::string *error = nullptr,
                                          const std::vector<CleanupItem> &unreadOnly = {});
/// One progress line for the n-th finished root, with its line break.
std::string progressLine(int counter, const ScanNode &root);

} // namespace sorvel::HeadlessReport
