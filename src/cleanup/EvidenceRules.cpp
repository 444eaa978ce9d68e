#include <algorithm>
#include <clocale>
#include <locale.h>
#include <map>
#include <wctype.h>

#include "cleanup/CleanupRules.h"
#include "cleanup/LinuxRules.h"
#include "engine/Bytes.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::CleanupRules {
namespace {

constexpr int64_t kDeveloperMinimum = 1'000'000;
constexpr int64_t kLiveDerivedDataMinimum = 50'000'000;
constexpr int64_t kLeftoverMinimum = 5'000'000;

constexpr std::pair<const char *, const char *> kFixedDeveloperFolders[] = {
    {"/Library/Caches/org.swift.swiftpm", "Swift package checkouts, re-fetched on next resolve"},
    {"/Library/Developer/Xcode/Products", "build products, recreated by the next build"},
    {"/Library/Developer/CoreSimulator/Caches", "simulator runtime cache"},
};
constexpr const char *kLeftoverRoots[] = {"/Library/Application Support", "/Library/Containers",
                                          "/Library/Group Containers"};

// Letters and numbers by their Unicode properties, independent of the process locale.
bool isLetterOrNumber(char32_t c) {
    if (c < 0x80)
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!utf8)
        return false;
    return iswalnum_l(static_cast<wint_t>(c), utf8) != 0;
}

// Decodes one sequence of text already known to be valid UTF-8.
char32_t decode(const std::string &s, size_t &i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    char32_t out = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k <= extra; ++k)
        out = (out << 6) | (b(i + k) & 0x3F);
    i += extra + 1;
    return out;
}

bool isIdentifierPart(const std::string &part) {
    if (!isValidUTF8(part))
        return false;
    for (size_t i = 0; i < part.size();) {
        char32_t c = decode(part, i);
        if (c == '-' || c == '_')
            continue;
        if (!isLetterOrNumber(c))
            return false;
    }
    return true;
}

bool endsWith(const std::string &text, const std::string &suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string plural(int64_t n, const std::string &word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

CleanupItem emptyBackupItem(const std::string &home) {
    CleanupItem i;
    i.places = {home + "/Library/Application Support/MobileSync"};
    i.id = "ios-backups";
    i.title = "iPhone & iPad backups";
    i.locationLabel = "~/Library/Application Support/MobileSync";
    i.risk = CleanupRisk::review;
    i.category = StorageCategory::appSupport;
    return i;
}

} // namespace

bool looksLikeBundleIdentifier(const std::string &identifier) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= identifier.size()) {
        size_t end = identifier.find('.', start);
        if (end == std::string::npos)
            end = identifier.size();
        if (end > start)
            parts.push_back(identifier.substr(start, end - start));
        start = end + 1;
    }
    if (parts.size() < 3)
        return false;
    for (const auto &part : parts)
        if (!isIdentifierPart(part))
            return false;
    return true;
}

SizeFunction sizeFromResult(const ScanResult &result) {
    return [&result](const std::string &path) { return result.measured(path); };
}

CleanupItem developerJunk(const ScanResult &result, const std::string &home) {
    return developerJunk(result, home, DeveloperInspector::inspect(sizeFromResult(result)));
}

CleanupItem developerJunk(const ScanResult &result, const std::string &home,
                          const DeveloperEvidence &evidence) {
    CleanupItem i;
    i.id = "developer";
    i.title = "Xcode caches nothing depends on";
    i.locationLabel = "~/Library/Developer";
    i.places = LinuxRules::developerFolderPaths(false);
    for (const auto &folder : LinuxRules::developerFolderPaths(true)) i.places.push_back(folder);
    i.places.push_back(home + "/Library/Developer");
    i.risk = CleanupRisk::safe;
    i.category = StorageCategory::developer;

    const auto orphaned = evidence.orphanedDerivedData();
    for (const auto &entry : orphaned) {
        if (entry.size < kDeveloperMinimum)
            continue;
        std::string label = entry.workspacePath ? lastPathComponent(*entry.workspacePath) : entry.folderName;
        std::string detail = label + " is no longer on disk";
        if (entry.lastAccessed)
            detail += ", last opened " + mediumDate(*entry.lastAccessed);
        i.targets.push_back(makeTarget(entry.folderName, entry.path, entry.size, std::move(detail)));
    }
    for (const auto &entry : evidence.supersededDeviceSupport()) {
        if (entry.size < kDeveloperMinimum)
            continue;
        i.targets.push_back(makeTarget(entry.name, entry.path, entry.size,
                                       "superseded by a newer build for the same device"));
    }
    for (const auto &[folder, detail] : kFixedDeveloperFolders) {
        auto node = result.node(home + folder);
        if (node && node->size >= kDeveloperMinimum)
            i.targets.push_back(targetFrom(*node, std::string(detail)));
    }
    // Xcode's records speak only for Xcode's folders: without any, the item is the Linux
    // tools' and says what was looked at there.
    const bool xcode = !i.targets.empty() || !evidence.derivedData.empty() || !evidence.deviceSupport.empty() ||
                       evidence.xcodeIsRunning;
    const size_t linuxFrom = i.targets.size();
    LinuxRules::addDeveloperFolders(result, i.targets);
    const bool linux = i.targets.size() > linuxFrom;
    if (!xcode) {
        i.title = LinuxRules::kDeveloperTitle;
        i.detail = LinuxRules::kDeveloperDetail;
        i.locationLabel = LinuxRules::locationLabel(result, home + "/Library/Developer", i.locationLabel,
                                                    LinuxRules::developerFolderPaths(false));
        sortTargets(i.targets);
        return i;
    }

    for (const auto &entry : evidence.unreadDerivedData())
        i.unreadPaths.push_back(entry.path);
    for (const auto &entry : evidence.deviceSupport)
        if (entry.reading == Reading::none)
            i.unreadPaths.push_back(entry.path);
    // Left unmeasured by a stop: no size to offer, and never taken for empty or for refused.
    auto unmeasured = static_cast<int64_t>(evidence.unmeasuredDerivedData().size());
    for (const auto &entry : evidence.deviceSupport)
        unmeasured += entry.reading == Reading::unmeasured ? 1 : 0;

    // The counts are of the folders whose record was read: the others are said apart.
    int64_t unjudged = 0;
    for (const auto &entry : evidence.derivedData)
        if (entry.reading != Reading::none && entry.recordRefused &&
            !DeveloperEvidence::DerivedDataEntry::sharedCaches().count(entry.folderName))
            ++unjudged;
    const auto o = static_cast<int64_t>(orphaned.size());
    const auto t = static_cast<int64_t>(evidence.derivedData.size() - evidence.unreadDerivedData().size() -
                                        evidence.unmeasuredDerivedData().size()) -
                   unjudged;
    i.detail = "Checked against Xcode's own records.";
    if (o != 0)
        i.detail += " " + std::to_string(o) + " of " + std::to_string(t) +
                    " derived-data folders belong to projects that no longer exist.";
    if (t - o >= 1)
        i.detail += " The " + std::to_string(t - o) +
                    " still in use are left alone \u2014 they would only cost a rebuild.";
    if (unjudged > 0)
        i.detail += " " + plural(unjudged, "more derived-data folder") + (unjudged == 1 ? " has its" : " have their") +
                    " project record not readable by this user, so " + (unjudged == 1 ? "it is" : "they are") +
                    " not judged.";
    if (!i.unreadPaths.empty())
        i.detail += " " + plural(static_cast<int64_t>(i.unreadPaths.size()), "more folder") +
                    (i.unreadPaths.size() == 1 ? " is" : " are") + " not readable by this user and left out.";
    if (unmeasured > 0)
        i.detail += " " + plural(unmeasured, "more folder") + (unmeasured == 1 ? " is " : " are ") + kNotMeasuredText +
                    " and left out.";
    if (evidence.xcodeIsRunning)
        i.detail += " Xcode is running; quit it first so it does not rewrite what you remove.";
    if (linux)
        i.detail += std::string(" ") + LinuxRules::kDeveloperDetail;

    sortTargets(i.targets);
    return i;
}

CleanupItem liveDerivedData(const ScanResult &result, const std::string &home) {
    return liveDerivedData(result, home, DeveloperInspector::inspect(sizeFromResult(result)));
}

CleanupItem liveDerivedData(const ScanResult &, const std::string &home, const DeveloperEvidence &evidence) {
    CleanupItem i;
    i.id = "derived-data-live";
    i.title = "Derived data for projects you still have";
    i.detail =
        "Rebuildable, but not free: removing these costs a full rebuild and a re-index the next time you "
        "open "
        "the project. Worth it for ones you have not touched in months, pointless for what you are working "
        "on today.";
    i.locationLabel = "~/Library/Developer/Xcode/DerivedData";
    i.places = {home + "/Library/Developer/Xcode/DerivedData"};
    i.risk = CleanupRisk::review;
    i.category = StorageCategory::developer;
    for (const auto &entry : evidence.liveDerivedData()) {
        if (entry.size < kLiveDerivedDataMinimum)
            continue;
        i.targets.push_back(makeTarget(
            entry.workspacePath ? lastPathComponent(*entry.workspacePath) : entry.folderName, entry.path,
            entry.size,
            entry.lastAccessed ? "last opened " + mediumDate(*entry.lastAccessed) : "never opened"));
    }
    sortTargets(i.targets);
    return i;
}

CleanupItem leftovers(const ScanResult &result, const std::string &home) {
    CleanupItem i;
    i.id = "leftovers";
    i.title = "Leftovers from removed apps";
    i.detail =
        "Support files whose app is no longer installed. Worth a glance \u2014 an app you deleted on purpose "
        "leaves these behind.";
    i.locationLabel = "~/Library/Application Support";
    for (const char *relative : kLeftoverRoots) i.places.push_back(home + relative);
    i.places.push_back(LinuxPlaces::flatpakApps());
    i.places.push_back(LinuxPlaces::snapApps());
    i.risk = CleanupRisk::review;
    i.category = StorageCategory::appSupport;
    // With an app of unknown identity installed, a folder no readable app matches may be
    // that app's: none is offered, and the item says why in place of its targets.
    const InstalledApps &installed = result.installedApps;
    bool looked = false;
    int64_t heldBack = 0, heldBackBytes = 0;
    for (const char *relative : kLeftoverRoots) {
        const std::string rootPath = home + relative;
        auto root = result.node(rootPath);
        if (!root)
            continue;
        looked = true;
        const bool groupContainers = endsWith(rootPath, "Group Containers");
        for (const auto &child : root->children) {
            if (child->size < kLeftoverMinimum)
                continue;
            std::string identifier = child->name;
            if (groupContainers) {
                if (size_t dot = identifier.find('.'); dot != std::string::npos)
                    identifier = identifier.substr(dot + 1);
            }
            if (!looksLikeBundleIdentifier(identifier))
                continue;
            if (installed.isKnown(identifier))
                continue;
            if (!installed.isOrphan(identifier)) {
                ++heldBack;
                heldBackBytes += child->size;
                continue;
            }
            i.targets.push_back(targetFrom(*child, std::string("No installed app matches this identifier")));
        }
    }
    if (!looked) {
        i.detail = LinuxRules::kLeftoversDetail;
        i.locationLabel = LinuxRules::locationLabel(result, home + kLeftoverRoots[0], i.locationLabel,
                                                    {LinuxPlaces::flatpakApps(), LinuxPlaces::snapApps()});
    }
    // Flatpak and snap apps' folders, judged by the installation folders.
    LinuxRules::Leftovers apps = LinuxRules::leftovers(result, !installed.unreadApps.empty());
    looked = looked || apps.looked;
    heldBack += apps.heldBack;
    heldBackBytes += apps.heldBackBytes;
    for (auto &target : apps.targets)
        i.targets.push_back(std::move(target));
    if (looked && (!installed.unreadApps.empty() || !apps.unreadInstallations.empty())) {
        // Installation folders found unreadable here join the apps the scan could not read.
        InstalledApps said = installed;
        for (const auto &folder : apps.unreadInstallations)
            if (std::find(said.unreadApps.begin(), said.unreadApps.end(), folder) == said.unreadApps.end())
                said.unreadApps.push_back(folder);
        // Nothing is offered: what was found joins what is left alone.
        for (const auto &target : i.targets) {
            ++heldBack;
            heldBackBytes += target.size;
        }
        i.targets.clear();
        i.withheld = true;
        i.detail = withheldLeftoversText(said, heldBack, heldBackBytes);
    }
    sortTargets(i.targets);
    return i;
}

std::string withheldLeftoversText(const InstalledApps &installed, int64_t folders, int64_t bytes) {
    std::string text = installed.unreadNote() + ", so Sorvel can't tell which support folders belong to apps that "
                                                "are gone, and offers none for removal.";
    if (folders > 0)
        text += " " + plural(folders, "folder") + " (" + Bytes::format(std::max<int64_t>(bytes, 0)) + ") that no "
                "readable app matches " + (folders == 1 ? "is" : "are") + " left alone: " +
                (folders == 1 ? "it" : "each") + " may belong to one of them.";
    return text;
}

int deviceCount(const std::vector<DeviceBackup> &backups) {
    std::set<std::string> keys;
    for (const auto &b : backups)
        keys.insert(b.serialNumber ? *b.serialNumber : b.folderName);
    return static_cast<int>(keys.size());
}

CleanupItem iosBackups(const ScanResult &result, const std::string &home) {
    const std::string root = home + "/Library/Application Support/MobileSync/Backup";
    auto node = result.node(root);
    // A folder refused whole still names backups that must be said to be unread.
    if (!node || (node->size <= 0 && node->unreadableFolders <= 0))
        return emptyBackupItem(home);
    return iosBackups(result, home,
                      BackupInspector::inspect(sizeFromResult(result), now(), root, std::nullopt));
}

CleanupItem iosBackups(const ScanResult &result, const std::string &home,
                       const std::vector<DeviceBackup> &backups) {
    CleanupItem i = emptyBackupItem(home);
    auto node = result.node(home + "/Library/Application Support/MobileSync/Backup");
    if (!node || backups.empty())
        return i;

    // A backup this user may not read has no size or verdict to offer: it is no target.
    // One a stop left unmeasured has no size either: said apart, never offered as 0.
    std::vector<DeviceBackup> readable;
    int64_t unmeasured = 0;
    for (const auto &b : backups)
        if (b.reading() == Reading::unmeasured)
            ++unmeasured;
        else if (b.readable)
            readable.push_back(b);
        else
            i.unreadPaths.push_back(b.path);
    const auto closed = static_cast<int64_t>(i.unreadPaths.size());
    const std::string unmeasuredNote =
        unmeasured == 0 ? std::string()
                        : " " + plural(unmeasured, "more backup") + (unmeasured == 1 ? " is " : " are ") +
                              kNotMeasuredText + " and left out.";
    if (readable.empty() || node->size <= 0) {
        if (closed > 0)
            i.detail = plural(closed, "backup") + (closed == 1 ? " is" : " are") + " not readable by this user." +
                       unmeasuredNote;
        else if (unmeasured > 0)
            i.detail = plural(unmeasured, "backup") + (unmeasured == 1 ? " is " : " are ") + kNotMeasuredText + ".";
        return i;
    }

    int64_t superseded = 0, stale = 0;
    bool anySuperseded = false, anyStale = false, supersededInPart = false, staleInPart = false;
    std::vector<DeviceBackup> judged;
    int64_t current = 0, notCompared = 0;
    for (const auto &b : readable) {
        std::string name = b.deviceName && !b.deviceName->empty() ? *b.deviceName
                           : b.modelName                          ? *b.modelName
                           : b.productType                        ? *b.productType
                                                                  : b.folderName;
        std::string summary = b.hardwareSummary();
        std::string evidence = b.evidence(mediumDate);
        std::string detail = summary.empty()    ? evidence
                             : evidence.empty() ? summary
                                                : summary + " \u2014 " + evidence;
        if (b.sizePartial)
            detail += " \u00B7 part of it is not readable by this user, so its size is a lower bound";
        i.targets.push_back(makeTarget(std::move(name), b.path, b.size, std::move(detail)));
        i.targets.back().partlyRead = b.sizePartial;
        if (b.judgeable())
            judged.push_back(b);
        switch (b.verdict.kind) {
        case DeviceBackup::Verdict::Kind::superseded:
            anySuperseded = true;
            superseded += b.size;
            supersededInPart = supersededInPart || b.sizePartial;
            break;
        case DeviceBackup::Verdict::Kind::stale:
            anyStale = true;
            stale += b.size;
            staleInPart = staleInPart || b.sizePartial;
            break;
        case DeviceBackup::Verdict::Kind::current:
            ++current;
            break;
        case DeviceBackup::Verdict::Kind::undecided:
            ++notCompared;
            break;
        case DeviceBackup::Verdict::Kind::unknown:
            break;
        }
    }

    // The counts and verdicts are of the backups read whole; the rest are said apart.
    const auto n = static_cast<int64_t>(judged.size());
    const auto notJudged = static_cast<int64_t>(readable.size()) - n;
    if (n > 0)
        i.detail = plural(n, "backup") + " of " + plural(deviceCount(judged), "device") +
                   ", read from each backup's own records.";
    if (notJudged > 0)
        i.detail += std::string(n > 0 ? " " : "") + plural(notJudged, n > 0 ? "more backup" : "backup") +
                    (notJudged == 1 ? " has records" : " have records") + " that could not be read, so " +
                    (notJudged == 1 ? "it is" : "they are") + " not judged.";
    if (closed > 0)
        i.detail += " " + plural(closed, "more backup") + (closed == 1 ? " is" : " are") +
                    " not readable by this user and left out.";
    i.detail += unmeasuredNote;
    auto atLeast = [](bool inPart) { return std::string(inPart ? " At least " : " "); };
    if (anySuperseded)
        i.detail += atLeast(supersededInPart) + Bytes::format(std::max<int64_t>(superseded, 0)) +
                    " is superseded \u2014 a newer backup of the same device already exists.";
    if (anyStale)
        i.detail += atLeast(staleInPart) + Bytes::format(std::max<int64_t>(stale, 0)) +
                    " has not been backed up in over a year.";
    if (notCompared > 0)
        i.detail += " " + plural(notCompared, "backup") + (notCompared == 1 ? " is" : " are") +
                    " not compared: one that could not be read may be a newer backup of the same device.";
    if (!anySuperseded && !anyStale) {
        // "All" only when every backup there, read or not, is known to be current.
        if (current == static_cast<int64_t>(backups.size()))
            i.detail += " All of them are current.";
        else if (current > 0)
            i.detail += " " + std::to_string(current) + " of them " + (current == 1 ? "is" : "are") + " current.";
    }
    i.externalAction = "Remove with the backup program";
    i.reportedSize = node->size;
    return i;
}

} // namespace sorvel::CleanupRules
