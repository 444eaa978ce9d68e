#include "engine/DisplayCategory.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "engine/PathText.h"
#include "platform/DirectoryListing.h"
#include "platform/FileManager.h"
#include "platform/Path.h"

namespace sorvel {

namespace {

struct CategoryText {
    const char* title;
    const char* blurb;
};

CategoryText text(StorageCategory category) {
    switch (category) {
    case StorageCategory::caches:
        return {"Caches & Temp",
                "Rebuildable data apps keep to avoid re-downloading or re-computing work. Safe to remove; apps refill what they need."};
    case StorageCategory::appSupport:
        return {"App Support",
                "Per-app state, databases and downloaded content. Mostly real data — remove only leftovers from apps you have deleted."};
    case StorageCategory::containers:
        return {"Containers",
                "Sandboxed storage for App Store and system apps. Deleting a container resets that app's data."};
    case StorageCategory::developer:
        return {"Developer",
                "Xcode derived data, device support, simulators and archives. Regenerated on demand, often the single biggest win."};
    case StorageCategory::mail:
        return {"Mail & Messages", "Local copies of mail and message history, including attachments."};
    case StorageCategory::logs:
        return {"Logs",
                "Crash reports, diagnostic archives and unified log data. Safe to remove once you are not debugging anything."};
    case StorageCategory::vmSwap:
        return {"VM & Swap",
                "Swap files and the sleep image, managed entirely by the system. Not user-removable — it shrinks on its own."};
    case StorageCategory::trash:
        return {"Trash", "Files you already deleted but have not emptied."};
    case StorageCategory::otherLibrary:
        return {"Other Library",
                "Everything else under ~/Library: preferences, keychains, Safari data, Photos caches and more."};
    }
    return {"", ""};
}

// What a category holds on a home without ~/Library: the Linux places it measures.
const char* linuxBlurb(StorageCategory category) {
    switch (category) {
    case StorageCategory::containers:
        return "Flatpak and snap apps' own folders: each app's settings, data and cache. Removing one resets that "
               "app; only its cache, or the folder of an app that is gone, may go.";
    case StorageCategory::developer:
        return "Developer tools' caches: downloaded packages, build and compiler caches. Each tool fetches or "
               "rebuilds them on demand, often the single biggest win.";
    case StorageCategory::mail:
        return "Local copies of mail kept by your mail app, including attachments.";
    case StorageCategory::logs:
        return "The system's logs and journal, crash reports and core dumps. They belong to the system: an "
               "administrator trims them.";
    case StorageCategory::vmSwap:
        return "Swap files the system uses, each the size it was made with. Not user-removable while in use.";
    case StorageCategory::otherLibrary:
        return "Every app's settings and state, browser profiles among them. Small, and most of it cannot be "
               "recreated.";
    default: return text(category).blurb;
    }
}

const std::map<std::string, std::string>& wholeDiskBlurbs() {
    static const std::map<std::string, std::string> table{
        {"/Applications",
         "Installed applications. The obvious place to look for things you no longer use, and the only category here you can safely act on by dragging to the Trash."},
        {"/Library",
         "System-wide support files shared by all users — third-party frameworks, launch daemons, application support and caches installed outside your home folder."},
        {"/System",
         "macOS itself, on a signed read-only volume. Nothing here can be deleted, and its size is fixed by the OS version."},
        {"/Users",
         "Every user's home folder. For most Macs this is where nearly all the reclaimable space actually is — Downloads, Desktop, Movies, and ~/Library."},
        {"/private",
         "Swap, logs, temporary files and system databases. Managed by macOS, and mostly not yours to prune."},
        {"/opt",
         "Add-on software installed outside the system's own packages, by vendors and by other package managers."},
        {"/usr",
         "Command-line tools and libraries from the system's packages. /usr/local is where manually installed tools land."},
        {"/cores",
         "Core dumps from crashed processes. Empty unless core dumps have been enabled, and safe to clear when not."},
        {"/bin", "Core command-line binaries shipped with the system."},
        {"/home",
         "Every user's home folder: documents, downloads, media, and each user's own settings and caches. Usually where most of the reclaimable space is."},
        {"/sbin", "System administration binaries shipped with the system."},
    };
    return table;
}

const Tint& tintCycle(size_t index) {
    static const Tint* const cycle[] = {&Tint::blue(),  &Tint::violet(), &Tint::mint(),
                                        &Tint::amber(), &Tint::cyan(),   &Tint::lime(),
                                        &Tint::rose(),  &Tint::slate(),  &Tint::fog()};
    return *cycle[index % 9];
}


// The file system mounted last at the path is the one a walk sees.
const MountEntry* mountAt(const std::vector<MountEntry>& mounts, const std::string& path) {
    const MountEntry* found = nullptr;
    for (const auto& mount : mounts)
        if (mount.mountPoint == path) found = &mount;
    return found;
}

// A root that lies inside another root of the same category would be measured twice
// where both share a mount (a walk with stayOnDevice stops only at mount borders).
// The outer walk leaves it out; it is walked once, as its own root.
void excludeNestedRoots(DisplayCategory& category) {
    std::vector<std::string> sorted = category.roots;
    std::sort(sorted.begin(), sorted.end());
    for (const auto& outer : category.roots) {
        const std::string prefix = insidePrefix(outer);
        for (auto at = std::lower_bound(sorted.begin(), sorted.end(), prefix); at != sorted.end() && at->starts_with(prefix);
             ++at)
            if (*at != outer) category.excludedPaths.insert(*at);
    }
}

} // namespace

namespace {

// The swap files in use are known only from the kernel's list: unread, nothing is known.
void describeSwap(DisplayCategory& d) {
    const LinuxPlaces::SwapFiles swaps = LinuxPlaces::swapFiles();
    if (swaps.unreadable) d.unreadable = tildeAbbreviated(LinuxPlaces::swapTable()) + ": " + *swaps.unreadable;
    for (const auto& file : swaps.deleted)
        d.notes.push_back(tildeAbbreviated(file) + ": a swap file in use whose name was deleted; its space comes back "
                                                  "when swap is turned off or the system restarts");
}

} // namespace

std::string DisplayCategory::titleFor(const std::string& id) {
    if (const auto storage = storageCategoryFromRaw(id)) return text(*storage).title;
    const std::string prefix = "disk:";
    if (id.size() > prefix.size() && id.compare(0, prefix.size(), prefix) == 0) {
        std::string name = lastPathComponent(id.substr(prefix.size()));
        if (!name.empty()) return name;
    }
    return id;
}

const std::set<std::string>& DisplayCategory::wholeDiskExclusions() {
    // Mount and pseudo folders only: "/home" holds every user's data here.
    static const std::set<std::string> paths{"/Volumes", "/System/Volumes", "/net",       "/dev",
                                             "/Network", "/.vol",           "/.fseventsd"};
    return paths;
}

std::vector<DisplayCategory> DisplayCategory::categories(ScanScope scope) {
    if (scope == ScanScope::wholeDisk) return wholeDiskCategories("/");
    // Read once: the Linux places list folders and read /proc/swaps.
    std::map<StorageCategory, std::vector<std::string>> roots;
    for (StorageCategory c : kAllStorageCategories) roots[c] = StorageCategories::roots(c);
    // Where each root lies, resolved once for every category's exclusions.
    const StorageCategories::RootPlaces places(roots);
    const bool library = StorageCategories::homeHasLibrary();
    std::vector<DisplayCategory> result;
    for (StorageCategory c : kAllStorageCategories) {
        DisplayCategory d;
        d.id = rawValue(c);
        d.title = text(c).title;
        d.blurb = library ? text(c).blurb : linuxBlurb(c);
        d.tint = StorageCategories::tint(c);
        d.roots = roots[c];
        d.excludedPaths = places.excludedPaths(c);
        d.storage = c;
        d.stayOnDevice = true;
        if (c == StorageCategory::vmSwap) describeSwap(d);
        excludeNestedRoots(d);
        result.push_back(std::move(d));
    }
    return result;
}

std::vector<DisplayCategory> DisplayCategory::wholeDiskCategories(const std::string& top) {
    return wholeDiskCategories(top, readMountTable());
}

std::vector<DisplayCategory> DisplayCategory::wholeDiskCategories(const std::string& top,
                                                                  const std::vector<MountEntry>& mounts) {
    auto listed = DirectoryListing::names(top);
    if (!listed) return {};
    std::vector<std::string> names = std::move(*listed);
    // Byte order is the order of Unicode scalar values for UTF-8 text.
    std::sort(names.begin(), names.end());

    // Pseudo, memory and network file systems at the top level (/proc, /sys, /run, a
    // tmpfs /tmp, an NFS /srv) hold no data of this disk: walking them yields meaningless
    // figures. A local disk mounted there (a /home partition) is data, walked on its own
    // device. A folder that is no mount point belongs to the top's file system even on
    // another device number (a btrfs subvolume). Without a mount table, only the top's
    // own device is trusted.
    struct stat topStatus {};
    const bool knowTopDevice = ::stat(top.c_str(), &topStatus) == 0;

    std::set<std::string> exclusions = StorageCategories::globallyExcludedPaths();
    exclusions.insert(wholeDiskExclusions().begin(), wholeDiskExclusions().end());

    std::vector<DisplayCategory> result;
    size_t made = 0;
    for (const auto& name : names) {
        const std::string key = "/" + name;
        const std::string path = appendingPathComponent(top, name);
        if (wholeDiskExclusions().count(key)) continue;
        if (name.front() == '.') continue;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        const MountEntry* mount = mountAt(mounts, path);
        if (mount && !isLocalDiskFileSystem(mount->fsType)) continue;
        if (mounts.empty() && knowTopDevice && st.st_dev != topStatus.st_dev) continue;

        DisplayCategory d;
        d.id = "disk:" + path;
        d.title = name;
        auto blurb = wholeDiskBlurbs().find(key);
        if (blurb != wholeDiskBlurbs().end()) d.blurb = blurb->second;
        else if (mount) d.blurb = "Top-level directory on a disk of its own.";
        else d.blurb = "Top-level directory on the boot volume.";
        d.tint = tintCycle(made);
        d.roots = {path};
        if (key == "/usr" && FileManager::fileExists(path + "/local")) d.roots.push_back(path + "/local");
        d.excludedPaths = exclusions;
        d.storage = std::nullopt;
        d.stayOnDevice = true;
        excludeNestedRoots(d);
        result.push_back(std::move(d));
        ++made;
    }
    return result;
}

} // namespace sorvel
