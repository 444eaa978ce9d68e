#include "platform/Path.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sorvel {

std::string homeDirectory() {
    std::string home;
    if (const char* env = std::getenv("HOME"); env && *env) {
        home = env;
    } else {
        struct passwd pw {};
        struct passwd* result = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result &&
            result->pw_dir) {
            home = result->pw_dir;
        }
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string standardizePath(std::string_view input) {
    std::string path(input);
    if (!path.empty() && path[0] == '~' && (path.size() == 1 || path[1] == '/')) {
        path = homeDirectory() + path.substr(1);
    }
    if (path.empty()) return path;
    const bool absolute = path[0] == '/';
    std::vector<std::string_view> parts;
    for (const std::string_view part : pathPieces(path)) {
        if (part == ".") {
            // dropped
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else {
            parts.push_back(part);
        }
    }
    std::string out;
    if (absolute) out = "/";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    if (out.empty()) out = absolute ? "/" : ".";
    return out;
}

std::string lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return "/";
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::string(path);
    return std::string(path.substr(slash + 1));
}

std::string deletingLastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return "";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string appendingPathComponent(std::string_view parent, std::string_view name) {
    std::string out(parent);
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

namespace {

std::optional<std::string> underHome(std::string_view path, const std::string& home) {
    if (path == home) return "~";
    if (path.size() > home.size() && path.compare(0, home.size(), home) == 0 && path[home.size()] == '/')
        return "~" + std::string(path.substr(home.size()));
    return std::nullopt;
}

// Where the home really lies, once per home: what History records is named by its real place.
std::string realHome(const std::string& home) {
    static std::mutex mutex;
    static std::string spelled, real;
    std::lock_guard lock(mutex);
    if (home != spelled) {
        spelled = home;
        real = resolvedPath(home).value_or(home);
    }
    return real;
}

} // namespace

std::string tildeAbbreviated(std::string_view path) {
    const std::string home = homeDirectory();
    if (home.empty()) return std::string(path);
    if (auto shown = underHome(path, home)) return *shown;
    if (!path.empty() && path[0] == '/')
        if (const std::string real = realHome(home); real != home && real != "/")
            if (auto shown = underHome(path, real)) return *shown;
    return std::string(path);
}

bool isPathInside(std::string_view path, std::string_view folder) {
    if (path == folder) return true;
    if (folder == "/") return !path.empty() && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

std::vector<std::string_view> pathPieces(std::string_view path) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) slash = path.size();
        if (slash > start) out.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return out;
}

size_t componentsFrom(std::string_view path, size_t start) {
    size_t count = 0;
    bool inPiece = false;
    for (size_t i = start; i < path.size(); ++i) {
        if (path[i] == '/') {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++count;
        }
    }
    return count;
}

std::string absolutePath(std::string_view path) {
    if (path.empty() || path.front() == '/') return std::string(path);
    char* current = ::getcwd(nullptr, 0);
    if (!current) return std::string(path);
    std::string folder(current);
    std::free(current);
    while (path == "." || path.starts_with("./")) {
        path.remove_prefix(path.size() > 1 ? 2 : 1);
        while (path.starts_with('/')) path.remove_prefix(1);
    }
    if (path.empty()) return folder;
    return appendingPathComponent(folder, path);
}

namespace {
std::atomic<uint64_t> resolutions{0};
} // namespace

uint64_t pathResolutions() { return resolutions.load(std::memory_order_relaxed); }

void countPathResolution() { resolutions.fetch_add(1, std::memory_order_relaxed); }

std::optional<std::string> resolvedPath(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
    countPathResolution();
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

std::vector<std::string> writtenAndResolved(const std::string& path) {
    std::vector<std::string> out{path};
    if (!path.empty() && path[0] == '/')
        if (auto real = resolvedPath(path); real && *real != path) out.push_back(std::move(*real));
    return out;
}

std::string namedFolderPlace(const std::string& path) {
    struct stat st;
    if (path.empty() || path[0] != '/' || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return path;
    return resolvedPath(path).value_or(path);
}

OwnPlace ownPlace(const std::string& folder, const std::string& home) {
    const std::string f = standardizePath(folder), h = standardizePath(home);
    if (f.empty() || f[0] != '/' || f == "/") return {f, {}};
    // The part followed: the home where the folder lies in it, else the folder's parent.
    const bool inHome = h.size() > 1 && h[0] == '/' && isPathInside(f, h);
    const std::string front = inHome ? h : deletingLastPathComponent(f);
    const auto real = resolvedPath(front);
    if (!real) return {f, {}};
    std::string at = *real, written = front;
    for (const auto piece : pathPieces(std::string_view(f).substr(front == "/" ? 0 : front.size()))) {
        at = appendingPathComponent(at, piece);
        written = appendingPathComponent(written, piece);
        struct stat st;
        if (::lstat(at.c_str(), &st) != 0) {
            // Not there (yet): the rest as written.
            const std::string rest = f.substr(written.size());
            return {at + rest, {}};
        }
        if (S_ISLNK(st.st_mode)) return {std::nullopt, written};
    }
    return {at, {}};
}

} // namespace sorvel
