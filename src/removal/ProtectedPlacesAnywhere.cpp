// What any mount shows, wherever its point is: a bind's folder, a FUSE or stacked mount's
// source, an overlay's layers and work folder, a disk image a loop device reads, and what
// those lie on in turn. Moving one would take what the mount shows along with it.
#include <algorithm>
#include <set>
#include <string_view>

#include "platform/LinkedPlace.h"
#include "platform/MountSources.h"
#include "platform/OverlayLayers.h"
#include "platform/Path.h"
#include "platform/UserDirs.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel {
namespace {

// Chains longer than this are a loop the table's text makes.
constexpr int kDeepestShown = 16;

std::string fuseName(const MountEntry& mount) {
    std::string_view type = mount.fsType;
    if (type.starts_with("fuse.")) type.remove_prefix(5);
    if (type == "fuse" || type.empty()) return "a FUSE mount";
    if (type == "ecryptfs") return "an ecryptfs mount";
    return "a " + std::string(type) + " mount";
}

std::optional<std::string> optionValue(const std::vector<std::string>& options, std::string_view key) {
    for (const auto& option : options)
        if (option.size() > key.size() && option.starts_with(key) && option[key.size()] == '=')
            return option.substr(key.size() + 1);
    return std::nullopt;
}

// "/a/b/c" -> "/a/b", "/a", "/".
std::vector<std::string> above(const std::string& path) {
    std::vector<std::string> out;
    for (std::string at = path; at.size() > 1;) {
        at = deletingLastPathComponent(at);
        out.push_back(at);
    }
    return out;
}

bool existing(const std::string& path) { return fileIdentity(path, true).has_value(); }

} // namespace

// A folder or file a mount shows, as it is named in this process's view.
struct ProtectedPlaces::ShownItem {
    std::string path;
    Shown shown;
    int depth = 0;
};

void ProtectedPlaces::protectShown(const ShownItem& item, std::vector<ShownItem>& next) {
    const std::vector<MountEntry>& mounts = *mounts_;
    const std::string real = resolvingExistingPart(item.path);
    // The home's own tree is guarded by its own rules: a mount showing a folder around it (a
    // system folder bound elsewhere, a live system's upper layer) leaves nothing in it movable.
    if (!home_.empty() && isPathInside(home_, real)) return;
    const auto found = placesOnDisk(mounts, real);
    if (found && holdsHome(found->places)) return;
    if (const auto id = fileIdentity(real, true)) {
        shownIds_.emplace(*id, item.shown);
        for (const auto& folder : above(real))
            if (const auto up = fileIdentity(folder, true)) shownAbove_.emplace(*up, item.shown);
    }
    if (!found) return;
    std::vector<FileSystemPlace> kept;
    for (const auto& place : found->places)
        if (isUnderstoodFileSystem(place.fsType)) kept.push_back(place);
    if (!kept.empty()) shownPlaces_.emplace_back(item.shown, kept);
    if (item.depth + 1 >= kDeepestShown) return;
    // What it lies on in turn: the folders FUSE mounts beneath show, and the disk images
    // the file systems beneath read.
    for (const auto& folder : found->shownFolders) next.push_back({folder, item.shown, item.depth + 1});
    std::set<uint64_t> devices;
    for (const auto& place : found->places) devices.insert(place.device);
    for (const auto& mount : mounts) {
        if (!devices.erase(mount.device)) continue;
        for (const auto& image : loopImagesOf(mount)) {
            if (image.identity) shownIds_.emplace(*image.identity, item.shown);
            if (image.nameConfirmed()) next.push_back({*image.name, item.shown, item.depth + 1});
        }
    }
}

bool ProtectedPlaces::holdsHome(const std::vector<FileSystemPlace>& places) const {
    return std::any_of(places.begin(), places.end(), [&](const FileSystemPlace& place) {
        return std::any_of(homePlaces_.begin(), homePlaces_.end(), [&](const FileSystemPlace& home) {
            return home.device == place.device && isPathInside(home.path, place.path);
        });
    });
}

bool ProtectedPlaces::showsUsersData(const MountEntry& mount, bool atRuleFolder) const {
    const std::vector<MountEntry>& mounts = *mounts_;
    std::vector<FileSystemPlace> shown;
    if (mount.root != "/" && isUnderstoodFileSystem(mount.fsType)) shown.push_back({mount.device, mount.root, mount.fsType});
    std::vector<std::string> folders;
    if (showsAnotherFolder(mount.fsType)) {
        if (const auto check = confirmedSourceInTime(mount); check && check->folder) folders.push_back(*check->folder);
    } else if (mount.fsType == "overlay") {
        if (const auto checks = confirmedLayersInTime(mount))
            for (const auto& check : *checks)
                if (check.folder) folders.push_back(*check.folder);
    }
    for (const auto& folder : folders)
        if (const auto found = fileSystemPlaces(mounts, resolvingExistingPart(folder)))
            shown.insert(shown.end(), found->places.begin(), found->places.end());
    for (const auto& place : shown) {
        // Inside the home (the documents, say); the home itself, or a folder holding it, is
        // left to the home's own protection. At a rule's folder, a place elsewhere in the home
        // is one of its own as where a link there leads is (`placeBehindLink`).
        for (const auto& home : homePlaces_)
            if (!atRuleFolder && home.device == place.device && isPathInside(place.path, home.path) &&
                place.path != home.path)
                return true;
        for (const auto& located : located_) {
            if (located.isHome) continue;
            for (const auto& theirs : located.places) {
                if (theirs.device != place.device) continue;
                if (isPathInside(place.path, theirs.path)) return true;
                // A Trash in what it shows is that disk's own (made there by a move or a file
                // manager), not the user's data shown under another name.
                if (isPathInside(theirs.path, place.path) && !located.isTrash) return true;
            }
        }
        for (const auto& folder : userPlaces_)
            if (folder.device == place.device &&
                (isPathInside(place.path, folder.path) || isPathInside(folder.path, place.path)))
                return true;
    }
    return false;
}

void ProtectedPlaces::locateShownAnywhere(const std::vector<std::string>& allowedRoots) {
    const std::vector<MountEntry>& mounts = *mounts_;
    if (!home_.empty())
        if (const auto found = fileSystemPlaces(mounts, home_)) homePlaces_ = found->places;
    for (const auto& folder : UserDirs::userFolders())
        if (const auto real = resolvedPath(folder))
            if (const auto found = fileSystemPlaces(mounts, *real))
                userPlaces_.insert(userPlaces_.end(), found->places.begin(), found->places.end());
    std::vector<std::string> roots, ruleRoots;
    for (const auto& root : allowedRoots)
        if (!root.empty() && root[0] == '/') {
            roots.push_back(resolvingExistingPart(standardizePath(root)));
            if (isRuleFolder(root)) ruleRoots.push_back(roots.back());
        }
    std::vector<ShownItem> work;
    auto fence = [&](const MountEntry& mount, const std::string& given, bool layer, bool unanswered) {
        Fence f{mount.mountPoint, false, mount.device, mount.mountPoint, mount.fsType, std::nullopt, {},
                false, false, false, given, layer, unanswered, false};
        f.anywhere = true;
        fences_.push_back(std::move(f));
    };
    // A text naming something that is there now is protected as named; one naming nothing
    // may be any folder (renamed since), and fences.
    auto byText = [&](const MountEntry& mount, const std::string& given, const Shown& shown, bool layer) {
        if (given.empty() || given[0] != '/' || !existing(given)) {
            fence(mount, given, layer, false);
            return;
        }
        work.push_back({given, shown, 0});
    };
    for (const auto& mount : mounts) {
        // A mount at or inside an allowed folder that shows the home or a folder holding it
        // (the root file system bound at ~/.cache): nothing behind it is that folder's own.
        if (std::any_of(roots.begin(), roots.end(), [&](const std::string& r) { return isPathInside(mount.mountPoint, r); }) &&
            isUnderstoodFileSystem(mount.fsType) &&
            holdsHome(std::vector<FileSystemPlace>{{mount.device, mount.root, mount.fsType}})) {
            behind_.push_back({mount.mountPoint, mount.id, mount.root == "/" ? "a mount" : "a bind mount"});
            continue;
        }
        // A mount at an allowed folder or around one (the cache folder kept on another disk, a
        // bind of the home) is where that folder's own files lie, not another name for them,
        // while what it shows is none of the user's own data.
        const bool atRuleFolder = std::find(ruleRoots.begin(), ruleRoots.end(), mount.mountPoint) != ruleRoots.end();
        if (std::any_of(roots.begin(), roots.end(), [&](const std::string& r) { return isPathInside(r, mount.mountPoint); }) &&
            !showsUsersData(mount, atRuleFolder))
            continue;
        // A disk image, by the identity its loop device holds, whatever its name now.
        for (const auto& image : loopImagesOf(mount)) {
            const Shown shown{mount.mountPoint, mount.id, "a disk image"};
            if (image.identity) shownIds_.emplace(*image.identity, shown);
            if (image.nameConfirmed()) work.push_back({*image.name, shown, 0});
        }
        if (showsAnotherFolder(mount.fsType)) {
            // A name (the desktop's portal, a network share) shows no local folder to follow.
            if (mount.source.empty() || mount.source[0] != '/' || namesNothingLocal(mount)) continue;
            const Shown shown{mount.mountPoint, mount.id, fuseName(mount)};
            const auto check = confirmedSourceInTime(mount);
            if (!check) {
                fence(mount, mount.source, false, true);
                continue;
            }
            settling_ = settling_ || check->settling;
            if (check->folder) work.push_back({*check->folder, shown, 0});
            else
                for (const auto& source : namedSources(mount.source)) byText(mount, source, shown, false);
        } else if (mount.fsType == "overlay") {
            const auto layers = overlayLayers(mount.superOptions);
            const auto checks = confirmedLayersInTime(mount);
            if (!checks) {
                fence(mount, layers.empty() ? mount.source : layers.front(), true, true);
                continue;
            }
            for (size_t i = 0; i < checks->size(); ++i) {
                const auto& check = (*checks)[i];
                const bool upper = i == 0 && optionValue(mount.superOptions, "upperdir").has_value();
                const Shown shown{mount.mountPoint, mount.id, upper ? "an overlay's upper layer" : "an overlay's lower layer"};
                settling_ = settling_ || check.settling;
                if (check.folder) work.push_back({*check.folder, shown, 0});
                // The root overlay's layers that lead nowhere here lie out of this process's reach.
                else if (mount.mountPoint != "/" || (!check.layer.empty() && existing(check.layer)))
                    byText(mount, check.layer, shown, true);
            }
            if (const auto work_ = optionValue(mount.superOptions, "workdir"); work_ && existing(*work_))
                work.push_back({*work_, Shown{mount.mountPoint, mount.id, "an overlay's work folder"}, 0});
        } else if (mount.root != "/" && isUnderstoodFileSystem(mount.fsType) && !mount.root.ends_with("//deleted") &&
                   optionValue(mount.superOptions, "subvol") != mount.root) {
            // A bind shows a folder of its file system (a whole subvolume is one of its own): by
            // its place there, and by identity through the mount where it is what its point shows.
            const Shown shown{mount.mountPoint, mount.id, "a bind mount"};
            const std::vector<FileSystemPlace> place{{mount.device, mount.root, mount.fsType}};
            if (holdsHome(place)) continue;
            shownPlaces_.emplace_back(shown, place);
            const auto at = mountContaining(mounts, mount.mountPoint);
            const auto id = at && at->id == mount.id ? fileIdentity(mount.mountPoint, true) : std::nullopt;
            if (id) shownIds_.emplace(*id, shown);
            // Where else this process reaches that folder: through another mount of the file system.
            for (const auto& other : mounts) {
                if (other.id == mount.id || other.device != mount.device || !isPathInside(mount.root, other.root)) continue;
                const std::string rest = other.root == "/" ? mount.root : mount.root.substr(other.root.size());
                const std::string path = rest.empty() ? other.mountPoint : other.mountPoint == "/" ? rest : other.mountPoint + rest;
                if (id && fileIdentity(path, true) == id) {
                    work.push_back({path, shown, 0});
                    break;
                }
            }
        }
    }
    std::set<std::pair<std::string, int64_t>> seen;
    while (!work.empty()) {
        std::vector<ShownItem> next;
        for (const auto& item : work)
            if (seen.emplace(item.path, item.shown.mountId).second) protectShown(item, next);
        work = std::move(next);
    }
}

std::optional<ProtectedPlaces::ShownConflict> ProtectedPlaces::shownConflict(const std::string& path) const {
    if (path.empty() || path[0] != '/') return std::nullopt;
    for (const auto& shown : behind_)
        if (isPathInside(path, shown.mountPoint))
            return ShownConflict{shown, path == shown.mountPoint ? Relation::is : Relation::inside};
    if (shownIds_.empty() && shownPlaces_.empty()) return std::nullopt;
    const auto self = fileIdentity(path, false);
    if (self)
        if (const auto it = shownIds_.find(*self); it != shownIds_.end()) return ShownConflict{it->second, Relation::is};
    for (const auto& folder : above(path))
        if (const auto id = fileIdentity(folder, true))
            if (const auto it = shownIds_.find(*id); it != shownIds_.end())
                return ShownConflict{it->second, Relation::inside};
    if (self)
        if (const auto it = shownAbove_.find(*self); it != shownAbove_.end()) return ShownConflict{it->second, Relation::holds};
    if (!mounts_) return std::nullopt;
    const auto found = fileSystemPlaces(*mounts_, path);
    if (!found) return std::nullopt;
    for (const auto& [shown, places] : shownPlaces_)
        for (const auto& mine : found->places)
            for (const auto& theirs : places) {
                if (mine.device != theirs.device) continue;
                if (isPathInside(mine.path, theirs.path))
                    return ShownConflict{shown, mine.path == theirs.path ? Relation::is : Relation::inside};
                if (isPathInside(theirs.path, mine.path)) return ShownConflict{shown, Relation::holds};
            }
    return std::nullopt;
}

} // namespace sorvel
