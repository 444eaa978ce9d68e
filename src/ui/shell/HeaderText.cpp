#include "ui/shell/HeaderText.h"

#include <QLocale>

#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "platform/Graphemes.h"
#include "platform/Text.h"

namespace sorvel::ui::HeaderText {

std::string lastCharacters(const std::string& text, size_t count) {
    const auto bounds = Graphemes::characterBoundaries(text);
    const size_t characters = bounds.empty() ? 0 : bounds.size() - 1;
    if (characters <= count) return text;
    return text.substr(bounds[characters - count]);
}

std::string shortPath(const std::string& currentPath) {
    const std::string tilde = tildeAbbreviated(currentPath);
    if (Graphemes::characterCount(tilde) >= 25) return "…" + lastCharacters(tilde, 23);
    return tilde;
}

Status status(ScanCoordinator::Phase phase, bool hasPendingChanges, std::optional<Date> lastLiveUpdate, bool hasResult,
              Date now) {
    if (phase == ScanCoordinator::Phase::scanning) return Status::scanning;
    if (phase == ScanCoordinator::Phase::cancelled) return Status::stopped;
    if (hasPendingChanges) return Status::pendingChanges;
    if (lastLiveUpdate && std::chrono::duration<double>(now - *lastLiveUpdate).count() < 20.0)
        return Status::updatedJustNow;
    if (hasResult) return Status::finished;
    return Status::empty;
}

QString decimal(int64_t value) { return QLocale().toString(qlonglong(value)); }

QString partlyWatchedSentence(size_t watched, size_t unwatched) {
    return "Live updates follow " + decimal(int64_t(watched)) + " of " + decimal(int64_t(watched + unwatched)) +
           " folders; a rescan shows changes below the rest.";
}

QString notWatchingSentence() {
    return "Live updates are off: the folder watches Sorvel may use ran out, so a rescan shows what changed.";
}

QString partlyWatchedLine(size_t watched, size_t unwatched) {
    return "live for " + decimal(int64_t(watched)) + " of " + decimal(int64_t(watched + unwatched)) + " folders";
}

QString stoppedLine(bool measured, int64_t files, double seconds) {
    return measured ? "stopped · " + filesAndDuration(files, seconds) : QStringLiteral("scan stopped");
}

QString stoppedSentence(bool measured) {
    return measured ? QStringLiteral("The scan was stopped before it finished: these figures are partial, covering only "
                                     "what was measured by then. Rescan to measure everything.")
                    : QStringLiteral("The scan was stopped before anything was measured. Rescan to measure.");
}

QString countingLine(size_t watched, size_t unwatchedSoFar) {
    return "live for " + decimal(int64_t(watched)) + " of " + decimal(int64_t(watched + unwatchedSoFar)) +
           "+ · still counting";
}

QString countingSentence(size_t watched, size_t unwatchedSoFar) {
    return "Live updates follow " + decimal(int64_t(watched)) + " of the " +
           decimal(int64_t(watched + unwatchedSoFar)) +
           " folders counted so far; Sorvel is still counting the rest. A rescan shows changes below the folders "
           "not followed.";
}

std::optional<Coverage> liveCoverage(size_t watched, size_t unwatched, bool watchesRanOut, bool counting) {
    if (watchesRanOut) return Coverage{"not live", notWatchingSentence()};
    if (counting) return Coverage{countingLine(watched, unwatched), countingSentence(watched, unwatched)};
    if (unwatched == 0) return std::nullopt;
    return Coverage{partlyWatchedLine(watched, unwatched), partlyWatchedSentence(watched, unwatched)};
}

QString filesAndDuration(int64_t files, double seconds) {
    // asprintf ignores the C locale's decimal comma.
    return decimal(files) + " " + QString::fromStdString(agreeing(files, "file")) + QString::asprintf(" · %.1fs", seconds);
}

QString diskNote(const std::vector<ScanResult::DiskFigures>& disks) {
    if (disks.size() < 2) return {};
    const auto place = [](const std::string& mountPoint) {
        return mountPoint.empty() ? QStringLiteral("another disk") : QString::fromStdString(printable(mountPoint));
    };
    QString note = disks.front().mountPoint.empty() ? QStringLiteral("This disk")
                                                    : "Disk at " + place(disks.front().mountPoint);
    for (size_t i = 1; i < disks.size(); ++i)
        note += (i == 1 ? QStringLiteral(" \u00B7 also ") : QStringLiteral(", ")) +
                QString::fromStdString(Bytes::format(disks[i].scanned)) + " on " + place(disks[i].mountPoint);
    return note;
}

} // namespace sorvel::ui::HeaderText
