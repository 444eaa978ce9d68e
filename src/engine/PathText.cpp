#include "engine/PathText.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "platform/Path.h"

namespace sorvel {

std::string trimmedTrailingSlash(std::string_view path) {
    if (path.size() < 2 || path.back() != '/') return std::string(path);
    while (path.size() >= 2 && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

std::string insidePrefix(std::string_view folder) {
    if (folder.empty() || folder == "/") return "/";
    std::string prefix(folder);
    prefix += '/';
    return prefix;
}

std::vector<std::string_view> foldersHolding(std::string_view path) {
    std::vector<std::string_view> out{path};
    if (!path.empty() && path[0] == '/') out.push_back("/");
    for (size_t i = path.find('/'); i != std::string_view::npos; i = path.find('/', i + 1))
        out.push_back(path.substr(0, i));
    return out;
}

std::string expandingTildeInPath(std::string_view path) {
    if (path.empty() || path[0] != '~') return std::string(path);
    const size_t slash = path.find('/');
    const std::string_view user = path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
    const std::string_view rest = slash == std::string_view::npos ? std::string_view{} : path.substr(slash);
    std::string home;
    if (user.empty()) {
        home = homeDirectory();
    } else {
        struct passwd pw {};
        struct passwd* found = nullptr;
        std::vector<char> buffer(16384);
        const std::string name(user);
        if (getpwnam_r(name.c_str(), &pw, buffer.data(), buffer.size(), &found) != 0 || !found ||
            !found->pw_dir)
            return std::string(path);
        home = found->pw_dir;
        while (home.size() > 1 && home.back() == '/') home.pop_back();
    }
    if (home.empty()) return std::string(path);
    if (home == "/" && !rest.empty()) return std::string(rest);
    return home + std::string(rest);
}

} // namespace sorvel
