#pragma once
// The user's Trash is ~/.Trash. Items go in by rename only: never copied and deleted,
// never over an existing item (a taken name becomes "name 2", "name 3", ...).
#include <optional>
#include <string>

namespace sorvel::Trash {

/// Where an item went, or why it stayed. The message is a whole sentence.
struct MoveResult {
    std::optional<std::string> trashPath;
    std::string error;

    bool moved() const { return trashPath.has_value(); }
};

/// The home folder followed by "/.Trash".
std::string directory();

/// Opens the Trash, creating it with mode 0700 when missing. Refuses a Trash that is a
/// symbolic link, not a folder, or owned by someone else. Returns a descriptor (closed
/// by the caller) or -1 with `error` set.
int open(std::string& error);

/// Opens an absolute, standardised folder path one component at a time without
/// following any symbolic link (O_PATH, usable as the folder of *at calls). Returns -1
/// with errno set (ENOTDIR when a component is a link or not a folder).
int openFolderNoFollow(const std::string& path);

/// Moves the entry `name` of the open folder `parentFd` into the Trash with
/// renameat2(RENAME_NOREPLACE). `name` must be a single component.
MoveResult moveEntry(int parentFd, const std::string& name);

/// Opens the parent of the absolute, standardised `path` without following links and
/// moves its last component into the Trash.
MoveResult moveItem(const std::string& path);

} // namespace sorvel::Trash
