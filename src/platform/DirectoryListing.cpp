#include "platform/DirectoryListing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/QuietOpen.h"

namespace sorvel {

int searchRefusal(int folder) {
    struct stat st {};
    if (::fstatat(folder, ".", &st, AT_SYMLINK_NOFOLLOW) == 0) return 0;
    return errno == EACCES || errno == EPERM ? errno : 0;
}

bool writeRefused(int folder) {
    static const bool root = ::geteuid() == 0;
    if (root) return false;
    if (::faccessat(folder, ".", W_OK, AT_EACCESS) == 0) return false;
    return errno == EACCES || errno == EPERM;
}

std::optional<DirectoryListing> DirectoryListing::open(const std::string& path) {
    // As opendir, but a listing leaves the folder's access time alone where it may.
    return adopt(FileDescriptor(openQuietly(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY)));
}

std::optional<DirectoryListing> DirectoryListing::adopt(FileDescriptor folder) {
    if (!folder.valid()) return std::nullopt;
    DIR* dir = ::fdopendir(folder.get());
    if (!dir) return std::nullopt; // the descriptor closes with `folder`
    folder.release();
    return DirectoryListing(dir);
}

DirectoryListing& DirectoryListing::operator=(DirectoryListing&& other) noexcept {
    if (this != &other) {
        if (dir_) ::closedir(dir_);
        dir_ = std::exchange(other.dir_, nullptr);
        failed_ = other.failed_;
    }
    return *this;
}

DirectoryListing::~DirectoryListing() {
    if (dir_) ::closedir(dir_);
}

int DirectoryListing::descriptor() const { return dir_ ? ::dirfd(dir_) : -1; }

std::optional<DirectoryListing::Entry> DirectoryListing::next() {
    if (!dir_) return std::nullopt;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir_);
        if (!entry) {
            failed_ = errno != 0;
            return std::nullopt;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        Type type;
        switch (entry->d_type) {
        case DT_REG:
            type = Type::regular;
            break;
        case DT_DIR:
            type = Type::directory;
            break;
        case DT_LNK:
            type = Type::symlink;
            break;
        case DT_UNKNOWN:
            type = Type::unknown;
            break;
        default:
            type = Type::other;
            break;
        }
        return Entry{name, type};
    }
}

std::optional<std::vector<std::string>> DirectoryListing::names(const std::string& path) {
    auto listing = open(path);
    if (!listing) return std::nullopt;
    std::vector<std::string> names;
    while (auto entry = listing->next()) names.emplace_back(entry->name);
    return names;
}

} // namespace sorvel
