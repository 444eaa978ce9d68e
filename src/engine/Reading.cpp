#include "engine/Reading.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "engine/ScanNode.h"
#include "platform/FileManager.h"

namespace sorvel {

Reading joined(Reading a, Reading b) {
    if (a == b) return a;
    return Reading::partial;
}

Reading readingOf(const ScanNode &node) {
    if (node.accessDenied) return Reading::none;
    if (node.unreadableFolders <= 0) return Reading::whole;
    // Some folder below refused: with no file read anywhere, what was read is empty folders
    // around it, and its 0 is no figure. The counts survive the kept depth, so the answer
    // does not depend on it.
    return node.fileCount > 0 ? Reading::partial : Reading::none;
}

bool refusedToRead(const std::string &path) {
    const auto presence = FileManager::presence(path);
    if (presence == FileManager::Presence::absent) return false;
    if (presence == FileManager::Presence::hidden) return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

Measured Measured::of(const ScanNode &node) { return {node.size, readingOf(node)}; }

} // namespace sorvel
