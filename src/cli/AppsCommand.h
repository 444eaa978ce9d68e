#pragma once
// `--apps`: the installed applications with the leftovers found for each and the
// evidence of every match. Removes nothing.
#include <string>
#include <vector>

#include "analysis/InstalledApp.h"

namespace sorvel::HeadlessReport {

/// Apps printed in full, and leftover rows printed per app, before the rest is summed up.
inline constexpr size_t kAppsListed = 40;
inline constexpr size_t kLeftoverRows = 6;

/// Everything after the "Scanning applications…" banner, every line ending in a line
/// break; `apps` in the inventory's order.
/// `unreadableFolders`: those the inventory could not look in, said as left out.
/// `unreadApps`: apps of unknown identity (bundles, folders that would not list), said
/// with what they leave in doubt.
std::string appsReport(const std::vector<InstalledApp>& apps, int64_t unreadableFolders = 0,
                       const std::vector<std::string>& unreadApps = {});

} // namespace sorvel::HeadlessReport
