#include "cli/ScanReport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <semaphore>
#include <system_error>
#include <thread>

#include "cli/CommandPath.h"
#include "cli/PrettyJSON.h"
#include "cli/ReportExporter.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/MultiRootScan.h"
#include "engine/Reading.h"
#include "removal/OfferScreen.h"
#include "engine/SharedLinks.h"

namespace sorvel::HeadlessReport {
namespace {

using TextLayout::leftPadded;
using TextLayout::repeated;
using TextLayout::rightPadded;
using TextLayout::shown;
using TextLayout::shownPath;

const std::string kRule = "  " + repeated("\u2500", 62);

int64_t categoryFiles(const CategoryResult &category) {
    int64_t files = 0;
    for (const auto &root : category.roots)
        files += root->fileCount;
    return files;
}

// Why a category's figures are short, for its row; empty when nothing was refused or cut.
std::string blockedNote(const CategoryResult &category) {
    std::string note;
    // A root refused beside one that was read leaves the category read in part.
    if (category.category.unreadable)
        note = "  (not readable: " + shown(*category.category.unreadable) + ")";
    else if (category.unreadable())
        note = "  (not readable by this user)";
    else if (const int64_t folders = category.unreadableFolders(); folders > 0)
        note = "  (partly unreadable: " + std::to_string(folders) + (folders == 1 ? " folder)" : " folders)");
    // A link in a root's place is not followed: what it leads to is neither counted nor offered.
    for (const auto &link : category.linkNotes())
        note += "  (" + shown(link) + ")";
    if (category.notMeasured())
        note += "  (not measured: the scan was stopped before it counted a byte)";
    else if (category.partial())
        note += "  (partial: the scan was stopped before it was measured whole)";
    return note;
}

int64_t scannedBytes(const ScanResult &result) {
    int64_t sum = 0;
    for (const auto &category : result.categories)
        sum += category.total();
    return sum;
}

int64_t usedBytes(const VolumeStats &v) { return v.used(); }

int64_t purgeableBytes(const VolumeStats &v) {
    return v.availableForImportantUsage - v.availableCapacity;
}

std::string formatted(const char *format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// A disk's figures; none of them when they could not be read, never a disk of 0 bytes.
std::string diskFigures(const VolumeStats &v) {
    if (!v.measured)
        return std::string(kNotMeasuredText) + ": the disk's figures could not be read";
    return Bytes::format(v.totalCapacity) + " total \u00B7 " + Bytes::format(usedBytes(v)) + " used \u00B7 " +
           Bytes::format(v.availableCapacity) + " free";
}

std::string diskLabel(const std::string &mountPoint) {
    return mountPoint.empty() ? std::string("Other disk") : "Disk " + shown(mountPoint);
}

// There is no access grant here: what leaves totals low is folders this user may not read.
std::string unreadableText(int64_t folders) {
    return folders < 1 ? "none" : std::to_string(folders) + " \u2014 totals are a lower bound";
}

const char *riskName(CleanupRisk risk) {
    return risk == CleanupRisk::safe ? "safe" : "review";
}

// Drains the control's finished roots onto standard error, numbering them from `counter`.
void printFinished(ScanControl &control, int &counter) {
    for (const auto &done : control.takeCompleted()) {
        if (!done.node)
            continue;
        ReportOutput::diagnostic(progressLine(++counter, *done.node));
    }
}

} // namespace

std::string progressLine(int counter, const ScanNode &root) {
    // A root nothing of which was read has no figure: the dash and the words the report uses.
    const Reading reading = readingOf(root);
    const bool figure = reading == Reading::whole || reading == Reading::partial;
    std::string line = "  [" + leftPadded(std::to_string(counter), 2) + "] " +
                       leftPadded(figure ? Bytes::format(root.size) : std::string("\u2014"), 11) + "  " +
                       shownPath(root.path);
    if (reading == Reading::none)
        line += "  (not readable by this user)";
    else if (reading == Reading::unmeasured)
        line += std::string("  (") + kNotMeasuredText + ")";
    else if (refusedInPart(root))
        line += "  (partly read)";
    if (reading == Reading::partial && root.partial)
        line += "  (partial)";
    return line + "\n";
}

std::string scanReportText(const ScanResult &result, const std::vector<CleanupItem> &unreadOnly) {
    std::string out;
    auto line = [&out](const std::string &text) { out += text + "\n"; };
    const VolumeStats &v = result.volume;
    const int64_t scanned = scannedBytes(result);
    const int64_t purgeable = purgeableBytes(v);

    line("");
    line("  Sorvel \u00B7 " + title(result.scope));
    line(kRule);
    const auto disks = result.diskFigures();
    if (disks.size() == 1)
        line("  Disk        " + diskFigures(v));
    else
        for (const auto &disk : disks)
            line("  " + rightPadded(diskLabel(disk.mountPoint), 10) + "  " + diskFigures(disk.volume) + " \u00B7 " +
                 Bytes::format(disk.scanned) + " of it scanned");
    if (purgeable >= 1)
        line("  Purgeable   " + Bytes::format(purgeable) + " (mostly local snapshots)");
    if (result.notMeasured())
        line("  Scanned     not measured: stopped before any folder was measured (" +
             formatted("%.1f", result.duration) + "s)");
    else
        line("  Scanned     " + Bytes::format(scanned) + " in " + formatted("%.1f", result.duration) + "s" +
             (disks.size() > 1 ? " on " + std::to_string(disks.size()) + " disks" : "") +
             (result.partial() ? " (partial: stopped before every folder was measured)" : ""));
    line("  Unreadable folders: " + unreadableText(result.unreadableFolders));
    if (result.mountedFolders > 0)
        line("  Not counted: " + CommandPath::mountedNote(result.mountedFolders));
    for (const auto &aside : result.setAsideFolders)
        out += wrap(BaseFolders::sentence(aside), "  ", 74) + "\n";
    if (!result.snapshots.empty())
        line("  Local snapshots: " + std::to_string(result.snapshots.size()));
    line("");
    line("  CATEGORY              SIZE          SHARE   FILES");
    line(kRule);
    const double divisor = scanned < 1 ? 1.0 : static_cast<double>(scanned);
    for (const auto &category : result.sortedCategories()) {
        const int64_t total = category.total();
        std::string row = "  " + rightPadded(shown(category.category.title), 20);
        // Nothing of it was read: dashes in its columns, never figures of 0.
        if ((category.unreadable() && total == 0) || category.notMeasured())
            row += leftPadded("\u2014", 12) + std::string(8, ' ') + leftPadded("\u2014", 9);
        else
            row += leftPadded(Bytes::format(total), 12) +
                   formatted("  %5.1f%%", 100.0 * static_cast<double>(total) / divisor) +
                   leftPadded(std::to_string(categoryFiles(category)), 9);
        line(row + blockedNote(category));
        for (const auto &note : category.category.notes)
            line(wrap(shown(note), std::string(4, ' '), 74));
    }
    line("");
    line("  RECOMMENDATIONS");
    line(kRule);
    if (result.cleanupItems.empty() && unreadOnly.empty())
        line("  Nothing worth cleaning.");
    const auto print = [&line](const CleanupItem &item, bool read) {
        // A rule that withholds what it found offers nothing: it says why instead of a figure.
        line(std::string("  [") + (item.risk == CleanupRisk::safe ? "safe  " : "review") + "] " + shown(item.title) +
             " \u2014 " +
             (item.withheld ? std::string("none offered")
                            : read ? Bytes::format(item.size()) : std::string("not readable by this user")));
        if (item.withheld)
            line(wrap(shown(item.detail), std::string(7, ' '), 74));
        if (item.reportedSize)
            if (const auto note = sharedStorageNote(item.heldSize(), item.sharedSize()))
                line(wrap(*note, std::string(7, ' '), 74));
        for (size_t i = 0; i < item.targets.size() && i < 6; ++i) {
            const auto &target = item.targets[i];
            line("       " + leftPadded(Bytes::format(target.freed()), 11) + "  " + shownPath(target.path) +
                 (target.partlyRead ? "  (partly read)" : ""));
            if (const auto note = sharedStorageNote(target.size, target.shared))
                line(wrap(*note, std::string(20, ' '), 74));
        }
        if (item.targets.size() >= 7)
            line("        \u2026 and " + std::to_string(item.targets.size() - 6) + " more");
        // What belongs here but was not read has no size: it is named, never left out.
        for (size_t i = 0; i < item.unreadPaths.size() && i < 6; ++i)
            line("       " + leftPadded("\u2014", 11) + "  " + shownPath(item.unreadPaths[i]) +
                 "  (not readable by this user)");
        if (item.unreadPaths.size() >= 7)
            line("        \u2026 and " + std::to_string(item.unreadPaths.size() - 6) + " more not readable by this user");
    };
    // What the policy refuses is listed on its own, never under an offer nor in its total.
    std::vector<const CleanupTarget *> refused;
    std::vector<const CleanupItem *> refusedBy;
    for (const auto &item : result.cleanupItems) {
        for (const auto &target : item.refused) {
            refused.push_back(&target);
            refusedBy.push_back(&item);
        }
        if (!item.onlyRefused())
            print(item, true);
    }
    for (const auto &item : unreadOnly)
        print(item, false);
    if (!refused.empty()) {
        line("");
        line("  REFUSED \u2014 listed, never moved nor counted");
        for (size_t i = 0; i < refused.size() && i < 6; ++i) {
            const CleanupTarget &target = *refused[i];
            line("       " + leftPadded(Bytes::format(target.size), 11) + "  " + shownPath(target.path));
            line(wrap(shown(refusedBy[i]->title + ": " + target.detail.value_or("refused by the safety checks")),
                      std::string(22, ' '), 74));
        }
        if (refused.size() >= 7)
            line("        \u2026 and " + std::to_string(refused.size() - 6) + " more");
    }
    line("");
    line("  Safe to reclaim: " + Bytes::format(result.reclaimable()));
    line("  Nothing was deleted \u2014 this build has no delete code path.");
    line("");
    return out;
}

std::optional<std::string> scanReportJSON(const ScanResult &result, std::string *error,
                                          const std::vector<CleanupItem> &unreadOnly) {
    using nlohmann::json;
    try {
        json categories = json::array();
        for (const auto &category : result.sortedCategories()) {
            json top = json::array();
            // One folder root: its folders; else the roots, a file root (a swap file) among them.
            const auto &nodes = category.roots.size() == 1 && !category.roots.front()->isFile
                                    ? category.roots.front()->children
                                    : category.roots;
            for (size_t i = 0; i < nodes.size() && i < 15; ++i)
                top.push_back(ReportExporter::folderObject(*nodes[i]));
            // Denied as soon as one folder of it was: its figures are then a lower bound.
            const int64_t unreadable = category.unreadableFolders();
            categories.push_back(json{{"accessDenied", unreadable > 0},
                                      {"bytes", category.total()},
                                      {"files", categoryFiles(category)},
                                      {"id", category.category.id},
                                      {"notReadable", category.unreadable()},
                                      {"partlyUnreadable", category.partlyUnreadable()},
                                      {"title", category.category.title},
                                      {"top", std::move(top)},
                                      {"unreadableFolders", unreadable}});
            // Cut short by a stop: said beside its figures; whole ones carry no such key.
            if (category.partial())
                categories.back()["partial"] = true;
            if (category.notMeasured())
                categories.back()["notMeasured"] = true;
            if (auto links = ReportExporter::linkObjects(category); !links.empty())
                categories.back()["links"] = std::move(links);
            if (category.category.unreadable)
                categories.back()["notReadableWhy"] = *category.category.unreadable;
            if (!category.category.notes.empty())
                categories.back()["notes"] = category.category.notes;
        }
        json recommendations = json::array();
        const auto add = [&recommendations](const CleanupItem &item, bool read) {
            json targets = json::array();
            for (const auto &target : item.targets) {
                json object{{"bytes", target.freed()}, {"path", target.path}};
                if (target.partlyRead)
                    object["partlyUnreadable"] = true;
                if (target.size > target.freed())
                    object["sharedBytes"] = target.size - target.freed();
                targets.push_back(std::move(object));
            }
            json entry{{"bytes", item.size()},
                       {"id", item.id},
                       {"risk", riskName(item.risk)},
                       {"targets", std::move(targets)},
                       {"title", item.title}};
            if (item.sharedSize() > 0)
                entry["sharedBytes"] = item.sharedSize();
            if (!read)
                entry["notReadable"] = true;
            if (item.withheld)
                entry["withheld"] = item.detail;
            if (!item.unreadPaths.empty())
                entry["notReadablePaths"] = item.unreadPaths;
            if (!item.refused.empty())
                entry["refused"] = ReportExporter::refusedObjects(item);
            recommendations.push_back(std::move(entry));
        };
        for (const auto &item : result.cleanupItems)
            add(item, true);
        for (const auto &item : unreadOnly)
            add(item, false);
        const VolumeStats &v = result.volume;
        json document{{"categories", std::move(categories)},
                      {"durationSeconds", result.duration},
                      {"fullDiskAccess", result.fullDiskAccess},
                      {"reclaimableBytes", result.reclaimable()},
                      {"recommendations", std::move(recommendations)},
                      {"scannedBytes", scannedBytes(result)},
                      {"unreadableFolders", result.unreadableFolders},
                      {"volume", ReportExporter::volumeObject(v)}};
        // Only where the places lie on more than one disk, each with its own figures.
        if (result.diskFigures().size() > 1) document["disks"] = ReportExporter::diskObjects(result);
        if (result.partial())
            document["partial"] = true;
        if (result.mountedFolders > 0)
            document["mountedFolders"] = result.mountedFolders;
        if (!result.setAsideFolders.empty())
            document["setAsideFolders"] = ReportExporter::setAsideObjects(result.setAsideFolders);
        // Apps installed but of unknown identity: what no readable app matches is not claimed.
        if (!result.installedApps.unreadApps.empty())
            document["unreadApps"] = result.installedApps.unreadApps;
        auto text = PrettyJSON::format(document, error);
        if (!text)
            return std::nullopt;
        return *text + "\n";
    } catch (const std::exception &failure) {
        if (error)
            *error = PrettyJSON::reason(failure);
        return std::nullopt;
    }
}

int run(bool json, ScanScope scope, bool progress) {
    ScanControl control;
    const auto start = std::chrono::steady_clock::now();
    if (!json)
        ReportOutput::diagnostic("Scanning " + title(scope) + "\u2026\n");

    std::binary_semaphore finished{0};
    std::thread printer;
    if (progress) {
        try {
            printer = std::thread([&control, &finished] {
                int counter = 0;
                while (!finished.try_acquire_for(std::chrono::milliseconds(250)))
                    printFinished(control, counter);
                // Roots that finished since the last look still get their line.
                printFinished(control, counter);
            });
        } catch (const std::system_error &) {
            // No thread to print from as roots finish: their lines come after the scan.
        }
    }

    ScanResult result = MultiRootScan::scanSynchronously(control, scope, std::nullopt);
    result.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<CleanupItem> unreadOnly;
    result.cleanupItems = OfferScreen::recommendations(result, unreadOnly);
    finished.release();
    if (printer.joinable()) {
        printer.join();
    } else if (progress) {
        int counter = 0;
        printFinished(control, counter);
    }

    int status = 0;
    if (json) {
        std::string why;
        auto text = scanReportJSON(result, &why, unreadOnly);
        if (!text) {
            ReportOutput::diagnostic("sorvel: could not encode the report as JSON: " + why + "\n");
            return 1;
        }
        status = ReportOutput::emit(*text);
    } else {
        status = ReportOutput::emit(scanReportText(result, unreadOnly));
    }
    // Every figure above is a zero this user could not look behind.
    if (status == 0 && result.nothingReadable())
        return CommandPath::nothingReadable(result.categories.front().roots.front()->path);
    return status;
}

} // namespace sorvel::HeadlessReport
