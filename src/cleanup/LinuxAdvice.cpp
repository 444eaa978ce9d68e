#include "cleanup/LinuxAdvice.h"

#include <algorithm>

#include "engine/Bytes.h"
#include "engine/Reading.h"
#include "platform/LinuxPlaces.h"

namespace sorvel::LinuxAdvice {
namespace {

using Confidence = AdviceItem::Confidence;
constexpr auto none = std::nullopt;

AdviceItem item(std::string title, std::string rationale, std::optional<std::string> command,
                Confidence confidence) {
    AdviceItem a;
    a.title = std::move(title);
    a.rationale = std::move(rationale);
    a.command = std::move(command);
    a.confidence = confidence;
    return a;
}

const AdviceItem& eachToolsOwn() {
    static const AdviceItem a =
        item("Let each tool clear its own cache",
             "A tool knows what of its cache it still uses, and its own command clears it without upsetting its "
             "bookkeeping. Deleting the folder by hand works too, at the cost of one slower build or install.",
             none, Confidence::safe);
    return a;
}

const AdviceItem& keepWhatYouMade() {
    static const AdviceItem a =
        item("Keep what only you made",
             "~/.cargo/bin and ~/.rustup hold the tools you installed, ~/.m2/repository the builds you installed "
             "locally, and an emulator's disks in ~/.android/avd hold its apps' data. Nothing downloads them "
             "back, and Sorvel never offers them.",
             none, Confidence::avoid);
    return a;
}

} // namespace

const AdviceItem& cacheFolderItem() {
    static const AdviceItem a = item(
        "Clear the cache folder app by app, not wholesale",
        "What apps keep in ~/.cache they can make again \u2014 that is what makes it a cache. The cost is one "
        "slower start per app while it refills. One folder there is no cache: files received over Bluetooth "
        "land in obexd, and they are the only copy.",
        none, Confidence::safe);
    return a;
}

const std::vector<AdviceItem>& appData() {
    static const std::vector<AdviceItem> list{
        item("An app's folder here outlives the app",
             "Removing a package leaves behind the folder its app made here. Nothing ties such a folder to its "
             "app, so Sorvel offers none of them; remove one yourself once you are sure its app is gone and "
             "nothing in it is yours.",
             none, Confidence::review),
        item("Never bulk-delete app data",
             "This is where apps keep data they cannot recreate \u2014 keyrings, local databases, mail, game "
             "saves, the Flatpak apps installed for you. It sits next to folders that look disposable, which is "
             "exactly why generic cleanup advice does damage here.",
             none, Confidence::avoid),
    };
    return list;
}

const std::vector<AdviceItem>& appFolders() {
    static const std::vector<AdviceItem> list{
        item("Do not delete an app's folder to free space",
             "A Flatpak or snap app's folder is its entire storage \u2014 its documents, its database, its "
             "settings. Removing one resets that app to a fresh install. Only its cache folder is a cache.",
             none, Confidence::avoid),
        item("Folders of apps you have removed are fair game",
             "Uninstalling a Flatpak app or a snap leaves its folder here behind. If the app is gone and you do "
             "not intend to reinstall it, its folder is dead weight; Sorvel offers it once no installation on "
             "this machine holds the app.",
             none, Confidence::review),
    };
    return list;
}

const std::vector<AdviceItem>& mail() {
    static const std::vector<AdviceItem> list{
        item("Let the mail app keep less offline",
             "Thunderbird and Evolution download mail again from the server, so hand-deleting their files just "
             "triggers a re-download. Telling the app to keep less mail offline fixes it for good.",
             none, Confidence::safe),
        item("Local folders are the only copy",
             "Mail kept in local folders, and mail whose copy on the server is gone, exists only here. Deleting "
             "a profile or a mail folder by hand loses it for good.",
             none, Confidence::avoid),
    };
    return list;
}

const std::vector<AdviceItem>& swap() {
    static const std::vector<AdviceItem> list{
        item("Leave a swap file in use alone",
             "The system moves memory out to it when RAM runs short. Sorvel never moves one, and turning it off "
             "on a busy system can leave programs without memory.",
             none, Confidence::avoid),
        item("A swap file keeps the size it was made with",
             "It does not grow or shrink with what it holds: it takes its whole size on disk from the moment it "
             "is made. To make it smaller, an administrator turns it off, makes it again at the new size and "
             "turns it on.",
             none, Confidence::review),
    };
    return list;
}

const std::vector<AdviceItem>& settings() {
    static const std::vector<AdviceItem> list{
        item("Settings are tiny \u2014 skip them",
             "Deleting an app's settings to reclaim space trades them for a few megabytes, and the same folder "
             "holds browser profiles. The wins are in caches, developer folders and media, not here.",
             none, Confidence::avoid),
    };
    return list;
}

std::vector<AdviceItem> developer(const HasTool& has) {
    std::vector<std::string> commands;
    for (const auto& folder : LinuxPlaces::developerFolders()) {
        if (folder.command.empty() || !has || !has(folder.tool)) continue;
        if (std::find(commands.begin(), commands.end(), folder.command) == commands.end())
            commands.push_back(folder.command);
    }
    AdviceItem own = eachToolsOwn();
    if (!commands.empty()) {
        std::string line;
        for (const auto& command : commands) line += (line.empty() ? "" : "    ") + command;
        own.command = line;
    }
    return {own, keepWhatYouMade()};
}

std::optional<AdviceItem> journal(const ScanResult& result) {
    static const AdviceItem base = item("Trim the journal to a size you choose", "", none, Confidence::safe);
    const std::string limit = "It grows until it reaches its limit: by default 10% of the file system it is on, "
                              "and never more than 4 GiB.";
    const std::string byHand = " Deleting files under /var/log/journal by hand can leave the journal unreadable.";
    AdviceItem a = base;
    const std::string logs = LinuxPlaces::systemLogs();
    if (const auto node = result.node(logs + "/journal")) {
        const Reading reading = readingOf(*node);
        if (reading == Reading::whole && node->size < kJournalWorthTrimming) return std::nullopt;
        if (givesFigure(reading) && node->size >= kJournalWorthTrimming) {
            const int64_t half = node->size / 2 / (1024 * 1024);
            a.rationale = "The journal takes " + std::string(reading == Reading::partial ? "at least " : "") +
                          Bytes::format(node->size) + " now. " + limit +
                          " The command below trims it toward half that, dropping the oldest archived files "
                          "first and keeping it readable." +
                          byHand;
            a.command = "sudo journalctl --vacuum-size=" + std::to_string(half) + "M";
            return a;
        }
    } else if (const auto folder = result.node(logs); folder && readingOf(*folder) == Reading::whole) {
        return std::nullopt; // read whole, and no journal kept on this disk
    }
    a.rationale = "Sorvel could not measure the journal here. " + limit +
                  " The command below says how much it takes; then `sudo journalctl --vacuum-size=` with a "
                  "smaller size trims it, dropping the oldest archived files first." +
                  byHand;
    a.command = "journalctl --disk-usage";
    return a;
}

} // namespace sorvel::LinuxAdvice
