#include "engine/Reading.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "engine/ScanNode.h"
#include "platform/FileManager.h"

namespace sorvel {

Reading joined(Reading a, Reading b) {
    if (a == b) return a;
    const auto noFigure = [](Reading r) { return r == Reading::none || r == Reading::unmeasured; };
    // One refused, one never reached: no part was measured, and the rest might be readable.
    if (noFigure(a) && noFigure(b)) return Reading::unmeasured;
    return Reading::partial;
}

Reading readingOf(const ScanNode &node) {
    if (node.accessDenied || node.nothingReadable) return Reading::none;
    if (node.partial && node.size <= 0) return Reading::unmeasured;
    return refusedInPart(node) || node.partial ? Reading::partial : Reading::whole;
}

bool refusedInPart(const ScanNode &node) {
    // The counts and the flag survive the kept depth, so the answer does not depend on it.
    return !node.accessDenied && !node.nothingReadable && node.unreadableFolders > 0;
}

bool notMeasured(const ScanNode &node) { return readingOf(node) == Reading::unmeasured; }

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
