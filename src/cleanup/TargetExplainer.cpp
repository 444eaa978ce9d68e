#include "cleanup/TargetExplainer.h"

#include <cctype>
#include <map>
#include <utility>

#include "engine/PathKnowledge.h"
#include "engine/PathText.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "platform/ProcessRunner.h"

namespace sorvel::TargetExplainer {
namespace {

struct KnownCache {
    std::string what;
    std::string cost;
    // A cost that names this tool's command gives way to `costWithoutTool` where the
    // tool is not on PATH.
    const char *tool = nullptr;
    std::string costWithoutTool = {};

    const std::string &costHere() const {
        return tool && !ProcessRunner::findOnPath(tool) ? costWithoutTool : cost;
    }
};

const std::map<std::string, KnownCache> &knownCaches() {
    static const std::map<std::string, KnownCache> table = {
        {"pip",
         {"Downloaded Python wheels, kept so reinstalling a package does not hit the network.",
          "Re-downloaded on next install. `pip cache purge` does the same job.", "pip",
          "Re-downloaded on next install."}},
        {"ms-playwright",
         {"Full browser binaries — Chromium, Firefox, WebKit — that Playwright downloads for browser "
          "testing.",
          "Re-downloaded automatically the next time you run browser tests."}},
        {"ms-playwright-go",
         {"Browser binaries for Playwright's Go bindings.", "Re-downloaded on next use."}},
        {"go-build",
         {"Compiled package objects the Go toolchain caches between builds.",
          "Rebuilt on your next `go build`, which will be slower once."}},
        {"homebrew",
         {"Downloaded bottles and source archives from past installs and upgrades.",
          "`brew cleanup` does this properly and knows what is still referenced.", "brew",
          "Re-downloaded if a later install needs them."}},
        {"electron",
         {"Downloaded Electron runtimes for building desktop apps.",
          "Re-downloaded when a build needs that version."}},
        {"org.swift.swiftpm",
         {"Cloned repositories and binary artifacts for Swift package dependencies, shared across all your "
          "projects.",
          "The resolved versions live in each project's Package.resolved, not here — the next build "
          "re-fetches."}},
        {"com.apple.dt.xcode",
         {"Xcode's own download cache: simulator runtimes, documentation and components.",
          "Re-downloaded from Apple if Xcode needs them again."}},
        {"cocoapods",
         {"Cached CocoaPods specs and downloaded pods.", "Re-fetched on the next `pod install`."}},
        {"yarn", {"Downloaded npm packages kept by Yarn.", "Re-downloaded on next install."}},
        {"node-gyp",
         {"Node headers used to compile native modules.", "Re-downloaded when a native module builds."}},
        {"puppeteer",
         {"A bundled Chromium download for headless browser automation.", "Re-downloaded on next use."}},
        {"deno", {"Downloaded and compiled Deno modules.", "Re-fetched on next run."}},
        {"typescript", {"Cached TypeScript compiler downloads.", "Re-downloaded on next use."}},
        {"adobe",
         {"Cached installers and update payloads from Adobe applications.",
          "Adobe re-downloads what it needs."}},
        {"creativecloud",
         {"Logs and cached payloads from Adobe Creative Cloud.", "Recreated by the Creative Cloud app."}},
    };
    return table;
}

std::string lowercasedASCII(std::string text) {
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The text after the last "/", empty when the path ends in "/" (which then matches no row).
std::string lastPieceAfterSlash(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return path.substr(slash + 1);
}

// Something inside the user's cache folder or a Flatpak app's, but not inside a folder of
// it that only looks like a cache (Bluetooth transfers) nor inside a developer tool's.
bool insideLinuxCache(const std::string &path) {
    const std::string cache = LinuxPlaces::cacheHome();
    if (path != cache && isPathInside(path, cache)) {
        for (const auto &name : LinuxPlaces::keptCacheNames())
            if (isPathInside(path, cache + "/" + name)) return false;
        // A developer tool's cache is told by its own note.
        for (const auto &folder : LinuxPlaces::developerFolders())
            if (path != folder.path && isPathInside(path, folder.path)) return false;
        return true;
    }
    const std::string apps = LinuxPlaces::flatpakApps();
    if (path == apps || !isPathInside(path, apps)) return false;
    const auto pieces = pathPieces(std::string_view(path).substr(apps.size()));
    return pieces.size() > 2 && pieces[1] == "cache";
}

std::optional<std::pair<std::string, PathNote>> nearestExplainedAncestor(const std::string &path) {
    const std::string home = homeDirectory();
    std::string current = deletingLastPathComponent(path);
    for (int step = 0; step < 4; ++step) {
        if (current.size() < 2)
            return std::nullopt;
        if (current == home)
            return std::nullopt;
        if (auto note = PathKnowledge::note(current))
            return std::make_pair(current, *note);
        current = deletingLastPathComponent(current);
    }
    return std::nullopt;
}

} // namespace

Explanation explain(const std::string &path, const std::optional<std::string> &fallback) {
    if (auto note = PathKnowledge::note(path)) {
        return {note->what, fallback ? fallback : note->guidance};
    }
    // Only a path with a "/" before its last piece can match a row.
    if (path.find('/') != std::string::npos) {
        const auto &table = knownCaches();
        if (auto it = table.find(lowercasedASCII(lastPieceAfterSlash(path))); it != table.end()) {
            return {it->second.what, fallback ? *fallback : it->second.costHere()};
        }
    }
    if (path.find("/Library/Caches/") != std::string::npos || insideLinuxCache(path)) {
        return {"Cached data written by " + lastPathComponent(path) +
                    ". Caches hold things an app can recreate — downloads, thumbnails, computed results.",
                fallback ? *fallback : std::string("Rebuilt the next time that app needs it.")};
    }
    if (auto ancestor = nearestExplainedAncestor(path)) {
        return {"One of the items in " + lastPathComponent(ancestor->first) + ". " + ancestor->second.what,
                fallback ? fallback : ancestor->second.guidance};
    }
    return {fallback ? *fallback : std::string("No description available for this location."), std::nullopt};
}

} // namespace sorvel::TargetExplainer
