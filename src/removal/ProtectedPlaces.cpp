#include "removal/ProtectedPlaces.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/MountSources.h"
#include "platform/OverlayLayers.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "platform/TrashFolders.h"
#include "platform/UserDefaults.h"
#include "platform/UserDirs.h"

namespace sorvel {
namespace {

std::optional<std::string> realPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    return resolvedPath(path);
}

// Which mounts a table lists at each point, and on which each sits.
class MountLineage {
public:
    explicit MountLineage(const std::vector<MountEntry>& mounts) {
        for (const auto& mount : mounts) {
            atPoint_[mount.mountPoint].push_back(mount.id);
            if (mount.id >= 0) parentOf_.emplace(mount.id, mount.parentId);
        }
    }

    /// Whether the folder at a listed point may show something other than the one mount
    /// there: another mount stacked at it, or one at a folder above it that the chain of
    /// mounts it sits on does not pass through (a cover made after it).
    bool mayBeHidden(const std::string& point) const {
        const auto here = atPoint_.find(point);
        if (here == atPoint_.end() || here->second.size() != 1 || here->second.front() < 0) return true;
        std::unordered_set<int64_t> chain;
        for (int64_t id = here->second.front(); id >= 0 && chain.insert(id).second;) {
            const auto parent = parentOf_.find(id);
            id = parent == parentOf_.end() ? -1 : parent->second;
        }
        for (std::string above = point; above != "/" && !above.empty();) {
            above = deletingLastPathComponent(above);
            if (const auto there = atPoint_.find(above); there != atPoint_.end())
                for (const int64_t id : there->second)
                    if (!chain.count(id)) return true;
        }
        return false;
    }

private:
    std::unordered_map<std::string, std::vector<int64_t>> atPoint_;
    std::unordered_map<int64_t, int64_t> parentOf_;
};

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

// The local paths a FUSE mount's source names: itself, or each part of a list joined by
// ":" where every part is a full path. None for a remote or made-up name ("host:/x").
std::vector<std::string> namedSources(const std::string& source) {
    if (source.empty() || source[0] != '/') return {};
    if (isFolder(source) || source.find(':') == std::string::npos) return {standardizePath(source)};
    std::vector<std::string> parts;
    for (size_t start = 0; start <= source.size();) {
        const size_t end = std::min(source.find(':', start), source.size());
        const std::string part = source.substr(start, end - start);
        if (part.empty() || part[0] != '/') return {standardizePath(source)};
        parts.push_back(standardizePath(part));
        start = end + 1;
    }
    return parts;
}

namespace {

// "/a/b/c" -> "/a/b", "/a", "/".
std::vector<std::string> ancestors(const std::string& path) {
    std::vector<std::string> out;
    std::string current = path;
    while (current.size() > 1) {
        const size_t slash = current.find_last_of('/');
        current = slash == 0 ? std::string("/") : current.substr(0, slash);
        out.push_back(current);
    }
    return out;
}

} // namespace

ProtectedPlaces ProtectedPlaces::of(const CleanupPolicy& policy, const std::string& home,
                                    const std::vector<std::string>& trashes) {
    ProtectedPlaces places;
    places.home_ = resolvingExistingPart(standardizePath(home));
    auto add = [&](const std::string& name, bool isHome, bool isTrash) {
        const auto real = realPath(name);
        if (!real) return;
        const auto self = fileIdentity(*real, true);
        if (!self) return;
        if (!isHome) places.denied_.emplace(*self, Place{name, false, true, isTrash});
        // The first place listed names a shared ancestor: the home before the policy's.
        places.held_.emplace(*self, Place{name, isHome, true, isTrash});
        for (const auto& above : ancestors(*real))
            if (auto id = fileIdentity(above, true)) places.held_.emplace(*id, Place{name, isHome, false, isTrash});
    };
    add(home, true, false);
    for (const auto& prefix : policy.deniedPrefixes) add(prefix, false, false);
    for (const auto& trash : trashes) add(trash, false, true);
    return places;
}

std::optional<ProtectedPlaces::Conflict> ProtectedPlaces::conflict(const std::string& resolvedPath) const {
    if (resolvedPath.empty() || resolvedPath[0] != '/') return std::nullopt;
    const auto self = fileIdentity(resolvedPath, false);
    if (self) {
        if (auto it = denied_.find(*self); it != denied_.end())
            return Conflict{Conflict::Kind::isOrInside, it->second.name, false, true, it->second.isTrash, {}};
    }
    for (const auto& above : ancestors(resolvedPath)) {
        const auto id = fileIdentity(above, true);
        if (!id) continue;
        if (auto it = denied_.find(*id); it != denied_.end())
            return Conflict{Conflict::Kind::isOrInside, it->second.name, false, false, it->second.isTrash, {}};
    }
    if (self) {
        if (auto it = held_.find(*self); it != held_.end())
            return Conflict{Conflict::Kind::holds, it->second.name, it->second.isHome, it->second.samePlace,
                            it->second.isTrash, {}};
    }
    return std::nullopt;
}

ProtectedPlaces ProtectedPlaces::of(const CleanupPolicy& policy, const std::string& home,
                                    const std::optional<std::vector<MountEntry>>& mounts) {
    const auto trashes = Trash::folderPlaces(mounts ? *mounts : std::vector<MountEntry>{});
    std::vector<std::string> existing;
    std::vector<const Trash::FolderPlace*> absent;
    std::unordered_map<std::string, bool> present;
    const auto isThere = [&](const std::string& path) {
        const auto [it, added] = present.try_emplace(path, false);
        if (added) it->second = isFolder(path);
        return it->second;
    };
    for (const auto& trash : trashes) {
        // Nothing is inside a shared ".Trash" that is not there.
        const std::string parent = deletingLastPathComponent(trash.path);
        const bool there =
            (trash.top.empty() || lastPathComponent(parent) != ".Trash" || isThere(parent)) && isThere(trash.path);
        if (!there) {
            absent.push_back(&trash);
            continue;
        }
        existing.push_back(trash.path);
    }
    ProtectedPlaces places = of(policy, home, existing);
    places.mounts_ = mounts;
    if (!mounts) return places;
    // Folders FUSE or ecryptfs mounts show, each protected as the first place found on it.
    struct Shown {
        std::string folder, by;
        bool isTrash = false;
    };
    std::vector<Shown> shown;
    std::unordered_map<std::string, std::string> resolvedNames;
    auto locate = [&](const std::string& name, bool isHome, bool isTrash) {
        if (name.empty() || name[0] != '/') return;
        // A place that does not exist yet still lies somewhere: below its nearest folder that does.
        const std::string resolved = resolvingExistingPart(standardizePath(name));
        resolvedNames.emplace(name, resolved);
        auto found = placesOnDisk(*mounts, resolved);
        if (!found || found->places.empty()) {
            places.fences_.push_back({name, isHome, std::nullopt, {}, {}, std::nullopt, {}, false, false, false, {}, false, false, false});
            return;
        }
        for (const auto& place : found->places) places.trusted_.insert(place.device);
        const FileSystemPlace& top = found->places.front();
        if (found->doubt || found->hiddenBeneath) {
            const auto mount = mountContaining(*mounts, resolved);
            places.fences_.push_back({name, isHome, top.device, mount ? mount->mountPoint : resolved, top.fsType,
                                      found->doubt, found->hiddenBeneath.value_or(""), false, false, false, {}, false, false,
                                      false});
        }
        places.located_.push_back({name, isHome, isTrash, std::move(found->places)});
        for (const auto& folder : found->shownFolders) shown.push_back({folder, name, isTrash});
    };
    locate(home, true, false);
    for (const auto& prefix : policy.deniedPrefixes) locate(prefix, false, false);
    for (const auto& trash : existing) locate(trash, false, true);
    // A trash the path does not show may lie beneath a mount hiding it. A volume's trash
    // the volume itself shows is simply not there (a mount at its ".Trash" would make that
    // a folder).
    const MountLineage lineage(*mounts);
    for (const Trash::FolderPlace* trash : absent)
        if (trash->top.empty() || lineage.mayBeHidden(trash->top)) places.locateHiddenTrash(trash->path);
    places.locateShownByMounts(policy, home, trashes, resolvedNames);
    places.locateShownAnywhere(policy.allowedRoots);
    // Names below such a folder may be the mount's own (encrypted): the whole folder is the
    // place, after every place found by its own name.
    std::vector<Located> behind;
    std::set<std::string> seen;
    for (const auto& [folder, by, isTrash] : shown) {
        if (!seen.insert(folder).second) continue;
        const auto found = placesOnDisk(*mounts, folder);
        if (!found) continue;
        for (const auto& place : found->places) places.trusted_.insert(place.device);
        behind.push_back({by, false, isTrash, found->places, true});
    }
    for (auto& entry : behind) places.located_.push_back(std::move(entry));
    return places;
}

void ProtectedPlaces::locateHiddenTrash(const std::string& path) {
    const std::string resolved = resolvingExistingPart(path);
    // What the path shows now (through an overlay's layers too) is not a trash; what a mount
    // hides may be. Found or not, it fences nothing: where no trash is, nothing of the
    // user's can be lost.
    const auto found = placesOnDisk(*mounts_, resolved);
    if (!found || found->places.empty()) return;
    const auto shownNow = fileSystemPlaces(*mounts_, resolved);
    std::vector<FileSystemPlace> beneath;
    for (const auto& place : found->places)
        if (shownNow ? std::find(shownNow->places.begin(), shownNow->places.end(), place) == shownNow->places.end()
                     : place != found->places.front())
            beneath.push_back(place);
    if (!beneath.empty()) located_.push_back({path, false, true, std::move(beneath)});
}

std::optional<ProtectedPlaces::Conflict> ProtectedPlaces::placeConflict(const std::string& path) const {
    const Conflict unknown{Conflict::Kind::unknown, {}, false, false, false, {}};
    if (!mounts_ || path.empty() || path[0] != '/') return unknown;
    const auto found = fileSystemPlaces(*mounts_, path);
    if (!found) return unknown;
    for (const auto& place : found->places)
        if (!isUnderstoodFileSystem(place.fsType) && !trusted_.count(place.device))
            return Conflict{Conflict::Kind::unknown, place.fsType, false, false, false, {}};
    for (const auto& located : located_) {
        if (located.isHome || located.behind) continue;
        for (const auto& own : found->places)
            for (const auto& guarded : located.places)
                if (own.device == guarded.device && isPathInside(own.path, guarded.path))
                    return Conflict{Conflict::Kind::isOrInside, located.name, false, own.path == guarded.path,
                                    located.isTrash, {}};
    }
    for (const auto& located : located_)
        for (const auto& own : found->places)
            for (const auto& guarded : located.places)
                if (own.device == guarded.device && isPathInside(guarded.path, own.path))
                    return Conflict{Conflict::Kind::holds, located.name, located.isHome, own.path == guarded.path,
                                    located.isTrash, {}};
    // Last the folders FUSE or ecryptfs mounts show: anything in one may be a place under
    // the mount's own name for it.
    for (const auto& located : located_) {
        if (!located.behind) continue;
        for (const auto& own : found->places)
            for (const auto& guarded : located.places)
                if (own.device == guarded.device && isPathInside(own.path, guarded.path))
                    return Conflict{Conflict::Kind::isOrInside, located.name, false, own.path == guarded.path,
                                    located.isTrash, {}};
    }
    // Places found through a layer in doubt may not be where the overlay writes. The
    // overlay the home lies on is left to its own places: the protected ones are found
    // through it alike.
    if (const auto& doubt = found->doubt) {
        const bool holdsHome = doubt->kind == LayerDoubt::Kind::unconfirmed && !home_.empty() &&
                               isPathInside(home_, doubt->mountPoint);
        if (!holdsHome) return Conflict{Conflict::Kind::unknown, "overlay", false, false, false, doubt};
    }
    return std::nullopt;
}

std::optional<ProtectedPlaces::Fence> ProtectedPlaces::fenceFor(const std::string& path) const {
    if (fences_.empty()) return std::nullopt;
    const auto found = mounts_ ? fileSystemPlaces(*mounts_, path) : std::nullopt;
    for (const auto& fence : fences_)
        if (!fence.device || !found || found->places.empty() || found->places.front().device != *fence.device)
            return fence;
    return std::nullopt;
}

std::optional<ProtectedPlaces::HeldImage> ProtectedPlaces::unnamedImageIn(const std::string& path) const {
    if (unnamed_.empty()) return std::nullopt;
    struct stat st;
    if (path.empty() || path[0] != '/' || ::lstat(path.c_str(), &st) != 0) return std::nullopt;
    for (const auto& image : unnamed_) {
        if (static_cast<uint64_t>(st.st_dev) != image.identity.device) continue;
        switch (holdsFile(path, image.identity)) {
        case Holding::none: continue;
        case Holding::holds: return HeldImage{image.mountPoint, image.isTrash, true};
        case Holding::unknown: return HeldImage{image.mountPoint, image.isTrash, false};
        }
    }
    return std::nullopt;
}

std::string ProtectedPlaces::Fence::clause(const std::function<std::string(const std::string&)>& show) const {
    const std::string who = isHome ? "your home folder" : "a protected location (" + show(name) + ")";
    const std::string unknown = ": where your protected locations lie on disk could not be worked out";
    if (anywhere) {
        const std::string at = "outside the " + validUTF8(fsType) + " file system mounted at " + show(mountPoint);
        const std::string then = ", so any folder may be what that mount shows";
        if (unanswered) return at + ", which did not answer within a few seconds" + then;
        return at + (layer ? ", whose layer given as " : ", whose source given as ") + show(source) +
               " names nothing now" + then;
    }
    if (mountInPlace) {
        const std::string in = std::string(beneath ? " beneath " : " in ") +
                               (isTrash ? "a Trash folder (" : "a protected location (") + show(name) + ")";
        if (unanswered)
            return "outside the " + validUTF8(fsType) + " file system mounted at " + show(mountPoint) + in +
                   ", which did not answer within a few seconds (the program serving it may be paused, or its "
                   "server gone)" + unknown;
        if (image)
            return "outside the file system mounted at " + show(mountPoint) + in +
                   ", whose disk image Sorvel cannot confirm" + unknown;
        if (layer)
            return "outside the overlay mounted at " + show(mountPoint) + in +
                   ", which shows a layer Sorvel cannot confirm (given as " + show(source) + ")" + unknown;
        return "outside the " + validUTF8(fsType) + " file system mounted at " + show(mountPoint) + in +
               ", which shows another folder's contents from a source Sorvel cannot confirm (given as " +
               show(source) + ")" + unknown;
    }
    if (!device) return "possibly a protected location under another name: where " + who + " lies on disk could not "
                        "be worked out";
    if (doubt && doubt->kind == LayerDoubt::Kind::shown)
        return "outside the " + validUTF8(doubt->fsType) + " file system " + who + " is on (mounted at " +
               show(doubt->mountPoint) + "), which shows another folder's contents" + unknown;
    if (doubt && fsType == "overlay")
        return "outside the overlay " + who + " is on (mounted at " + show(mountPoint) +
               "), whose layers Sorvel cannot confirm" + unknown;
    if (doubt)
        return "outside the file system " + who + " is on (mounted at " + show(mountPoint) +
               "), over an overlay whose layers Sorvel cannot confirm" + unknown;
    return "outside the file system " + who + " is on, whose mount at " + show(hidden) +
           " covers a folder on a file system Sorvel cannot find" + unknown;
}

} // namespace sorvel
