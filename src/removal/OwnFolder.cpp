#include "removal/OwnFolder.h"

#include <cstdlib>

#include "engine/PathText.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/Text.h"
#include "removal/CleanupPolicy.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel::OwnFolder {
namespace {

// The path as written and, when it exists, where its links lead.
std::vector<std::string> spellings(const std::string& path) {
    std::vector<std::string> out{path};
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        if (path != resolved) out.emplace_back(resolved);
        std::free(resolved);
    }
    return out;
}

std::string quoted(const std::string& path) { return "\u201C" + validUTF8(tildeAbbreviated(path)) + "\u201D"; }

std::string isHomeSentence(const std::string& shown) {
    return shown + " is your home folder, so Sorvel can't sweep it. Add a folder inside it instead.";
}

std::string holdsHomeSentence(const std::string& shown) {
    return shown + " holds your home folder, so Sorvel can't sweep it. Add a folder inside your home instead.";
}

std::string protectedSentence(const std::string& path, const std::string& place, bool holds, bool samePlace) {
    const std::string where = validUTF8(tildeAbbreviated(place));
    if (holds)
        return quoted(path) + " holds a protected location (" + where +
               "), so Sorvel can't sweep it. Add a folder that holds none instead.";
    if (samePlace) return quoted(path) + " is a protected location (" + where + "), so Sorvel can't sweep it.";
    return quoted(path) + " is inside a protected location (" + where + "), so Sorvel can't sweep it.";
}

// The denied prefixes of the standard policy as written: being one, lying inside one or
// holding one, whether or not it exists yet.
std::optional<std::string> textRefusal(const std::string& path, const CleanupPolicy& policy) {
    for (const auto& form : spellings(path)) {
        for (const auto& prefix : policy.deniedPrefixes)
            if (!prefix.empty() && isPathInside(form, prefix))
                return protectedSentence(path, prefix, false, form == prefix);
        for (const auto& prefix : policy.deniedPrefixes)
            if (!prefix.empty() && isPathInside(prefix, form)) return protectedSentence(path, prefix, true, false);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> refusal(const std::string& folder) {
    const std::string path = standardizePath(folder);
    if (path.empty() || path[0] != '/') return std::nullopt;
    const std::string home = standardizePath(homeDirectory());
    if (home.empty() || home[0] != '/') return std::nullopt;

    bool holdsHome = false;
    bool isHome = false;
    for (const auto& form : spellings(path)) {
        for (const auto& homeForm : spellings(home)) {
            if (isPathInside(homeForm, form)) {
                holdsHome = true;
                isHome = isHome || form == homeForm;
            }
        }
    }
    if (holdsHome) {
        const std::string shown = "\u201C" + validUTF8(isHome ? path : tildeAbbreviated(path)) + "\u201D";
        return isHome ? isHomeSentence(shown) : holdsHomeSentence(shown);
    }

    const CleanupPolicy policy = CleanupPolicy::standard();
    if (auto reason = textRefusal(path, policy)) return reason;

    // The same by identity: a bind mount of the home, or of a folder around a protected
    // one, passes every comparison of names.
    const auto real = spellings(path).back();
    const ProtectedPlaces places = ProtectedPlaces::of(policy, home);
    const std::string shown = "\u201C" + validUTF8(path) + "\u201D";
    if (const auto conflict = places.conflict(real)) {
        if (conflict->isHome) return conflict->samePlace ? isHomeSentence(shown) : holdsHomeSentence(shown);
        return protectedSentence(path, conflict->place, conflict->kind == ProtectedPlaces::Conflict::Kind::holds,
                                 conflict->samePlace);
    }
    // Found on the way down: a mount inside the folder that shows the home or a protected
    // place (/mnt holding a bind mount of the home).
    for (const auto& mount : readMountTable()) {
        if (mount.mountPoint == real || !isPathInside(mount.mountPoint, real)) continue;
        if (const auto inner = places.conflict(mount.mountPoint))
            return inner->isHome ? holdsHomeSentence(shown) : protectedSentence(path, inner->place, true, false);
    }
    return std::nullopt;
}

std::vector<std::string> sweepable(const std::vector<std::string>& folders, std::vector<std::string>& refused) {
    std::vector<std::string> kept;
    for (const auto& folder : folders) {
        if (auto reason = refusal(folder)) refused.push_back(std::move(*reason));
        else kept.push_back(folder);
    }
    return kept;
}

} // namespace sorvel::OwnFolder
