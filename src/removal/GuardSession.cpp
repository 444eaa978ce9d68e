#include "removal/GuardSession.h"

#include <algorithm>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/BoundedLook.h"
#include "platform/FileDescriptor.h"
#include "platform/MountSources.h"
#include "platform/MountWatch.h"
#include "platform/Path.h"
#include "platform/PathTrace.h"
#include "platform/Trash.h"
#include "platform/TrashFolders.h"
#include "removal/GuardGround.h"
#include "removal/ProtectedPlaces.h"

namespace sorvel::CleanupGuard {
namespace {

// The path, or its nearest ancestor that exists, held open: while held its mount keeps its id.
int holdNearest(std::string path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 || path == "/" || path.empty() || path[0] != '/') return fd;
        path = deletingLastPathComponent(path);
    }
}

// An overlay's layers and a stacked file system's source: folders named by text, which
// can come to name other folders while the table stays the same.
std::vector<std::string> namedFolders(const MountEntry& mount) {
    std::vector<std::string> out = showsAnotherFolder(mount.fsType) ? namedSources(mount.source) : std::vector<std::string>{};
    if (mount.fsType == "overlay")
        for (auto& layer : overlayLayers(mount.superOptions)) out.push_back(std::move(layer));
    return out;
}

} // namespace

class Session::Run final : public Ground {
public:
    Run(const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud) : policy_(policy), cloud_(cloud) {}

    Judgement judge(const std::string& path, int64_t recordedSize, Tests tests = Tests::all) {
        const std::string home = homeDirectory();
        // A protected folder or root replaced, moved or linked elsewhere since the last look.
        if (built_ && (home != home_ || Trash::directory() != trashDirectory_ || !trace_.unchanged() ||
                       !imagesUnchanged() || !servedUnchanged() || places_->settling()))
            built_ = false;
        home_ = home;
        return judgeOn(*this, path, recordedSize, policy_, cloud_, home_, tests);
    }

    const Forms& forms() override {
        if (!built_) build();
        return forms_;
    }

    void settle(const std::string& where) override {
        held_.reset(holdNearest(where));
        settled_ = &watch_.table();
        if (!built_ || watch_.generation() != builtOn_) build();
        judged_ = watch_.generation();
    }

    // The table as settled: the places were worked out on it.
    const std::optional<std::vector<MountEntry>>& table() override { return *settled_; }
    const ProtectedPlaces& places() override { return *places_; }
    bool insideTrash(const std::string& path, const std::vector<MountEntry>& mounts, bool parentResolved) override {
        // Neither the parent nor the entry a link: the path is its own resolution.
        struct stat st;
        const bool resolved = parentResolved && (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode));
        return Trash::isInsideTrash(path, mounts, realHomeTrash_, resolved);
    }

    SyncedFolders& synced() override {
        const auto& table = watch_.table();
        if (!synced_ || watch_.generation() != syncedOn_ || home_ != syncedHome_) {
            synced_.emplace(home_, table);
            syncedOn_ = watch_.generation();
            syncedHome_ = home_;
        }
        return *synced_;
    }

    void trashUsed(const std::string& folder) {
        if (trashes_.insert(folder).second) built_ = false;
    }

    MountWatch watch_;
    uint64_t judged_ = 0;

private:
    // The trace is taken first: a change while the rest is worked out shows at the next look.
    void build() {
        trashDirectory_ = Trash::directory();
        const std::optional<std::vector<MountEntry>> table = watch_.table();
        builtOn_ = watch_.generation();
        PathTrace trace;
        std::vector<std::pair<MountEntry, std::vector<LoopImage>>> images;
        std::vector<std::pair<MountEntry, std::optional<std::optional<FileIdentity>>>> served;
        std::vector<std::string> places{home_, trashDirectory_};
        places.insert(places.end(), policy_.deniedPrefixes.begin(), policy_.deniedPrefixes.end());
        if (table)
            for (const auto& folder : Trash::existingFolders(*table)) trashes_.insert(folder);
        places.insert(places.end(), trashes_.begin(), trashes_.end());
        std::vector<std::string> led;
        for (const auto& place : places) {
            led.push_back(place);
            led.push_back(trace.add(place));
        }
        for (const auto& root : policy_.allowedRoots) trace.add(root);
        if (table)
            for (const auto& mount : *table) {
                const bool near = std::any_of(led.begin(), led.end(), [&](const std::string& place) {
                    return isPathInside(place, mount.mountPoint) || isPathInside(mount.mountPoint, place);
                });
                if (!near) continue;
                for (const auto& folder : namedFolders(mount)) trace.add(folder);
                // What confirms a stacked mount's source or an overlay's layers: the root it shows at its
                // point. One another process serves is looked at within a bound, each time.
                if (showsAnotherFolder(mount.fsType)) {
                    trace.add(deletingLastPathComponent(mount.mountPoint));
                    served.emplace_back(mount, rootIdentityInTime(mount));
                } else if (mount.fsType == "overlay") {
                    trace.add(mount.mountPoint);
                }
                // A loop device can be given another file without the table changing.
                auto held = loopImagesOf(mount);
                for (const auto& image : held)
                    if (image.name) trace.add(*image.name);
                if (!held.empty()) images.emplace_back(mount, std::move(held));
            }
        images_ = std::move(images);
        served_ = std::move(served);
        forms_ = realForms(policy_, home_);
        realHomeTrash_ = trashDirectory_.empty() ? std::nullopt : resolvedPath(trashDirectory_);
        places_.emplace(ProtectedPlaces::of(policy_, home_, table));
        // What the mounts in protected places show, a step or more beneath them.
        for (const auto& folder : places_->followed()) trace.add(folder);
        trace_ = std::move(trace);
        built_ = true;
    }

    // A root that does not answer now is judged as it was: the places were worked out with it.
    bool servedUnchanged() const {
        return std::all_of(served_.begin(), served_.end(), [](const auto& held) {
            if (lookBlocked(mountLookKey(held.first))) return true;
            const auto now = rootIdentityInTime(held.first);
            return !now || now == held.second;
        });
    }

    bool imagesUnchanged() const {
        return std::all_of(images_.begin(), images_.end(),
                           [](const auto& held) { return loopImagesOf(held.first) == held.second; });
    }

    const CleanupPolicy policy_;
    const std::optional<CloudStatus> cloud_;
    std::string home_;
    std::string trashDirectory_;
    bool built_ = false;
    uint64_t builtOn_ = 0;
    PathTrace trace_;
    std::vector<std::pair<MountEntry, std::vector<LoopImage>>> images_; // of loop-backed mounts near the places
    std::vector<std::pair<MountEntry, std::optional<std::optional<FileIdentity>>>> served_; // FUSE roots near them
    std::set<std::string> trashes_;
    Forms forms_;
    std::optional<std::string> realHomeTrash_;
    std::optional<ProtectedPlaces> places_;
    // Read again only with another mount table or home.
    std::optional<SyncedFolders> synced_;
    uint64_t syncedOn_ = 0;
    std::string syncedHome_;
    FileDescriptor held_;
    const std::optional<std::vector<MountEntry>>* settled_ = nullptr;
};

Session::Session(const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud)
    : run_(std::make_unique<Run>(policy, cloud)) {}
Session::~Session() = default;
Judgement Session::judge(const std::string& path, int64_t recordedSize) { return run_->judge(path, recordedSize); }
Judgement Session::judgePlace(const std::string& path) { return run_->judge(path, 0, Tests::offer); }
MountWatch& Session::mounts() { return run_->watch_; }
uint64_t Session::judgedTable() const { return run_->judged_; }
void Session::trashUsed(const std::string& trashFolder) { run_->trashUsed(trashFolder); }

} // namespace sorvel::CleanupGuard
