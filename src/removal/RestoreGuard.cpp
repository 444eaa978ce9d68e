#include "removal/RestoreGuard.h"

#include <cstdlib>
#include <sys/stat.h>
#include <vector>

#include "platform/FileIdentity.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "platform/TrashRecords.h"

namespace sorvel::RestoreGuard {
namespace {

bool hasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

} // namespace

std::string Refusal::description() const {
    switch (kind) {
    case Kind::destinationNotAllowed:
        return "cannot be written back there \u2014 " + (guardRefusal ? guardRefusal->description() : std::string());
    case Kind::notInTrash:
        return "not in the Trash any more \u2014 Sorvel only ever restores from there";
    case Kind::missingFromTrash:
        return "gone from the Trash; it was emptied or the item was moved";
    case Kind::destinationOccupied:
        return "something is already at the original path, and Sorvel never overwrites";
    case Kind::destinationParentMissing:
        return "the folder it came from no longer exists";
    case Kind::notTheMovedItem:
        return "no longer the item Sorvel moved";
    case Kind::stillInPlace:
        return "still in its place; the run stopped before moving it";
    case Kind::alreadyBack:
        return "already back where it came from";
    }
    return {};
}

namespace {

// The protected places on the text as written, every rule on where it would really land.
std::optional<CleanupGuard::Refusal> landingRefusal(const std::string& written, const std::string& landing,
                                                    const CleanupPolicy& policy) {
    using Kind = CleanupGuard::Refusal::Kind;
    if (auto refusal = CleanupGuard::placeRefusal(written, policy, CleanupGuard::Entries::asWritten, false);
        refusal && refusal->kind == Kind::protectedPath)
        return refusal;
    auto refusal = CleanupGuard::placeRefusal(landing, policy, CleanupGuard::Entries::real, false);
    // Led elsewhere by a link now in front of a rule's folder: said as every mover says it.
    if (refusal && refusal->kind == Kind::outsideAllowedRoots && written != landing)
        if (auto behind = CleanupGuard::placeRefusal(written, policy, CleanupGuard::Entries::real, false);
            behind && behind->kind == Kind::throughLink)
            return behind;
    return refusal;
}

// The place in the home as the home is spelled now, where a folder above it is the home
// under another name (a bind of it, a link to it): known by what that folder is.
std::string inHomeAsSpelledNow(const std::string& place) {
    const std::string home = homeDirectory();
    if (home.empty() || home[0] != '/' || isPathInside(place, home) || hasNul(place)) return place;
    const auto here = fileIdentity(home, true);
    if (!here) return place;
    for (std::string up = deletingLastPathComponent(place); up.size() > 1; up = deletingLastPathComponent(up))
        if (fileIdentity(up, true) == here) return home + place.substr(up.size());
    return place;
}

std::string landingOf(const std::string& written, const std::optional<std::string>& parent) {
    return parent ? appendingPathComponent(*parent, lastPathComponent(written)) : written;
}

} // namespace

std::optional<Trash::Location> whereInTrash(const MovedItem& item) {
    const std::string trash = standardizePath(item.trashPath);
    if (hasNul(trash)) return std::nullopt;
    if (auto location = Trash::locate(trash)) return location;
    // Recorded under a spelling of the home that leads nowhere now (a link since removed):
    // an item whose object was recorded is looked for in the home trash by its name; the
    // judgement then insists on that very object, under Sorvel's record of its place.
    struct stat st;
    const std::string recordedTrash = deletingLastPathComponent(deletingLastPathComponent(trash));
    const std::string home = Trash::directory();
    if (!item.identity || home.empty() || lastPathComponent(deletingLastPathComponent(trash)) != "files" ||
        lastPathComponent(recordedTrash) != lastPathComponent(home) || ::stat(recordedTrash.c_str(), &st) == 0)
        return std::nullopt;
    return Trash::locate(home + "/files/" + lastPathComponent(trash));
}

std::optional<CleanupGuard::Refusal> destinationRefusal(const std::string& path, const CleanupPolicy& policy) {
    // Judged where it would really land: however its home or folders were spelled.
    const std::string written = standardizePath(path);
    const auto parent = hasNul(written) ? std::nullopt : resolvedPath(deletingLastPathComponent(written));
    return landingRefusal(written, landingOf(written, parent), policy);
}

Judgement judge(const MovedItem& item, const CleanupPolicy& policy) {
    Judgement j;
    auto refuse = [&](Refusal refusal) {
        j.refusal = std::move(refusal);
        return j;
    };
    const std::string recordedPlace = standardizePath(item.originalPath);
    const std::string original = inHomeAsSpelledNow(recordedPlace);

    // Only directly in files/ of a trash the move itself would use, known by what it is.
    const auto location = whereInTrash(item);
    if (!location) return refuse(Refusal::notInTrash());
    const std::string trash = location->trashDirectory + "/files/" + location->name;
    // The item must really sit there: neither the trash nor its files/ reached through a link.
    const std::string files = location->trashDirectory + "/files";
    struct stat st;
    for (const std::string& folder : {location->trashDirectory, files})
        if (::lstat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return refuse(Refusal::notInTrash());
    const auto realTrash = resolvedPath(location->trashDirectory);
    const auto realFiles = resolvedPath(files);
    if (realTrash && realFiles && *realFiles != *realTrash + "/files") return refuse(Refusal::notInTrash());

    if (!realFiles || ::lstat(trash.c_str(), &st) != 0) {
        // The object it was sits at its place: it came back, and nothing is missing.
        if (item.identity && !hasNul(original))
            if (const auto now = Trash::identityOf(original); now && item.identity->admits(*now))
                return refuse(Refusal::alreadyBack());
        return refuse(Refusal::missingFromTrash());
    }
    // The name may since have gone to another item (the Trash emptied, something else
    // trashed): its record must name this item's place, and it must be the same object.
    // Compared like with like: the record names the real place, an older history the spelling.
    if (const auto recorded = Trash::recordedOriginal(*location); recorded != recordedPlace) {
        const auto parent =
            hasNul(recordedPlace) ? std::nullopt : resolvedPath(deletingLastPathComponent(recordedPlace));
        if (!parent || recorded != appendingPathComponent(*parent, lastPathComponent(recordedPlace)))
            return refuse(Refusal::notTheMovedItem());
    }
    // Only Sorvel's own moves record an identity, so such an entry also carries Sorvel's
    // record: where no birth time tells objects apart, that keeps out an item another tool
    // trashed from the same place under a reused inode number.
    if (item.identity) {
        const auto now = Trash::identityOf(trash);
        if (!now || !item.identity->admits(*now) || !Trash::recordedBySorvel(*location))
            return refuse(Refusal::notTheMovedItem());
    }

    const bool absolute = !original.empty() && original[0] == '/' && original != "/";
    if (absolute) {
        if (hasNul(original)) return refuse(Refusal::destinationParentMissing());
        if (::lstat(original.c_str(), &st) == 0) return refuse(Refusal::destinationOccupied());
        const std::string parent = deletingLastPathComponent(original);
        if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return refuse(Refusal::destinationParentMissing());
    }

    // Where the item would really land once the parent's links are followed, worked out once:
    // the move goes to exactly the folder judged, opened without following links.
    const auto parent = absolute ? resolvedPath(deletingLastPathComponent(original)) : std::nullopt;
    const std::string landing = landingOf(original, parent);
    if (auto refusal = landingRefusal(original, landing, policy)) return refuse(Refusal::destinationNotAllowed(*refusal));
    if (!parent) return refuse(Refusal::destinationParentMissing());
    j.name = lastPathComponent(original);
    // Nor into what a mount shows: what lands there is another place's (the documents bound in).
    if (auto refusal = CleanupGuard::shownRefusal(landing, policy)) return refuse(Refusal::destinationNotAllowed(*refusal));
    j.resolvedParent = *parent;
    j.location = *location;
    return j;
}

std::optional<Refusal> check(const MovedItem& item, const CleanupPolicy& policy) { return judge(item, policy).refusal; }

} // namespace sorvel::RestoreGuard
