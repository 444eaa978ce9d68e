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
    if (node.accessDenied || node.nothingReadable) return Reading::none;
    return refusedInPart(node) || node.partial ? Reading::partial : Reading::whole;
}

bool refusedInPart(const ScanNode &node) {
    // The counts and the flag survive the kept depth, so the answer does not depend on it.
    return !node.accessDenied && !node.nothingReadable && node.unreadableFolders > 0;
}

bool notMeasured(const ScanNode &node) {
    return node.partial && node.size <= 0 && !node.accessDenied && !node.nothingReadable;
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
