#include "removal/ProtectedPlaces.h"

#include <cstdlib>
#include <vector>

#include "platform/Path.h"

namespace sorvel {
namespace {

std::optional<std::string> realPath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return std::nullopt;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return std::nullopt;
    std::string out(resolved);
    std::free(resolved);
    return out;
}

// "/a/b/c" -> "/a/b", "/a", "/".
std::vector<std::string> ancestors(const std::string& path) {
    std::vector<std::string> out;
    std::string current = path;
    while (current.size() > 1) {
        const size_t slash = current.find_last_of('/');
        current = slash == 0 ? std::string("/") : current.substr(0, slash);
        out.push_back(current);
    }
    return out;
}

} // namespace

ProtectedPlaces ProtectedPlaces::of(const CleanupPolicy& policy, const std::string& home) {
    ProtectedPlaces places;
    auto add = [&](const std::string& name, bool isHome) {
        const auto real = realPath(name);
        if (!real) return;
        const auto self = fileIdentity(*real, true);
        if (!self) return;
        if (!isHome) places.denied_.emplace(*self, Place{name, false, true});
        // The first place listed names a shared ancestor: the home before the policy's.
        places.held_.emplace(*self, Place{name, isHome, true});
        for (const auto& above : ancestors(*real))
            if (auto id = fileIdentity(above, true)) places.held_.emplace(*id, Place{name, isHome, false});
    };
    add(home, true);
    for (const auto& prefix : policy.deniedPrefixes) add(prefix, false);
    return places;
}

std::optional<ProtectedPlaces::Conflict> ProtectedPlaces::conflict(const std::string& resolvedPath) const {
    if (resolvedPath.empty() || resolvedPath[0] != '/') return std::nullopt;
    const auto self = fileIdentity(resolvedPath, false);
    if (self) {
        if (auto it = denied_.find(*self); it != denied_.end())
            return Conflict{Conflict::Kind::isOrInside, it->second.name, false, true};
    }
    for (const auto& above : ancestors(resolvedPath)) {
        const auto id = fileIdentity(above, true);
        if (!id) continue;
        if (auto it = denied_.find(*id); it != denied_.end())
            return Conflict{Conflict::Kind::isOrInside, it->second.name, false, false};
    }
    if (self) {
        if (auto it = held_.find(*self); it != held_.end())
            return Conflict{Conflict::Kind::holds, it->second.name, it->second.isHome, it->second.samePlace};
    }
    return std::nullopt;
}

} // namespace sorvel
