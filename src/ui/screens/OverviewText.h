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
/// After a stop, in the capsule's place: "stopped — partial, N of M measured".
QString stoppedCapsule(int completed, int total);
/// Whether a tile carries the "SAFE" badge: caches, logs, trash and developer only.
bool carriesSafeBadge(const DisplayCategory& category);
QString snapshotTitle(size_t count);
/// "A folder setting was set aside" (or "N folder settings were set aside"); empty when none was.
QString setAsideTitle(const ScanResult& result);
/// One sentence per value set aside: which, why, and the folder used instead.
QString setAsideBody(const ScanResult& result);
QString snapshotBody(const ScanResult& result);
/// "X of Y used space accounted for", with " so far" when the scan was stopped.
QString coverageTitle(const ScanResult& result, bool partial = false);

} // namespace sorvel::ui::OverviewText
