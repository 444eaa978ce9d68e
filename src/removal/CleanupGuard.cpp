#include "removal/CleanupGuard.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/PathText.h"
#include "engine/ScanControl.h"
#include "platform/FileDescriptor.h"
#include "platform/LinkedPlace.h"
#include "platform/MountWatch.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "platform/PathTrace.h"
#include "platform/Trash.h"
#include "platform/TrashFolders.h"
#include "removal/GuardGround.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel::CleanupGuard {
namespace {

bool usable(const std::string& entry) { return !entry.empty() && entry[0] == '/'; }

std::optional<Refusal> deniedRefusal(const std::string& path, const CleanupPolicy& policy,
                                     const std::vector<std::vector<std::string>>& denied, bool refuseHolding) {
    // Below a denied prefix (or equal to it) first...
    for (size_t i = 0; i < denied.size(); ++i)
        for (const auto& form : denied[i])
            if (isPathInside(path, form)) return Refusal::protectedPath(policy.deniedPrefixes[i]);
    // ...then holding one: removing a folder takes everything inside it along.
    if (refuseHolding && usable(path))
        for (size_t i = 0; i < denied.size(); ++i)
            for (const auto& form : denied[i])
                if (isPathInside(form, path)) return Refusal::protectedPath(policy.deniedPrefixes[i]);
    return std::nullopt;
}

} // namespace

std::vector<std::vector<std::string>> forms(const std::vector<std::string>& entries, Entries which) {
    std::vector<std::vector<std::string>> out;
    for (const auto& entry : entries)
        out.push_back(which == Entries::alsoResolved ? writtenAndResolved(entry) : std::vector<std::string>{entry});
    return out;
}

Forms realForms(const CleanupPolicy& policy, const std::string& home) {
    Forms out{forms(policy.deniedPrefixes, Entries::alsoResolved), {}, {}};
    for (const auto& root : policy.allowedRoots) {
        if (!usable(root)) {
            out.allowed.push_back({root});
            out.stops.emplace_back();
            continue;
        }
        const bool named =
            std::find(policy.namedRoots.begin(), policy.namedRoots.end(), root) != policy.namedRoots.end();
        OwnPlace place = named ? OwnPlace{resolvingExistingPart(standardizePath(root)), {}} : ownPlace(root, home);
        // A rule's folder kept through a link in a place of its own (the cache folder on
        // another disk) lies there, as it would under a mount at the folder.
        if (!place.path && isRuleFolder(root))
            if (auto behind = placeBehindLink(root, home))
                if (!deniedRefusal(*behind, policy, out.denied, true) &&
                    !deniedRefusal(resolvedPath(place.link).value_or("/"), policy, out.denied, true))
                    place.path = std::move(behind);
        if (place.path) {
            out.allowed.push_back({*place.path});
            out.stops.emplace_back();
            continue;
        }
        out.allowed.emplace_back();
        const std::string at = resolvingExistingPart(deletingLastPathComponent(place.link)) + "/" +
                               lastPathComponent(place.link);
        out.stops.push_back(Forms::Stop{place.link, at, resolvedPath(place.link).value_or(std::string())});
    }
    return out;
}

namespace {

// A path outside every root's real place that is spelled through a link in front of one.
std::optional<Refusal> stopRefusal(const std::vector<std::string>& spellings, const Forms& entries) {
    for (const auto& stop : entries.stops)
        if (stop)
            for (const auto& spelling : spellings)
                if (isPathInside(spelling, stop->written) || isPathInside(spelling, stop->at))
                    return Refusal::throughLink(stop->written, stop->leadsTo);
    return std::nullopt;
}

} // namespace

std::optional<Refusal> rulesRefusal(const std::string& path, const CleanupPolicy& policy, const Forms& entries,
                                    bool refuseHolding) {
    if (auto refusal = deniedRefusal(path, policy, entries.denied, refuseHolding)) return refusal;
    // Depth counts from the deepest root that holds the path. A root that is not an absolute
    // path admits nothing (an empty one would otherwise hold every path), nor does "/"
    // (a search of the whole disk widens nothing), written or reached through a link.
    std::optional<size_t> kept;
    bool whole = false; // the root may go itself
    for (size_t i = 0; i < entries.allowed.size(); ++i)
        for (const auto& root : entries.allowed[i])
            if (usable(root) && root != "/" && isPathInside(path, root) && (!kept || root.size() > *kept)) {
                kept = root.size();
                whole = i < policy.allowedRoots.size() &&
                        std::find(policy.wholeRoots.begin(), policy.wholeRoots.end(), policy.allowedRoots[i]) !=
                            policy.wholeRoots.end();
            }
    if (!kept) return Refusal::outsideAllowedRoots();
    const auto depth = static_cast<long long>(componentsFrom(path, *kept));
    if (depth < policy.minimumDepthBelowRoot && !(whole && depth == 0)) return Refusal::tooShallow();
    return std::nullopt;
}

namespace {

// A mount point at or below the path: the move would carry another file system's data
// (a bind mount of the pictures) into the Trash, where emptying it deletes that data.
std::optional<Refusal> mountRefusal(const std::string& path, const std::vector<MountEntry>& mounts) {
    if (!usable(path)) return std::nullopt;
    for (const auto& mount : mounts)
        if (isPathInside(mount.mountPoint, path)) return Refusal::protectedPath(mount.mountPoint);
    return std::nullopt;
}

Refusal refusalFor(const ProtectedPlaces::Conflict& conflict) {
    using Kind = ProtectedPlaces::Conflict::Kind;
    if (conflict.kind == Kind::unknown) {
        if (!conflict.doubt) return Refusal::placeUnknown(conflict.place);
        switch (conflict.doubt->kind) {
        case LayerDoubt::Kind::gone: return Refusal::layerGone(conflict.doubt->layer);
        case LayerDoubt::Kind::indirect: return Refusal::layerIndirect(conflict.doubt->layer);
        case LayerDoubt::Kind::unconfirmed:
        case LayerDoubt::Kind::shown: return Refusal::layerUnconfirmed(conflict.doubt->mountPoint);
        }
    }
    // Being in a trash frees nothing; holding one would take the trashed items along.
    if (conflict.isTrash && conflict.kind == Kind::isOrInside) return Refusal::insideTrash();
    return Refusal::protectedPath(conflict.place);
}

bool cloudBlocks(const std::optional<CloudStatus>& cloud, const std::string& path) {
    if (!cloud) return false;
    auto caveat = cloud->caveat(path);
    return caveat && caveat->isBlocking;
}

// For one judgement: everything read now.
class OneOff final : public Ground {
public:
    OneOff(const CleanupPolicy& policy, const std::string& home, const std::vector<MountEntry>* given)
        : policy_(policy), home_(home), given_(given) {}
    const Forms& forms() override {
        if (!forms_) forms_ = realForms(policy_, home_);
        return *forms_;
    }
    void settle(const std::string& where) override {
        if (given_) {
            table_ = *given_;
        } else {
            named_ = namedMount(where);
            table_ = std::move(named_.table);
        }
        places_.emplace(ProtectedPlaces::of(policy_, home_, table_));
    }
    const std::optional<std::vector<MountEntry>>& table() override { return table_; }
    const ProtectedPlaces& places() override { return *places_; }
    bool insideTrash(const std::string& path, const std::vector<MountEntry>& mounts, bool) override {
        return Trash::isInsideTrash(path, mounts);
    }
    SyncedFolders& synced() override {
        if (!synced_) synced_.emplace(home_, given_ ? std::optional(*given_) : readMountTable(mountTablePath()));
        return *synced_;
    }

private:
    const CleanupPolicy& policy_;
    const std::string home_;
    const std::vector<MountEntry>* given_;
    std::optional<Forms> forms_;
    NamedMount named_;
    std::optional<std::vector<MountEntry>> table_;
    std::optional<ProtectedPlaces> places_;
    std::optional<SyncedFolders> synced_;
};

Refusal syncedRefusal(const SyncedFolders::Found& found) {
    return Refusal::synced(found.tree.service, found.tree.folder, found.holds);
}

} // namespace

Judgement judgeOn(Ground& ground, const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                  const std::optional<CloudStatus>& cloud, const std::string& home, Tests tests) {
    Judgement j;
    j.path = standardizePath(path);
    auto refuse = [&](Refusal refusal) {
        j.refusal = std::move(refusal);
        return j;
    };

    // Without a full path for the home, no place can be told from the user's own: the
    // policy's entries and the home's protection would all be relative to wherever this runs.
    if (!usable(home)) return refuse(Refusal::homeUnknown(home));
    if (policy.picturesUnknown) return refuse(Refusal::picturesUnknown(*policy.picturesUnknown));
    if (policy.swapsUnknown) return refuse(Refusal::swapsUnknown(*policy.swapsUnknown));

    // A tree a sync client's settings or mount name, told by the text alone before any other
    // place: one under /run (an online account's folder) is named for its service.
    if (auto found = ground.synced().known(j.path)) return refuse(syncedRefusal(*found));

    // The protected places on the text, as written.
    if (auto refusal = deniedRefusal(j.path, policy, forms(policy.deniedPrefixes, Entries::asWritten), true))
        return refuse(*refusal);

    // Every rule on where the path really is, never on how it is spelled: the kernel follows
    // links in the parents, so a link on the way must not lead the move elsewhere.
    j.name = lastPathComponent(j.path);
    std::optional<std::string> parent = resolvedPath(deletingLastPathComponent(j.path));
    std::string resolved;
    if (parent) resolved = appendingPathComponent(*parent, j.name);
    if (auto refusal = rulesRefusal(parent ? resolved : j.path, policy, ground.forms(), true)) {
        if (refusal->kind == Refusal::Kind::outsideAllowedRoots)
            if (auto stopped = stopRefusal({j.path, resolved}, ground.forms())) return refuse(*stopped);
        return refuse(*refusal);
    }
    // Where the text already is the place, its checks are not made twice.
    const bool direct = resolved == j.path;

    // Looked at only for a path that passed the rules above, the path's mount held
    // meanwhile so that its id names it in the table throughout the judgement.
    ground.settle(resolved.empty() ? j.path : resolved);
    const std::optional<std::vector<MountEntry>>& table = ground.table();
    const ProtectedPlaces& places = ground.places();

    // The same rules on what the path is: another name for a protected place (a bind
    // mount of the home, say) is that place.
    if (!resolved.empty())
        if (auto conflict = places.conflict(resolved)) return refuse(refusalFor(*conflict));

    // A table that cannot be read could hide any mount: nothing passes without it.
    if (!table) return refuse(Refusal::mountsUnknown());
    const std::vector<MountEntry>& mounts = *table;
    if (auto refusal = mountRefusal(j.path, mounts)) return refuse(*refusal);
    if (!resolved.empty() && !direct)
        if (auto refusal = mountRefusal(resolved, mounts)) return refuse(*refusal);

    // And on where it lies in its file system: a bind mount of a folder inside the
    // pictures, or an overlay writing into them, is inside the pictures.
    if (!resolved.empty())
        if (auto conflict = places.placeConflict(resolved)) return refuse(refusalFor(*conflict));

    // While the home or a protected place lies where its real folders cannot all be found
    // (an overlay's moved upper folder, the folder behind a FUSE home), anything off that
    // file system may be one of them.
    if (const auto fence = places.fenceFor(resolved.empty() ? j.path : resolved))
        return refuse(Refusal::backingUnconfirmed(fence->clause([](const std::string& p) { return tildeAbbreviated(p); })));

    // What any mount shows, wherever its point: moving it would take what the mount shows along.
    if (!resolved.empty())
        if (const auto shown = places.shownConflict(resolved))
            return refuse(Refusal::shownByMount(shown->shown.mountPoint, shown->shown.how,
                                                shown->relation == ProtectedPlaces::Relation::inside));

    // Moving within a Trash frees nothing, yet would be counted as freed.
    if (ground.insideTrash(j.path, mounts, direct) ||
        (!resolved.empty() && !direct && ground.insideTrash(resolved, mounts, true)))
        return refuse(Refusal::insideTrash());

    if (cloudBlocks(cloud, j.path) || (!resolved.empty() && !direct && cloudBlocks(cloud, resolved)))
        return refuse(Refusal::cloudSynced("iCloud"));
    // Moving out of a synced tree deletes on every device that syncs it: the real place
    // by the clients' settings and mounts, and by the markers they leave in it and above it.
    if (!resolved.empty())
        if (auto found = ground.synced().find(resolved)) return refuse(syncedRefusal(*found));
    if (tests == Tests::place) return j;

    // A parent that does not resolve holds nothing reachable. A NUL byte cannot be part of
    // a name on disk: the system calls would stop at it and judge a different place.
    struct stat st;
    if (!parent || j.path.find('\0') != std::string::npos || ::lstat(resolved.c_str(), &st) != 0)
        return tests == Tests::offer ? j : refuse(Refusal::notFound());
    if (S_ISLNK(st.st_mode)) return refuse(Refusal::isSymlink());
    if (policy.requiresWritability && ::access(resolved.c_str(), W_OK) != 0) return refuse(Refusal::notWritable());
    // Worked out as Sorvel's own move works it out (another program moving it under a policy
    // that needs no writability finds its own way): what no Trash can take is not offered.
    if (policy.requiresWritability)
        if (const auto why = Trash::whyNotMovable(*parent, j.name, mounts)) return refuse(Refusal::noTrash(*why));
    if (tests == Tests::offer) return j;

    // The only name left of a mounted disk image would go with the folder: a walk, only
    // while such an image is mounted in a protected place.
    if (const auto held = places.unnamedImageIn(resolved))
        return refuse(held->found ? Refusal::protectedPath(held->mountPoint) : Refusal::imageUnknown(held->mountPoint));

    if (recordedSize >= 1) {
        ScanControl control;
        ScanNodePtr node = FileWalker::walk(resolved, control, FileWalker::Options{});
        // A scan records what moving frees (bytes other names hold too count elsewhere, or
        // not at all); a walk of the folder alone, all it holds: either measure, made again
        // the same way, shows whether something wrote to it since.
        const int64_t held = node ? node->size : 0;
        const int64_t freed = node ? held - std::clamp<int64_t>(node->sharedSize, 0, std::max<int64_t>(held, 0)) : 0;
        const auto drift = [recordedSize](int64_t actual) {
            return std::fabs(static_cast<double>(actual) - static_cast<double>(recordedSize)) /
                   static_cast<double>(recordedSize);
        };
        if (drift(freed) > policy.sizeDriftTolerance && drift(held) > policy.sizeDriftTolerance)
            return refuse(Refusal::sizeChanged(recordedSize, drift(freed) <= drift(held) ? freed : held));
        // Moved, it could never be emptied from the Trash: its space would stay taken, unseen.
        if (node && node->unwritableFolders > 0) return refuse(Refusal::cannotBeEmptied(node->unwritableFolders));
    }

    j.resolvedParent = *parent;
    j.identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return j;
}

namespace {

Judgement judgeWith(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                    const std::optional<CloudStatus>& cloud, const std::vector<MountEntry>* givenMounts) {
    const std::string home = homeDirectory();
    OneOff ground(policy, home, givenMounts);
    return judgeOn(ground, path, recordedSize, policy, cloud, home);
}

} // namespace


std::optional<Refusal> placeRefusal(const std::string& path, const CleanupPolicy& policy, Entries entries,
                                    bool refuseHolding) {
    if (entries == Entries::real) {
        const Forms real = realForms(policy, homeDirectory());
        auto refusal = rulesRefusal(path, policy, real, refuseHolding);
        if (refusal && refusal->kind == Refusal::Kind::outsideAllowedRoots)
            if (auto stopped = stopRefusal({path}, real)) return stopped;
        return refusal;
    }
    return rulesRefusal(path, policy, Forms{forms(policy.deniedPrefixes, entries), forms(policy.allowedRoots, entries), {}},
                        refuseHolding);
}

std::optional<Refusal> shownRefusal(const std::string& path, const CleanupPolicy& policy) {
    // Never destroyed: a caller may come while the process ends.
    struct Shared {
        std::mutex mutex;
        std::string tablePath;
        pid_t process = 0; // a watch opened before a fork follows the parent's table
        std::optional<MountWatch> watch;
        uint64_t builtOn = 0;
        std::string home;
        std::vector<std::string> roots;
        std::optional<ProtectedPlaces> places;
    };
    static Shared* const shared = new Shared;
    // Held while the ground is built: its looks at mounts served by another process are bounded.
    std::lock_guard lock(shared->mutex);
    if (!shared->watch || mountTablePath() != shared->tablePath || ::getpid() != shared->process) {
        shared->tablePath = mountTablePath();
        shared->process = ::getpid();
        shared->watch.emplace();
        shared->places.reset();
    }
    const auto& table = shared->watch->table();
    if (!table) return Refusal::mountsUnknown();
    const std::string home = homeDirectory();
    if (!shared->places || shared->watch->generation() != shared->builtOn || home != shared->home ||
        policy.allowedRoots != shared->roots) {
        shared->places.emplace(ProtectedPlaces::of(policy, home, table));
        shared->builtOn = shared->watch->generation();
        shared->home = home;
        shared->roots = policy.allowedRoots;
    }
    if (const auto shown = shared->places->shownConflict(path))
        return Refusal::shownByMount(shown->shown.mountPoint, shown->shown.how,
                                     shown->relation == ProtectedPlaces::Relation::inside);
    return std::nullopt;
}

std::string Refusal::description() const {
    switch (kind) {
    case Kind::protectedPath:
        return "protected location (" + tildeAbbreviated(text) + ")";
    case Kind::sizeChanged:
        return "changed since the scan (" + Bytes::format(recorded) + " → " + Bytes::format(actual) +
               "); something is still writing to it";
    case Kind::cloudSynced:
        if (how.empty())
            return "synced by " + text + "; removing the local copy may not free space and may affect other devices";
        if (!inside)
            return "holds " + tildeAbbreviated(how) + ", synced by " + text +
                   "; moving it to the Trash may delete that folder on every device it syncs with";
        return "synced by " + text + " (" + tildeAbbreviated(how) +
               "); moving it to the Trash may delete it on every device the folder syncs with";
    case Kind::outsideAllowedRoots:
        return "outside the folders Sorvel is allowed to touch";
    case Kind::tooShallow:
        return "this is the root of an allowed folder, not something inside it";
    case Kind::notFound:
        return "no longer exists";
    case Kind::isSymlink:
        return "is a symlink — removing it would not free the space it points at";
    case Kind::notWritable:
        return "not writable by you";
    case Kind::insideTrash:
        return "already in the Trash; moving it there again frees nothing";
    case Kind::mountsUnknown:
        return "the list of mounted disks could not be read, so it may hold another disk's files";
    case Kind::layerGone:
        return "on an overlay whose layer " + tildeAbbreviated(text) +
               " is no longer where it was mounted from, so where it writes cannot be worked out";
    case Kind::layerIndirect:
        return "on an overlay whose layer was given as " + tildeAbbreviated(text) +
               " through a link or \"..\", so where it writes now cannot be worked out";
    case Kind::layerUnconfirmed:
        return "on an overlay (" + tildeAbbreviated(text) +
               ") whose layers cannot be confirmed, so it may write into a protected location";
    case Kind::backingUnconfirmed:
        return text;
    case Kind::shownByMount:
        return std::string(inside ? "is inside what " : "is what ") + tildeAbbreviated(text) + " shows (" + how +
               "), so it is not a cache";
    case Kind::noTrash:
        return text;
    case Kind::throughLink:
        return "lies behind " + tildeAbbreviated(text) + ", a link" +
               (how.empty() ? std::string() : " to " + tildeAbbreviated(how)) + " that Sorvel does not follow";
    case Kind::cannotBeEmptied:
        return "holds " + counted(actual, "folder") +
               " you may not write: emptying the Trash could not delete " +
               (actual == 1 ? "it" : "them") + ", so the space would never come back";
    case Kind::imageUnknown:
        return "may hold the only name left of the disk image mounted at " + tildeAbbreviated(text) +
               ": a folder in it could not be read";
    case Kind::homeUnknown:
        if (text.empty()) return "your home folder is not known, so no place can be told safe to move";
        return "your home folder is set to \u201C" + text +
               "\u201D, which is not a full path, so no place can be told safe to move";
    case Kind::beingMoved:
        return "already being moved to the Trash";
    case Kind::picturesUnknown:
        return "where your pictures folder is could not be read (" + text + "), so it may be inside it";
    case Kind::swapsUnknown:
        return "which swap files are in use could not be read (" + text + "), so it may be or hold one";
    case Kind::placeUnknown:
        if (text.empty()) return "where it lies on disk could not be worked out, so it may be a protected location";
        return "on a file system Sorvel cannot see through (" + text + "), so it may be a protected location";
    }
    return {};
}

Judgement judge(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                const std::optional<CloudStatus>& cloud) {
    return judgeWith(path, recordedSize, policy, cloud, nullptr);
}

Judgement judge(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                const std::optional<CloudStatus>& cloud, const std::vector<MountEntry>& mounts) {
    return judgeWith(path, recordedSize, policy, cloud, &mounts);
}

std::optional<Refusal> check(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                             const std::optional<CloudStatus>& cloud) {
    return judge(path, recordedSize, policy, cloud).refusal;
}

std::optional<Refusal> check(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                             const std::optional<CloudStatus>& cloud, const std::vector<MountEntry>& mounts) {
    return judge(path, recordedSize, policy, cloud, mounts).refusal;
}

} // namespace sorvel::CleanupGuard
