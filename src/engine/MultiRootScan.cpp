#include "engine/MultiRootScan.h"

#include <algorithm>
#include <map>

#include "engine/DisplayCategory.h"
#include "engine/InstalledApps.h"
#include "engine/PathText.h"
#include "engine/Parallel.h"
#include "engine/VolumeProbe.h"
#include "platform/FileManager.h"
#include "platform/Path.h"

namespace sorvel::MultiRootScan {

namespace {

struct Job {
    std::string categoryID;
    std::string root;
    FileWalker::Options options;
    bool hidden = false; // a folder on the way refuses this user: nothing to walk
};

// A root this user may not even look for is not absent: it comes back as a folder that
// could not be read, so its category is listed as such.
ScanNodePtr deniedRoot(const std::string& root) {
    std::string name = lastPathComponent(root);
    auto node = ScanNode::make(name.empty() ? root : std::move(name), root);
    node->markUnreadable();
    return node;
}

ScanNodePtr walkJob(const Job& job, ScanControl& control) {
    return job.hidden ? deniedRoot(job.root) : FileWalker::walkParallel(job.root, control, job.options);
}

// Each folder that hides roots counts once among the unreadable folders, unless a walk
// meets it itself (it is a walked root, or lies inside one) and counts it there.
void countHidingFolders(const std::vector<Job>& jobs, ScanControl& control) {
    std::set<std::string> hiding;
    for (const auto& job : jobs)
        if (job.hidden)
            if (auto folder = FileManager::hidingFolder(job.root)) hiding.insert(standardizePath(*folder));
    for (const auto& folder : hiding) {
        bool walked = false;
        for (const auto& job : jobs) walked = walked || (!job.hidden && isPathInside(folder, standardizePath(job.root)));
        if (!walked) control.noteUnreadable();
    }
}

FileWalker::Options optionsFor(const DisplayCategory& category) {
    FileWalker::Options options;
    options.stayOnDevice = category.stayOnDevice;
    options.excludedPaths = category.excludedPaths;
    options.followRuleFolderLink = true;
    if (category.storage == StorageCategory::trash && !category.roots.empty())
        options.everyFileFolder = category.roots.front();
    return options;
}

} // namespace

ScanResult scanSynchronously(ScanControl& control, ScanScope scope, std::optional<std::set<std::string>> limitedTo) {
    ScanResult result;
    result.scope = scope;
    result.finishedAt = now();
    result.duration = 0;

    const std::string home = homeDirectory();
    result.fullDiskAccess = VolumeProbe::hasFullDiskAccess();
    result.snapshots = VolumeProbe::localSnapshots();
    result.installedApps = InstalledApps::scan();
    result.setAsideFolders = BaseFolders::setAside();

    std::vector<DisplayCategory> categories;
    for (auto& category : DisplayCategory::categories(scope))
        if (!limitedTo || limitedTo->count(category.id)) categories.push_back(std::move(category));
    result.disks = probeDisks(scope, categories);
    result.volume = result.disks.disks.front().volume;

    walkCategories(control, categories, result);
    result.unreadableFolders = control.unreadableFolders();
    result.mountedFolders = control.otherMounts();
    return result;
}

ScopeDisks probeDisks(ScanScope scope, const std::vector<DisplayCategory>& categories) {
    std::vector<std::string> roots;
    for (const auto& category : categories) roots.insert(roots.end(), category.roots.begin(), category.roots.end());
    // Whole Disk is the root file system's measure, wherever the home lies.
    return ScopeDisks::probe(scope == ScanScope::wholeDisk ? std::string("/") : homeDirectory(), roots);
}

void walkCategories(ScanControl& control, const std::vector<DisplayCategory>& categories, ScanResult& result) {
    std::vector<Job> jobs;
    for (const auto& category : categories) {
        std::set<std::string> walked;
        for (const auto& root : category.roots) {
            // The same folder named twice (a home of "/" makes the home and system
            // libraries one) is measured once.
            if (!walked.insert(standardizePath(root)).second) continue;
            // A link in a root's place is measured as the link it is, wherever it leads
            // (nowhere, even): never followed, and said to be a link; but a rule's folder kept
            // in a place of its own (`FileWalker::Options::followRuleFolderLink`).
            const bool link = FileManager::linkTarget(root).has_value();
            const auto presence = link ? FileManager::Presence::present : FileManager::presence(root);
            if (presence == FileManager::Presence::absent) {
                result.missingRoots.push_back({category.id, root});
                continue;
            }
            jobs.push_back(Job{category.id, root, optionsFor(category), presence == FileManager::Presence::hidden});
        }
    }
    countHidingFolders(jobs, control);

    // A file named in several roots is counted once among them all, once every walk is over.
    control.holdLinked(true);
    std::vector<ScanNodePtr> nodes;
    if (jobs.size() == 1) {
        ScanNodePtr node = walkJob(jobs[0], control);
        if (node) control.finish(jobs[0].categoryID, node);
        nodes.push_back(std::move(node));
    } else if (jobs.size() > 1) {
        nodes = Parallel::map(jobs.size(), [&](size_t i) -> ScanNodePtr {
            ScanNodePtr node = walkJob(jobs[i], control);
            if (node) control.finish(jobs[i].categoryID, node);
            return node;
        });
    }

    control.holdLinked(false);
    std::vector<ScanNodePtr*> roots;
    for (auto& node : nodes) roots.push_back(&node);
    control.settleLinked(roots);

    std::map<std::string, std::vector<ScanNodePtr>> byCategory;
    for (size_t i = 0; i < jobs.size() && i < nodes.size(); ++i)
        if (nodes[i]) byCategory[jobs[i].categoryID].push_back(nodes[i]);

    for (const auto& category : categories) {
        auto found = byCategory.find(category.id);
        // A category with nothing on disk is left out, unless what it comes from could not
        // be read or it holds what no root shows: that is said, never left for an empty one.
        const bool said = category.unreadable || !category.notes.empty();
        if ((found == byCategory.end() || found->second.empty()) && !said) continue;
        CategoryResult entry{category, found == byCategory.end() ? std::vector<ScanNodePtr>{} : std::move(found->second)};
        sortBySizeDescending(entry.roots);
        result.categories.push_back(std::move(entry));
    }
}

FileWalker::Options walkOptions(const std::string& path, ScanScope scope) {
    return WalkOptionsTable(scope).forPath(path);
}

WalkOptionsTable::WalkOptionsTable(ScanScope scope) : WalkOptionsTable(DisplayCategory::categories(scope)) {}

WalkOptionsTable::WalkOptionsTable(const std::vector<DisplayCategory>& categories) {
    outside_.stayOnDevice = true;
    outside_.excludedPaths = StorageCategories::globallyExcludedPaths();
    options_.reserve(categories.size());
    for (size_t i = 0; i < categories.size(); ++i) {
        options_.push_back(optionsFor(categories[i]));
        for (const auto& root : categories[i].roots) roots_[root].push_back(i);
        for (const auto& excluded : categories[i].excludedPaths) excluded_[excluded].push_back(i);
    }
}

const FileWalker::Options& WalkOptionsTable::forPath(std::string_view path) const {
    // The categories with a root holding the path, and those that leave it out.
    std::vector<size_t> holding, leaving;
    for (const auto folder : foldersHolding(path)) {
        if (const auto at = roots_.find(folder); at != roots_.end())
            holding.insert(holding.end(), at->second.begin(), at->second.end());
        if (const auto at = excluded_.find(folder); at != excluded_.end())
            leaving.insert(leaving.end(), at->second.begin(), at->second.end());
    }
    std::sort(holding.begin(), holding.end());
    // A place another category measures inside this one's root is walked as that one's.
    for (const size_t i : holding)
        if (std::find(leaving.begin(), leaving.end(), i) == leaving.end()) return options_[i];
    return outside_;
}

} // namespace sorvel::MultiRootScan
