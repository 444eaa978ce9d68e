#pragma once
// What a file system entry is, whatever it is called: its device and inode. A bind mount
// or a second name shows the same folder under another path, with the same identity.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace sorvel {

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;

    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

/// The identity of the entry at the path (of a link itself unless `followLinks`); none
/// when it cannot be read.
std::optional<FileIdentity> fileIdentity(const std::string& path, bool followLinks);

/// Whether the entry at a path is, or holds at any depth, the file of this identity: a
/// walk of the folders on its own file system (a name for a file lies on the file's), links
/// not followed. `unknown` where a folder could not be read, or lies too deep to name.
enum class Holding { none, holds, unknown };
Holding holdsFile(const std::string& path, const FileIdentity& file);

} // namespace sorvel
