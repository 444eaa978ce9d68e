#include "platform/PlaceRelation.h"

#include <optional>

#include "platform/FileIdentity.h"
#include "platform/MountTable.h"
#include "platform/Path.h"

namespace sorvel {
namespace {

// Links and ".." of the part that exists resolved; ".." of a part that does not, by its text.
std::string resolved(const std::string& path) { return standardizePath(resolvingExistingPart(path)); }

// Whether a folder above `resolved` (itself left out) is the entry `folder`.
bool hasAncestor(const std::string& resolved, const FileIdentity& folder) {
    for (std::string up = deletingLastPathComponent(resolved); !up.empty(); up = deletingLastPathComponent(up)) {
        if (fileIdentity(up, true) == folder) return true;
        if (up == "/") break;
    }
    return false;
}

} // namespace

Placement placement(const std::string& a, const std::string& b) {
    const std::string ra = resolved(a);
    const std::string rb = resolved(b);
    const std::optional<FileIdentity> ia = fileIdentity(ra, true);
    const std::optional<FileIdentity> ib = fileIdentity(rb, true);
    if (ra == rb || (ia && ib && *ia == *ib)) return Placement::same;
    if (isPathInside(rb, ra) || (ia && hasAncestor(rb, *ia))) return Placement::holds;
    if (isPathInside(ra, rb) || (ib && hasAncestor(ra, *ib))) return Placement::inside;
    return Placement::apart;
}

PlaceSet::PlaceSet(const std::vector<std::string>& places) {
    for (const auto& place : places) {
        const std::string real = resolved(place);
        resolved_.push_back(real);
        if (auto identity = fileIdentity(real, true)) identities_.insert(*identity);
        for (std::string up = deletingLastPathComponent(real); !up.empty(); up = deletingLastPathComponent(up)) {
            if (auto identity = fileIdentity(up, true)) above_.insert(*identity);
            if (up == "/") break;
        }
    }
}

bool PlaceSet::isOrHoldsAny(const std::string& path) const {
    const std::string real = resolved(path);
    for (const auto& place : resolved_)
        if (isPathInside(place, real)) return true;
    const auto identity = fileIdentity(real, true);
    return identity && (identities_.count(*identity) > 0 || above_.count(*identity) > 0);
}

} // namespace sorvel
