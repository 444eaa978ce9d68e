#include "engine/LinuxPathNotes.h"

#include <algorithm>
#include <vector>

#include "engine/PathText.h"
#include "platform/FileManager.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/ProcessRunner.h"

namespace sorvel::PathKnowledge {
namespace {

using V = PathNote::Verdict;

// A note whose guidance names a tool's command is said with `withoutTool` where the tool
// is not on PATH: a command is named only where it can be run.
struct Known {
    PathNote note;
    const char* tool = nullptr;
    const char* withoutTool = nullptr;
};

Known known(const char* title, const char* what, const char* guidance, V verdict, const char* tool = nullptr,
            const char* withoutTool = nullptr) {
    return Known{PathNote{title, what, std::string(guidance), verdict}, tool, withoutTool};
}

PathNote said(const Known& k) {
    PathNote note = k.note;
    if (k.tool && !ProcessRunner::findOnPath(k.tool)) note.guidance = std::string(k.withoutTool);
    return note;
}

const Known& userCache() {
    static const Known k =
        known("Cache folder",
              "Where desktop apps and command-line tools keep what they can recreate: thumbnails, downloads, "
              "compiled shaders, package caches. Each app keeps a folder of its own here.",
              "Safe to clear app by app; each refills what it still needs. One folder here is no cache: files "
              "received over Bluetooth land in obexd, and Sorvel never offers it.",
              V::safe);
    return k;
}

const Known& bluetooth() {
    static const Known k =
        known("Files received over Bluetooth",
              "Everything sent to this computer over Bluetooth lands here, in a folder that only looks like a "
              "cache. These files are the only copy you have.",
              "Never clear this as a cache. Move what you want to keep to your own folders, then delete the rest "
              "yourself.",
              V::keep);
    return k;
}

const Known& thumbnails() {
    static const Known k =
        known("Thumbnails", "Small previews of your pictures and documents, made by the file manager as you browse.",
              "Safe to remove; previews are made again as folders are opened.", V::safe);
    return k;
}

const Known& browserCache() {
    static const Known k =
        known("Browser cache",
              "Pages, images and scripts a web browser keeps so sites load faster on the next visit. Your "
              "history, cookies and saved passwords are in the browser's profile, not here.",
              "Safe to remove; quit the browser first. The next visit to each site is slower once.", V::safe);
    return k;
}

const Known& appData() {
    static const Known k =
        known("App data",
              "Where Linux apps keep data they made or downloaded: databases, game saves, mail, keyrings, "
              "fonts, Flatpak apps installed for you and the Trash. Much of it is the only copy.",
              "Never bulk-delete this. Remove only the folder of an app you have uninstalled, once you know "
              "nothing in it is yours.",
              V::review);
    return k;
}

const Known& flatpakInstallation() {
    static const Known k =
        known("Flatpak apps and runtimes",
              "The Flatpak apps installed for you alone, and the runtimes they run on. A runtime stays after the "
              "last app that used it is gone.",
              "`flatpak uninstall --unused` removes runtimes no app needs. Uninstall apps with Flatpak, never by "
              "deleting their folders here.",
              V::review, "flatpak", "Uninstall apps and runtimes with Flatpak, never by deleting their folders here.");
    return k;
}

const Known& evolution() {
    static const Known k =
        known("Evolution mail",
              "Locally cached copies of your mail, including every attachment Evolution has downloaded, and "
              "any mail kept only on this computer.",
              "Mail on a server is downloaded again; local folders are the only copy. The safe lever is "
              "Evolution's own setting for what to keep offline.",
              V::review);
    return k;
}

// Names only the browsers whose profiles the settings folder holds.
PathNote settings() {
    std::vector<std::string> here;
    for (const auto& profile : LinuxPlaces::browserProfiles())
        if (FileManager::isDirectory(LinuxPlaces::configHome() + "/" + profile.folder)) here.push_back(profile.browser);
    std::string profiles;
    for (size_t i = 0; i < here.size(); ++i)
        profiles += (i == 0 ? "" : i + 1 == here.size() ? " and " : ", ") + here[i];
    return PathNote{"Settings",
                    "Every app's settings" + (here.empty() ? std::string(". Small, and most of it cannot be recreated.")
                                                           : ", and the profiles of " + profiles +
                                                                 ": history, cookies and saved passwords. Small, and "
                                                                 "most of it cannot be recreated."),
                    std::string("Sorvel never moves anything here. To reset an app, do it from the app itself."),
                    V::keep};
}

const Known& appState() {
    static const Known k =
        known("App state",
              "What apps keep between runs that is neither settings nor data: command histories, recently "
              "opened files, window layouts, and logs some apps write here.",
              "Small as a rule. Removing an app's folder forgets its history and recent files.", V::review);
    return k;
}

bool here(const char* tool) { return ProcessRunner::findOnPath(tool).has_value(); }

// Rotation and the journal's own trim are named only where their tools are.
PathNote systemLogs() {
    const bool rotation = here("logrotate");
    std::string guidance = "These belong to the system and need an administrator; Sorvel does not move them.";
    if (here("journalctl"))
        guidance += " `journalctl --disk-usage` says how much the journal takes, and `journalctl "
                    "--vacuum-size=` with a smaller size trims it.";
    if (rotation) guidance += " Let logrotate drop old logs.";
    return PathNote{"System logs",
                    std::string("Logs written by the system and its services, the journal among them.") +
                        (rotation ? " Old logs are rotated, compressed and dropped on a schedule." : ""),
                    guidance, V::review};
}

const Known& journal() {
    static const Known k =
        known("The journal",
              "systemd's log of everything the system and its services said, kept in binary files per boot "
              "and per user. It grows up to the limit set in journald.conf: by default 10% of the file system it is "
              "on, and never more than 4 GiB.",
              "`journalctl --disk-usage` says how much it takes; `journalctl --vacuum-size=` with a smaller size, "
              "run as an administrator, trims it properly. Deleting its files by hand can leave the journal "
              "unreadable.",
              V::review, "journalctl",
              "Trim it with the journal's own tools, as an administrator. Deleting its files by hand can leave "
              "the journal unreadable.");
    return k;
}

const Known& systemCaches() {
    static const Known k =
        known("System caches",
              "Caches the system's own programs keep: downloaded packages, font and manual page indexes. "
              "Everything here is rebuilt by the program that owns it.",
              "Needs an administrator; Sorvel does not move these. `apt clean` removes every package file apt "
              "downloaded; apt fetches one again only if an install needs it.",
              V::review, "apt", "Needs an administrator; Sorvel does not move these. Each program rebuilds its own.");
    return k;
}

const Known& packageDownloads() {
    static const Known k =
        known("Downloaded packages",
              "Package files apt downloaded to install or upgrade software. Once installed, nothing reads them "
              "again.",
              "`apt clean`, run as an administrator, clears this safely.", V::safe, "apt",
              "Safe to clear as an administrator: only downloads, fetched again if they are ever needed.");
    return k;
}

const Known& crashReports() {
    static const Known k =
        known("Crash reports", "Reports the system wrote when a program crashed, one file per crash.",
              "Safe to remove unless you are chasing a crash right now. They belong to the system: an "
              "administrator removes them.",
              V::safe);
    return k;
}

PathNote coreDumps() {
    return PathNote{"Core dumps",
                    "Memory images of crashed programs, kept by systemd for a developer to debug. Old ones are "
                    "dropped on their own once they pass the limits in coredump.conf.",
                    std::string("Useful only while someone is debugging that crash.") +
                        (here("coredumpctl") ? " `coredumpctl` lists them, and an administrator removes them."
                                             : " An administrator removes them."),
                    V::safe};
}

const Known& flatpakApps() {
    static const Known k =
        known("Flatpak app data",
              "One folder per Flatpak app you have run. An app run from Flatpak keeps its settings (config), its "
              "data (data) and what it can recreate (cache) here, instead of in your own folders.",
              "Each app's cache is safe to clear. Its data and settings go only with the app: once it is "
              "uninstalled, its whole folder here is left behind and may go.",
              V::review);
    return k;
}

const Known& flatpakApp() {
    static const Known k =
        known("Flatpak app data",
              "Everything one Flatpak app keeps for you: its settings in config, its data in data and what it "
              "can recreate in cache.",
              "While the app is installed, only its cache may go. Once it is uninstalled, the whole folder is "
              "dead weight.",
              V::review);
    return k;
}

const Known& flatpakCache() {
    static const Known k = known("Flatpak app cache",
                                 "Data this Flatpak app can recreate: thumbnails, downloaded assets, computed results.",
                                 "Safe to remove. The app refills what it still needs.", V::safe);
    return k;
}

const Known& flatpakOwnData() {
    static const Known k =
        known("Flatpak app's own data",
              "What this Flatpak app made or keeps for you: documents, databases, saved games, its settings. "
              "Often the only copy.",
              "Never delete this while the app is installed; it resets the app and loses what is yours.", V::keep);
    return k;
}

const Known& snapApps() {
    static const Known k =
        known("Snap app data",
              "One folder per snap you have run: a folder of data for each revision snap keeps (numbered), and "
              "one all revisions share (common).",
              "Remove a snap with `snap remove`; keep fewer old revisions with `snap set system "
              "refresh.retain=2`. A folder here of a snap that is gone may go.",
              V::review, "snap", "A folder here of a snap that is no longer installed may go.");
    return k;
}

const Known& snapApp() {
    static const Known k =
        known("Snap app data",
              "What one snap keeps for you: a folder of data for each revision snap keeps (numbered), and one "
              "all its revisions share (common).",
              "While the snap is installed, its data goes with `snap remove`. Once it is gone, the whole folder "
              "is dead weight.",
              V::review, "snap", "Once the snap is no longer installed, the whole folder is dead weight.");
    return k;
}

const Known& firefoxProfiles() {
    static const Known k =
        known("Firefox profiles",
              "Your Firefox profiles: bookmarks, history, cookies, saved passwords and extensions. Firefox keeps "
              "its cache elsewhere, in the cache folder.",
              "Never delete this; nothing downloads it back. To free space, clear Firefox's cache instead.", V::keep);
    return k;
}

const Known& thunderbird() {
    static const Known k =
        known("Thunderbird mail",
              "Your Thunderbird profiles: locally cached mail with its attachments, local folders, address "
              "books and settings.",
              "Mail on a server is downloaded again; local folders are the only copy. The safe lever is "
              "Thunderbird's own setting for what to keep offline.",
              V::review);
    return k;
}

const Known& swapFile() {
    static const Known k =
        known("Swap file",
              "Space the system moves memory out to when RAM runs short. Its size is fixed when it is made, "
              "whatever it holds at the moment.",
              "Not yours to delete while it is in use: the system turns it off and resizes it, as an "
              "administrator.",
              V::keep);
    return k;
}

PathNote developerNote(const LinuxPlaces::DeveloperFolder& folder) {
    PathNote note;
    note.title = folder.title;
    note.what = folder.what;
    std::string guidance = folder.review ? "A fresh download of everything here takes time; remove it when you are "
                                           "not in the middle of work that needs it."
                                         : "Safe to remove; costs one slower build or install.";
    // The tool's own command only where the tool is on PATH.
    if (!folder.command.empty() && ProcessRunner::findOnPath(folder.tool))
        guidance += " `" + folder.command + "` does the same job.";
    note.guidance = std::move(guidance);
    note.verdict = folder.review ? V::review : V::safe;
    return note;
}

// The path's pieces below `folder`, when it lies strictly inside it.
std::optional<std::vector<std::string_view>> piecesBelow(const std::string& path, const std::string& folder) {
    if (path == folder || !isPathInside(path, folder)) return std::nullopt;
    return pathPieces(std::string_view(path).substr(folder.size()));
}

std::optional<PathNote> underFlatpakApps(const std::string& path) {
    const auto pieces = piecesBelow(path, LinuxPlaces::flatpakApps());
    if (!pieces || pieces->empty()) return std::nullopt;
    if (pieces->size() == 1) return said(flatpakApp());
    if (pieces->size() != 2) return std::nullopt;
    const auto& ids = LinuxPlaces::flatpakBrowserIds();
    const bool browser = std::find(ids.begin(), ids.end(), (*pieces)[0]) != ids.end();
    if ((*pieces)[1] == "cache") return said(browser ? browserCache() : flatpakCache());
    if ((*pieces)[1] == "data" || (*pieces)[1] == "config") return said(flatpakOwnData());
    return std::nullopt;
}

} // namespace

std::optional<PathNote> linuxNote(const std::string& given) {
    const std::string path = standardizePath(given);
    if (path.empty() || path[0] != '/') return std::nullopt;
    const std::string home = homeDirectory();
    const std::string cache = LinuxPlaces::cacheHome();
    const std::string data = LinuxPlaces::dataHome();

    const std::vector<std::pair<std::string, const Known*>> places = {
        {cache, &userCache()},
        {cache + "/thumbnails", &thumbnails()},
        {data, &appData()},
        {data + "/flatpak", &flatpakInstallation()},
        {data + "/evolution", &evolution()},
        {LinuxPlaces::stateHome(), &appState()},
        {LinuxPlaces::systemLogs() + "/journal", &journal()},
        {LinuxPlaces::systemCache(), &systemCaches()},
        {LinuxPlaces::systemCache() + "/apt", &packageDownloads()},
        {LinuxPlaces::systemCache() + "/apt/archives", &packageDownloads()},
        {LinuxPlaces::flatpakApps(), &flatpakApps()},
        {LinuxPlaces::snapApps(), &snapApps()},
        {home + "/.mozilla", &firefoxProfiles()},
        {home + "/.thunderbird", &thunderbird()},
    };
    for (const auto& [place, note] : places)
        if (path == place) return said(*note);
    if (path == LinuxPlaces::configHome()) return settings();
    if (path == LinuxPlaces::systemLogs()) return systemLogs();
    for (const auto& name : LinuxPlaces::keptCacheNames())
        if (path == cache + "/" + name) return said(bluetooth());
    for (const auto& secret : LinuxPlaces::secrets())
        if (path == secret.path) return PathNote{secret.title, secret.what, secret.guidance, V::keep};
    const auto crash = LinuxPlaces::crashFolders();
    if (!crash.empty() && path == crash.front()) return said(crashReports());
    if (crash.size() > 1 && path == crash[1]) return coreDumps();
    for (const auto& folder : LinuxPlaces::developerFolders())
        if (path == folder.path) return developerNote(folder);
    for (const auto& name : LinuxPlaces::browserCacheNames())
        if (path == cache + "/" + name) return said(browserCache());

    if (auto note = underFlatpakApps(path)) return note;
    if (const auto pieces = piecesBelow(path, LinuxPlaces::snapApps()); pieces && pieces->size() == 1)
        return said(snapApp());
    // Swap files may lie anywhere; /proc/swaps is read only for a path outside the home.
    if (!isPathInside(path, home)) {
        const auto swap = LinuxPlaces::swapFiles().files;
        if (std::find(swap.begin(), swap.end(), path) != swap.end()) return said(swapFile());
    }
    return std::nullopt;
}

} // namespace sorvel::PathKnowledge
