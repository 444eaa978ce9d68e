#include "engine/FileWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "engine/BulkDirectoryReader.h"
#include "platform/BulkAttributes.h"
#include "platform/Concurrency.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::FileWalker {
namespace {

// What one directory read collects.
struct EntrySink {
    std::vector<ScanNodePtr> children;  // accepted subdirectories, listing order
    std::vector<FileEntry> largeFiles;  // direct files at or above the threshold, listing order
    int64_t directFileSize = 0;
    int64_t directFileCount = 0;

    // Applies the walk's rules to one entry; returns the node of an accepted subdirectory.
    ScanNodePtr accept(const DirectoryEntry& entry, const std::string& parentPath, uint64_t device,
                       ScanControl& control, const Options& options);
};

std::string joinPath(const std::string& parent, const std::string& name) {
    std::string path;
    path.reserve(parent.size() + 1 + name.size());
    path = parent;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

ScanNodePtr EntrySink::accept(const DirectoryEntry& entry, const std::string& parentPath,
                              uint64_t device, ScanControl& control, const Options& options) {
    const std::string& name = entry.name;
    if (name == "." || name == "..") return nullptr;
    if (!options.skippedNames.empty() && options.skippedNames.count(name)) return nullptr;
    if (entry.isSymlink) return nullptr;
    if (!entry.isDirectory && !entry.isRegularFile) return nullptr; // sockets, pipes, devices

    // The joined path is only built when something needs it: most files are counted
    // without ever being named.
    std::string path;
    bool havePath = false;
    auto joined = [&]() -> const std::string& {
        if (!havePath) {
            path = joinPath(parentPath, name);
            havePath = true;
        }
        return path;
    };
    if (!options.excludedPaths.empty() && options.excludedPaths.count(joined())) return nullptr;

    if (entry.isDirectory) {
        if (options.stayOnDevice && entry.device != device) return nullptr;
        auto node = ScanNode::make(name, joined());
        node->modified = entry.modified;
        children.push_back(node);
        return node;
    }
    if (entry.linkCount >= 2 && !control.insertInode({entry.device, entry.fileID}, parentPath)) return nullptr;
    directFileSize += entry.allocatedSize;
    directFileCount += 1;
    if (entry.allocatedSize >= options.largeFileThreshold) {
        FileEntry file;
        file.name = name;
        file.path = joined();
        file.size = entry.allocatedSize;
        file.modified = entry.modified;
        largeFiles.push_back(std::move(file));
    }
    return nullptr;
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

std::vector<FileEntry> largest(std::vector<FileEntry> files, int count) {
    std::stable_sort(files.begin(), files.end(),
                     [](const FileEntry& a, const FileEntry& b) { return a.size > b.size; });
    if (files.size() > static_cast<size_t>(std::max(count, 0))) files.resize(std::max(count, 0));
    return files;
}

// Reads one directory into a sink; false (with accessDenied set) when it cannot be opened.
bool readDirectory(ScanNode& node, uint64_t device, ScanControl& control, const Options& options,
                   EntrySink& sink) {
    const int fd = openDirectory(node.path.c_str());
    if (fd < 0) {
        node.accessDenied = errno == EACCES || errno == EPERM;
        return false;
    }
    BulkDirectoryReader::readThenClose(fd, [&](const DirectoryEntry& entry) {
        sink.accept(entry, node.path, device, control, options);
    });
    control.addProgress(sink.directFileSize, sink.directFileCount, node.path);
    return true;
}

// Reads one directory node and returns its subdirectory nodes, without recursion.
std::vector<ScanNodePtr> listChildren(ScanNode& node, uint64_t device, ScanControl& control,
                                      const Options& options) {
    EntrySink sink;
    if (!readDirectory(node, device, control, options, sink)) return {};
    node.directFileSize = sink.directFileSize;
    node.directFileCount = sink.directFileCount;
    node.fileCount = sink.directFileCount;
    node.largestFiles = largest(std::move(sink.largeFiles), options.largestFilesPerDirectory);
    node.children = sink.children;
    return std::move(sink.children);
}

void walkDirectory(ScanNode& node, uint64_t device, int depth, ScanControl& control,
                   const Options& options) {
    if (control.cancelled()) return;
    const bool tracing = traceEnabled() && depth < 3;
    if (tracing) writeTrace("open ", node.path);
    EntrySink sink;
    if (!readDirectory(node, device, control, options, sink)) {
        if (tracing) writeTrace("deny ", node.path);
        return;
    }
    for (const auto& child : sink.children) {
        if (control.cancelled()) break;
        walkDirectory(*child, device, depth + 1, control, options);
    }
    if (tracing) writeTrace("done ", node.path);

    node.directFileSize = sink.directFileSize;
    node.directFileCount = sink.directFileCount;
    node.children = std::move(sink.children);
    node.rollUpTotals(); // children not walked because of a cancellation count with zeros
    node.largestFiles = largest(std::move(sink.largeFiles), options.largestFilesPerDirectory);
    if (depth >= options.maxNodeDepth) {
        node.children.clear();
        node.children.shrink_to_fit();
    }
}

// Steps 1-3 of both entry points: the start node, or none; `isDirectory` and `device`
// say how to go on.
ScanNodePtr startNode(const std::string& path, bool& isDirectory, uint64_t& device) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return nullptr;
    std::string name = lastPathComponent(path);
    if (name.empty()) name = path;
    auto node = ScanNode::make(std::move(name), path);
    node->modified = dateFromUnixSeconds(static_cast<int64_t>(st.st_mtim.tv_sec));
    isDirectory = S_ISDIR(st.st_mode);
    device = static_cast<uint64_t>(st.st_dev);
    if (!isDirectory) {
        node->size = node->directFileSize = static_cast<int64_t>(st.st_blocks) * 512;
        node->fileCount = node->directFileCount = 1;
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

ScanNodePtr walk(const std::string& path, ScanControl& control, const Options& options) {
    bool isDirectory = false;
    uint64_t device = 0;
    auto root = startNode(path, isDirectory, device);
    if (root && isDirectory) walkDirectory(*root, device, 0, control, options);
    return root;
}

ScanNodePtr walkParallel(const std::string& path, ScanControl& control, const Options& options) {
    bool isDirectory = false;
    uint64_t device = 0;
    auto root = startNode(path, isDirectory, device);
    if (!root || !isDirectory) return root;

    const size_t target = 4 * static_cast<size_t>(activeProcessorCount());
    std::vector<ScanNodePtr> frontier{root};
    std::vector<ScanNodePtr> listed{root};
    int passes = 0;
    while (frontier.size() < target && !control.cancelled()) {
        std::vector<ScanNodePtr> next;
        for (const auto& node : frontier) {
            auto children = listChildren(*node, device, control, options);
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

    if (!frontier.empty() && !control.cancelled()) {
        concurrentPerform(frontier.size(), [&](size_t i) {
            walkDirectory(*frontier[i], device, passes, control, options);
        });
    }

    std::unordered_set<const ScanNode*> walked;
    for (const auto& node : frontier) walked.insert(node.get());
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        if (!walked.count(it->get())) (*it)->rollUpTotals();
    }
    return root;
}

} // namespace sorvel::FileWalker
