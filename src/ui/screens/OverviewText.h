#pragma once
// The overview's text rules, kept pure.
#include <QString>

#include "engine/ScanResult.h"
#include "models/ScanCoordinator.h"

namespace sorvel::ui::OverviewText {

/// Over the skeleton: "Measuring…" while scanning, "Scan stopped — nothing was measured."
/// after a cancel, "No scan yet" while idle, and after a finished scan that found nothing
/// "Scan finished — there was nothing to measure.".
QString placeholderStatus(ScanCoordinator::Phase phase);
/// "measuring N of M" with M never below N.
QString liveCapsule(int completed, int total);
/// Whether a tile carries the "SAFE" badge: caches, logs, trash and developer only.
bool carriesSafeBadge(const DisplayCategory& category);
QString snapshotTitle(size_t count);
QString snapshotBody(const ScanResult& result);
QString coverageTitle(const ScanResult& result);

} // namespace sorvel::ui::OverviewText
