#include "platform/FolderDescent.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/BulkAttributes.h"
#include "platform/MountSources.h"
#include "platform/QuietOpen.h"

namespace sorvel {
namespace {

constexpr int kReadFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
// A level reached again only anchors the opens of its subfolders; it is not read again.
constexpr int kAnchorFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Pieces of a relative path stay well below the kernel's limit on one path.
constexpr size_t kPiece = 2048;

} // namespace

FolderDescent::FolderDescent(size_t held) : held_(std::max<size_t>(held, 2)) {}

int FolderDescent::start(const std::string& path) {
    levels_.clear();
    returning_.reset();
    path_.clear();
    open_ = 0;
    firstOpen_ = 1;
    FileDescriptor fd(openDirectory(path.c_str()));
    if (!fd.valid()) return -1;
    path_ = path;
    Level root;
    root.pathLength = path_.size();
    root.fd = std::move(fd);
    levels_.push_back(std::move(root));
    open_ = 1;
    return levels_.back().fd.get();
}

int FolderDescent::enter(std::string_view name) {
    if (levels_.empty() || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string_view::npos) {
        errno = EINVAL;
        return -1;
    }
    if (!levels_.back().fd.valid() && !reacquireCurrent()) return -1;
    returning_.reset();
    const std::string nameText(name);
    // A mount another process serves is given a few seconds to open: one that does not answer
    // would hold the descent for ever.
    FileDescriptor fd(openSubfolderInTime(levels_.back().fd.get(), nameText.c_str(), [](int at, const char* n) {
        return openatQuietly(at, n, kReadFlags);
    }));
    if (!fd.valid()) return -1;
    Level level;
    if (path_.empty() || path_.back() != '/') path_ += '/';
    level.nameStart = path_.size();
    path_ += name;
    level.pathLength = path_.size();
    level.fd = std::move(fd);
    levels_.push_back(std::move(level));
    ++open_;
    while (open_ > held_) letGoOfShallowest();
    return levels_.back().fd.get();
}

void FolderDescent::leave() {
    if (levels_.size() <= 1) return;
    Level& child = levels_.back();
    const Level& parent = levels_[levels_.size() - 2];
    const bool parentLetGo = levels_.size() - 2 > 0 && !parent.fd.valid();
    if (child.fd.valid()) {
        --open_;
        // Its ".." is the cheapest way back to a parent whose descriptor was let go.
        if (parentLetGo) returning_ = std::move(child.fd);
        else returning_.reset();
    } else {
        returning_.reset();
    }
    path_.resize(parent.pathLength);
    levels_.pop_back();
    firstOpen_ = std::min(firstOpen_, levels_.size());
}

void FolderDescent::letGoOfShallowest() {
    // Level 0 stays open: it anchors every way back. open_ > held_ >= 2 leaves the
    // current level open.
    Level& level = levels_[firstOpen_];
    struct stat st {};
    if (::fstat(level.fd.get(), &st) == 0) {
        level.device = st.st_dev;
        level.inode = st.st_ino;
    } else {
        level.lost = true;
    }
    level.fd.reset();
    --open_;
    ++firstOpen_;
}

FolderDescent::Exclusions::Exclusions(const std::set<std::string>& paths) : paths_(paths) {
    for (const auto& path : paths) lengths_.insert(path.size());
}

bool FolderDescent::Exclusions::excludes(std::string_view folder, std::string_view name) const {
    if (lengths_.empty()) return false;
    const bool slash = folder.empty() || folder.back() != '/';
    if (!lengths_.count(folder.size() + (slash ? 1 : 0) + name.size())) return false;
    std::string path(folder);
    if (slash) path += '/';
    path += name;
    return paths_.count(path) > 0;
}

bool FolderDescent::sameFolder(int fd, const Level& level) const {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_dev == level.device && st.st_ino == level.inode;
}

bool FolderDescent::reacquireCurrent() {
    Level& level = levels_.back();
    FileDescriptor fd;
    if (!level.lost && returning_.valid()) {
        fd.reset(::openat(returning_.get(), "..", kAnchorFlags));
        if (fd.valid() && !sameFolder(fd.get(), level)) fd.reset();
    }
    returning_.reset();
    if (!level.lost && !fd.valid()) {
        // The child was moved away, or cannot be searched: by the names from the start folder.
        std::string_view rest(path_);
        rest.remove_prefix(levels_[1].nameStart);
        int at = levels_[0].fd.get();
        FileDescriptor reached;
        bool complete = true;
        while (!rest.empty()) {
            size_t cut = rest.size();
            if (cut > kPiece) {
                cut = rest.rfind('/', kPiece);
                if (cut == std::string_view::npos || cut == 0) cut = rest.find('/');
                if (cut == std::string_view::npos) cut = rest.size();
            }
            const std::string piece(rest.substr(0, cut));
            rest.remove_prefix(std::min(rest.size(), cut + 1));
            FileDescriptor next(::openat(at, piece.c_str(), kAnchorFlags));
            if (!next.valid()) {
                complete = false;
                break;
            }
            reached = std::move(next);
            at = reached.get();
        }
        if (complete && reached.valid() && sameFolder(reached.get(), level)) fd = std::move(reached);
    }
    if (!fd.valid()) {
        // Whatever is there now is not the folder whose listing is being gone through.
        level.lost = true;
        errno = ENOENT;
        return false;
    }
    level.fd = std::move(fd);
    ++open_;
    firstOpen_ = levels_.size() - 1;
    return true;
}

} // namespace sorvel
