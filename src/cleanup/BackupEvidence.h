#pragma once
// Local iPhone and iPad backups: what each one is and which of them are dead weight.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cleanup/EvidenceSize.h"
#include "platform/Date.h"

namespace sorvel {

struct DeviceBackup {
    struct Verdict {
        /// undecided: dated and of a known device, but a backup that could not be read may
        /// be a newer one of that device, so it is neither called the newest nor old.
        enum class Kind { superseded, stale, current, unknown, undecided };
        Kind kind = Kind::unknown;
        std::string supersededBy; // superseded: the date of the device's newest backup
        int64_t days = 0;         // stale: whole days since the backup

        static Verdict superseded(std::string by) { return {Kind::superseded, std::move(by), 0}; }
        static Verdict stale(int64_t days) { return {Kind::stale, {}, days}; }
        static Verdict current() { return {Kind::current, {}, 0}; }
        static Verdict unknown() { return {Kind::unknown, {}, 0}; }
        static Verdict undecided() { return {Kind::undecided, {}, 0}; }
        friend bool operator==(const Verdict &, const Verdict &) = default;
    };

    std::string folderName;
    std::string path;
    int64_t size = 0;
    std::optional<std::string> deviceName;
    std::optional<std::string> productType;
    std::optional<std::string> modelName;
    std::optional<std::string> iosVersion;
    std::optional<std::string> serialNumber;
    std::optional<std::string> phoneNumber;
    std::optional<Date> lastBackup;
    bool isEncrypted = false;
    std::optional<int64_t> appCount;
    std::optional<bool> isPaired;
    Verdict verdict = Verdict::unknown();
    /// False when this user may not look inside the backup: nothing of it is known, its
    /// size (0) is no figure and its verdict no judgement.
    bool readable = true;
    /// A record of it (Info, Manifest or Status) is there but refused this user: what it
    /// would tell is not known, so it is not judged.
    bool recordsRefused = false;
    /// A record of it is there but is no property list this could read: what it would
    /// tell is not known, so it is not judged.
    bool recordsMalformed = false;
    /// A record of it is there but could not be opened or read for another reason (a link
    /// loop, a failing disk): the errno of the first such record, 0 when none.
    int recordsError = 0;
    /// A date it records ("Last Backup Date", or a "Date" of Manifest or Status) is there but
    /// cannot be read as one: when it was made is not known, so it is not judged.
    bool dateUnreadable = false;
    /// Its Info.plist is there but was not read (refused, malformed or failing): which
    /// device it belongs to is not known.
    bool identityUnread = false;
    /// Some folder inside it refused this user: its size is a lower bound.
    bool sizePartial = false;
    /// A stop kept its folder from being measured: its size (0) is no figure, nor a bound.
    bool sizeUnmeasured = false;

    Reading reading() const {
        return !readable                       ? Reading::none
               : sizeUnmeasured                ? Reading::unmeasured
               : recordsRefused || sizePartial ? Reading::partial
                                               : Reading::whole;
    }

    /// Its records were all read, so it can be judged and compared with the others.
    bool judgeable() const {
        return readable && !recordsRefused && !recordsMalformed && recordsError == 0 && !dateUnreadable;
    }

    const std::string &id() const { return folderName; }
    /// Model, system version, encryption and app count joined by " · "; may be empty.
    std::string hardwareSummary() const;
    /// One line explaining the verdict, dates written with `format`.
    std::string evidence(const DateFormatter &format) const;

    friend bool operator==(const DeviceBackup &, const DeviceBackup &) = default;
};

namespace AppleDevices {
/// Hardware identifier to marketing name.
const std::map<std::string, std::string> &names();
} // namespace AppleDevices

namespace BackupInspector {

/// "~/Library/Application Support/MobileSync/Backup" of the current home.
std::string defaultRoot();
/// The judged backups under `root` (default: defaultRoot()), largest first, those this
/// user may not look inside last (unmeasured, unjudged). Without a paired set the pairing
/// records are read now.
std::vector<DeviceBackup>
inspect(const SizeFunction &sizeOf, Date now, const std::optional<std::string> &root = std::nullopt,
        const std::optional<std::set<std::string>> &pairedIdentifiers = std::nullopt);
/// One backup from the property lists of its folder; size 0, no pairing, verdict unknown.
DeviceBackup read(const std::string &path, const std::string &folderName);
/// Where the device pairing records are kept: usbmuxd's "/var/lib/lockdown" unless set
/// otherwise (tests point it at a folder of their own).
std::string pairingRecordsFolder();
void setPairingRecordsFolder(std::string folder);
/// Lower-cased identifiers of the devices with a pairing record in `folder`; none when the
/// records cannot be listed.
std::optional<std::set<std::string>> pairedDevices(const std::string &folder);
/// Sets every verdict in place, order unchanged. Only backups read whole are compared; one
/// that could not be read may belong to any device its records do not rule out, so none
/// of those is called the newest (or old) while it is there.
void judge(std::vector<DeviceBackup> &backups, Date now);

} // namespace BackupInspector

} // namespace sorvel
