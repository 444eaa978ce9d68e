#pragma once
// Puts one item of a test's own folders into the Trash the way the cleanup executor does.
#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Trash.h"

namespace sorvel::test {

inline Trash::MoveResult moveToTrash(const std::string& path) {
    const FileDescriptor parent(Trash::openFolderNoFollow(deletingLastPathComponent(path)));
    if (!parent.valid()) return Trash::MoveResult{std::nullopt, "The parent folder could not be opened.", std::nullopt};
    return Trash::moveEntry(parent.get(), deletingLastPathComponent(path), lastPathComponent(path));
}

} // namespace sorvel::test
