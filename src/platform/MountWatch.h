#pragma once
// The mount table kept open, read again only when the kernel says it changed: an open
// /proc/self/mountinfo reports POLLPRI after every mount, unmount or move in this
// process's namespace, until it is polled.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/MountTable.h"

namespace sorvel {

class MountWatch {
public:
    /// Watches `mountTablePath()`. A table the kernel does not signal changes of (a file
    /// a test put in its place) is read again at every look.
    MountWatch();

    /// The table as it is now: the one read last, unless something changed since it was
    /// read (or that cannot be told). None while it cannot be read.
    const std::optional<std::vector<MountEntry>>& table();

    /// Whether the table changed since it was last read, or that cannot be told.
    bool changed();

    /// Counts the reads: equal counts mean the same table.
    uint64_t generation() const { return generation_; }

private:
    void read();

    std::string path_;
    FileDescriptor fd_;
    bool signalled_ = false; // the kernel reports changes of fd_
    bool stale_ = true;
    uint64_t generation_ = 0;
    std::optional<std::vector<MountEntry>> table_;
};

} // namespace sorvel
