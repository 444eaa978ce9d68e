#pragma once
// Going down a folder tree one level at a time, each folder opened relative to its
// parent's descriptor: reaching a folder costs the same at any depth, and no path longer
// than the kernel accepts is ever named. Only a bounded number of descriptors stay open:
// the start folder's and those of the deepest levels. A level whose descriptor was let
// go is reached again through ".." of the level just left, or else by its names from the
// start folder, and only when it is still the same folder (device and inode).
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"

namespace sorvel {

class FolderDescent {
public:
    static constexpr size_t kDefaultHeld = 16;

    /// `held` (at least 2) bounds the descriptors kept open, one more while going back up.
    explicit FolderDescent(size_t held = kDefaultHeld);
    FolderDescent(const FolderDescent&) = delete;
    FolderDescent& operator=(const FolderDescent&) = delete;

    /// Opens the start folder for reading (a final symbolic link is not followed; a path
    /// of any length) and makes it current, leaving any earlier descent. Its descriptor,
    /// owned here and open until the descent leaves the folder, or -1 with errno set.
    int start(const std::string& path);
    /// Opens the subfolder `name` of the current folder for reading (a symbolic link is
    /// not followed) and makes it current. Its descriptor as for start(), or -1 with
    /// errno set, when the current folder stays current. ENOENT also when the current
    /// folder, let go earlier, can no longer be reached as the same folder.
    int enter(std::string_view name);
    /// Makes the parent of the current folder current again; nothing at the start folder.
    void leave();

    /// The current folder's path: the start path and each name entered, joined by "/".
    const std::string& path() const { return path_; }
    /// 0 at the start folder.
    size_t depth() const { return levels_.empty() ? 0 : levels_.size() - 1; }
    /// Descriptors open at the moment.
    size_t heldDescriptors() const { return open_ + (returning_.valid() ? 1 : 0); }

private:
    struct Level {
        size_t pathLength = 0; // of path_ with this level's name
        size_t nameStart = 0;
        FileDescriptor fd;     // invalid once let go
        dev_t device = 0;      // identity, taken when the descriptor is let go
        ino_t inode = 0;
        bool lost = false;     // let go and not the same folder any more
    };

    void letGoOfShallowest();
    bool reacquireCurrent();
    bool sameFolder(int fd, const Level& level) const;

    size_t held_;
    std::vector<Level> levels_;
    std::string path_;
    size_t open_ = 0;        // level 0, and levels firstOpen_ .. depth()
    size_t firstOpen_ = 1;
    FileDescriptor returning_; // the level just left, while its parent's descriptor is let go
};

} // namespace sorvel
