#pragma once
// Reading a folder's entries: names and types as the file system reports them, "." and
// ".." left out. The walk has its own bulk reader; everything else lists through here.
#include <dirent.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"

namespace sorvel {

/// A folder this user may list but not search (read without execute) names its entries
/// yet lets none of them be looked at. For the folder open at `folder`: 0 when this user
/// may look inside, else the reason (EACCES or EPERM), found by one look-up of "." in it.
int searchRefusal(int folder);
/// Whether this user may not write the folder open at `folder` (so nothing in it can be
/// deleted, in the Trash or anywhere): false for root, who may, without a system call.
bool writeRefused(int folder);

class DirectoryListing {
public:
    enum class Type { unknown, regular, directory, symlink, other };
    struct Entry {
        std::string_view name; // valid until the next call of next(); name.data() ends in a NUL
        Type type = Type::unknown;
    };

    /// Opens the folder at the path (symbolic links followed) without moving its access
    /// time where that is permitted; none when it cannot be.
    static std::optional<DirectoryListing> open(const std::string& path);
    /// Lists an open folder descriptor, which the listing then owns; none when it cannot.
    static std::optional<DirectoryListing> adopt(FileDescriptor folder);

    DirectoryListing(DirectoryListing&& other) noexcept : dir_(other.dir_) { other.dir_ = nullptr; }
    DirectoryListing& operator=(DirectoryListing&& other) noexcept;
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;
    ~DirectoryListing();

    /// The next entry; none at the end, or when reading failed (then failed() is true).
    std::optional<Entry> next();
    bool failed() const { return failed_; }
    /// The folder's descriptor, for *at() calls relative to it.
    int descriptor() const;

    /// Every name in the folder, in listing order (those read before a read error); none
    /// when it cannot be opened.
    static std::optional<std::vector<std::string>> names(const std::string& path);

private:
    explicit DirectoryListing(DIR* dir) : dir_(dir) {}
    DIR* dir_ = nullptr;
    bool failed_ = false;
};

} // namespace sorvel
