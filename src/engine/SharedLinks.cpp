#include "engine/SharedLinks.h"

#include <algorithm>

#include "engine/Bytes.h"

namespace sorvel {

std::string_view folderPath(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

namespace {

// The length of the deepest folder holding both: a component is never cut in two.
size_t commonFolderLength(std::string_view a, std::string_view b) {
    if (a == "/" || b == "/") return 1;
    const size_t shorter = std::min(a.size(), b.size());
    size_t same = 0;
    while (same < shorter && a[same] == b[same]) ++same;
    if (same == a.size() && (same == b.size() || b[same] == '/')) return same;
    if (same == b.size() && a[same] == '/') return same;
    const size_t slash = same == 0 ? std::string_view::npos : a.rfind('/', same - 1);
    if (slash == std::string_view::npos) return 0;
    return slash == 0 ? 1 : slash;
}

bool inside(std::string_view folder, std::string_view top) {
    if (top == "/") return !folder.empty() && folder[0] == '/';
    return folder.size() >= top.size() && folder.compare(0, top.size(), top) == 0 &&
           (folder.size() == top.size() || folder[top.size()] == '/');
}

} // namespace

void SharedLinks::File::meet(std::string_view folder) {
    ++namesMet;
    commonLength = commonFolderLength(std::string_view(countedIn).substr(0, commonLength), folderPath(folder));
}

SharedLinks::SharedLinks(std::vector<File> files) {
    // A file all of whose names lie in the folder that counts it is freed with any folder
    // holding that one: no folder shares it.
    std::erase_if(files, [](const File& f) { return f.namesMet >= f.links && f.commonLength >= f.countedIn.size(); });
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.countedIn < b.countedIn; });
    files_ = std::move(files);
}

int64_t SharedLinks::sharedBytes(std::string_view path) const {
    const std::string_view top = folderPath(path);
    if (top.empty()) return 0;
    // Folders inside `top` sort together, from `top` itself on, save for siblings such as
    // "top-2" that sort between it and "top/": those are passed over.
    auto it = std::lower_bound(files_.begin(), files_.end(), top,
                               [](const File& f, std::string_view p) { return std::string_view(f.countedIn) < p; });
    int64_t shared = 0;
    for (; it != files_.end(); ++it) {
        const std::string_view folder = it->countedIn;
        if (!inside(folder, top)) {
            if (folder.compare(0, top.size(), top) == 0) continue;
            break;
        }
        const bool everyNameInside = it->namesMet >= it->links && it->commonLength >= top.size();
        if (!everyNameInside) shared += it->size;
    }
    return shared;
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
