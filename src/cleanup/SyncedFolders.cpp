#include "cleanup/SyncedFolders.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/BoundedLook.h"
#include "platform/DirectoryListing.h"
#include "platform/MountSources.h"
#include "platform/Path.h"

namespace sorvel {
namespace {

// The mount a look at the folder waits on, where another process serves it: the deepest by text.
const MountEntry* servingMount(const std::vector<MountEntry>& served, const std::string& folder) {
    const MountEntry* deepest = nullptr;
    for (const auto& mount : served)
        if (isPathInside(folder, mount.mountPoint) && (!deepest || mount.mountPoint.size() > deepest->mountPoint.size()))
            deepest = &mount;
    return deepest;
}

// The markers among a folder's entries; only names a marker can have are looked at closer.
std::optional<std::string> readMarkers(const std::string& folder, const std::string& sharedClient) {
    auto listing = DirectoryListing::open(folder);
    if (!listing) return std::nullopt;
    const int fd = listing->descriptor();
    std::vector<SyncClients::Entry> entries;
    while (const auto entry = listing->next()) {
        if (entry->name.empty() || (entry->name[0] != '.' && entry->name != "seafile-data")) continue;
        SyncClients::Entry e{std::string(entry->name)};
        auto type = entry->type;
        if (type == DirectoryListing::Type::unknown) {
            struct stat st {};
            if (::fstatat(fd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISREG(st.st_mode)   ? DirectoryListing::Type::regular
                       : S_ISDIR(st.st_mode) ? DirectoryListing::Type::directory
                                             : DirectoryListing::Type::other;
        }
        e.isFile = type == DirectoryListing::Type::regular;
        e.isFolder = type == DirectoryListing::Type::directory;
        entries.push_back(std::move(e));
    }
    return SyncClients::markerService(entries, sharedClient, [fd](const std::string& relative) {
        struct stat st {};
        return ::fstatat(fd, relative.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    });
}

} // namespace

SyncedFolders::SyncedFolders(const std::string& home, const std::optional<std::vector<MountEntry>>& mounts) {
    if (mounts) {
        mounted_ = SyncClients::mountedTrees(*mounts);
        for (const auto& mount : *mounts)
            if (servedByAnother(mount.fsType)) served_.push_back(mount);
    }
    SyncClients::Settings settings = SyncClients::settingsOf(home);
    sharedClient_ = std::move(settings.sharedClient);
    for (auto& tree : settings.trees) {
        // Also where its links lead (a home reached through a link), unless a look there may hang.
        std::optional<std::string> real;
        if (!servingMount(served_, tree.folder)) real = resolvedPath(tree.folder);
        if (real && *real != tree.folder) listed_.push_back({*real, tree.service});
        listed_.push_back(std::move(tree));
    }
}

std::optional<SyncedFolders::Found> SyncedFolders::known(const std::string& path) const {
    for (const auto& tree : listed_) {
        if (isPathInside(path, tree.folder)) return Found{tree, false};
        if (isPathInside(tree.folder, path)) return Found{tree, true};
    }
    for (const auto& mount : mounted_) {
        if (mount.account.empty() && isPathInside(path, mount.mountPoint))
            return Found{{mount.mountPoint, mount.service}, false};
        // An account's folder right under the mount point: the mount point itself holds them.
        if (isPathInside(mount.mountPoint, path)) return Found{{mount.mountPoint, mount.service}, true};
        if (!isPathInside(path, mount.mountPoint)) continue;
        const auto pieces = pathPieces(std::string_view(path).substr(mount.mountPoint.size()));
        if (!pieces.empty() && pieces.front().starts_with(mount.account))
            return Found{{appendingPathComponent(mount.mountPoint, pieces.front()), mount.service}, false};
    }
    return std::nullopt;
}

std::optional<SyncedFolders::Found> SyncedFolders::find(const std::string& path) {
    if (auto found = known(path)) return found;
    for (std::string at = path; at.size() > 1 && at[0] == '/';) {
        if (auto service = markersIn(at)) return Found{{at, *service}, false};
        std::string up = deletingLastPathComponent(at);
        if (up == at) break;
        at = std::move(up);
    }
    return std::nullopt;
}

std::optional<std::string> SyncedFolders::markersIn(const std::string& folder) {
    if (const auto cached = markers_.find(folder); cached != markers_.end()) return cached->second;
    std::optional<std::string> service;
    if (const MountEntry* mount = servingMount(served_, folder)) {
        // Not answering in time shows no marker: the guard fences such a mount by itself.
        const std::string shared = sharedClient_;
        service = boundedLook<std::optional<std::string>>(mountLookKey(*mount), [folder, shared] {
                      return readMarkers(folder, shared);
                  }).value_or(std::nullopt);
    } else {
        service = readMarkers(folder, sharedClient_);
    }
    markers_.emplace(folder, service);
    return service;
}

} // namespace sorvel
