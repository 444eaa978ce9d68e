#include "cleanup/BackupEvidence.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <mutex>

#include "platform/FileManager.h"
#include "platform/Path.h"
#include "platform/Replaceable.h"
#include "platform/PropertyList.h"
#include "platform/Text.h"

namespace sorvel {
namespace {

std::string lowercased(std::string text) {
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A readable property list whose top level is a dictionary, else none. Only a record that
// does not exist is absent: one refused, one that is no such property list, and one that
// could not be opened for any other reason (a link loop, a failing disk) are noted on `b`.
std::optional<PlistValue> readDictionary(const std::string &path, DeviceBackup &b) {
    int error = 0;
    const auto bytes = PropertyList::readRegularFile(path, PropertyList::kMaximumFileSize, error);
    if (bytes) {
        auto plist = PropertyList::parse(*bytes);
        if (plist && plist->isDictionary())
            return plist;
        b.recordsMalformed = true;
        return std::nullopt;
    }
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        break;
    case EACCES:
    case EPERM:
        b.recordsRefused = true;
        break;
    case EINVAL: // something other than a file
    case EFBIG:  // larger than any record
        b.recordsMalformed = true;
        break;
    default:
        if (b.recordsError == 0)
            b.recordsError = error;
        break;
    }
    return std::nullopt;
}

// The date under `key`; a date there that cannot be read is noted on `b`, never taken
// for some other date.
std::optional<Date> dateFor(const PlistValue &dict, const std::string &key, DeviceBackup &b) {
    const PlistValue *value = dict.find(key);
    if (value && value->isUnreadableDate())
        b.dateUnreadable = true;
    return value ? value->date() : std::nullopt;
}

std::optional<std::string> identityKey(const DeviceBackup &b) {
    if (b.serialNumber && !b.serialNumber->empty())
        return "serial:" + *b.serialNumber;
    if (b.deviceName && b.productType)
        return "name:" + *b.deviceName + "|" + *b.productType;
    return std::nullopt;
}

} // namespace

namespace AppleDevices {

const std::map<std::string, std::string> &names() {
    static const std::map<std::string, std::string> table = [] {
        const std::vector<std::pair<std::vector<const char *>, const char *>> rows = {
            {{"iPhone8,1"}, "iPhone 6s"},
            {{"iPhone8,2"}, "iPhone 6s Plus"},
            {{"iPhone8,4"}, "iPhone SE (1st generation)"},
            {{"iPhone9,1", "iPhone9,3"}, "iPhone 7"},
            {{"iPhone9,2", "iPhone9,4"}, "iPhone 7 Plus"},
            {{"iPhone10,1", "iPhone10,4"}, "iPhone 8"},
            {{"iPhone10,2", "iPhone10,5"}, "iPhone 8 Plus"},
            {{"iPhone10,3", "iPhone10,6"}, "iPhone X"},
            {{"iPhone11,2"}, "iPhone XS"},
            {{"iPhone11,4", "iPhone11,6"}, "iPhone XS Max"},
            {{"iPhone11,8"}, "iPhone XR"},
            {{"iPhone12,1"}, "iPhone 11"},
            {{"iPhone12,3"}, "iPhone 11 Pro"},
            {{"iPhone12,5"}, "iPhone 11 Pro Max"},
            {{"iPhone12,8"}, "iPhone SE (2nd generation)"},
            {{"iPhone13,1"}, "iPhone 12 mini"},
            {{"iPhone13,2"}, "iPhone 12"},
            {{"iPhone13,3"}, "iPhone 12 Pro"},
            {{"iPhone13,4"}, "iPhone 12 Pro Max"},
            {{"iPhone14,2"}, "iPhone 13 Pro"},
            {{"iPhone14,3"}, "iPhone 13 Pro Max"},
            {{"iPhone14,4"}, "iPhone 13 mini"},
            {{"iPhone14,5"}, "iPhone 13"},
            {{"iPhone14,6"}, "iPhone SE (3rd generation)"},
            {{"iPhone14,7"}, "iPhone 14"},
            {{"iPhone14,8"}, "iPhone 14 Plus"},
            {{"iPhone15,2"}, "iPhone 14 Pro"},
            {{"iPhone15,3"}, "iPhone 14 Pro Max"},
            {{"iPhone15,4"}, "iPhone 15"},
            {{"iPhone15,5"}, "iPhone 15 Plus"},
            {{"iPhone16,1"}, "iPhone 15 Pro"},
            {{"iPhone16,2"}, "iPhone 15 Pro Max"},
            {{"iPhone17,1"}, "iPhone 16 Pro"},
            {{"iPhone17,2"}, "iPhone 16 Pro Max"},
            {{"iPhone17,3"}, "iPhone 16"},
            {{"iPhone17,4"}, "iPhone 16 Plus"},
            {{"iPhone17,5"}, "iPhone 16e"},
            {{"iPad7,11", "iPad7,12"}, "iPad (7th generation)"},
            {{"iPad11,6", "iPad11,7"}, "iPad (8th generation)"},
            {{"iPad12,1", "iPad12,2"}, "iPad (9th generation)"},
            {{"iPad13,18", "iPad13,19"}, "iPad (10th generation)"},
            {{"iPad11,1", "iPad11,2"}, "iPad mini (5th generation)"},
            {{"iPad14,1", "iPad14,2"}, "iPad mini (6th generation)"},
            {{"iPad11,3", "iPad11,4"}, "iPad Air (3rd generation)"},
            {{"iPad13,1", "iPad13,2"}, "iPad Air (4th generation)"},
            {{"iPad13,16", "iPad13,17"}, "iPad Air (5th generation)"},
            {{"iPod7,1"}, "iPod touch (6th generation)"},
            {{"iPod9,1"}, "iPod touch (7th generation)"},
        };
        std::map<std::string, std::string> map;
        for (const auto &[types, name] : rows)
            for (const char *type : types)
                map.emplace(type, name);
        return map;
    }();
    return table;
}

} // namespace AppleDevices

std::string DeviceBackup::hardwareSummary() const {
    std::vector<std::string> parts;
    if (modelName)
        parts.push_back(*modelName);
    else if (productType)
        parts.push_back(*productType);
    if (iosVersion)
        parts.push_back("iOS " + *iosVersion);
    if (isEncrypted)
        parts.push_back("encrypted");
    if (appCount)
        parts.push_back(counted(*appCount, "app"));
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += " \u00B7 ";
        text += parts[i];
    }
    return text;
}

std::string DeviceBackup::evidence(const DateFormatter &format) const {
    switch (verdict.kind) {
    case Verdict::Kind::superseded:
        return "superseded \u2014 this same device was backed up again on " + verdict.supersededBy;
    case Verdict::Kind::stale: {
        std::string date = lastBackup ? format(*lastBackup) : "unknown";
        double years = static_cast<double>(verdict.days) / 365.0;
        std::string age;
        if (years >= 1.0) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.1f years", years);
            age = buffer;
        } else {
            age = counted(verdict.days, "day");
        }
        std::string pairing = isPaired == std::optional<bool>(false)
                                  ? ", and no pairing record for it remains on this computer"
                                  : "";
        return "last backed up " + date + " \u2014 " + age + " ago" + pairing;
    }
    case Verdict::Kind::current: {
        std::string prefix = isPaired == std::optional<bool>(true)
                                 ? "the current backup for a device still paired with this computer \u00B7 "
                                 : "the newest backup for this device \u00B7 ";
        return prefix + (lastBackup ? format(*lastBackup) : "recently");
    }
    case Verdict::Kind::undecided:
        return "last backed up " + (lastBackup ? format(*lastBackup) : std::string("unknown")) +
               " \u2014 not known to be the newest for this device: a backup here that could not be read "
               "may be a newer one";
    case Verdict::Kind::unknown:
        break;
    }
    if (!readable)
        return "not readable by this user";
    if (recordsRefused)
        return "its records are not readable by this user, so it is not judged";
    if (recordsMalformed)
        return "a record of it could not be read as a property list, so it is not judged";
    if (recordsError != 0)
        return std::string("a record of it could not be read (") + std::strerror(recordsError) +
               "), so it is not judged";
    if (dateUnreadable)
        return "a date it records could not be read as a date, so when it was made is not known and it is "
               "not judged";
    return "no device details recorded in this backup";
}

namespace BackupInspector {
namespace {
Replaceable<std::string> &pairingFolder() {
    static Replaceable<std::string> folder("/var/lib/lockdown");
    return folder;
}
} // namespace

std::string pairingRecordsFolder() { return pairingFolder().get(); }

void setPairingRecordsFolder(std::string folder) { pairingFolder().set(std::move(folder)); }

std::string defaultRoot() {
    return homeDirectory() + "/Library/Application Support/MobileSync/Backup";
}

DeviceBackup read(const std::string &path, const std::string &folderName) {
    DeviceBackup b;
    b.folderName = folderName;
    b.path = path;

    auto info = readDictionary(path + "/Info.plist", b);
    b.identityUnread = !b.judgeable();
    if (info) {
        b.deviceName = info->stringFor("Device Name");
        if (!b.deviceName)
            b.deviceName = info->stringFor("Display Name");
        b.productType = info->stringFor("Product Type");
        if (b.productType) {
            const auto &table = AppleDevices::names();
            if (auto it = table.find(*b.productType); it != table.end())
                b.modelName = it->second;
        }
        b.iosVersion = info->stringFor("Product Version");
        b.serialNumber = info->stringFor("Serial Number");
        b.phoneNumber = info->stringFor("Phone Number");
        b.lastBackup = dateFor(*info, "Last Backup Date", b);
        if (const PlistValue *apps = info->find("Installed Applications")) {
            if (const PlistValue::Array *list = apps->array()) {
                bool allText = std::all_of(list->begin(), list->end(),
                                           [](const PlistValue &v) { return v.string().has_value(); });
                if (allText)
                    b.appCount = static_cast<int64_t>(list->size());
            }
        }
    }
    if (auto manifest = readDictionary(path + "/Manifest.plist", b)) {
        if (const PlistValue *encrypted = manifest->find("IsEncrypted"))
            b.isEncrypted = encrypted->boolean().value_or(false);
        const auto date = dateFor(*manifest, "Date", b);
        if (!b.lastBackup)
            b.lastBackup = date;
    }
    if (auto status = readDictionary(path + "/Status.plist", b)) {
        if (auto date = dateFor(*status, "Date", b))
            b.lastBackup = b.lastBackup ? std::max(*b.lastBackup, *date) : *date;
    }
    return b;
}

std::optional<std::set<std::string>> pairedDevices(const std::string &folder) {
    auto names = FileManager::contentsOfDirectory(folder);
    if (!names)
        return std::nullopt;
    std::set<std::string> identifiers;
    const std::string suffix = ".plist";
    for (const auto &name : *names) {
        if (name.size() < suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        identifiers.insert(lowercased(name.substr(0, name.size() - suffix.size())));
    }
    return identifiers;
}

void judge(std::vector<DeviceBackup> &backups, Date now) {
    struct Newest {
        size_t index;
        Date date;
    };
    std::map<std::string, Newest> newest;
    // What the backups not read whole might be: any device when which one is not known,
    // else the device their records name.
    bool anyDeviceUnread = false;
    std::set<std::string> devicesUnread;
    for (const auto &b : backups) {
        if (b.judgeable())
            continue;
        if (!b.readable || b.identityUnread)
            anyDeviceUnread = true;
        else if (auto key = identityKey(b))
            devicesUnread.insert(*key);
    }
    for (size_t i = 0; i < backups.size(); ++i) {
        auto key = identityKey(backups[i]);
        if (!key || !backups[i].lastBackup || !backups[i].judgeable())
            continue;
        auto it = newest.find(*key);
        if (it == newest.end())
            newest.emplace(*key, Newest{i, *backups[i].lastBackup});
        else if (*backups[i].lastBackup > it->second.date)
            it->second = Newest{i, *backups[i].lastBackup};
    }
    for (size_t i = 0; i < backups.size(); ++i) {
        DeviceBackup &b = backups[i];
        auto key = identityKey(b);
        // Records not read give no verdict, and take no part in another's.
        if (!key || !b.lastBackup || !b.judgeable()) {
            b.verdict = DeviceBackup::Verdict::unknown();
            continue;
        }
        const Newest &n = newest.at(*key);
        if (n.index != i) {
            // A newer backup read whole is there, whatever the unread ones hold.
            b.verdict = DeviceBackup::Verdict::superseded(mediumDate(n.date));
            continue;
        }
        if (anyDeviceUnread || devicesUnread.count(*key)) {
            b.verdict = DeviceBackup::Verdict::undecided();
            continue;
        }
        // Both divisions truncate toward zero, so a backup from the future is 0 days old.
        int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now - *b.lastBackup).count();
        int64_t days = seconds / 86400;
        b.verdict = days <= 365 ? DeviceBackup::Verdict::current() : DeviceBackup::Verdict::stale(days);
    }
}

std::vector<DeviceBackup> inspect(const SizeFunction &sizeOf, Date now,
                                  const std::optional<std::string> &root,
                                  const std::optional<std::set<std::string>> &pairedIdentifiers) {
    const std::string folder = root ? *root : defaultRoot();
    auto names = FileManager::contentsOfDirectory(folder);
    if (!names)
        return {};
    const std::optional<std::set<std::string>> paired =
        pairedIdentifiers ? pairedIdentifiers : pairedDevices(pairingRecordsFolder());

    std::vector<DeviceBackup> backups;
    for (const auto &name : *names) {
        std::string path = folder + "/" + name;
        // A name the root lists but will not let this user look at may be a backup too.
        const bool hidden = FileManager::presence(path) == FileManager::Presence::hidden;
        if (!hidden && !FileManager::isDirectory(path))
            continue;
        if (hidden || !FileManager::canLookInside(path)) {
            DeviceBackup closed;
            closed.folderName = name;
            closed.path = std::move(path);
            closed.readable = false;
            closed.identityUnread = true;
            backups.push_back(std::move(closed));
            continue;
        }
        DeviceBackup b = read(path, name);
        const Measured measured = sizeOf(path);
        b.size = measured.bytes;
        // A folder that opens but holds nothing readable is not read at all, not read in part.
        b.sizePartial = measured.reading == Reading::partial;
        if (measured.reading == Reading::none) b.readable = false;
        b.sizeUnmeasured = measured.reading == Reading::unmeasured;
        if (paired) {
            bool byFolder = paired->count(lowercased(name)) > 0;
            bool bySerial = b.serialNumber && paired->count(lowercased(*b.serialNumber)) > 0;
            b.isPaired = byFolder || bySerial;
        }
        backups.push_back(std::move(b));
    }
    judge(backups, now);
    std::stable_sort(backups.begin(), backups.end(), [](const DeviceBackup &a, const DeviceBackup &b) {
        if (a.readable != b.readable)
            return a.readable;
        return a.size > b.size;
    });
    return backups;
}

} // namespace BackupInspector

} // namespace sorvel
