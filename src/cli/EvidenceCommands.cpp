#include "cli/EvidenceCommands.h"

#include <algorithm>
#include <unordered_set>

#include "cli/CommandPath.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "engine/PathText.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::HeadlessReport {
namespace {

using TextLayout::fitted;
using TextLayout::leftPadded;
using TextLayout::repeated;
using TextLayout::rightPadded;
using TextLayout::shown;

const char *verdictLabel(const DeviceBackup::Verdict &verdict) {
    switch (verdict.kind) {
    case DeviceBackup::Verdict::Kind::superseded:
        return "SUPERSEDED";
    case DeviceBackup::Verdict::Kind::stale:
        return "LIKELY OLD DEVICE";
    case DeviceBackup::Verdict::Kind::current:
        return "CURRENT";
    case DeviceBackup::Verdict::Kind::undecided:
        return "NOT COMPARED";
    case DeviceBackup::Verdict::Kind::unknown:
        break;
    }
    return "UNKNOWN";
}

const char *stateLabel(CloudState state) {
    switch (state) {
    case CloudState::on:
        return "On";
    case CloudState::off:
        return "Off";
    case CloudState::unknown:
        break;
    }
    return "Unknown";
}

std::string displayName(const DeviceBackup &b) {
    if (b.deviceName && !b.deviceName->empty())
        return *b.deviceName;
    if (b.modelName)
        return *b.modelName;
    if (b.productType)
        return *b.productType;
    return b.folderName;
}

// Measures a folder afresh, as the command line has no scan to answer from, adding the
// folders inside it this user may not read to `unreadable` and the hard-linked files it
// counted to `linked`.
Measured walkedSize(const std::string &path, int64_t &unreadable, ScanControl::Inodes &linked) {
    ScanControl control;
    auto node = FileWalker::walk(path, control, FileWalker::Options{});
    if (node)
        unreadable += node->unreadableFolders;
    linked = control.takeInodes();
    return node ? Measured::of(*node) : Measured::unread();
}

// Whether two of the folders hold names of one file.
bool shareFiles(const std::vector<ScanControl::Inodes> &folders) {
    std::unordered_set<ScanControl::InodeKey, ScanControl::InodeKeyHash> seen;
    for (const auto &folder : folders)
        for (const auto &key : folder.seen)
            if (!seen.insert(key).second)
                return true;
    return false;
}

// The bytes of the measured backups together, each file they share counted once.
int64_t sharedTotal(const std::vector<DeviceBackup> &list) {
    ScanControl control;
    int64_t total = 0;
    for (const auto &b : list) {
        if (!givesFigure(b.reading()))
            continue;
        if (auto node = FileWalker::walk(b.path, control, FileWalker::Options{}))
            total += node->size;
    }
    return total;
}

// Said in place of a figure: refused, or left unmeasured by a stop.
std::string noFigure(Reading reading) {
    return reading == Reading::unmeasured ? kNotMeasuredText : "not readable by this user";
}

// Said beside a figure that is a lower bound.
std::string partNote(Reading reading) {
    return reading == Reading::partial ? "  (partly read)" : "";
}

} // namespace

std::string backupsReport(const std::vector<DeviceBackup> &list, int64_t unreadableFolders,
                          std::optional<int64_t> countedOnce) {
    std::string out;
    auto line = [&out](const std::string &text) { out += text + "\n"; };
    if (unreadableFolders > 0)
        line("\n  Not counted: " + CommandPath::unreadableNote(unreadableFolders));
    if (list.empty()) {
        line("\n  No local device backups on this computer.");
        line("  (If you expected some, this user may not be able to read them.)\n");
        return out;
    }
    int64_t total = 0;
    size_t readable = 0, partly = 0, unmeasured = 0;
    for (const auto &b : list) {
        unmeasured += b.reading() == Reading::unmeasured ? 1 : 0;
        if (!givesFigure(b.reading()))
            continue;
        total += b.size;
        ++readable;
        if (b.reading() == Reading::partial)
            ++partly;
    }
    // Backups that share files hold them once on the disk, so the total counts them once.
    if (countedOnce)
        total = *countedOnce;
    // The total is of the backups that were read, and says so when some were not, or only in part.
    const std::string inPartShared = countedOnce ? ", files they share counted once" : "";
    const std::string howMany = std::to_string(list.size()) + " backup" + (list.size() == 1 ? "" : "s") + ", ";
    const std::string inPart =
        inPartShared + (partly == 0 ? "" : ", " + std::to_string(partly) + " of them read only in part");
    if (unmeasured > 0)
        // Left unmeasured by a stop: counted apart, never as readable and empty nor as refused.
        line("\n  " + howMany + (readable == 0 ? "" : Bytes::format(total) + " in the " + std::to_string(readable) + " measured" + inPart + ", ") +
             std::to_string(unmeasured) + " " + kNotMeasuredText +
             (readable + unmeasured == list.size() ? "" : ", the rest not readable by this user") + "\n");
    else if (readable == list.size())
        line("\n  " + howMany + Bytes::format(total) + " in total" + inPart + "\n");
    else if (readable == 0)
        line("\n  " + howMany + (list.size() == 1 ? "not readable" : "none readable") + " by this user\n");
    else
        line("\n  " + howMany + Bytes::format(total) + " in the " + std::to_string(readable) +
             " this user may read" + inPart + "\n");
    int64_t superseded = 0;
    bool anySuperseded = false;
    Reading supersededInPart = Reading::whole;
    for (const auto &b : list) {
        std::string name = rightPadded(fitted(shown(displayName(b)), 34), 35);
        if (!b.readable) {
            // Nothing of it was read: no size, no verdict.
            line("  " + name + "not readable by this user");
            line("      " + shown(b.folderName));
            line("");
            continue;
        }
        if (b.reading() == Reading::unmeasured) {
            // No size, so it stands in no total below.
            line("  " + name + kNotMeasuredText);
            line("      " + shown(b.folderName));
            line("");
            continue;
        }
        line("  " + name + leftPadded(Bytes::format(b.size), 10) + "   " +
             (b.judgeable() ? verdictLabel(b.verdict) : "NOT JUDGED") + partNote(b.reading()));
        if (std::string summary = b.hardwareSummary(); !summary.empty())
            line("      " + shown(summary));
        line(wrap(shown(b.evidence(mediumDate)), "      ", 74));
        line("      " + shown(b.folderName));
        line("");
        if (b.verdict.kind == DeviceBackup::Verdict::Kind::superseded) {
            anySuperseded = true;
            superseded += b.size;
            if (b.reading() == Reading::partial)
                supersededInPart = Reading::partial;
        }
    }
    // Comparisons are made over the backups read whole: the others are said, not counted.
    int64_t notJudged = 0, notCompared = 0;
    for (const auto &b : list) {
        notJudged += b.judgeable() ? 0 : 1;
        notCompared += b.verdict.kind == DeviceBackup::Verdict::Kind::undecided ? 1 : 0;
    }
    if (notJudged > 0)
        line(wrap(counted(notJudged, "backup") + (notJudged == 1 ? " was" : " were") + " not read whole and " +
                      (notJudged == 1 ? "is" : "are") + " not judged.",
                  "  ", 74));
    if (notCompared > 0)
        line(wrap(counted(notCompared, "backup") + (notCompared == 1 ? " is" : " are") +
                      " not compared: one that could not be read may be a newer backup of the same device.",
                  "  ", 74));
    if (anySuperseded)
        line("  " + Bytes::format(superseded) + " is superseded by a newer backup of the same device." +
             partNote(supersededInPart));
    else
        line("  Nothing here is provably redundant.\n");
    line(wrap(
        "Sorvel never removes backups: a backup is often the only copy of a device's data. Remove one "
        "yourself, with the program that made it, once you no longer need it.",
        "  ", 74));
    line("");
    return out;
}

std::string xcodeReport(const DeveloperEvidence &evidence, int64_t unreadableFolders) {
    std::string out;
    auto line = [&out](const std::string &text) { out += text + "\n"; };
    const auto orphaned = evidence.orphanedDerivedData();
    line("");
    line("  Xcode caches");
    line("  " + repeated("\u2500", 74));
    if (evidence.xcodeIsRunning) {
        line("  Xcode is running \u2014 quit it before removing anything it may rewrite.");
        line("");
    }
    for (const auto &folder : evidence.unreadable)
        line("  Not looked at: " + TextLayout::shownPath(folder) + " (not readable by this user)");
    if (unreadableFolders > 0)
        line("  Not counted: " + CommandPath::unreadableNote(unreadableFolders));
    if (!evidence.unreadable.empty() || unreadableFolders > 0)
        line("");
    const auto unread = evidence.unreadDerivedData();
    const auto unmeasured = evidence.unmeasuredDerivedData();
    const auto read = static_cast<int64_t>(evidence.derivedData.size() - unread.size() - unmeasured.size());
    int64_t recordsRefused = 0;
    for (const auto &e : evidence.derivedData)
        recordsRefused += e.reading != Reading::none && e.recordRefused ? 1 : 0;
    line("  DERIVED DATA \u2014 " + counted(read, "folder") + ", " + std::to_string(orphaned.size()) +
         " whose project no longer exists" +
         (recordsRefused == 0 ? ""
                              : ", " + std::to_string(recordsRefused) + " whose project record is not readable by this user") +
         (unread.empty() ? "" : "; " + std::to_string(unread.size()) + " more not readable by this user") +
         (unmeasured.empty() ? "" : "; " + std::to_string(unmeasured.size()) + " more " + kNotMeasuredText));
    line("  Compiled objects, the source index behind autocomplete, module caches and build logs.");
    line("");
    const auto &shared = DeveloperEvidence::DerivedDataEntry::sharedCaches();
    for (size_t i = 0; i < evidence.derivedData.size() && i < 14; ++i) {
        const auto &e = evidence.derivedData[i];
        if (!givesFigure(e.reading)) {
            // No size, date or project was read: none is shown.
            line("    " + leftPadded("\u2014", 10) + "  " + fitted(shown(e.folderName), 34) + "  " +
                 noFigure(e.reading));
            continue;
        }
        const char *reason = shared.count(e.folderName) ? "shared Xcode cache \u2014 rebuilt on demand"
                             : e.recordRefused          ? "project record not readable by this user"
                             : !e.workspacePath         ? "no project recorded"
                             : e.projectMissing         ? "project no longer exists"
                                                : "project still exists \u2014 deleting costs one rebuild";
        line(std::string("  ") + (e.projectMissing ? "\u00B7" : " ") + " " +
             leftPadded(Bytes::format(e.size), 10) + "  " + fitted(shown(e.folderName), 34) + "  " +
             rightPadded(e.lastAccessed ? mediumDate(*e.lastAccessed) : "unknown", 14) + reason +
             partNote(e.reading));
    }
    if (evidence.derivedData.size() >= 15)
        line("    \u2026 and " + std::to_string(evidence.derivedData.size() - 14) + " more");
    int64_t gone = 0;
    Reading goneRead = Reading::whole;
    for (const auto &e : orphaned) {
        gone += e.size;
        if (e.reading == Reading::partial && !e.recordRefused) // a refused record leaves the size whole
            goneRead = Reading::partial;
    }
    line("");
    // Folders a stop left unmeasured may belong to gone projects too: the total says it leaves them out.
    line("  " + Bytes::format(gone) + " belongs to projects that are gone" +
         (unmeasured.empty() ? "" : ", not counting " + std::to_string(unmeasured.size()) + " " + kNotMeasuredText) +
         "." + partNote(goneRead));
    if (!evidence.deviceSupport.empty()) {
        line("");
        line("  DEVICE SUPPORT \u2014 symbols copied off each device so crash logs can be read");
        for (const auto &e : evidence.deviceSupport) {
            if (!givesFigure(e.reading)) {
                line("    " + leftPadded("\u2014", 10) + "  " + rightPadded(shown(e.name), 34) + noFigure(e.reading));
                continue;
            }
            line(std::string("  ") + (e.superseded ? "\u00B7" : " ") + " " +
                 leftPadded(Bytes::format(e.size), 10) + "  " + rightPadded(shown(e.name), 34) +
                 (e.superseded ? "superseded by a newer build for this device"
                               : "newest build for this device") +
                 partNote(e.reading));
        }
    }
    line("");
    line("  Lines marked \u00B7 are the ones Sorvel proposes removing.");
    line("");
    return out;
}

std::string cloudReport(const CloudStatus &status) {
    std::string out;
    auto line = [&out](const std::string &text) { out += text + "\n"; };
    line("");
    line("  iCloud");
    line("  " + repeated("\u2500", 68));
    line("  Account: " + (status.accountID           ? shown(*status.accountID)
                          : status.accountUnreadable ? std::string("could not be read")
                                                     : std::string("not signed in")));
    line("");
    for (const CloudService *service : {&status.messages, &status.photos, &status.desktopAndDocuments}) {
        const std::string qualifier =
            service->state == CloudState::unknown ? "could not determine" : status.howKnown(*service);
        line("  " + rightPadded(service->name, 24) + " " + rightPadded(stateLabel(service->state), 9) +
             qualifier);
        // The bullet is the first word of the wrapped text, so it sits at the indent and
        // counts towards the width like the words after it.
        for (const auto &sentence : service->evidence)
            line(wrap("\u00B7 " + shown(sentence), "      ", 74));
        line("");
    }
    line(wrap("Sorvel cannot read most iCloud switches directly. Where this says \"inferred\", confirm "
              "under Settings \u2192 your name \u2192 iCloud on a device signed in to your account before deleting anything.",
              "  ", 74));
    line("");
    return out;
}

int backups(const std::optional<std::string> &root) {
    std::optional<std::string> folder;
    if (root) {
        folder = absolutePath(expandingTildeInPath(*root));
        if (int status = CommandPath::folder(*root, *folder); status != 0)
            return status;
    } else if (const std::string standard = BackupInspector::defaultRoot();
               FileManager::presence(standard) != FileManager::Presence::absent) {
        // Backups that are there but hidden from this user are not "no backups".
        if (int status = CommandPath::folder(tildeAbbreviated(standard), standard); status != 0)
            return status;
    }
    int64_t unreadable = 0;
    std::vector<ScanControl::Inodes> linked;
    const auto sizeOf = [&unreadable, &linked](const std::string &path) {
        return walkedSize(path, unreadable, linked.emplace_back());
    };
    auto list = BackupInspector::inspect(sizeOf, now(), folder, std::nullopt);
    // Measured again together only when they share files: then one file is one size.
    const std::optional<int64_t> countedOnce = shareFiles(linked) ? std::optional(sharedTotal(list)) : std::nullopt;
    if (int status = ReportOutput::emit(backupsReport(list, unreadable, countedOnce)); status != 0)
        return status;
    // Backups there, none of which this user could read: no answer.
    const bool noneRead = !list.empty() && std::all_of(list.begin(), list.end(), [](const DeviceBackup &b) {
        return b.reading() == Reading::none;
    });
    return noneRead ? CommandPath::nothingReadUnder(root ? *root : tildeAbbreviated(BackupInspector::defaultRoot()))
                    : 0;
}

int xcode() {
    ReportOutput::diagnostic("Measuring\u2026\n");
    ScanControl control;
    ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::nullopt);
    auto evidence = DeveloperInspector::inspect([&result](const std::string &path) { return result.measured(path); });
    if (evidence.foldersRead == 0 && !evidence.unreadable.empty())
        return CommandPath::nothingReadable(evidence.unreadable.front());
    const auto developer = result.node(homeDirectory() + "/Library/Developer");
    return ReportOutput::emit(xcodeReport(evidence, developer ? developer->unreadableFolders : 0));
}

int cloud() {
    return ReportOutput::emit(cloudReport(CloudDetector::detect()));
}

} // namespace sorvel::HeadlessReport
