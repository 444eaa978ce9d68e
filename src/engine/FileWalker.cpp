#include "engine/FileWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>
#include <unordered_set>

#include "engine/BulkDirectoryReader.h"
#include "engine/PathText.h"
#include "platform/BulkAttributes.h"
#include "platform/DirectoryListing.h"
#include "platform/FileManager.h"
#include "platform/Concurrency.h"
#include "platform/FolderDescent.h"
#include "platform/LinkedPlace.h"
#include "platform/MountBorder.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::FileWalker {
namespace {

std::string joinPath(const std::string& parent, const std::string& name) {
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path = parent;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

// What every directory read of one walk shares.
struct WalkRules {
    const Options& options;
    MountBorder border;                   // every mount below the start, where the walk stays on it
    FolderDescent::Exclusions exclusions; // the test the insights and duplicate walks share

    WalkRules(const Options& options, const std::string& start)
        : options(options), border(options.stayOnDevice ? MountBorder(start) : MountBorder()),
          exclusions(options.excludedPaths) {}
};

// What one directory read collects.
struct EntrySink {
    std::vector<ScanNodePtr> children;  // accepted subdirectories, listing order
    std::vector<FileEntry> largeFiles;  // direct files at or above the threshold, listing order
    int64_t directFileSize = 0;
    int64_t directFileCount = 0;
    // Below the maximum node depth nodes are dropped once counted, so they need neither
    // their paths nor their large files: building those would cost time and memory that
    // grow with the depth at every level of a deep tree.
    bool nameChildren = true;
    bool keepLargeFiles = true;
    bool keepEveryFile = false; // the folder of `Options::everyFileFolder`
    // Files of two or more names are counted once the walk is over, in the folder that owns
    // them (see LinkedFiles): the kept folder holding this one, and whether it is this one.
    ScanNode* keptFolder = nullptr;
    bool direct = true;
    int64_t linkedBytes = 0; // of the files first met here, for progress
    int64_t linkedFiles = 0;
    int64_t linkedNames = 0;

    void meetLinked(const DirectoryEntry& entry, const std::string& parentPath, const Options& options,
                    ScanControl& control);
    bool holdsEntries = false;  // any entry at all, passed over or not

    // Applies the walk's rules to one entry of the folder at `parentPath`.
    void accept(const DirectoryEntry& entry, const std::string& parentPath, const WalkRules& rules,
                ScanControl& control);
};

void EntrySink::meetLinked(const DirectoryEntry& entry, const std::string& parentPath, const Options& options,
                           ScanControl& control) {
    ++linkedNames;
    const ScanControl::InodeKey key{entry.device, entry.fileID};
    const bool isFile = !entry.isSymlink;
    if (control.meetLinked(key, parentPath, entry.linkCount, entry.allocatedSize, keptFolder, direct, isFile)) {
        linkedBytes += entry.allocatedSize;
        linkedFiles += isFile ? 1 : 0;
    }
    if (!isFile || !direct || !(keepEveryFile || (keepLargeFiles && entry.allocatedSize >= options.largeFileThreshold)))
        return;
    FileEntry file;
    file.name = entry.name;
    file.path = joinPath(parentPath, entry.name);
    file.size = entry.allocatedSize;
    file.modified = entry.modified;
    control.listLinked(key, keptFolder, std::move(file),
                       keepEveryFile ? SIZE_MAX : static_cast<size_t>(std::max(options.largestFilesPerDirectory, 0)));
}

void EntrySink::accept(const DirectoryEntry& entry, const std::string& parentPath, const WalkRules& rules,
                       ScanControl& control) {
    const Options& options = rules.options;
    const std::string& name = entry.name;
    if (name == "." || name == "..") return;
    holdsEntries = true;
    // As in the other walks, hidden names and packages are gone through like any other;
    // the names passed over are the caller's (by default the system's index stores).
    if (!options.skippedNames.empty() && options.skippedNames.count(name)) return;
    if (!entry.isDirectory && !entry.isRegularFile && !entry.isSymlink) return; // sockets, pipes, devices

    if (rules.exclusions.excludes(parentPath, name)) return;
    if (entry.isSymlink) {
        // Never followed, and no file; but a long target takes a block of its own, which
        // the folder's size holds, as du counts it.
        if (entry.linkCount >= 2) {
            if (control.countsSharing()) return meetLinked(entry, parentPath, options, control);
            if (!control.insertInode({entry.device, entry.fileID})) return;
        }
        directFileSize += entry.allocatedSize;
        return;
    }

    if (entry.isDirectory) {
        // By default, like insights and unlike the duplicate listing, another mount is not entered.
        if (rules.border.outside(entry.device, entry.mountRoot, parentPath, name)) {
            control.noteOtherMount();
            return;
        }
        auto node = ScanNode::make(name, nameChildren ? joinPath(parentPath, name) : std::string());
        node->modified = entry.modified;
        children.push_back(std::move(node));
        return;
    }
    // Only this walk counts a hard-linked file once (per control, across walks): insights
    // and the duplicate listing take every name.
    if (entry.linkCount >= 2) {
        if (control.countsSharing()) return meetLinked(entry, parentPath, options, control);
        if (!control.insertInode({entry.device, entry.fileID})) return;
    }
    directFileSize += entry.allocatedSize;
    directFileCount += 1;
    if (keepEveryFile || (keepLargeFiles && entry.allocatedSize >= options.largeFileThreshold)) {
        FileEntry file;
        file.name = name;
        file.path = joinPath(parentPath, name);
        file.size = entry.allocatedSize;
        file.modified = entry.modified;
        largeFiles.push_back(std::move(file));
    }
}

void writeTrace(const char* verb, const std::string& path) {
    std::string line = verb;
    line += validUTF8(path);
    line += '\n';
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

std::vector<FileEntry> largest(std::vector<FileEntry> files, int count, bool keepEvery) {
    std::stable_sort(files.begin(), files.end(),
                     [](const FileEntry& a, const FileEntry& b) { return a.size > b.size; });
    if (!keepEvery && files.size() > static_cast<size_t>(std::max(count, 0))) files.resize(std::max(count, 0));
    return files;
}

bool keepsEveryFile(const Options& options, const std::string& path) {
    return !options.everyFileFolder.empty() && !path.empty() &&
           trimmedTrailingSlash(path) == trimmedTrailingSlash(options.everyFileFolder);
}

// A folder this user may list but not search (read without execute permission) names its
// entries yet lets none of them be looked at, so it would read as empty. Only a folder that
// gave nothing is asked, with one look-up of "." inside it.
bool searchRefused(int fd, const EntrySink& sink) {
    if (!sink.children.empty() || sink.directFileCount > 0 || sink.linkedNames > 0) return false;
    return searchRefusal(fd) != 0;
}

// A folder this user may not write keeps what it holds wherever it goes: in the Trash,
// emptying it could not delete them. An empty one goes with its parent.
void noteWriting(ScanNode& node, int fd, const EntrySink& sink) {
    if (sink.holdsEntries && writeRefused(fd)) node.unwritable = true;
}

void markDenied(ScanNode& node, ScanControl& control) {
    node.markUnreadable();
    control.noteUnreadable();
}

// Reads one directory node by its path and returns its subdirectory nodes, without
// recursion (the breadth-first listing of the parallel walk: a few levels at most).
std::vector<ScanNodePtr> listChildren(ScanNode& node, const WalkRules& rules, ScanControl& control,
                                      const std::string* openAs = nullptr) {
    const int fd = openDirectory((openAs ? *openAs : node.path).c_str());
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) markDenied(node, control);
        return {};
    }
    EntrySink sink;
    sink.keepEveryFile = keepsEveryFile(rules.options, node.path);
    sink.keptFolder = &node;
    BulkDirectoryReader::readAll(fd, [&](const DirectoryEntry& entry) {
        sink.accept(entry, node.path, rules, control);
    });
    if (searchRefused(fd, sink)) markDenied(node, control);
    noteWriting(node, fd, sink);
    ::close(fd);
    control.addProgress(sink.directFileSize + sink.linkedBytes, sink.directFileCount + sink.linkedFiles, node.path);
    node.directFileSize = sink.directFileSize;
    node.directFileCount = sink.directFileCount;
    node.fileCount = sink.directFileCount;
    node.largestFiles = largest(std::move(sink.largeFiles), rules.options.largestFilesPerDirectory, sink.keepEveryFile);
    node.children = sink.children;
    return std::move(sink.children);
}

// One folder of the depth-first walk whose subfolders are being gone through.
struct Frame {
    ScanNode* node;
    int depth;
    bool tracing;
    const std::string* shownPath; // for progress: the node's path, or its nearest named ancestor's
    ScanNode* kept;               // the node, or below the kept depth its nearest kept ancestor
    EntrySink sink;
    size_t next = 0;               // the next child to walk, in listing order
};

void finish(Frame& frame, const Options& options) {
    ScanNode& node = *frame.node;
    node.directFileSize = frame.sink.directFileSize;
    node.directFileCount = frame.sink.directFileCount;
    // Subfolders a cancellation left unentered count with zeros, and say they were cut.
    for (size_t i = frame.next; i < frame.sink.children.size(); ++i) frame.sink.children[i]->markCut();
    node.children = std::move(frame.sink.children);
    node.rollUpTotals();
    node.largestFiles =
        largest(std::move(frame.sink.largeFiles), options.largestFilesPerDirectory, frame.sink.keepEveryFile);
    if (frame.depth >= options.maxNodeDepth) {
        // The cut ones go with the dropped children: the folder keeps the word for them.
        node.walkCut = node.partial;
        node.children.clear();
        node.children.shrink_to_fit();
    }
}

// The depth-first walk below `top`, which sits at `depth`, on the descent the insights
// and duplicate walks share: an explicit stack instead of the call stack, and every
// folder below `top` opened relative to its parent's descriptor, so time and stack stay
// flat however deep the tree goes. Subfolders are entered in listing order.
void walkDirectory(ScanNode& top, int depth, const WalkRules& rules, ScanControl& control,
                   const std::string* openAs = nullptr) {
    const Options& options = rules.options;
    FolderDescent descent;
    std::vector<Frame> frames; // one per level of the descent
    // The folder about to be opened.
    ScanNode* next = &top;
    int nextDepth = depth;
    bool nextTracing = false;
    std::string tracePath;

    const bool whole = descent.depthFirst(
        openAs ? *openAs : top.path,
        [&](int fd, std::vector<std::string>& subfolders) {
            ScanNode& node = *next;
            const bool kept = frames.empty() || nextDepth <= options.maxNodeDepth;
            Frame frame{&node, nextDepth, nextTracing, node.path.empty() ? frames.back().shownPath : &node.path,
                        kept ? &node : frames.back().kept, {}};
            frame.sink.nameChildren = nextDepth < options.maxNodeDepth;
            frame.sink.keepLargeFiles = nextDepth <= options.maxNodeDepth;
            frame.sink.keepEveryFile = keepsEveryFile(options, node.path);
            frame.sink.keptFolder = frame.kept;
            frame.sink.direct = kept;
            BulkDirectoryReader::readAll(fd, [&](const DirectoryEntry& entry) {
                frame.sink.accept(entry, descent.path(), rules, control);
            });
            if (searchRefused(fd, frame.sink)) markDenied(node, control);
            noteWriting(node, fd, frame.sink);
            control.addProgress(frame.sink.directFileSize + frame.sink.linkedBytes,
                                frame.sink.directFileCount + frame.sink.linkedFiles, *frame.shownPath);
            // The descent enters the name appended last first.
            for (auto it = frame.sink.children.rbegin(); it != frame.sink.children.rend(); ++it)
                subfolders.push_back((*it)->name);
            frames.push_back(std::move(frame));
        },
        [&] {
            if (control.cancelled()) return false;
            if (!frames.empty()) {
                Frame& parent = frames.back();
                next = parent.sink.children[parent.next++].get();
                nextDepth = parent.depth + 1;
            }
            nextTracing = traceEnabled() && nextDepth < 3;
            if (nextTracing) {
                tracePath = frames.empty() ? top.path : joinPath(descent.path(), next->name);
                writeTrace("open ", tracePath);
            }
            return true;
        },
        [&](const std::string&) {
            // Counted here: a folder past the kept depth leaves no node behind.
            if (errno == EACCES || errno == EPERM) {
                next->markUnreadable();
                control.noteUnreadable();
            }
            if (nextTracing) writeTrace("deny ", tracePath);
        },
        [&] {
            Frame& frame = frames.back();
            if (frame.tracing) writeTrace("done ", descent.path());
            finish(frame, options);
            frames.pop_back();
        });
    // Only a cancellation ends the descent early; a start folder it kept from being read
    // has no frame of its own to say so.
    if (!whole && !top.partial) top.markCut();
}

// Steps 1-3 of both entry points: the start node, or none; `isDirectory` says how to go on.
ScanNodePtr startNode(const std::string& path, bool& isDirectory, const std::string& openAs) {
    struct stat st;
    if (::lstat(openAs.c_str(), &st) != 0) return nullptr;
    std::string name = lastPathComponent(path);
    if (name.empty()) name = path;
    auto node = ScanNode::make(std::move(name), path);
    node->modified = dateFromUnixSeconds(static_cast<int64_t>(st.st_mtim.tv_sec));
    isDirectory = S_ISDIR(st.st_mode);
    if (!isDirectory) {
        node->isFile = true;
        node->size = node->directFileSize = static_cast<int64_t>(st.st_blocks) * 512;
        node->fileCount = node->directFileCount = 1;
    }
    if (S_ISLNK(st.st_mode)) {
        // A root that is a link is said to be one, with where it leads; never walked.
        node->linkTarget = FileManager::linkTarget(path).value_or(std::string());
        node->fileCount = node->directFileCount = 0;
    }
    return node;
}

} // namespace

bool traceEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("SORVEL_TRACE");
        return value && std::string(value) == "1";
    }();
    return enabled;
}

namespace {

// The spelling the start is opened by: with a final "/" where a link in its place is to be
// followed (the kernel follows a last link then), the start's own path otherwise.
std::string openedAs(const std::string& path, const Options& options) {
    if (!options.followRuleFolderLink || path.size() <= 1 || path.back() == '/') return path;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    return isRuleFolder(path) && placeBehindLink(path, homeDirectory()) ? path + "/" : path;
}

} // namespace

ScanNodePtr walk(const std::string& path, ScanControl& control, const Options& options) {
    bool isDirectory = false;
    const std::string opened = openedAs(path, options);
    auto root = startNode(path, isDirectory, opened);
    if (root && isDirectory) {
        walkDirectory(*root, 0, WalkRules(options, opened), control, &opened);
        control.settleLinked({&root});
    }
    return root;
}

ScanNodePtr walkParallel(const std::string& path, ScanControl& control, const Options& options) {
    bool isDirectory = false;
    const std::string opened = openedAs(path, options);
    auto root = startNode(path, isDirectory, opened);
    if (!root || !isDirectory) return root;
    const WalkRules rules(options, opened);

    const size_t target = 4 * static_cast<size_t>(activeProcessorCount());
    std::vector<ScanNodePtr> frontier{root};
    std::vector<ScanNodePtr> listed{root};
    int passes = 0;
    while (frontier.size() < target && !control.cancelled()) {
        std::vector<ScanNodePtr> next;
        for (const auto& node : frontier) {
            auto children = listChildren(*node, rules, control, node == root ? &opened : nullptr);
            next.insert(next.end(), children.begin(), children.end());
        }
        if (next.empty()) {
            frontier.clear(); // every directory below the root has been read
            break;
        }
        listed.insert(listed.end(), next.begin(), next.end());
        frontier = std::move(next);
        ++passes;
        if (passes == 4) break;
    }

    if (!frontier.empty()) {
        if (control.cancelled()) {
            // Listed by the last pass, never read: their parents' totals are short of them.
            for (const auto& node : frontier) node->markCut();
        } else {
            concurrentPerform(frontier.size(), [&](size_t i) {
                walkDirectory(*frontier[i], passes, rules, control, frontier[i] == root ? &opened : nullptr);
            });
        }
    }

    std::unordered_set<const ScanNode*> walked;
    for (const auto& node : frontier) walked.insert(node.get());
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        if (!walked.count(it->get())) (*it)->rollUpTotals();
    }
    control.settleLinked({&root});
    return root;
}

} // namespace sorvel::FileWalker
