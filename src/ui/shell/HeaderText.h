#pragma once
// The header's text rules, kept pure so they can be tested without a window.
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "models/ScanCoordinator.h"
#include "platform/Date.h"

namespace sorvel::ui::HeaderText {

/// The path being read, home shown as "~"; from 25 characters on only its last 23
/// remain, after "…". Characters are user-perceived ones, never bytes.
std::string shortPath(const std::string& currentPath);

/// The last `count` user-perceived characters of UTF-8 text (all of it when shorter).
std::string lastCharacters(const std::string& text, size_t count);

enum class Status { scanning, stopped, pendingChanges, updatedJustNow, finished, empty };

/// Which status line shows, first match wins: scanning, a stopped scan, pending changes,
/// a live update less than 20 s ago, a result, nothing.
Status status(ScanCoordinator::Phase phase, bool hasPendingChanges, std::optional<Date> lastLiveUpdate, bool hasResult,
              Date now);

/// "1,234 files · 8.2s": the count grouped by the locale, the duration always with a
/// full stop whatever the C locale says.
QString filesAndDuration(int64_t files, double seconds);

/// Said when live updates follow only part of the scanned folders: "Live updates follow
/// 48,132 of 192,517 folders; a rescan shows changes below the rest."
QString partlyWatchedSentence(size_t watched, size_t unwatched);
/// The short form for the status line: "live for 48,132 of 192,517 folders".
QString partlyWatchedLine(size_t watched, size_t unwatched);
/// While the folders past the share are still being counted, the figures so far: "live for
/// 48,132 of 192,517+ · still counting", and its sentence.
QString countingLine(size_t watched, size_t unwatchedSoFar);
QString countingSentence(size_t watched, size_t unwatchedSoFar);
/// Live updates are on but not one folder could be watched.
QString notWatchingSentence();

/// A stopped scan's line: "stopped · 1,234 files · 3.0s" over what was measured by then,
/// or "scan stopped" when nothing was.
QString stoppedLine(bool measured, int64_t files, double seconds);
/// Its tooltip: the figures are partial.
QString stoppedSentence(bool measured);
/// What the header says while live updates follow only part of the scanned folders, or
/// none for want of watches: its line and the sentence behind it, both from one pair of
/// figures. None while they follow every folder. `counting`: the unwatched folders are
/// still being counted, so `unwatched` is a figure so far.
struct Coverage {
    QString line;
    QString sentence;
};
std::optional<Coverage> liveCoverage(size_t watched, size_t unwatched, bool watchesRanOut, bool counting = false);

/// Where the scope's places lie on more than one disk, what the capacity bar says under
/// its legend: "Disk at /home · also 401.2 MB on /" (the bar's own disk first, then each
/// other with what was measured there); empty on one disk.
QString diskNote(const std::vector<ScanResult::DiskFigures>& disks);

/// Integer with the locale's thousands grouping.
QString decimal(int64_t value);

} // namespace sorvel::ui::HeaderText
