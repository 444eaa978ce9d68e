#include "platform/PathTrace.h"

#include <climits>
#include <deque>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"

namespace sorvel {
namespace {

// As the kernel gives up on a loop of links.
constexpr int kMostLinks = 40;

std::deque<std::string> components(const std::string& path) {
    const auto pieces = pathPieces(path);
    return std::deque<std::string>(pieces.begin(), pieces.end());
}

std::string joined(std::string path, const std::deque<std::string>& rest) {
    for (const auto& part : rest) path = appendingPathComponent(path, part);
    return path;
}

} // namespace

PathTrace::Step PathTrace::look(const std::string& path) {
    Step step;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return step;
    step.identity = FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    step.type = st.st_mode & S_IFMT;
    if (S_ISLNK(st.st_mode)) {
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        step.link = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("\0", 1);
    }
    return step;
}

std::string PathTrace::add(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return path;
    std::deque<std::string> rest = components(path);
    std::string current = "/";
    steps_["/"] = look("/");
    int links = 0;
    while (!rest.empty()) {
        const std::string part = rest.front();
        rest.pop_front();
        if (part == ".") continue;
        if (part == "..") {
            current = deletingLastPathComponent(current);
            continue;
        }
        const std::string next = appendingPathComponent(current, part);
        const Step step = look(next);
        steps_[next] = step;
        if (!step.identity) return joined(next, rest);
        if (step.type == S_IFLNK) {
            if (++links > kMostLinks || step.link.empty() || step.link[0] == '\0') return joined(next, rest);
            auto target = components(step.link);
            rest.insert(rest.begin(), target.begin(), target.end());
            if (step.link[0] == '/') current.assign(1, '/');
            continue;
        }
        current = next;
        if (step.type != S_IFDIR) break;
    }
    return joined(current, rest);
}

bool PathTrace::unchanged() const {
    for (const auto& [path, step] : steps_)
        if (!(look(path) == step)) return false;
    return true;
}

} // namespace sorvel
