#pragma once
// A rename that never replaces what holds the destination name, also where the file
// system refuses the kernel's no-replace flag (FUSE mounts such as bindfs, sshfs, NFS).
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace sorvel {

/// What a caller adds to the ways a rename takes without the kernel's flag.
struct RenameSteps {
    /// Called once, before the first step: a kill between two steps leaves what each made,
    /// and a mark made here tells the caller's tidy where to look.
    std::function<void()> before;
    /// An open file whose lock, held exclusively around the plain rename, keeps every other
    /// mover that takes it from the name between the look that found it free and the
    /// rename; -1 for none.
    int lockFd = -1;
};

/// Renames `from` in the open folder `fromFd` to `to` in the open folder `toFd`, links not
/// followed. 0 when done, else -1 with errno set: EEXIST (or ENOTEMPTY) when `to` is
/// taken, which is then left as it was. Done means the object left `from`.
int renameNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to);
/// The same, with what the caller adds to the ways without the kernel's flag.
int renameNoReplaceWith(int fromFd, const std::string& from, int toFd, const std::string& to,
                        const RenameSteps& steps);

/// The same without the kernel's flag, as done where the file system refuses it. A folder
/// takes the name as an empty folder made first, which a rename replaces only while it is
/// still empty; anything else gets a second name by a link, which fails on a taken name,
/// and then loses the first, where a link shows as the object it links. Where hard links
/// fail, or cannot be told from another object, it is a plain rename once the name is
/// seen free.
int renameNoReplaceWithoutFlag(int fromFd, const std::string& from, int toFd, const std::string& to);

/// Whether a hard link on the file system with this device shows as the object it links
/// (one inode number by both names); none until learned. Some FUSE file systems (sshfs)
/// number each name apart: no move there takes the link's way, whose second name could
/// never be told from another object.
std::optional<bool> linksKeepIdentity(dev_t device);
/// Learns that, once per file system and process, by linking the file `probe` of the open
/// folder `folderFd` to `scratch` there and comparing; `scratch` is removed again (a kill
/// may leave it, for the caller's tidy).
void learnLinks(int folderFd, const std::string& probe, const std::string& scratch);

/// The moments between two steps of a way without the flag; tests act there.
enum class RenameStep {
    placeholderMade, // the empty folder holds the name, the rename not yet made
    linkMade,        // the second name made, the first not yet removed
};
/// Called at each with the name being taken; none (the default) outside tests.
void setRenameStepHook(std::function<void(RenameStep, const std::string& to)> hook);

} // namespace sorvel
