#include "platform/MainBundle.h"

#include <unistd.h>

#include <vector>

#include "platform/Path.h"

namespace sorvel {

std::string mainBundlePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size())
            return deletingLastPathComponent(std::string(buffer.data(), static_cast<size_t>(n)));
        if (buffer.size() >= (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace sorvel
