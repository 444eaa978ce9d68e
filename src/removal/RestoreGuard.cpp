#include "removal/RestoreGuard.h"

#include <cstdlib>
#include <sys/stat.h>
#include <vector>

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
    if (auto refusal = CleanupGuard::placeRefusal(written, policy, CleanupGuard::Entries::asWritten, false);
        refusal && refusal->kind == CleanupGuard::Refusal::Kind::protectedPath)
        return refusal;
    return CleanupGuard::placeRefusal(landing, policy, CleanupGuard::Entries::real, false);
}

std::string landingOf(const std::string& written, const std::optional<std::string>& parent) {
    return parent ? appendingPathComponent(*parent, lastPathComponent(written)) : written;
}

} // namespace

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
    const std::string trash = standardizePath(item.trashPath);
    const std::string original = standardizePath(item.originalPath);

    // Only directly in files/ of a trash the move itself would use.
    const auto location = hasNul(trash) ? std::nullopt : Trash::locate(trash);
    if (!location) return refuse(Refusal::notInTrash());
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
    if (const auto recorded = Trash::recordedOriginal(*location); recorded != original) {
        const auto parent = hasNul(original) ? std::nullopt : resolvedPath(deletingLastPathComponent(original));
        if (!parent || recorded != appendingPathComponent(*parent, lastPathComponent(original)))
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
    return j;
}

std::optional<Refusal> check(const MovedItem& item, const CleanupPolicy& policy) { return judge(item, policy).refusal; }

} // namespace sorvel::RestoreGuard
