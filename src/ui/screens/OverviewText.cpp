#include "ui/screens/OverviewText.h"

#include "engine/Bytes.h"
#include "platform/Date.h"
#include "platform/Text.h"

namespace sorvel::ui::OverviewText {

using Phase = ScanCoordinator::Phase;

QString placeholderStatus(Phase phase) {
    switch (phase) {
    case Phase::scanning: return QStringLiteral("Measuring…");
    case Phase::cancelled: return QStringLiteral("Scan stopped — nothing was measured.");
    case Phase::done: return QStringLiteral("Scan finished — there was nothing to measure.");
    case Phase::idle: break;
    }
    return QStringLiteral("No scan yet");
}

QString liveCapsule(int completed, int total) {
    return QStringLiteral("measuring %1 of %2").arg(completed).arg(std::max(completed, total));
}

QString stoppedCapsule(int completed, int total) {
    return QStringLiteral("stopped — partial, %1 of %2 measured").arg(completed).arg(std::max(completed, total));
}

bool carriesSafeBadge(const DisplayCategory& category) {
    if (!category.storage) return false;
    switch (*category.storage) {
    case StorageCategory::caches:
    case StorageCategory::logs:
    case StorageCategory::trash:
    case StorageCategory::developer: return true;
    default: return false;
    }
}

QString setAsideTitle(const ScanResult& result) {
    const size_t count = result.setAsideFolders.size();
    if (count == 0) return {};
    if (count == 1) return QStringLiteral("A folder setting was set aside");
    return QString::number(count) + QStringLiteral(" folder settings were set aside");
}

QString setAsideBody(const ScanResult& result) {
    QStringList sentences;
    for (const auto& value : result.setAsideFolders)
        sentences << QString::fromStdString(BaseFolders::sentence(value));
    return sentences.join(QLatin1Char(' '));
}

QString snapshotTitle(size_t count) {
    return QString::number(count) + " local Time Machine snapshot" + (count == 1 ? "" : "s");
}

QString snapshotBody(const ScanResult& result) {
    QString body = "Snapshots hold onto deleted files so Time Machine can restore them. macOS does not expose their "
                   "individual sizes to apps, and it frees them automatically when the disk fills up.";
    std::vector<Date> dates;
    for (const auto& s : result.snapshots)
        if (s.date) dates.push_back(*s.date);
    const auto fmt = [](Date d) { return QString::fromStdString(mediumDateShortTime(d)); };
    if (dates.size() == 1) body += " Taken " + fmt(dates.front()) + ".";
    else if (dates.size() > 1) body += " Oldest " + fmt(dates.back()) + ", newest " + fmt(dates.front()) + ".";
    const int64_t purgeable = result.volume.availableForImportantUsage - result.volume.availableCapacity;
    if (purgeable >= 1)
        body += " macOS reports " + QString::fromStdString(Bytes::format(purgeable)) +
                " of purgeable space, most of which is usually snapshots.";
    return body;
}

QString coverageTitle(const ScanResult& result, bool partial) {
    // Set against the used space of the disk it lies on: what lies on other disks is not
    // part of this disk's used space.
    const auto disks = result.diskFigures();
    const QString measured = QString::fromStdString(Bytes::format(disks.front().scanned));
    QString elsewhere;
    for (size_t i = 1; i < disks.size(); ++i)
        elsewhere += "; " + QString::fromStdString(Bytes::format(disks[i].scanned)) + " more on " +
                     (disks[i].mountPoint.empty() ? QStringLiteral("another disk")
                                                  : QString::fromStdString(printable(disks[i].mountPoint)));
    // No used space to set it against: never "of 0 KB".
    if (!result.volume.measured)
        return measured + " accounted for" + (partial ? " so far" : "") + "; the disk's used space was not measured" +
               elsewhere;
    const int64_t used = result.volume.used();
    return measured + " of " + QString::fromStdString(Bytes::format(used)) + " used space accounted for" +
           (partial ? " so far" : "") + elsewhere;
}

} // namespace sorvel::ui::OverviewText
