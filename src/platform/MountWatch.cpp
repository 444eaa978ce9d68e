#include "platform/MountWatch.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace sorvel {
namespace {

constexpr long kProcMagic = 0x9fa0;

} // namespace

MountWatch::MountWatch() : path_(mountTablePath()) {
    fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    struct statfs fs;
    signalled_ = fd_.valid() && ::fstatfs(fd_.get(), &fs) == 0 && fs.f_type == kProcMagic;
}

bool MountWatch::changed() {
    if (stale_ || !signalled_ || mountTablePath() != path_) return true;
    struct pollfd p {fd_.get(), POLLPRI, 0};
    int got;
    do got = ::poll(&p, 1, 0);
    while (got < 0 && errno == EINTR);
    // Polling clears the signal: the table stays stale until read.
    if (got != 0) stale_ = true;
    return stale_;
}

const std::optional<std::vector<MountEntry>>& MountWatch::table() {
    if (changed()) read();
    return table_;
}

void MountWatch::read() {
    ++generation_;
    stale_ = false;
    if (!signalled_ || mountTablePath() != path_) {
        table_ = readMountTable(mountTablePath());
        return;
    }
    // Read from the start of the same open file, which also keeps its changes signalled.
    std::string text;
    std::array<char, 16384> buffer;
    const bool rewound = ::lseek(fd_.get(), 0, SEEK_SET) == 0;
    for (;;) {
        const ssize_t got = rewound ? ::read(fd_.get(), buffer.data(), buffer.size()) : -1;
        if (got < 0 && errno == EINTR) continue;
        // Half a table would hide mounts: all or nothing, and tried again at the next look.
        if (got < 0) {
            table_.reset();
            stale_ = true;
            return;
        }
        if (got == 0) break;
        text.append(buffer.data(), static_cast<size_t>(got));
    }
    auto entries = parseMountTable(text);
    if (entries.empty()) {
        table_.reset();
        stale_ = true;
        return;
    }
    table_ = std::move(entries);
}

} // namespace sorvel
