#include "engine/Bytes.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/ByteCountFormatter.h"

namespace sorvel::Bytes {
namespace {

// The formatter is one shared facility; every use is serialised.
std::mutex& formatterLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

std::string format(int64_t bytes) {
    std::lock_guard guard(formatterLock());
    return formatByteCount(std::max<int64_t>(bytes, 0));
}

Parts parts(int64_t bytes) {
    const std::string text = format(bytes);
    // At most two pieces, split at the first space, empty pieces dropped.
    std::vector<std::string> pieces;
    const size_t space = text.find(' ');
    if (space == std::string::npos) {
        if (!text.empty()) pieces.push_back(text);
    } else {
        if (space > 0) pieces.push_back(text.substr(0, space));
        if (space + 1 < text.size()) pieces.push_back(text.substr(space + 1));
    }
    if (pieces.size() == 2) return Parts{pieces[0], pieces[1]};
    return Parts{text, ""};
}

std::string compact(int64_t bytes) {
    const double count = static_cast<double>(bytes);
    char buffer[64];
    const double g = count / 1'000'000'000.0;
    if (g >= 100) {
        std::snprintf(buffer, sizeof buffer, "%.0f GB", g);
        return buffer;
    }
    if (g >= 1) {
        std::snprintf(buffer, sizeof buffer, "%.1f GB", g);
        return buffer;
    }
    const double m = count / 1'000'000.0;
    if (m >= 1) {
        std::snprintf(buffer, sizeof buffer, "%.0f MB", m);
        return buffer;
    }
    // Below a megabyte as every other figure reads it ("889 KB"), never a raw byte count.
    return format(bytes);
}

} // namespace sorvel::Bytes
