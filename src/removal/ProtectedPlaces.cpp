#include "removal/ProtectedPlaces.h"

#include <cstdlib>
#include <vector>

#include "platform/Path.h"

namespace sorvel {
namespace {

std::optional<std::string> realPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    return resolvedPath(path);
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

ProtectedPlaces ProtectedPlaces::of(const CleanupPolicy& policy, const std::string& home,
                                    const std::optional<std::vector<MountEntry>>& mounts) {
    ProtectedPlaces places = of(policy, home);
    places.mounts_ = mounts;
    if (!mounts) return places;
    auto locate = [&](const std::string& name, bool isHome) {
        if (name.empty() || name[0] != '/') return;
        // A place that does not exist yet still lies somewhere: below its nearest folder that does.
        auto found = fileSystemPlaces(*mounts, resolvingExistingPart(standardizePath(name)));
        if (!found) return;
        for (const auto& place : *found) places.trusted_.insert(place.device);
        places.located_.push_back({name, isHome, std::move(*found)});
    };
    locate(home, true);
    for (const auto& prefix : policy.deniedPrefixes) locate(prefix, false);
    return places;
}

std::optional<ProtectedPlaces::Conflict> ProtectedPlaces::placeConflict(const std::string& path) const {
    const Conflict unknown{Conflict::Kind::unknown, {}, false, false};
    if (!mounts_ || path.empty() || path[0] != '/') return unknown;
    const auto found = fileSystemPlaces(*mounts_, path);
    if (!found) return unknown;
    for (const auto& place : *found)
        if (!isUnderstoodFileSystem(place.fsType) && !trusted_.count(place.device))
            return Conflict{Conflict::Kind::unknown, place.fsType, false, false};
    for (const auto& located : located_) {
        if (located.isHome) continue;
        for (const auto& own : *found)
            for (const auto& guarded : located.places)
                if (own.device == guarded.device && isPathInside(own.path, guarded.path))
                    return Conflict{Conflict::Kind::isOrInside, located.name, false, own.path == guarded.path};
    }
    for (const auto& located : located_)
        for (const auto& own : *found)
            for (const auto& guarded : located.places)
                if (own.device == guarded.device && isPathInside(guarded.path, own.path))
                    return Conflict{Conflict::Kind::holds, located.name, located.isHome, own.path == guarded.path};
    return std::nullopt;
}

} // namespace sorvel
