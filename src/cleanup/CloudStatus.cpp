#include "cleanup/CloudStatus.h"

#include <cerrno>
#include <sys/stat.h>

#include "engine/Bytes.h"
#include "platform/FileManager.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"

namespace sorvel {
namespace {

constexpr const char *kMessagesName = "Messages in iCloud";
constexpr const char *kDesktopName = "Desktop & Documents";
constexpr const char *kPhotosName = "iCloud Photos";
constexpr const char *kSettingsPath = "Settings \u2192 your name \u2192 iCloud on a device signed in to your account";

CloudService service(const char *name, CloudState state, bool definitive, std::vector<std::string> evidence) {
    return CloudService{name, state, definitive, std::move(evidence)};
}

CloudStatus noAccount() {
    const std::string line = "No iCloud account is signed in on this computer.";
    CloudStatus s;
    s.messages = service(kMessagesName, CloudState::off, true, {line});
    s.desktopAndDocuments = service(kDesktopName, CloudState::off, true, {line});
    s.photos = service(kPhotosName, CloudState::off, true, {line});
    return s;
}

// The account list is there but says nothing we can trust: nothing may be ruled out.
CloudStatus unreadableAccountList() {
    const std::string line = "The iCloud account list at ~/Library/Preferences/MobileMeAccounts.plist "
                             "could not be read, so this could not be determined.";
    CloudStatus s;
    s.accountUnreadable = true;
    s.messages = service(kMessagesName, CloudState::unknown, false, {line});
    s.desktopAndDocuments = service(kDesktopName, CloudState::unknown, false, {line});
    s.photos = service(kPhotosName, CloudState::unknown, false, {line});
    return s;
}

bool nothingThere(const std::string &path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        return false;
    return errno == ENOENT || errno == ENOTDIR;
}

const PlistValue *findService(const PlistValue::Array &services, const std::string &identifier) {
    for (const auto &entry : services) {
        if (!entry.isDictionary())
            continue;
        if (entry.stringFor("ServiceID") == identifier)
            return &entry;
    }
    return nullptr;
}

CloudService detectMessages(const std::string &home, bool provisioned, Date now) {
    const std::string folder = home + "/Library/Messages";
    const std::string database = folder + "/Sync/sync.db";
    // A folder that is there but closed to us is no evidence that syncing is off: only a
    // database known to be absent is.
    const bool databaseUnreadable = !nothingThere(database) && !FileManager::fileSize(database);
    if (!FileManager::fileExists(folder) || databaseUnreadable)
        return service(kMessagesName, CloudState::unknown, false,
                       {"Could not read ~/Library/Messages \u2014 it is missing, or this user may not read it."});

    if (auto size = FileManager::fileSize(database); size && *size >= 1) {
        std::vector<std::string> evidence{"Messages keeps a " + Bytes::format(*size) +
                                          " CloudKit sync database at ~/Library/Messages/Sync/sync.db."};
        if (auto written = FileManager::modificationDate(database + "-wal")) {
            int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now - *written).count();
            int64_t days = seconds / 86400;
            if (days < 2)
                evidence.push_back("Its write-ahead log was updated today, so syncing is active.");
            else
                evidence.push_back("Its write-ahead log was last written " + std::to_string(days) +
                                   " days ago.");
        }
        return service(kMessagesName, CloudState::on, false, std::move(evidence));
    }
    std::vector<std::string> evidence{"No Messages sync database at ~/Library/Messages/Sync/sync.db."};
    if (provisioned)
        evidence.push_back("Your iCloud account supports Messages, but nothing on this computer is syncing.");
    return service(kMessagesName, CloudState::off, false, std::move(evidence));
}

} // namespace

std::string CloudStatus::howKnown(const CloudService &service) const {
    if (!service.isDefinitive)
        return "inferred \u2014 verify before acting";
    return accountID ? "read from your iCloud settings" : "no iCloud account on this computer";
}

std::optional<CloudStatus::Caveat> CloudStatus::caveat(const std::string &path) const {
    const std::string prefix = homeDirectory() + "/Library/Messages";
    if (path.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const std::string how = howKnown(messages);
    switch (messages.state) {
    case CloudState::on:
        return Caveat{
            "Messages in iCloud looks like it is ON (" + how +
                "). Deleting these files by hand does not tell iCloud anything: the conversation still "
                "references them, and Messages may simply download them again, so the space comes back. "
                "Pruning from inside Messages is the only route that removes an attachment everywhere and "
                "keeps the database consistent.",
            true};
    case CloudState::off:
        return Caveat{
            "Messages in iCloud looks like it is OFF (" + how +
                "), so these files are local to this computer and nothing will re-download them. Removing one "
                "still leaves the conversation pointing at a missing attachment \u2014 the message "
                "survives, the media shows as unavailable.",
            false};
    case CloudState::unknown:
        break;
    }
    return Caveat{
        std::string("Sorvel could not determine whether Messages in iCloud is on. If it is, files deleted "
                    "here may be downloaded again and the space will not stay freed. Check ") +
            kSettingsPath + " before acting.",
        true};
}

namespace CloudDetector {

CloudStatus detect() {
    return detect(now());
}

CloudStatus detect(Date now) {
    const std::string home = homeDirectory();
    const std::string listPath = home + "/Library/Preferences/MobileMeAccounts.plist";
    if (nothingThere(listPath))
        return noAccount();
    auto root = PropertyList::readFile(listPath);
    if (!root || !root->isDictionary())
        return unreadableAccountList();

    const PlistValue *accountsValue = root->find("Accounts");
    const PlistValue::Array *accounts = accountsValue ? accountsValue->array() : nullptr;
    if (!accounts || accounts->empty())
        return noAccount();
    for (const auto &account : *accounts)
        if (!account.isDictionary())
            return noAccount();
    const PlistValue &first = accounts->front();
    auto accountID = first.stringFor("AccountID");
    if (!accountID)
        return noAccount();

    PlistValue::Array services;
    if (const PlistValue *value = first.find("Services"); value && value->array()) {
        const auto &list = *value->array();
        bool allDictionaries = true;
        for (const auto &entry : list)
            allDictionaries = allDictionaries && entry.isDictionary();
        if (allDictionaries)
            services = list;
    }

    CloudStatus status;
    status.accountID = accountID;

    if (const PlistValue *desktop = findService(services, "com.apple.Dataclass.CloudDesktop")) {
        auto state = desktop->stringFor("status");
        status.desktopAndDocuments = service(
            kDesktopName, state == std::optional<std::string>("active") ? CloudState::on : CloudState::off,
            true, {"iCloud account reports Desktop & Documents as \"" + state.value_or("inactive") + "\"."});
    } else {
        status.desktopAndDocuments = service(kDesktopName, CloudState::unknown, false, {});
    }

    status.driveEnabled = findService(services, "com.apple.Dataclass.Ubiquity") != nullptr &&
                          FileManager::fileExists(home + "/Library/Mobile Documents");

    bool provisioned = findService(services, "com.apple.Dataclass.Messages") != nullptr;
    status.messages = detectMessages(home, provisioned, now);

    if (findService(services, "com.apple.Dataclass.Photos")) {
        status.photos =
            service(kPhotosName, CloudState::unknown, false,
                    {"Your iCloud account supports Photos, but whether the library on this computer syncs is "
                     "only visible inside Photos \u2192 Settings \u2192 iCloud."});
    } else {
        status.photos = service(kPhotosName, CloudState::off, false,
                                {"The iCloud account does not list a Photos service."});
    }
    return status;
}

} // namespace CloudDetector

} // namespace sorvel
