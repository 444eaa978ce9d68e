#pragma once
// Going down a folder tree one level at a time, each folder opened relative to its
// parent's descriptor: reaching a folder costs the same at any depth, and no path longer
// than the kernel accepts is ever named. Only a bounded number of descriptors stay open:
// the start folder's and those of the deepest levels. A level whose descriptor was let
// go is reached again through ".." of the level just left, or else by its names from the
// start folder, and only when it is still the same folder (device and inode).
#include <sys/types.h>

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
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

    /// The hook that does nothing.
    struct Ignore {
        template <typename... Arguments>
        void operator()(Arguments&&...) const {}
    };

    /// Goes through the tree below `root` depth first, starting the descent there.
    /// `read(fd, subfolders)` reads the current folder (path() names it), open on `fd`,
    /// and appends the names of the subfolders to enter: the last appended is entered
    /// first, and a folder's whole subtree before the subfolder appended before it.
    /// `mayOpen()` is asked just before each folder is opened, the root included; false
    /// ends the walk there, and then only, the result is false. A folder that cannot be
    /// opened is passed over with everything below it after `failed(name)` (errno set;
    /// the root's path for the root). `left()` is called once for every folder read,
    /// while it is still current, when its subtree is done or the walk ends early.
    template <typename Read, typename MayOpen, typename Failed = Ignore, typename Left = Ignore>
    bool depthFirst(const std::string& root, Read&& read, MayOpen&& mayOpen, Failed&& failed = Ignore{},
                    Left&& left = Ignore{});

    /// Whole paths a walk leaves out. Only an entry whose joined path has the length of
    /// one of them is ever joined: deep in a tree, joining every entry's path would cost
    /// time that grows with the depth.
    class Exclusions {
    public:
        explicit Exclusions(const std::set<std::string>& paths);
        /// Whether `folder` + "/" + `name` (one "/" between them) is one of the paths.
        bool excludes(std::string_view folder, std::string_view name) const;

    private:
        const std::set<std::string>& paths_;
        std::unordered_set<size_t> lengths_;
    };

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

template <typename Read, typename MayOpen, typename Failed, typename Left>
bool FolderDescent::depthFirst(const std::string& root, Read&& read, MayOpen&& mayOpen, Failed&& failed,
                               Left&& left) {
    std::vector<std::vector<std::string>> pending; // per level, the subfolders not yet entered
    if (!mayOpen()) return false;
    const int top = start(root);
    if (top < 0) {
        failed(root);
        return true;
    }
    pending.emplace_back();
    read(top, pending.back());
    while (!pending.empty()) {
        std::vector<std::string>& names = pending.back();
        if (names.empty()) {
            left();
            pending.pop_back();
            leave();
            continue;
        }
        const std::string name = std::move(names.back());
        names.pop_back();
        if (!mayOpen()) {
            for (; !pending.empty(); pending.pop_back()) {
                left();
                leave();
            }
            return false;
        }
        const int fd = enter(name);
        if (fd < 0) {
            failed(name);
            continue;
        }
        pending.emplace_back();
        read(fd, pending.back());
    }
    return true;
}

} // namespace sorvel
