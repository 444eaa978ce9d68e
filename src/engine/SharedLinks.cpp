#include "engine/SharedLinks.h"

#include <algorithm>

#include "engine/Bytes.h"

namespace sorvel {

std::string_view folderPath(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

std::optional<std::string> sharedStorageNote(int64_t held, int64_t shared) {
    held = std::max<int64_t>(held, 0);
    shared = std::clamp<int64_t>(shared, 0, held);
    if (shared < 1) return std::nullopt;
    const int64_t freed = held - shared;
    return Bytes::format(shared) + " is shared storage: hard links to files also named outside it. Moving it frees " +
           (freed < 1 ? std::string("nothing.") : Bytes::format(freed) + ".");
}

} // namespace sorvel
