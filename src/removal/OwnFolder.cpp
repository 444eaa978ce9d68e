#include "removal/OwnFolder.h"

#include <cstdlib>
#include <functional>

#include "cleanup/SyncedFolders.h"
#include "engine/PathText.h"
#include "platform/DirectoryListing.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "removal/CleanupPolicy.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel::OwnFolder {
namespace {

std::string quoted(const std::string& path) { return "\u201C" + validUTF8(tildeAbbreviated(path)) + "\u201D"; }

std::string isHomeSentence(const std::string& shown) {
    return shown + " is your home folder, so Sorvel can't sweep it. Add a folder inside it instead.";
}

std::string holdsHomeSentence(const std::string& shown) {
    return shown + " holds your home folder, so Sorvel can't sweep it. Add a folder inside your home instead.";
}

std::string trashSentence(const std::string& path, const std::string& trash, bool holds, bool samePlace) {
    const std::string where = validUTF8(tildeAbbreviated(trash));
    if (holds)
        return quoted(path) + " holds a Trash folder (" + where +
               "), so Sorvel can't sweep it: the items in it would leave the Trash. Add a folder that holds none "
               "instead.";
    if (samePlace) return quoted(path) + " is a Trash folder (" + where + "), so Sorvel can't sweep it.";
    return quoted(path) + " is inside a Trash folder (" + where + "), so Sorvel can't sweep it.";
}

std::string protectedSentence(const std::string& path, const std::string& place, bool holds, bool samePlace) {
    const std::string where = validUTF8(tildeAbbreviated(place));
    if (holds)
        return quoted(path) + " holds a protected location (" + where +
               "), so Sorvel can't sweep it. Add a folder that holds none instead.";
    if (samePlace) return quoted(path) + " is a protected location (" + where + "), so Sorvel can't sweep it.";
    return quoted(path) + " is inside a protected location (" + where + "), so Sorvel can't sweep it.";
}

// The denied prefixes of the standard policy as written: being one, lying inside one or
// holding one, whether or not it exists yet.
std::optional<std::string> textRefusal(const std::string& path, const CleanupPolicy& policy) {
    for (const auto& form : writtenAndResolved(path)) {
        for (const auto& prefix : policy.deniedPrefixes)
            if (!prefix.empty() && isPathInside(form, prefix))
                return protectedSentence(path, prefix, false, form == prefix);
        for (const auto& prefix : policy.deniedPrefixes)
            if (!prefix.empty() && isPathInside(prefix, form)) return protectedSentence(path, prefix, true, false);
    }
    return std::nullopt;
}

// Anything a sweep moved out of it would be deleted on every device that syncs it. A
// folder that only holds one may be swept: the guard refuses the synced folder among its items.
std::string syncedSentence(const std::string& path, const SyncedFolders::Found& found, const std::string& real) {
    const std::string where = found.tree.folder == real ? " is synced by " + found.tree.service
                                                        : " is inside " + quoted(found.tree.folder) + ", synced by " +
                                                              found.tree.service;
    return quoted(path) + where +
           ", so Sorvel can't sweep it: what it moved would be deleted on every device the folder syncs with.";
}

std::string librarySentence(const std::string& path) {
    return quoted(path) + " is your Library folder, so Sorvel can't sweep it. Add a folder inside it instead.";
}

std::string unknownSentence(const std::string& path, const std::string& fsType) {
    if (fsType.empty())
        return quoted(path) + " may be a protected location under another name: where it lies on disk could not be "
                              "worked out, so Sorvel can't sweep it.";
    return quoted(path) + " is on a file system Sorvel cannot see through (" + validUTF8(fsType) +
           "), so it may be a protected location under another name, and Sorvel can't sweep it.";
}

std::string doubtSentence(const std::string& path, const LayerDoubt& doubt) {
    const std::string layer = "\u201C" + validUTF8(tildeAbbreviated(doubt.layer)) + "\u201D";
    switch (doubt.kind) {
    case LayerDoubt::Kind::gone:
        return quoted(path) + " is on an overlay whose layer " + layer +
               " is no longer where it was mounted from: where it writes could not be worked out, so Sorvel can't "
               "sweep it.";
    case LayerDoubt::Kind::indirect:
        return quoted(path) + " is on an overlay whose layer was given as " + layer +
               ", through a link or \u201C..\u201D: where it writes now could not be worked out, so Sorvel can't "
               "sweep it.";
    case LayerDoubt::Kind::unconfirmed:
    case LayerDoubt::Kind::shown:
        break;
    }
    return quoted(path) + " is on an overlay mounted at " + quoted(doubt.mountPoint) +
           ", whose layers Sorvel cannot confirm: it may write into a protected location, so Sorvel can't sweep it.";
}

// `held`: a mount inside the folder, where that mount lies outside.
std::string fenceSentence(const std::string& path, const ProtectedPlaces::Fence& fence, const std::string& held = {}) {
    return quoted(path) + (held.empty() ? " is " : " holds a mount at " + quoted(held) + " ") +
           fence.clause([](const std::string& shown) { return quoted(shown); }) + ", so Sorvel can't sweep it.";
}

// A disk image known by identity alone whose other name the folder holds, or may.
std::string heldImageSentence(const std::string& path, const ProtectedPlaces::HeldImage& held) {
    if (held.found)
        return held.isTrash ? trashSentence(path, held.mountPoint, true, false)
                            : protectedSentence(path, held.mountPoint, true, false);
    return quoted(path) + " may hold the only name left of the disk image mounted at " + quoted(held.mountPoint) +
           ": a folder in it could not be read, so Sorvel can't sweep it.";
}

// A mount inside the folder that cannot be judged: the folder is on a file system that
// can, but holds one that cannot.
std::string holdsUnknownSentence(const std::string& path, const std::string& mountPoint,
                                 const ProtectedPlaces::Conflict& conflict) {
    const std::string at = " at " + quoted(mountPoint);
    if (conflict.doubt)
        return quoted(path) + " holds an overlay mounted" + at +
               " whose layers Sorvel cannot confirm: it may write into a protected location, so Sorvel can't sweep it.";
    if (conflict.place.empty())
        return quoted(path) + " holds a mount" + at +
               " whose place on disk could not be worked out, so it may hold a protected location under another "
               "name, and Sorvel can't sweep it.";
    return quoted(path) + " holds a mount of a file system Sorvel cannot see through (" + validUTF8(conflict.place) +
           ")" + at + ", so it may hold a protected location under another name, and Sorvel can't sweep it.";
}

// The sentence for a conflict found by identity or by place.
std::string conflictSentence(const std::string& path, const ProtectedPlaces::Conflict& conflict) {
    using Kind = ProtectedPlaces::Conflict::Kind;
    const std::string shown = "\u201C" + validUTF8(path) + "\u201D";
    if (conflict.kind == Kind::unknown)
        return conflict.doubt ? doubtSentence(path, *conflict.doubt) : unknownSentence(path, conflict.place);
    if (conflict.isHome) return conflict.samePlace ? isHomeSentence(shown) : holdsHomeSentence(shown);
    if (conflict.isTrash) return trashSentence(path, conflict.place, conflict.kind == Kind::holds, conflict.samePlace);
    return protectedSentence(path, conflict.place, conflict.kind == Kind::holds, conflict.samePlace);
}

using Conflict = ProtectedPlaces::Conflict;
using Judge = std::function<std::optional<Conflict>(const std::string&)>;

bool holdsTrash(const Conflict& conflict) { return conflict.isTrash && conflict.kind == Conflict::Kind::holds; }

// A sweep leaves the trash folders among its items alone (`SweepRunner`), so a folder
// holding one is judged by what else it holds: each entry on the way down to a trash
// folder is judged in its place, the trash folders themselves passed over. Judged as
// before past a depth no trash folder lies at, or when the folder cannot be listed.
std::optional<Conflict> besideTrashes(const Judge& judge, const std::string& path, int depth = 0) {
    constexpr int kDeepest = 16;
    auto conflict = judge(path);
    if (!conflict || !holdsTrash(*conflict) || depth >= kDeepest) return conflict;
    auto listing = DirectoryListing::open(path);
    if (!listing) return conflict;
    std::vector<std::string> names;
    while (const auto entry = listing->next()) names.emplace_back(entry->name);
    if (listing->failed()) return conflict;
    for (const auto& name : names) {
        auto inner = besideTrashes(judge, appendingPathComponent(path, name), depth + 1);
        if (!inner || (inner->isTrash && inner->kind == Conflict::Kind::isOrInside)) continue;
        // The folder around it holds what it is, lies in or holds.
        if (inner->kind != Conflict::Kind::unknown) {
            inner->kind = Conflict::Kind::holds;
            inner->samePlace = false;
        }
        return inner;
    }
    return std::nullopt;
}

// ~/Library by any spelling, existing or not: sweeping it would take the user's settings.
bool isLibraryByName(const std::string& path, const std::string& home) {
    const std::string library = appendingPathComponent(home, "Library");
    return path == library || resolvingExistingPart(path) == resolvingExistingPart(library);
}

bool isLibraryByPlace(const std::string& path, const std::string& home, const std::vector<MountEntry>& mounts) {
    const auto own = fileSystemPlaces(mounts, resolvingExistingPart(path));
    const auto library = fileSystemPlaces(mounts, resolvingExistingPart(appendingPathComponent(home, "Library")));
    if (!own || !library) return false;
    if (own->places.empty() || library->places.empty()) return false;
    const auto& a = own->places.front();
    const auto& b = library->places.front();
    return a.device == b.device && a.path == b.path;
}

} // namespace

std::optional<std::string> refusal(const std::string& folder) {
    const std::string path = standardizePath(folder);
    // A relative folder would be swept wherever Sorvel happens to run.
    if (path.empty() || path[0] != '/')
        return "\u201C" + validUTF8(folder) +
               "\u201D is not a full path, so Sorvel can't sweep it. Add the folder by its full path instead.";
    const std::string home = standardizePath(homeDirectory());
    // Which folders are the user's own is told by the home: without a full path for it,
    // nothing can be told apart from it.
    if (home.empty())
        return "\u201C" + validUTF8(path) +
               "\u201D can't be swept: your home folder is not known, so Sorvel cannot tell which folders hold your "
               "own files.";
    if (home[0] != '/')
        return "\u201C" + validUTF8(path) + "\u201D can't be swept: your home folder is set to \u201C" +
               validUTF8(homeDirectory()) +
               "\u201D, which is not a full path, so Sorvel cannot tell which folders hold your own files.";

    bool holdsHome = false;
    bool isHome = false;
    for (const auto& form : writtenAndResolved(path)) {
        for (const auto& homeForm : writtenAndResolved(home)) {
            if (isPathInside(homeForm, form)) {
                holdsHome = true;
                isHome = isHome || form == homeForm;
            }
        }
    }
    if (holdsHome) {
        const std::string shown = "\u201C" + validUTF8(isHome ? path : tildeAbbreviated(path)) + "\u201D";
        return isHome ? isHomeSentence(shown) : holdsHomeSentence(shown);
    }
    if (isLibraryByName(path, home)) return librarySentence(path);

    const CleanupPolicy policy = CleanupPolicy::standard();
    if (policy.picturesUnknown)
        return quoted(path) + " may hold your pictures folder: where it is could not be read (" +
               validUTF8(*policy.picturesUnknown) + "), so Sorvel can't sweep it.";
    if (policy.swapsUnknown)
        return quoted(path) + " may hold a swap file in use: which swap files are in use could not be read (" +
               validUTF8(*policy.swapsUnknown) + "), so Sorvel can't sweep it.";
    if (auto reason = textRefusal(path, policy)) return reason;

    // The same by identity: a bind mount of the home, or of a folder around a protected
    // one, passes every comparison of names.
    const auto real = writtenAndResolved(path).back();
    const auto mounts = readMountTable(mountTablePath());
    // Named for its client before the mount that serves it (rclone's) is judged.
    if (const auto found = SyncedFolders(home, mounts).find(real); found && !found->holds)
        return syncedSentence(path, *found, real);
    const ProtectedPlaces places = ProtectedPlaces::of(policy, home, mounts);
    const Judge byIdentity = [&places](const std::string& at) { return places.conflict(at); };
    const Judge byPlace = [&places](const std::string& at) { return places.placeConflict(at); };
    if (const auto conflict = besideTrashes(byIdentity, real)) return conflictSentence(path, *conflict);

    // And by where it lies in its file system: a bind mount of a folder inside a protected
    // one, an overlay writing into one. Without the table nothing can be told.
    if (!mounts) return unknownSentence(path, {});
    if (isLibraryByPlace(path, home, *mounts)) return librarySentence(path);
    if (const auto conflict = besideTrashes(byPlace, resolvingExistingPart(path)))
        return conflictSentence(path, *conflict);
    if (const auto fence = places.fenceFor(resolvingExistingPart(path))) return fenceSentence(path, *fence);
    if (const auto held = places.unnamedImageIn(real)) return heldImageSentence(path, *held);

    // Found on the way down: a mount inside the folder that shows the home or a protected
    // place (/mnt holding a bind mount of the home), or that cannot be seen through.
    for (const auto& mount : *mounts) {
        if (mount.mountPoint == real || !isPathInside(mount.mountPoint, real)) continue;
        auto inner = besideTrashes(byIdentity, mount.mountPoint);
        if (!inner) inner = besideTrashes(byPlace, mount.mountPoint);
        // A trash folder mounted there is left alone like any other.
        if (inner && inner->isTrash && inner->kind == Conflict::Kind::isOrInside) continue;
        if (!inner) {
            if (const auto fence = places.fenceFor(mount.mountPoint)) return fenceSentence(path, *fence, mount.mountPoint);
            continue;
        }
        if (inner->kind == ProtectedPlaces::Conflict::Kind::unknown)
            return holdsUnknownSentence(path, mount.mountPoint, *inner);
        // The mount point is, lies in or holds the place: the folder around it holds it.
        inner->kind = ProtectedPlaces::Conflict::Kind::holds;
        inner->samePlace = false;
        return conflictSentence(path, *inner);
    }
    return std::nullopt;
}

} // namespace sorvel::OwnFolder
