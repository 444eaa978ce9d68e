#include "cleanup/DeveloperEvidence.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <sys/stat.h>

#include "platform/FileManager.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"
#include "platform/RunningApplications.h"

namespace sorvel {

const std::set<std::string> &DeveloperEvidence::DerivedDataEntry::sharedCaches() {
    static const std::set<std::string> names{"ModuleCache.noindex", "SymbolCache.noindex",
                                             "SDKStatCaches.noindex"};
    return names;
}

std::vector<DeveloperEvidence::DerivedDataEntry> DeveloperEvidence::unreadDerivedData() const {
    std::vector<DerivedDataEntry> out;
    for (const auto &e : derivedData)
        if (e.reading == Reading::none)
            out.push_back(e);
    return out;
}

std::vector<DeveloperEvidence::DerivedDataEntry> DeveloperEvidence::unmeasuredDerivedData() const {
    std::vector<DerivedDataEntry> out;
    for (const auto &e : derivedData)
        if (e.reading == Reading::unmeasured)
            out.push_back(e);
    return out;
}

std::vector<DeveloperEvidence::DerivedDataEntry> DeveloperEvidence::orphanedDerivedData() const {
    std::vector<DerivedDataEntry> out;
    for (const auto &e : derivedData)
        if (givesFigure(e.reading) &&
            (e.projectMissing || DerivedDataEntry::sharedCaches().count(e.folderName)))
            out.push_back(e);
    return out;
}

std::vector<DeveloperEvidence::DerivedDataEntry> DeveloperEvidence::liveDerivedData() const {
    std::vector<DerivedDataEntry> out;
    for (const auto &e : derivedData)
        if (givesFigure(e.reading) && !e.projectMissing && !DerivedDataEntry::sharedCaches().count(e.folderName) &&
            e.workspacePath)
            out.push_back(e);
    return out;
}

std::vector<DeveloperEvidence::DeviceSupportEntry> DeveloperEvidence::supersededDeviceSupport() const {
    std::vector<DeviceSupportEntry> out;
    for (const auto &e : deviceSupport)
        if (e.superseded && givesFigure(e.reading))
            out.push_back(e);
    return out;
}

namespace DeveloperInspector {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The names in `root` when this user may read them and look at each: a folder listed but
// not entered (read without execute) names entries none of which can be examined. One that
// is there, or cannot be looked for, and refuses is noted in the evidence.
std::optional<std::vector<std::string>> readableNames(const std::string &root, DeveloperEvidence &evidence) {
    auto names = FileManager::contentsOfDirectory(root);
    struct stat st {};
    if (names && stat((root + "/.").c_str(), &st) == 0) {
        ++evidence.foldersRead;
        return names;
    }
    if (FileManager::presence(root) != FileManager::Presence::absent)
        evidence.unreadable.push_back(root);
    return std::nullopt;
}

std::vector<DeveloperEvidence::DerivedDataEntry> derivedData(const SizeFunction &sizeOf, DeveloperEvidence &evidence) {
    std::vector<DeveloperEvidence::DerivedDataEntry> entries;
    const std::string root = homeDirectory() + "/Library/Developer/Xcode/DerivedData";
    auto names = readableNames(root, evidence);
    if (!names)
        return entries;
    for (const auto &name : *names) {
        std::string path = root + "/" + name;
        if (!FileManager::isDirectory(path))
            continue;
        DeveloperEvidence::DerivedDataEntry e;
        e.path = path;
        e.folderName = name;
        const Measured measured = FileManager::canLookInside(path) ? sizeOf(path) : Measured::unread();
        e.size = measured.bytes;
        e.reading = measured.reading;
        if (!givesFigure(e.reading)) {
            // Not read, or not measured: no size to offer, so nothing to judge it by.
            entries.push_back(std::move(e));
            continue;
        }
        const std::string record = path + "/info.plist";
        if (auto info = PropertyList::readFile(record); info && info->isDictionary()) {
            e.workspacePath = info->stringFor("WorkspacePath");
            if (const PlistValue *accessed = info->find("LastAccessedDate"))
                e.lastAccessed = accessed->date();
        } else if (refusedToRead(record)) {
            e.reading = Reading::partial; // a record there but refused is not "no project"
            e.recordRefused = true;
        }
        e.projectMissing = e.workspacePath && isMissing(*e.workspacePath);
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.size > b.size; });
    return entries;
}

std::vector<DeveloperEvidence::DeviceSupportEntry> deviceSupport(const SizeFunction &sizeOf,
                                                                 DeveloperEvidence &evidence) {
    std::vector<DeveloperEvidence::DeviceSupportEntry> entries;
    const std::string root = homeDirectory() + "/Library/Developer/Xcode/iOS DeviceSupport";
    auto names = readableNames(root, evidence);
    if (!names)
        return entries;

    std::map<std::string, std::string> kept; // version word -> the name that stays
    for (const auto &name : *names) {
        std::string word = versionWord(name);
        auto it = kept.find(word);
        if (it == kept.end())
            kept.emplace(word, name);
        else if (compareNumerically(name, it->second) > 0)
            it->second = name;
    }
    for (const auto &name : *names) {
        DeveloperEvidence::DeviceSupportEntry e;
        e.path = root + "/" + name;
        e.name = name;
        e.lastModified = FileManager::modificationDate(e.path);
        const Measured measured = FileManager::canLookInside(e.path) ? sizeOf(e.path) : Measured::unread();
        e.size = measured.bytes;
        e.reading = measured.reading;
        e.superseded = kept.at(versionWord(name)) != name;
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto &a, const auto &b) { return a.size > b.size; });
    return entries;
}

} // namespace

int compareNumerically(const std::string &a, const std::string &b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // Compare by value: drop leading zeros, then the longer run is larger.
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            size_t li = ei - si, lj = ej - sj;
            if (li != lj)
                return li < lj ? -1 : 1;
            int c = a.compare(si, li, b, sj, lj);
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        auto ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

std::string versionWord(const std::string &name) {
    size_t start = name.find_first_not_of(' ');
    if (start == std::string::npos)
        return name;
    size_t end = name.find(' ', start);
    return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool isMissing(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return false;
    return errno == ENOENT || errno == ENOTDIR;
}

DeveloperEvidence inspect(const SizeFunction &sizeOf,
                          const std::vector<std::string> &runningBundleIdentifiers) {
    DeveloperEvidence evidence;
    evidence.xcodeIsRunning = std::find(runningBundleIdentifiers.begin(), runningBundleIdentifiers.end(),
                                        kXcodeBundleIdentifier) != runningBundleIdentifiers.end();
    evidence.derivedData = derivedData(sizeOf, evidence);
    evidence.deviceSupport = deviceSupport(sizeOf, evidence);
    return evidence;
}

DeveloperEvidence inspect(const SizeFunction &sizeOf) {
    return inspect(sizeOf, RunningApplications::bundleIdentifiers());
}

} // namespace DeveloperInspector

} // namespace sorvel
