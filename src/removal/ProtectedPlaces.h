#pragma once
// The places a removal must never take, known by what they are (device and inode) and
// not only by their names: a bind mount of the home, or of a folder above a protected
// one, shows the same folders under paths no text comparison would catch; a bind mount
// of a folder inside one, or an overlay writing into one, is known by where it lies in
// its file system. The trash folders are such places too: a sweep of a second name for
// one would take the user's trashed items out of every file manager's view.
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileIdentity.h"
#include "platform/MountTable.h"
#include "platform/TrashFolders.h"
#include "removal/CleanupPolicy.h"

namespace sorvel {

/// The local paths a stacked file system's source names: itself, or each part of a list joined
/// by ":" where every part is a full path. None for a remote or made-up name ("host:/x").
std::vector<std::string> namedSources(const std::string& source);

class ProtectedPlaces {
public:
    /// The home folder, every denied prefix of the policy and the trash folders of the
    /// mounts given, as they are on disk now (places that do not exist are left out: their
    /// names still count as text elsewhere), and where each lies in its file system by the
    /// given mount table (none: the table could not be read), for `placeConflict`: where
    /// it shows now, beneath every mount covering it (a bind made before the cover shows
    /// it still), and the folder a FUSE or ecryptfs mount holding it shows. A trash folder
    /// the path does not show is looked for beneath the mounts that may hide it. What a
    /// mount at or below a place of the user's data (a denied place in the home, the
    /// settings folder, the desktop's pictures, a trash) shows is protected as part of it:
    /// the mount's root in its file system, the folder a FUSE or stacked mount's source names
    /// where it is confirmed to be what the mount shows, and each disk image its device reads
    /// (by the identity the loop device holds), and each layer of an overlay confirmed by what
    /// the mount shows (`confirmedLayers`). Such a mount whose source, layer or image cannot be
    /// confirmed fences everything off it; a network share or a device protects nothing.
    static ProtectedPlaces of(const CleanupPolicy& policy, const std::string& home,
                              const std::optional<std::vector<MountEntry>>& mounts);

    struct Conflict {
        enum class Kind {
            isOrInside, // the path is a denied place, or lies inside one
            holds,      // the path is the home or holds it or a denied place
            unknown,    // where the path lies cannot be worked out; place: the file system type, if known
        };
        Kind kind = Kind::isOrInside;
        std::string place; // as the policy writes it (or the home folder)
        bool isHome = false;
        bool samePlace = false; // the path is that very place, not a folder around it
        bool isTrash = false;   // the place is a trash folder
        std::optional<LayerDoubt> doubt; // unknown: an overlay layer that cannot be confirmed
    };

    /// The first conflict of an absolute path whose parent has no links left (a
    /// realpath); none when it is clear. Parts of the path that do not exist are skipped.
    std::optional<Conflict> conflict(const std::string& resolvedPath) const;

    /// The first conflict of an absolute path by its places in the file systems (through
    /// bind mounts and overlay layers): being, lying in or holding a denied place, being or
    /// holding the home. The path's links are the caller's to resolve. `unknown`
    /// when there is no table, no mount for the path, the path lies on a file system
    /// that is not understood and holds none of the protected places, or it lies on an
    /// overlay with a layer in doubt (an unconfirmed one of an overlay holding the home
    /// aside: the home's own places are found through it alike).
    std::optional<Conflict> placeConflict(const std::string& path) const;

    /// A file system a protected place (the home among them) lies on whose backing cannot
    /// be confirmed: an overlay with a layer in doubt, FUSE or ecryptfs (it shows another
    /// folder's contents), a mount covering it whose file system beneath is not listed, or
    /// none found at all. The place's real folders cannot all be found (the upper folder
    /// moved away is the pictures under another name), so everything off it is fenced.
    struct Fence {
        std::string name;     // the place, as the policy writes it (or the home folder)
        bool isHome = false;
        std::optional<uint64_t> device;  // of the file system it lies on; none: not found
        std::string mountPoint;          // of that file system's mount
        std::string fsType;              // of that file system
        std::optional<LayerDoubt> doubt; // the layer in doubt, or FUSE/ecryptfs (`shown`)
        std::string hidden;              // else: the covering mount whose parent is not listed
        // Or a mount in a place of the user's data (`name`) whose own backing cannot be
        // confirmed: its point (then `mountPoint`), and whether that is its disk image or an
        // overlay's layer (else its source; the layer or source as the table gives it).
        bool mountInPlace = false;
        bool isTrash = false;
        bool image = false;
        std::string source{};
        bool layer = false;
        // The mount did not answer within a few seconds: nothing of it could be confirmed.
        bool unanswered = false;
        // The mount holds what a place of the user's data shows, a step or more away (the
        // file system of an overlay's layer, of a FUSE mount's source, of a disk image).
        bool beneath = false;
        // Or a mount anywhere whose source or layer names nothing now, or that did not answer:
        // what it shows may be any folder (`mountPoint`, `fsType`, `source`, `layer`, `unanswered`).
        bool anywhere = false;

        /// Why a path is refused, to follow it, the paths shown by `show`: "outside the
        /// overlay your home folder is on (mounted at ~), whose layers Sorvel cannot
        /// confirm: where your protected locations lie on disk could not be worked out".
        std::string clause(const std::function<std::string(const std::string&)>& show) const;
    };

    /// The first fence an absolute path does not lie inside: it is off that file system,
    /// or its own place cannot be worked out. None otherwise.
    std::optional<Fence> fenceFor(const std::string& path) const;

    /// Where a protected place shows a mount's contents, these were followed to where they lie:
    /// the folders and images found a step or more beneath, as they were named.
    const std::vector<std::string>& followed() const { return followed_; }

    /// A disk image mounted in a place of the user's data whose file the kernel knows by
    /// identity alone (its name deleted) may still have another name: the path is, or holds
    /// at any depth, that file (`found`), or a folder in it could not be read.
    struct HeldImage {
        std::string mountPoint;
        bool isTrash = false;
        bool found = false;
    };
    /// Walks the path only while such an image is mounted, and only on the image's file system.
    std::optional<HeldImage> unnamedImageIn(const std::string& path) const;

    /// What a mount anywhere shows other than through itself: a bind's folder, a FUSE or
    /// stacked mount's source, an overlay's layers and work folder, a disk image a loop device
    /// reads, and what those lie on in turn. Named by the mount that shows it.
    struct Shown {
        std::string mountPoint;
        int64_t mountId = -1;
        std::string how; // "a bind mount", "a bindfs mount", "an overlay's lower layer", "a disk image"
        friend bool operator==(const Shown&, const Shown&) = default;
    };
    enum class Relation { is, holds, inside };
    struct ShownConflict {
        Shown shown;
        Relation relation = Relation::is;
    };
    /// The first such place an absolute, resolved path is, holds or lies inside, by identity
    /// and by its place in its file system, whichever mount it is reached through. A place
    /// that is or holds the home is left to the home's own protection, and a mount at or
    /// around an allowed root shows that root's own files.
    std::optional<ShownConflict> shownConflict(const std::string& resolvedPath) const;

    /// Whether a source was not confirmed only for want of time (its view's cache not caught
    /// up yet): worked out again, it may be.
    bool settling() const { return settling_; }

private:
    struct Place {
        std::string name;
        bool isHome = false;
        bool samePlace = false;
        bool isTrash = false;
    };
    std::map<FileIdentity, Place> denied_; // a denied place: being it or inside it
    std::map<FileIdentity, Place> held_;   // a place (home included) or a folder above one

    struct Located {
        std::string name;
        bool isHome = false;
        bool isTrash = false;
        std::vector<FileSystemPlace> places;
        bool behind = false; // the whole folder a FUSE or ecryptfs mount holding the place shows
    };
    static ProtectedPlaces of(const CleanupPolicy& policy, const std::string& home,
                              const std::vector<std::string>& trashes);
    // A trash folder the path does not show now, where a mount may hide it.
    void locateHiddenTrash(const std::string& path);
    // What each mount at or below a place holding the user's data shows, followed through
    // every mount beneath it to where it lies.
    void locateShownByMounts(const CleanupPolicy& policy, const std::string& home,
                             const std::vector<Trash::FolderPlace>& trashes,
                             const std::unordered_map<std::string, std::string>& resolved);
    // What every mount shows, followed to where it lies; a source that names nothing now fences.
    void locateShownAnywhere(const std::vector<std::string>& allowedRoots);
    // Whether a mount shows a folder of the user's data: in the home (not the home itself or
    // around it) unless the mount is at a rule's folder, or being, holding or inside a
    // protected place or a user folder.
    bool showsUsersData(const MountEntry& mount, bool atRuleFolder) const;
    struct ShownItem;
    void protectShown(const ShownItem& item, std::vector<ShownItem>& next);
    std::map<FileIdentity, Shown> shownIds_;    // the shown folder or file itself
    std::map<FileIdentity, Shown> shownAbove_;  // a folder above one
    std::vector<std::pair<Shown, std::vector<FileSystemPlace>>> shownPlaces_;
    std::vector<FileSystemPlace> homePlaces_;
    std::vector<FileSystemPlace> userPlaces_; // the desktop's named folders that exist
    std::vector<Shown> behind_; // mounts at or in an allowed folder showing the home or around it: all they show
    bool holdsHome(const std::vector<FileSystemPlace>& places) const;
    struct Step;
    void follow(const Step& step, std::vector<Step>& next);
    std::optional<std::vector<MountEntry>> mounts_;
    // The home first, then the denied places in the policy's order, the trashes, what the
    // mounts in places of the user's data show, and last the folders FUSE mounts show.
    std::vector<Located> located_;
    std::string home_;             // as it is on disk
    std::vector<Fence> fences_;
    bool settling_ = false;
    struct Unnamed {
        FileIdentity identity;
        std::string mountPoint;
        bool isTrash = false;
    };
    std::vector<Unnamed> unnamed_; // disk images known by identity alone
    std::set<uint64_t> trusted_;
    std::vector<std::string> followed_;   // devices holding a protected place: compared there, whatever their type
};

} // namespace sorvel
