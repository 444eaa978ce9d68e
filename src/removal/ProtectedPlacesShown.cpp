// What the mounts in places of the user's data show, followed to where it lies on disk: an
// overlay's layers, a FUSE or stacked mount's source, a disk image, and then the mounts those
// lie on, step by step, until a file system with nothing beneath it.
#include <algorithm>
#include <set>
#include <utility>

#include "platform/MountSources.h"
#include "platform/OverlayLayers.h"
#include "platform/Path.h"
#include "platform/UserDefaults.h"
#include "platform/UserDirs.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel {
namespace {

// Chains of mounts longer than this are a loop the table's text makes (or a crafted pile).
constexpr int kDeepestChain = 16;
constexpr size_t kMostSteps = 512;

// "/r" + "/a" -> "/r/a"; "/r" + "" -> "/r".
std::string joined(const std::string& base, const std::string& rest) {
    if (rest.empty() || rest == "/") return base;
    return base == "/" ? rest : base + rest;
}

// Whether no file system the table lists holds the image: out of this process's reach, no
// path here can take it.
bool outOfReach(const LoopImage& image, const std::vector<MountEntry>& mounts) {
    return image.identity && std::none_of(mounts.begin(), mounts.end(), [&](const MountEntry& m) {
               return m.device == image.identity->device;
           });
}

} // namespace

// One mount to follow: `at`, a path on it (its point, or a folder or file a mount above
// showed), is protected for the place named `name` in the place of the user's data `in`.
struct ProtectedPlaces::Step {
    MountEntry mount;
    std::string at;
    std::string name;
    std::string in;
    bool isTrash = false;
    int depth = 0;
};

void ProtectedPlaces::locateShownByMounts(const CleanupPolicy& policy, const std::string& home,
                                          const std::vector<Trash::FolderPlace>& trashes,
                                          const std::unordered_map<std::string, std::string>& resolved) {
    const std::vector<MountEntry>& mounts = *mounts_;
    // The places holding the user's own data, by every name: the denied ones in the home,
    // the settings folder, the desktop's pictures folder, and the trashes. The system's
    // folders are not: the disks mounted in them are not the user's to keep whole.
    std::unordered_map<std::string, bool> data; // the name -> is a trash
    const std::string settings = deletingLastPathComponent(UserDefaults::standardFilePath());
    const auto pictures = UserDirs::pictures().folder;
    std::vector<std::string> homeForms;
    for (const auto& form : {standardizePath(home), home_})
        if (form.size() > 1 && form[0] == '/') homeForms.push_back(form);
    const auto bothForms = [&](const std::string& name) {
        const std::string written = standardizePath(name);
        const auto known = resolved.find(name);
        return std::pair{written, known != resolved.end() ? known->second : resolvingExistingPart(written)};
    };
    for (const auto& prefix : policy.deniedPrefixes) {
        if (prefix.empty() || prefix[0] != '/') continue;
        const auto [name, real] = bothForms(prefix);
        const bool inHome = std::any_of(homeForms.begin(), homeForms.end(), [&](const std::string& h) {
            return isPathInside(name, h) || isPathInside(real, h);
        });
        if (!inHome && name != settings && (!pictures || name != *pictures)) continue;
        data.emplace(name, false);
        data.emplace(real, false);
    }
    // A volume's trashes are named from its listed point, already as the table has it.
    for (const auto& trash : trashes) {
        data.emplace(trash.path, true);
        if (trash.top.empty()) data.emplace(bothForms(trash.path).second, true);
    }
    std::vector<Step> work;
    for (const auto& mount : mounts) {
        // The nearest place holding the user's data at or above the mount's point.
        for (std::string at = mount.mountPoint;; at = deletingLastPathComponent(at)) {
            if (const auto it = data.find(at); it != data.end()) {
                work.push_back({mount, mount.mountPoint, mount.mountPoint, at, it->second, 0});
                break;
            }
            if (at == "/" || at.empty()) break;
        }
    }
    // Each mount is followed once for each path on it: a chain that leads back is cut there.
    std::set<std::pair<int64_t, std::string>> seen;
    for (const auto& step : work) seen.emplace(step.mount.id, step.at);
    size_t steps = 0;
    while (!work.empty()) {
        std::vector<Step> next;
        for (const auto& step : work) {
            if (++steps > kMostSteps) {
                fences_.push_back({step.in, false, step.mount.device, step.mount.mountPoint, step.mount.fsType,
                                   std::nullopt, {}, true, step.isTrash, false, step.mount.source, false, false, true});
                return;
            }
            follow(step, next);
        }
        work.clear();
        for (auto& step : next)
            if (seen.emplace(step.mount.id, step.at).second) work.push_back(std::move(step));
    }
}

void ProtectedPlaces::follow(const Step& step, std::vector<Step>& next) {
    const std::vector<MountEntry>& mounts = *mounts_;
    const MountEntry& mount = step.mount;
    const bool first = step.depth == 0;
    // The path below the mount's point ("" at the point itself).
    const std::string rest = step.at == mount.mountPoint ? std::string()
                             : mount.mountPoint == "/"    ? step.at
                                                          : step.at.substr(mount.mountPoint.size());
    const Place place{step.name, false, true, step.isTrash};
    // What the mount itself shows at its point; a step beneath has its places from the path
    // that led to it.
    std::optional<PathPlaces> shows;
    if (first) {
        // An overlay's layers that do not resolve leave nothing shown by text: what it shows is
        // still worked out from what is confirmed below.
        shows = mountShows(mounts, mount);
        if (!shows) {
            if (mount.fsType != "overlay") return;
            shows.emplace();
        }
    } else {
        shows.emplace();
    }
    // What a FUSE or stacked mount shows comes from its source, and an overlay's from its
    // layers, known only by text: trusted once confirmed by what the mount shows. A loop
    // device's image is known by the identity the device holds, and by its name where that
    // leads to it. A mount another process serves is given a few seconds to answer.
    std::vector<std::string> sources;
    bool sourceUnconfirmed = false, imageUnconfirmed = false, unanswered = false;
    std::optional<std::string> layerUnconfirmed;
    if (showsAnotherFolder(mount.fsType)) {
        if (const auto check = confirmedSourceInTime(mount)) {
            settling_ = settling_ || check->settling;
            if (check->folder) sources.push_back(joined(*check->folder, rest));
            else sourceUnconfirmed = !namesNothingLocal(mount);
        } else {
            unanswered = true;
        }
    }
    if (mount.fsType == "overlay" && mount.mountPoint == "/" && !first) {
        // The root overlay: its layers are out of reach where they do not resolve (a
        // container's own root); those that do are followed by their text.
        for (const auto& layer : overlayLayers(mount.superOptions))
            if (const auto real = layer.empty() || layer[0] != '/' ? std::nullopt : resolvedPath(layer))
                sources.push_back(joined(joined(*real, mount.root), rest));
    } else if (mount.fsType == "overlay") {
        if (auto checks = confirmedLayersInTime(mount)) {
            for (auto& check : *checks) {
                settling_ = settling_ || check.settling;
                if (check.folder) sources.push_back(first ? *check.folder : joined(joined(*check.folder, mount.root), rest));
                else if (!layerUnconfirmed) layerUnconfirmed = std::move(check.layer);
            }
        } else {
            unanswered = true;
        }
    }
    for (const auto& image : loopImagesOf(mount)) {
        if (image.identity) denied_.emplace(*image.identity, place);
        if (image.nameConfirmed()) sources.push_back(*image.name);
        // Known by identity alone once deleted: any other name it has is looked for by identity.
        else if (image.deleted()) unnamed_.push_back({*image.identity, step.name, step.isTrash});
        else if (first || !outOfReach(image, mounts)) imageUnconfirmed = true;
    }
    if (unanswered || sourceUnconfirmed || imageUnconfirmed || layerUnconfirmed) {
        const bool layer = layerUnconfirmed && !unanswered;
        fences_.push_back({step.in, false, mount.device, mount.mountPoint, mount.fsType, std::nullopt, {}, true,
                           step.isTrash, imageUnconfirmed && !layer && !unanswered,
                           layer ? *layerUnconfirmed : mount.source, layer, unanswered, !first});
    }
    for (const auto& source : sources) {
        const std::string real = resolvingExistingPart(source);
        if (auto more = placesOnDisk(mounts, real))
            shows->places.insert(shows->places.end(), more->places.begin(), more->places.end());
        if (const auto id = fileIdentity(source, true)) denied_.emplace(*id, place);
        if (!first) followed_.push_back(source);
        // Then what it lies on, to where that lies in turn.
        const auto beneath = mountContaining(mounts, real);
        if (!beneath) continue;
        if (step.depth + 1 >= kDeepestChain) {
            fences_.push_back({step.in, false, beneath->device, beneath->mountPoint, beneath->fsType, std::nullopt, {},
                               true, step.isTrash, false, beneath->source, false, false, true});
            continue;
        }
        next.push_back({*beneath, real, step.name, step.in, step.isTrash, step.depth + 1});
    }
    // And by identity, which a rename since does not change: the folder a mount the kernel
    // fills itself shows at its point, and each local source.
    if (first) {
        const auto shownBy = showsAnotherFolder(mount.fsType) ? std::nullopt : mountContaining(mounts, mount.mountPoint);
        if (shownBy && shownBy->id == mount.id)
            if (const auto id = fileIdentity(mount.mountPoint, false)) denied_.emplace(*id, place);
    }
    // Only places named for sure: a network share or a device names none here.
    std::vector<FileSystemPlace> kept;
    for (const auto& shown : shows->places)
        if (isUnderstoodFileSystem(shown.fsType)) kept.push_back(shown);
    if (!kept.empty()) located_.push_back({step.name, false, step.isTrash, std::move(kept)});
}

} // namespace sorvel
