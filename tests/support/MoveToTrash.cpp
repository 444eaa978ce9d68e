#include "support/MoveToTrash.h"

#include "platform/FileDescriptor.h"
#include "platform/Path.h"

namespace sorvel::test {

Trash::MoveResult moveToTrash(const std::string& path) {
    const std::string parent = deletingLastPathComponent(path);
    const FileDescriptor parentFd(Trash::openFolderNoFollow(parent));
    if (!parentFd.valid()) return Trash::MoveResult{std::nullopt, "The parent folder could not be opened.", std::nullopt};
    return Trash::moveEntry(parentFd.get(), parent, lastPathComponent(path));
}

} // namespace sorvel::test
