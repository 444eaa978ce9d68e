#pragma once
// The places a removal must never take, known by what they are (device and inode) and
// not only by their names: a bind mount of the home, or of a folder above a protected
// one, shows the same folders under paths no text comparison would catch.
#include <map>
#include <optional>
#include <string>

#include "platform/FileIdentity.h"
#include "removal/CleanupPolicy.h"

namespace sorvel {

class ProtectedPlaces {
public:
    /// The home folder and every denied prefix of the policy, as they are on disk now;
    /// places that do not exist are left out (their names still count as text elsewhere).
    static ProtectedPlaces of(const CleanupPolicy& policy, const std::string& home);

    struct Conflict {
        enum class Kind {
            isOrInside, // the path is a denied place, or lies inside one
            holds,      // the path is the home or holds it or a denied place
        };
        Kind kind = Kind::isOrInside;
        std::string place; // as the policy writes it (or the home folder)
        bool isHome = false;
        bool samePlace = false; // the path is that very place, not a folder around it
    };

    /// The first conflict of an absolute path whose parent has no links left (a
    /// realpath); none when it is clear. Parts of the path that do not exist are skipped.
    std::optional<Conflict> conflict(const std::string& resolvedPath) const;

private:
    struct Place {
        std::string name;
        bool isHome = false;
        bool samePlace = false;
    };
    std::map<FileIdentity, Place> denied_; // a denied place: being it or inside it
    std::map<FileIdentity, Place> held_;   // a place (home included) or a folder above one
};

} // namespace sorvel
