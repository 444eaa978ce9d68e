#include "engine/PathKnowledge.h"

#include <map>
#include <utility>
#include <vector>

#include "engine/LinuxPathNotes.h"
#include "platform/Path.h"
#include "platform/ProcessRunner.h"
#include "platform/Trash.h"

namespace sorvel::PathKnowledge {
namespace {

using V = PathNote::Verdict;

PathNote make(const char* title, const char* what, const char* guidance, V verdict) {
    return PathNote{title, what, std::string(guidance), verdict};
}

const std::map<std::string, PathNote>& exactRules() {
    static const std::map<std::string, PathNote> rules = {
        {"~/Library/Messages",
         make("Messages",
              "Your entire iMessage and SMS history, plus every file anyone has ever sent you. The "
              "conversations themselves are tiny — chat.db is a few hundred megabytes even after years "
              "— so almost all of the weight here is attachments.",
              "Attachments are the thing to look at. Everything else in this folder is small enough to "
              "ignore.",
              V::review)},
        {"~/Library/Messages/Attachments",
         make("Message attachments",
              "Every photo, video, voice note and file received in Messages, kept indefinitely. macOS "
              "never prunes these on its own, so this folder only grows.",
              "The supported way to reclaim this is Messages → Settings → General → Keep Messages → One "
              "Year, which prunes messages and their attachments together and stays consistent across "
              "devices. Deleting the files by hand leaves the conversations pointing at attachments "
              "that are no longer there; the messages survive and the media shows as unavailable. The "
              "subfolders here are hash buckets, so they are useless as a unit of deletion.",
              V::review)},
        {"~/Library/Messages/chat.db",
         make("Message database",
              "The searchable index of every message you have sent and received. Small relative to "
              "attachments, and the only copy of your conversation history.",
              "Never delete this. Removing it wipes your message history.", V::keep)},
        {"~/Library/Mail",
         make("Mail", "Locally cached copies of your mail, including every attachment Mail has downloaded.",
              "Mail re-downloads what it needs from the server. The safe lever is Mail's own setting for "
              "how much to keep offline, rather than deleting these files by hand.",
              V::review)},
        {"~/Library/Application Support/MobileSync/Backup",
         make("iPhone & iPad backups",
              "Full local device backups. Each one is a complete copy of a device at a point in time, "
              "and old backups for devices you no longer own stay here forever.",
              "Keep the newest backup for any device you still use. Everything older is redundant.",
              V::review)},
        {"~/Library/Developer/Xcode/DerivedData",
         make("Xcode derived data",
              "One folder per project, holding everything Xcode computes rather than authors: compiled "
              "object files and the linked binary under Build/, the source index that powers "
              "jump-to-definition and autocomplete under Index.noindex/, precompiled module caches, and "
              "build logs. None of it is source, and none of it is the only copy of anything.",
              "Each folder records the project it came from in its info.plist, so Sorvel can check "
              "whether that project still exists — folders whose project is gone are dead weight with "
              "nothing to weigh against. For projects you still have, deleting costs exactly one full "
              "rebuild plus a re-index. Quit Xcode first, or it will rewrite what you remove.",
              V::safe)},
        {"~/Library/Developer/Xcode/iOS DeviceSupport",
         make("iOS device support",
              "Symbol files copied off each iOS device the first time you attach it, so the debugger "
              "can turn addresses in a crash log into system framework names. One folder per device "
              "model and OS build, 2–5 GB each, kept forever — a device that updates monthly leaves a "
              "year of folders behind.",
              "Only the build matching a device you actually connect is ever consulted; older builds "
              "for the same device are never asked for again. If you delete one you still need, Xcode "
              "copies it back off the device on the next connect — a few minutes, once.",
              V::safe)},
        {"~/Library/Caches/org.swift.swiftpm",
         make("Swift Package Manager cache",
              "Cloned git repositories and downloaded binary artifacts for every Swift package any of "
              "your projects depends on, shared across projects so the same dependency is fetched once.",
              "Purely a download cache — the resolved versions live in each project's Package.resolved, "
              "not here. Deleting it means the next build re-fetches from the network.",
              V::safe)},
        {"~/Library/Developer/CoreSimulator",
         make("iOS simulators",
              "Runtime images for each simulated OS version, plus a full filesystem per simulated "
              "device including anything your apps wrote to them.",
              "Use `xcrun simctl delete unavailable` rather than deleting folders: it removes devices "
              "whose runtime Xcode no longer has, and keeps Xcode's own index consistent. Deleting a "
              "device by hand loses whatever state your app had on it.",
              V::review)},
        {"/private/var/vm",
         make("Virtual memory", "Swap files and the hibernation image, sized and managed entirely by macOS.",
              "Not yours to delete. macOS shrinks this on its own when memory pressure drops; deleting "
              "it by hand is a good way to hang the machine.",
              V::keep)},
    };
    return rules;
}

const std::vector<std::pair<std::string, PathNote>>& prefixRules() {
    static const std::vector<std::pair<std::string, PathNote>> rules = {
        {"~/Library/Containers/com.docker.docker",
         make("Docker disk image",
              "Docker keeps every image, container and volume inside one large virtual disk. That file "
              "only ever grows — deleting containers inside Docker frees space within the image without "
              "shrinking the file itself.",
              "Do not touch this in Finder. Reclaim it from Docker: `docker system prune -a --volumes`, "
              "then Docker Desktop → Settings → Resources → Disk image size to shrink the file.",
              V::review)},
        {"~/Library/Caches/pip",
         make("pip cache", "Downloaded Python wheels kept so reinstalling a package does not hit the network again.",
              "Safe to delete; `pip cache purge` is the tidy way. Costs only re-download time.", V::safe)},
        {"~/Library/Caches/org.swift.swiftpm",
         make("Swift Package Manager cache",
              "Cloned repositories and built artifacts for Swift packages across all your projects.",
              "Regenerated on the next build that needs a package.", V::safe)},
        {"~/Library/Caches/ms-playwright",
         make("Playwright browsers",
              "Full browser binaries Playwright downloads for testing — typically Chromium, Firefox and "
              "WebKit, several hundred megabytes each.",
              "Safe to delete if you are not running browser tests; Playwright re-downloads on next use.",
              V::safe)},
        {"~/Library/Caches/Homebrew",
         make("Homebrew downloads", "Downloaded bottles and source archives from past installs and upgrades.",
              "`brew cleanup` clears this safely.", V::safe)},
        {"~/.local/share/Trash",
         make("Trash", "Files you already deleted. They keep occupying the disk until the Trash is emptied.",
              "Emptying the Trash is the one cleanup with no downside — you already decided you did not "
              "want these.",
              V::safe)},
    };
    return rules;
}

const std::map<std::string, PathNote>& nameRules() {
    static const std::map<std::string, PathNote> rules = [] {
        const PathNote logs = make("Logs", "Diagnostic output written by the app.",
                                   "Safe to remove unless you are chasing a bug right now.", V::safe);
        return std::map<std::string, PathNote>{
            {"Code Cache", make("Compiled JavaScript cache",
                                "Chromium's cache of compiled JavaScript, so an app's UI starts faster.",
                                "Rebuilt automatically; deleting costs one slow launch.", V::safe)},
            {"GPUCache", make("GPU shader cache",
                              "Compiled shaders kept by Chromium to avoid recompiling them each launch.",
                              "Rebuilt automatically.", V::safe)},
            {"Service Worker", make("Service worker storage",
                                    "Offline caches registered by web content running inside the app.",
                                    "Rebuilt on next use, though offline data for web apps is lost.", V::safe)},
            {"Crashpad", make("Crash reports", "Crash dumps collected for the app's developers.",
                              "Safe to delete unless you are actively debugging a crash.", V::safe)},
            {"DawnWebGPUCache", make("WebGPU shader cache", "Compiled WebGPU pipelines cached by Chromium.",
                                     "Rebuilt automatically.", V::safe)},
            {"Attachments", make("Attachments", "Files received through this app and kept on disk indefinitely.",
                                 "Usually the largest thing in any messaging app's folder, and usually the oldest.",
                                 V::review)},
            {"Caches", make("Cache", "Data this app can recreate: thumbnails, downloaded assets, computed results.",
                            "Safe to remove. The app refills what it still needs.", V::safe)},
            {"logs", logs},
            {"Logs", logs},
        };
    }();
    return rules;
}

const PathNote& bucketNote() {
    static const PathNote note = make(
        "Hash bucket, not a folder of anything",
        "This is one of 256 buckets Messages spreads attachments across by hash. It holds an arbitrary "
        "slice of files from every conversation you have ever had and every year — which is why all of "
        "these folders are within a few megabytes of each other.",
        "Deleting a bucket removes about 1% of your attachments chosen at random. It is not a way to "
        "delete old media, or one person's media, or large media. If you want to reclaim this space, "
        "prune from inside Messages, where deletions are chosen by conversation and date and stay "
        "consistent with the database.",
        V::review);
    return note;
}

bool isHexPiece(const std::string& piece) {
    if (piece.empty() || piece.size() > 2) return false;
    for (char c : piece) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
    }
    return true;
}

std::optional<PathNote> attachmentBucketNote(const std::string& shortPath) {
    static const std::string prefix = "~/Library/Messages/Attachments/";
    if (shortPath.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::vector<std::string> pieces;
    std::string piece;
    for (size_t i = prefix.size(); i <= shortPath.size(); ++i) {
        if (i == shortPath.size() || shortPath[i] == '/') {
            if (!piece.empty()) pieces.push_back(piece);
            piece.clear();
        } else {
            piece += shortPath[i];
        }
    }
    if (pieces.size() > 2) return std::nullopt;
    if (pieces.empty()) return bucketNote();
    if (!isHexPiece(pieces[0])) return std::nullopt;
    if (pieces.size() == 2 && !isHexPiece(pieces[1])) return std::nullopt;
    return bucketNote();
}

// Notes whose guidance names a tool's own command, by title, with the words said where
// that tool is not on PATH: a command is named only where it can be run.
struct ToolGuidance {
    const char* tool;
    const char* withoutTool;
};

const std::map<std::string, ToolGuidance>& toolGuidance() {
    static const std::map<std::string, ToolGuidance> table = {
        {"Homebrew downloads", {"brew", "Safe to delete: only downloads, fetched again if they are ever needed."}},
        {"pip cache", {"pip", "Safe to delete. Costs only re-download time."}},
    };
    return table;
}

std::optional<PathNote> withToolsHere(std::optional<PathNote> note) {
    if (!note) return note;
    if (auto it = toolGuidance().find(note->title);
        it != toolGuidance().end() && !ProcessRunner::findOnPath(it->second.tool))
        note->guidance = it->second.withoutTool;
    return note;
}

std::optional<PathNote> catalogued(const std::string& path) {
    std::string shortPath = tildeAbbreviated(path);

    const auto& exact = exactRules();
    if (auto it = exact.find(shortPath); it != exact.end()) return it->second;
    if (auto bucket = attachmentBucketNote(shortPath)) return bucket;
    if (auto place = linuxNote(path)) return place;
    // The Trash may sit elsewhere (XDG_DATA_HOME); it is known by where it is, not its spelling.
    if (const std::string trash = Trash::directory(); !trash.empty() && isPathInside(path, trash))
        shortPath = "~/.local/share/Trash" + path.substr(trash.size());
    for (const auto& [prefix, note] : prefixRules()) {
        if (shortPath.compare(0, prefix.size(), prefix) == 0) return note;
    }
    const auto& names = nameRules();
    if (auto it = names.find(lastPathComponent(path)); it != names.end()) return it->second;
    return std::nullopt;
}

} // namespace

std::optional<PathNote> note(const std::string& path) { return withToolsHere(catalogued(path)); }

} // namespace sorvel::PathKnowledge
