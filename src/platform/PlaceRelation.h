#pragma once
// How two places lie to each other by what they are, not how they are written: links and
// ".." are resolved, and a folder that is the very entry another path names (a bind mount,
// a second name) counts as that one.
#include <set>
#include <string>
#include <vector>

#include "platform/FileIdentity.h"

namespace sorvel {

enum class Placement { apart, same, holds, inside };

/// Whether `a` is `b`, holds it, lies inside it, or neither. A path that does not exist is
/// compared by its resolved text alone.
Placement placement(const std::string& a, const std::string& b);

/// `a` is `b` or holds it.
inline bool isOrHolds(Placement p) { return p == Placement::same || p == Placement::holds; }

/// A few places read once, to ask of many paths whether they are one of them or hold one:
/// each path then costs one resolution and one look at its entry.
class PlaceSet {
public:
    explicit PlaceSet(const std::vector<std::string>& places);
    /// The path is one of the places or holds one, by identity or by resolved text.
    bool isOrHoldsAny(const std::string& path) const;

private:
    std::vector<std::string> resolved_;    // each place with its links resolved
    std::set<FileIdentity> identities_;    // each place that exists
    std::set<FileIdentity> above_;         // each folder above an existing place
};

} // namespace sorvel
