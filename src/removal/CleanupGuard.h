#pragma once
// The single yes-or-no gate in front of every move to the Trash.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "platform/FileIdentity.h"
#include "platform/MountTable.h"
#include "removal/CleanupPolicy.h"

namespace sorvel::CleanupGuard {

/// Why a path may not be moved; the description is a lower-case clause meant to follow
/// the path or a prefix such as "Refused: ".
struct Refusal {
    enum class Kind {
        protectedPath,       // text: the denied prefix as written in the policy
        outsideAllowedRoots,
        tooShallow,
        cloudSynced,         // text: the syncing service; how: the synced folder, if known, which it holds
                             // unless `inside`
        notFound,
        isSymlink,
        notWritable,
        sizeChanged,         // recorded, actual
        insideTrash,
        mountsUnknown,       // the mount table could not be read
        placeUnknown,        // where it lies on disk cannot be worked out; text: the file system type, if known
        layerGone,           // on an overlay whose layer's text names nothing now; text: the layer
        layerIndirect,       // on an overlay whose layer's text goes through a link or ".."; text: the layer
        layerUnconfirmed,    // on an overlay other than the root; text: its mount point
        homeUnknown,         // the home folder is not an absolute path; text: what it is
        beingMoved,          // another move of this process has it, or a folder around or inside it, in hand
        picturesUnknown,     // the desktop's pictures folder is not known; text: the file and why
        swapsUnknown,        // the swap files in use are not known; text: the list and why
        backingUnconfirmed,  // off the file system a protected place lies on, whose backing cannot be
                             // confirmed (an overlay in doubt, FUSE, ecryptfs); text: the whole clause
        shownByMount,        // is, holds or lies in what a mount shows; text: its point, how: the kind of mount
        imageUnknown,        // may hold the only name left of a mounted disk image, a folder in it not
                             // read; text: the image's mount point
        throughLink,         // reached through a link in front of an allowed folder; text: the link,
                             // how: where it leads
        noTrash,             // no Trash a move could put it into; text: the move's own sentence
        cannotBeEmptied,     // holds folders this user may not write; actual: how many
    };

    Kind kind = Kind::notFound;
    std::string text;
    int64_t recorded = 0;
    int64_t actual = 0;
    std::string how{};   // shownByMount: "a bind mount", "an overlay's lower layer", ...
    bool inside = false; // shownByMount: lies inside it, rather than being or holding it; cloudSynced: is or
                         // lies inside it, rather than holding it

    static Refusal protectedPath(std::string prefix) { return {Kind::protectedPath, std::move(prefix), 0, 0}; }
    static Refusal sizeChanged(int64_t recorded, int64_t actual) { return {Kind::sizeChanged, {}, recorded, actual}; }
    static Refusal cloudSynced(std::string service) { return {Kind::cloudSynced, std::move(service), 0, 0}; }
    static Refusal synced(std::string service, std::string folder, bool holds) {
        return {Kind::cloudSynced, std::move(service), 0, 0, std::move(folder), !holds};
    }
    static Refusal outsideAllowedRoots() { return {Kind::outsideAllowedRoots, {}, 0, 0}; }
    static Refusal tooShallow() { return {Kind::tooShallow, {}, 0, 0}; }
    static Refusal notFound() { return {Kind::notFound, {}, 0, 0}; }
    static Refusal isSymlink() { return {Kind::isSymlink, {}, 0, 0}; }
    static Refusal notWritable() { return {Kind::notWritable, {}, 0, 0}; }
    static Refusal insideTrash() { return {Kind::insideTrash, {}, 0, 0}; }
    static Refusal mountsUnknown() { return {Kind::mountsUnknown, {}, 0, 0}; }
    static Refusal placeUnknown(std::string fsType) { return {Kind::placeUnknown, std::move(fsType), 0, 0}; }
    static Refusal layerGone(std::string layer) { return {Kind::layerGone, std::move(layer), 0, 0}; }
    static Refusal layerIndirect(std::string layer) { return {Kind::layerIndirect, std::move(layer), 0, 0}; }
    static Refusal layerUnconfirmed(std::string mountPoint) { return {Kind::layerUnconfirmed, std::move(mountPoint), 0, 0}; }
    static Refusal homeUnknown(std::string home) { return {Kind::homeUnknown, std::move(home), 0, 0}; }
    static Refusal beingMoved() { return {Kind::beingMoved, {}, 0, 0}; }
    static Refusal picturesUnknown(std::string why) { return {Kind::picturesUnknown, std::move(why), 0, 0}; }
    static Refusal swapsUnknown(std::string why) { return {Kind::swapsUnknown, std::move(why), 0, 0}; }
    static Refusal backingUnconfirmed(std::string clause) { return {Kind::backingUnconfirmed, std::move(clause), 0, 0}; }
    static Refusal shownByMount(std::string mountPoint, std::string how, bool inside) {
        return {Kind::shownByMount, std::move(mountPoint), 0, 0, std::move(how), inside};
    }
    static Refusal cannotBeEmptied(int64_t folders) { return {Kind::cannotBeEmptied, {}, 0, folders}; }
    static Refusal imageUnknown(std::string mountPoint) { return {Kind::imageUnknown, std::move(mountPoint), 0, 0}; }
    static Refusal noTrash(std::string sentence) { return {Kind::noTrash, std::move(sentence), 0, 0}; }
    static Refusal throughLink(std::string link, std::string leadsTo) {
        return {Kind::throughLink, std::move(link), 0, 0, std::move(leadsTo), false};
    }

    std::string description() const;
    friend bool operator==(const Refusal&, const Refusal&) = default;
};

/// What the guard judged: the standardised path, and where it really is (its parent
/// folder with every link resolved), so a move can act on exactly that place.
struct Judgement {
    std::optional<Refusal> refusal;
    std::string path;            // standardised
    std::string resolvedParent;  // realpath of the parent folder; empty when refused early
    std::string name;            // last component
    std::optional<FileIdentity> identity; // of the entry that passed; none when refused
};

/// How a path is compared with the policy's entries: as written, also where their links
/// lead, or as a real place (each root where it really lies, see `realForms`).
enum class Entries { asWritten, alsoResolved, real };

/// The policy's rules on one spelling of a path: a denied prefix it is or lies in (with
/// `refuseHolding`, then also one it holds), else the deepest allowed root that holds it
/// (of equally long ones the first) and the depth below that root.
std::optional<Refusal> placeRefusal(const std::string& path, const CleanupPolicy& policy, Entries entries,
                                    bool refuseHolding);

/// Whether an absolute, resolved path is, holds or lies inside what a mount shows (a bind's
/// folder, a FUSE source, an overlay's layers, a disk image): `shownByMount`. Worked out once
/// per change of the mount table (and of the home and the policy's roots), shared by every
/// caller; `mountsUnknown` while the table cannot be read.
std::optional<Refusal> shownRefusal(const std::string& path, const CleanupPolicy& policy);

/// Runs every test in order and stops at the first refusal. Never changes the file
/// system. While the home folder is not an absolute path nothing passes. The recorded size
/// is what moving the path frees, as a scan counted it (or all it holds, as a walk of it
/// alone counts it); below 1 it turns the size re-measure off; no cloud status turns the
/// iCloud test off. What is, lies in or holds a folder a sync client keeps in step
/// (`SyncedFolders`) is refused naming the client, first where its settings or a mount tell
/// by the path's text alone. A
/// path that is, lies inside or holds a denied place or the home folder under any name (a
/// bind mount, a second link) is refused as that place, and so is one whose place in its
/// file system is, lies in or holds one (a bind mount of a folder inside the pictures, an
/// overlay writing into them); the same for the trash folders. A path on an overlay with a
/// layer that cannot be confirmed (one other than the root's or the home's own) fails
/// closed, and so does every path off a file system the home or a protected place lies
/// on while that one's backing cannot be confirmed (an overlay in doubt, FUSE, ecryptfs). A path that is a mount point, or holds one, is refused as a protected location
/// named by that mount point. A folder on the file system of a mounted disk image known by
/// identity alone (its name deleted) is refused as that mount unless a walk finds no other
/// name of the image in it. The mount table is this process's unless one is given; while
/// it cannot be read, or the path's place in it cannot be worked out, nothing passes.
Judgement judge(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                const std::optional<CloudStatus>& cloud);
Judgement judge(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                const std::optional<CloudStatus>& cloud, const std::vector<MountEntry>& mounts);

/// None when the path may be moved, else the first refusal.
std::optional<Refusal> check(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                             const std::optional<CloudStatus>& cloud);
std::optional<Refusal> check(const std::string& path, int64_t recordedSize, const CleanupPolicy& policy,
                             const std::optional<CloudStatus>& cloud, const std::vector<MountEntry>& mounts);

} // namespace sorvel::CleanupGuard
