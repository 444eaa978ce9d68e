#include "platform/FileEvents.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "platform/Concurrency.h"
#include "platform/DirectoryListing.h"
#include "platform/FileDescriptor.h"
#include "platform/UnwatchedFolders.h"
#include "platform/WatchBudget.h"

namespace sorvel {
namespace {

using Clock = std::chrono::steady_clock;

// A folder's contents changing, or the folder itself going away.
constexpr uint32_t kDirectoryMask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |
                                    IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
// A root that is a single file.
constexpr uint32_t kFileMask = IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW;

std::string trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string joined(const std::string& parent, const char* name) {
    std::string path = parent;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

// What a queued batch needs, shared with the blocks so they stay safe after the stream
// has gone: they only look at `valid`.
struct Delivery {
    std::mutex running; // held while a callback runs
    std::atomic<bool> valid{true};
    FileEventStream::Callback callback;
};

// Closing an inotify descriptor tears down every watch it holds, about 2 µs each (90 ms for
// 48,000): a large one is closed on a thread of its own, so stopping a stream never holds
// its owner up. That thread lets the watches go one call at a time first: a close tears
// them all down in one stretch of the kernel, which a kernel that does not preempt itself
// never interrupts, and the window's main thread would wait that long for the processor.
// The watches go back to the share at once: the old ones and new ones taken meanwhile stay
// well within the system's limit, the share being a quarter of it.
void closeWatches(FileDescriptor descriptor, std::vector<int> watches) {
    WatchBudget::giveBack(watches.size());
    if (watches.size() <= 1024) return; // a couple of milliseconds: closed here
    // Nobody waits on it: its own thread, never a caller it fell back on, goes below every other.
    static SerialQueue& closer = []() -> SerialQueue& {
        static SerialQueue queue("sorvel.unwatch");
        if (queue.hasThread()) queue.async(idleThisThread);
        return queue;
    }();
    closer.async([held = std::make_shared<FileDescriptor>(std::move(descriptor)), watches = std::move(watches)] {
        for (const int wd : watches) inotify_rm_watch(held->get(), wd);
        held->reset();
    });
}

} // namespace

struct FileEventStream::Impl {
    enum class State { created, started, stopped };

    static constexpr int kNone = -1;

    // One watched folder, kept small: a large tree has hundreds of thousands. Its path is
    // not stored but built from its parents' names when an event is reported.
    struct Folder {
        std::string name;      // its own name; a root's whole path
        int parent = kNone;    // the parent folder's watch; none for a root
        int firstChild = kNone;
        int nextSibling = kNone;
        int previousSibling = kNone;
        uint32_t tree = 0;     // index of the root it was reached from
        uint32_t leftOut = UnwatchedFolders::kNoGroup; // its subfolders left without a watch
        bool root = false;
        uint64_t inode = 0; // known again after dropped events without asking the kernel
    };

    std::vector<std::string> roots;
    std::unordered_set<std::string> rootPaths; // a root inside another is reached as itself only
    std::vector<MountBorder> rootBorders; // filled when the roots are watched
    double latency = 0;
    SerialQueue* queue = nullptr;
    State state = State::created;
    bool invalidated = false;
    FileDescriptor inotifyFd;
    FileDescriptor wakeFd;
    std::thread reader;
    std::shared_ptr<Delivery> delivery = std::make_shared<Delivery>();
    std::atomic<size_t> watched{0}; // the folders' count, for other threads
    // Why folders were left out: some for their path's length, some past the share.
    std::atomic<bool> pathsTooLong{false}, shareRanOut{false};
    std::function<bool()> cancelled;
    size_t steps = 0;
    bool gaveUp = false;
    bool lackedThread = false;
    // Counting the folders past the share may take long on a big tree: the counter does it
    // beside the reader. With `countLater` false, `start` counts those of the set-up itself.
    // Both threads are the owner's: started by `start`, joined by `stop` alone.
    UnwatchedFolders left{rootPaths};
    bool countLater = false;
    bool shallow = false; // each root watched alone, never the folders in it
    std::thread counter;
    std::atomic<bool> stopping{false};
    std::atomic<bool> dropRequested{false};
    // While the trees are watched anew after dropped events: the watches held before.
    bool recovering = false;
    std::unordered_set<int> previous;
    std::unordered_set<uint64_t> previousInodes;

    // The descriptor takes its watches with it; the share gets them back.
    ~Impl() {
        std::vector<int> watches;
        watches.reserve(folders.size());
        for (const auto& entry : folders) watches.push_back(entry.first);
        closeWatches(std::move(inotifyFd), std::move(watches));
    }

    // Touched by start() before the reader runs, then by the reader alone.
    std::unordered_map<int, Folder> folders; // by watch
    std::unordered_set<int> relocated;       // moved within the trees, awaiting their own move event
    // Subfolders passed over because this user may not read them, by the watched folder
    // they are in: each is watched once it can be read (its own mode changes, or its
    // parent's lets it be reached), with everything below it.
    std::unordered_map<int, std::unordered_set<std::string>> unreadable;
    // Roots this user may not read, watched once they can be; one inside a watched folder
    // hears of its new mode there.
    std::unordered_set<uint32_t> deniedRoots;
    std::vector<std::string> pending;
    std::unordered_set<std::string> pendingSet;
    std::unordered_set<int> pendingWatches;
    Clock::time_point lastDelivery = Clock::time_point::min();
    Clock::time_point deadline{};
    bool deadlineSet = false;

    std::string pathOf(int wd) const {
        std::vector<const std::string*> names;
        for (auto it = folders.find(wd); it != folders.end(); it = folders.find(it->second.parent)) {
            names.push_back(&it->second.name);
            if (it->second.parent == kNone) break;
        }
        std::string path;
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            if (!path.empty() && path.back() != '/') path += '/';
            path += **name;
        }
        return path;
    }

    void link(int wd, Folder& folder) {
        if (folder.parent == kNone) return;
        auto parent = folders.find(folder.parent);
        if (parent == folders.end()) return;
        folder.nextSibling = parent->second.firstChild;
        folder.previousSibling = kNone;
        if (folder.nextSibling != kNone) folders.at(folder.nextSibling).previousSibling = wd;
        parent->second.firstChild = wd;
    }

    void unlink(int wd, Folder& folder) {
        if (folder.previousSibling != kNone) {
            folders.at(folder.previousSibling).nextSibling = folder.nextSibling;
        } else if (auto parent = folders.find(folder.parent); parent != folders.end() &&
                                                             parent->second.firstChild == wd) {
            parent->second.firstChild = folder.nextSibling;
        }
        if (folder.nextSibling != kNone) folders.at(folder.nextSibling).previousSibling = folder.previousSibling;
        folder.nextSibling = folder.previousSibling = kNone;
    }

    // Records a new watch; false when the folder was already watched (the same folder
    // reached twice: it keeps its first name unless it was moved there).
    bool remember(int wd, int parent, std::string name, uint32_t tree, bool root, bool moved, uint64_t inode) {
        auto [it, added] = folders.try_emplace(wd);
        Folder& folder = it->second;
        if (!added) {
            folder.root = folder.root || root;
            if (moved && !folder.root) {
                if (folder.parent != parent || folder.name != name) {
                    pendingWatches.clear(); // paths below it, already built, are now old
                    unlink(wd, folder);
                    folder.parent = parent;
                    folder.name = std::move(name);
                    link(wd, folder);
                }
                relocated.insert(wd);
            }
            return false;
        }
        folder.name = std::move(name);
        folder.parent = parent;
        folder.tree = tree;
        folder.root = root;
        folder.inode = inode;
        link(wd, folder);
        return true;
    }

    // Lets go of a folder and everything below it; the watches below are removed from
    // the system too (the folder's own only when asked: it may be gone already).
    void forget(int top, bool removeTopWatch) {
        auto it = folders.find(top);
        if (it == folders.end()) return;
        unlink(top, it->second);
        std::vector<int> stack{top};
        while (!stack.empty()) {
            const int wd = stack.back();
            stack.pop_back();
            auto folder = folders.find(wd);
            if (folder == folders.end()) continue;
            for (int child = folder->second.firstChild; child != kNone;) {
                stack.push_back(child);
                auto next = folders.find(child);
                child = next == folders.end() ? kNone : next->second.nextSibling;
            }
            if (wd != top || removeTopWatch) inotify_rm_watch(inotifyFd.get(), wd);
            if (folder->second.leftOut != UnwatchedFolders::kNoGroup) left.goneAll(folder->second.leftOut);
            relocated.erase(wd);
            unreadable.erase(wd);
            folders.erase(folder);
            WatchBudget::giveBack(1);
        }
        watched.store(folders.size());
    }

    // A folder still to be watched: its parent's watch (none for a root, whose name is its
    // whole path) and its own name.
    struct Pending {
        int parent;
        std::string name;
        uint32_t tree;
        bool root = false;
        bool moved = false; // moved here from elsewhere in the trees: it may be watched already
        uint64_t inode = 0;
    };

    // Asked every so many folders: a set-up no longer wanted, or a stream stopping, stops early.
    bool givenUp() {
        if (gaveUp || stopping.load()) return true;
        if (!cancelled || ++steps % 256 != 0) return false;
        gaveUp = cancelled();
        return gaveUp;
    }

    // Calls `visit` with the name of every folder directly in `path` on the tree's mount.
    template <class Visit> void forEachSubfolder(const std::string& path, uint32_t tree, Visit visit) {
        UnwatchedFolders::forEachSubfolder(path, rootBorders[tree], visit, [this] { return stopping.load(); });
    }

    // One watch within the process's share. `refused`: the share is spent or the system is
    // out of watches (which closes the share), as opposed to a folder gone or not ours to
    // read. A folder moved within the trees keeps the watch it has even past the share;
    // `charged` says whether the share paid for this one.
    struct Added {
        int wd = kNone;
        bool refused = false;
        bool charged = false;
        bool denied = false; // this user may not read the folder
        bool tooLong = false; // its path is longer than the system takes
    };
    Added addWatch(const std::string& path, uint32_t mask, bool mayBeWatched) {
        if (recovering) return rewatch(path, mask);
        Added added;
        if (!WatchBudget::take()) {
            if (mayBeWatched) {
                const int wd = inotify_add_watch(inotifyFd.get(), path.c_str(), mask);
                if (wd >= 0 && folders.count(wd)) return {wd, false, false};
                if (wd >= 0) inotify_rm_watch(inotifyFd.get(), wd);
            }
            added.refused = true;
            return added;
        }
        added.wd = inotify_add_watch(inotifyFd.get(), path.c_str(), mask);
        if (added.wd >= 0) {
            added.charged = true;
            return added;
        }
        const int error = errno;
        WatchBudget::giveBack(1);
        if (error == ENOSPC || error == ENOMEM) {
            WatchBudget::refuse();
            added.refused = true;
        }
        added.denied = error == EACCES || error == EPERM;
        added.tooLong = error == ENAMETOOLONG;
        return added;
    }

    // While the trees are watched anew: a folder watched before keeps its watch, already
    // paid for, even when the share has been spent or closed meanwhile, so a recovery never
    // loses its roots; only a folder new since takes from the share.
    Added rewatch(const std::string& path, uint32_t mask) {
        const int wd = inotify_add_watch(inotifyFd.get(), path.c_str(), mask);
        if (wd < 0) {
            const int error = errno;
            const bool refused = error == ENOSPC || error == ENOMEM;
            if (refused) WatchBudget::refuse();
            return {kNone, refused, false, error == EACCES || error == EPERM, error == ENAMETOOLONG};
        }
        if (folders.count(wd)) return {wd, false, false}; // reached twice
        if (previous.erase(wd) || WatchBudget::take()) return {wd, false, true};
        inotify_rm_watch(inotifyFd.get(), wd);
        return {kNone, true, false};
    }

    // A folder past the share: it and every folder below it are counted as unwatched, kept
    // by the watched folder it is in, so that they leave the count when they go.
    void leftOut(int parent, const std::string& parentPath, const std::string& name, uint32_t tree,
                 bool forLength = false) {
        (forLength ? pathsTooLong : shareRanOut).store(true);
        if (parent == kNone) {
            left.leaveOut(UnwatchedFolders::kNoGroup, {}, name, rootBorders[tree]);
            return;
        }
        auto it = folders.find(parent);
        if (it == folders.end()) return;
        it->second.leftOut = left.leaveOut(it->second.leftOut, parentPath, name, rootBorders[tree]);
    }

    // Watches breadth-first from the given folders down, so every root's upper levels come
    // before any deeper one, as far as the process's share allows; from the first refusal
    // on, the folders left, and all below them, are counted instead. A folder that is gone
    // or unreadable is passed over. Returns which of the given folders got a watch.
    std::vector<bool> watchBreadthFirst(std::deque<Pending> queue) {
        std::vector<bool> topsWatched(queue.size(), false);
        const size_t tops = queue.size();
        size_t taken = 0;
        bool refused = false; // from then on nothing more is watched
        int cachedParent = kNone; // siblings follow each other: their parent's path is built once
        std::string cachedPath;
        while (!queue.empty() && !givenUp()) {
            Pending next = std::move(queue.front());
            queue.pop_front();
            const size_t position = taken++;
            if (next.parent != kNone && next.parent != cachedParent) {
                cachedParent = next.parent;
                cachedPath = pathOf(next.parent);
            }
            const std::string path = next.parent == kNone ? next.name : joined(cachedPath, next.name.c_str());
            if (next.parent != kNone && !next.moved && rootPaths.count(path)) continue;
            // Past the first refusal, after dropped events, a folder watched before is still
            // taken again: a folder made meanwhile must not cost the ones watched till then.
            if (refused && !(recovering && previousInodes.count(next.inode))) {
                leftOut(next.parent, cachedPath, next.name, next.tree);
                continue;
            }
            const Added added = addWatch(path, kDirectoryMask, next.moved);
            const int wd = added.wd;
            if (wd < 0) {
                refused = added.refused;
                if (refused) leftOut(next.parent, cachedPath, next.name, next.tree);
                // Past the system's path length: unwatched, and said, like one past the share.
                else if (added.tooLong) leftOut(next.parent, cachedPath, next.name, next.tree, true);
                else if (added.denied && next.parent != kNone) unreadable[next.parent].insert(std::move(next.name));
                else if (added.denied && next.root) deniedRoots.insert(next.tree);
                continue; // or not a folder any more, gone, or not ours to read
            }
            if (position < tops) topsWatched[position] = true;
            if (next.inode == 0) { // made since: its inode is looked up once
                struct stat st;
                if (::lstat(path.c_str(), &st) == 0) next.inode = static_cast<uint64_t>(st.st_ino);
            }
            // A folder already watched has its own below it (or is a way back up).
            if (!remember(wd, next.parent, std::move(next.name), next.tree, next.root, next.moved, next.inode)) {
                if (added.charged) WatchBudget::giveBack(1); // the kernel gave the same watch again
                continue;
            }
            if (shallow) continue; // the folder alone
            forEachSubfolder(path, next.tree,
                             [&](const char* name, uint64_t inode) {
                                 queue.push_back({wd, std::string(name), next.tree, false, false, inode});
                             });
        }
        watched.store(folders.size());
        return topsWatched;
    }

    // Watches every root, breadth-first across them all; false when none could be watched.
    bool watchRoots() {
        bool any = false;
        rootBorders.assign(roots.size(), MountBorder());
        std::deque<Pending> folderRoots;
        for (uint32_t tree = 0; tree < roots.size(); ++tree) {
            const std::string& root = roots[tree];
            struct stat st;
            if (::lstat(root.c_str(), &st) != 0) continue;
            rootBorders[tree] = MountBorder(root);
            if (S_ISDIR(st.st_mode)) {
                folderRoots.push_back({kNone, root, tree, true, false, static_cast<uint64_t>(st.st_ino)});
                continue;
            }
            const Added added = addWatch(root, kFileMask, false);
            if (added.wd >= 0) {
                if (!remember(added.wd, kNone, root, tree, true, false, static_cast<uint64_t>(st.st_ino)))
                    WatchBudget::giveBack(1);
                any = true;
            } else if (added.refused) {
                leftOut(kNone, {}, root, tree);
            }
        }
        for (const bool watchedRoot : watchBreadthFirst(std::move(folderRoots))) any = any || watchedRoot;
        return any;
    }

    void report(const std::string& path) {
        if (pendingSet.insert(path).second) pending.push_back(path);
    }

    // The path is built once per folder and batch.
    void reportFolder(int wd) {
        if (pendingWatches.insert(wd).second) report(pathOf(wd));
    }

    // Events were dropped: every root must be measured again, folders made meanwhile have
    // no watch yet, and moved ones are known under old names. The tables are rebuilt from
    // the trees as they are now; a folder already watched keeps its watch (adding it again
    // raises no event), so no flood of removal events can overflow the queue once more.
    // The count of unwatched folders starts afresh; one under way is dropped, not waited for.
    void recoverFromOverflow() {
        for (const auto& root : roots) report(root);
        left.restart();
        previous.clear();
        previous.reserve(folders.size());
        previousInodes.reserve(folders.size());
        for (const auto& [wd, folder] : folders) {
            previous.insert(wd);
            previousInodes.insert(folder.inode);
        }
        folders.clear();
        relocated.clear();
        unreadable.clear();
        deniedRoots.clear();
        pendingWatches.clear();
        recovering = true;
        watchRoots();
        recovering = false;
        // Watches of folders no longer found in the trees (moved away meanwhile, or past the
        // share now) are let go; a stream stopping lets them go with its descriptor.
        if (!stopping.load())
            for (const int wd : previous) inotify_rm_watch(inotifyFd.get(), wd);
        WatchBudget::giveBack(previous.size());
        previous = {};
        previousInodes = {};
    }

    // A root that could not be read may be now: once watched it is reported itself, as its
    // parent's change may be measured as part of another tree.
    void openRoot(const std::string& path) {
        for (const uint32_t tree : deniedRoots) {
            if (roots[tree] != path) continue;
            deniedRoots.erase(tree);
            std::deque<Pending> opened;
            opened.push_back({kNone, path, tree, true});
            if (watchBreadthFirst(std::move(opened)).front()) report(path);
            return;
        }
    }

    // Folders in `wd` that could not be read are tried again: they, or the folder that holds
    // them, may have become readable. Those still closed are noted again.
    void watchOpened(int wd, const char* name) {
        if (name && !deniedRoots.empty()) openRoot(joined(pathOf(wd), name));
        auto it = unreadable.find(wd);
        if (it == unreadable.end()) return;
        const uint32_t tree = folders.at(wd).tree;
        std::deque<Pending> opened;
        if (name) {
            auto found = it->second.find(name);
            if (found == it->second.end()) return;
            opened.push_back({wd, std::move(it->second.extract(found).value()), tree});
        } else {
            for (auto& each : it->second) opened.push_back({wd, each, tree});
            it->second.clear();
        }
        if (it->second.empty()) unreadable.erase(it);
        watchBreadthFirst(std::move(opened));
    }

    void handle(const inotify_event& event) {
        auto it = folders.find(event.wd);
        if (it == folders.end()) return; // a watch already let go
        if (event.mask & IN_IGNORED) {
            forget(event.wd, false);
            return;
        }
        if (event.len > 0 && event.name[0] != 0) {
            reportFolder(event.wd); // the folder whose contents changed
            // A folder left out that goes, or is replaced, leaves the count.
            if ((event.mask & IN_ISDIR) && (event.mask & (IN_DELETE | IN_MOVED_FROM | IN_CREATE | IN_MOVED_TO)) &&
                it->second.leftOut != UnwatchedFolders::kNoGroup)
                left.gone(it->second.leftOut, event.name);
            // So is one that could not be read; one whose mode changed may be read now.
            if ((event.mask & IN_ISDIR) && (event.mask & (IN_DELETE | IN_MOVED_FROM | IN_CREATE | IN_MOVED_TO)))
                if (auto closed = unreadable.find(event.wd); closed != unreadable.end()) closed->second.erase(event.name);
            if ((event.mask & IN_ISDIR) && (event.mask & IN_ATTRIB)) {
                // One left out past the share is counted again: what it holds may be
                // readable now. Any other may be readable now, and watched.
                if (it->second.leftOut != UnwatchedFolders::kNoGroup && left.gone(it->second.leftOut, event.name)) {
                    std::deque<Pending> recount;
                    recount.push_back({event.wd, event.name, it->second.tree});
                    watchBreadthFirst(std::move(recount));
                } else {
                    watchOpened(event.wd, event.name);
                }
                return; // watching may have moved the folders, and nothing else happened
            }
            // A folder that moves in from elsewhere, or within the trees, or is made here.
            if (!shallow && (event.mask & IN_ISDIR) && (event.mask & (IN_CREATE | IN_MOVED_TO))) {
                std::deque<Pending> made;
                made.push_back({event.wd, event.name, it->second.tree, false, (event.mask & IN_MOVED_TO) != 0});
                watchBreadthFirst(std::move(made));
            }
            return;
        }
        // The watched folder (or root file) itself.
        const bool root = it->second.root;
        if (event.mask & IN_MOVE_SELF) {
            // Moved within the trees, its new parent has already taken it in; otherwise
            // what moved is no longer here.
            if (!root && relocated.erase(event.wd)) return;
            if (root) reportFolder(event.wd);
            forget(event.wd, true);
            return;
        }
        if (event.mask & IN_DELETE_SELF) {
            if (root) reportFolder(event.wd); // otherwise its parent's event names the change
            return;
        }
        reportFolder(event.wd); // attributes, a root file written, or its volume unmounted
        // Its own mode changed: folders made in it while it was closed can be reached now.
        if (event.mask & IN_ATTRIB) watchOpened(event.wd, nullptr);
    }

    void readEvents(bool overflowed) {
        alignas(inotify_event) char buffer[64 * 1024];
        // Bounded, so a flood of events cannot hold a due batch back for long.
        for (int reads = 0; reads < 64; ++reads) {
            const ssize_t n = ::read(inotifyFd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break; // EAGAIN: drained
            for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                if (event->mask & IN_Q_OVERFLOW) overflowed = true;
                else handle(*event);
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (overflowed) recoverFromOverflow();
        if (!pending.empty() && !deadlineSet) {
            const auto now = Clock::now();
            const auto window = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(latency));
            // After a quiet spell at once; otherwise one latency after the last batch.
            const bool quiet = lastDelivery == Clock::time_point::min() || now - lastDelivery >= window;
            deadline = quiet ? now : lastDelivery + window;
            deadlineSet = true;
        }
    }

    void deliver() {
        std::vector<std::string> paths;
        paths.swap(pending);
        pendingSet.clear();
        pendingWatches.clear();
        deadlineSet = false;
        lastDelivery = Clock::now();
        auto shared = delivery;
        queue->async([shared, paths = std::move(paths)] {
            std::lock_guard lock(shared->running);
            if (!shared->valid.load()) return;
            shared->callback(paths.size(), paths);
        });
    }

    void wake() {
        const uint64_t one = 1;
        while (::write(wakeFd.get(), &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    void run() {
        pthread_setname_np(pthread_self(), "sorvel.inotify");
        pollfd fds[2] = {{inotifyFd.get(), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
        for (;;) {
            int timeout = -1;
            if (deadlineSet) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                timeout = left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
            }
            fds[0].revents = fds[1].revents = 0;
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) {
                uint64_t wakes = 0;
                while (::read(wakeFd.get(), &wakes, sizeof wakes) < 0 && errno == EINTR) {
                }
                if (stopping.load()) return;
            }
            const bool dropped = dropRequested.exchange(false);
            if ((fds[0].revents & POLLIN) || dropped) readEvents(dropped);
            else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            if (deadlineSet && Clock::now() >= deadline) deliver();
        }
    }
};

std::unique_ptr<FileEventStream> FileEventStream::create(Callback callback, std::vector<std::string> paths,
                                                         uint64_t sinceWhen, double latency, uint32_t /*flags*/) {
    if (paths.empty() || !callback || sinceWhen != kEventIdSinceNow) return nullptr;
    std::unique_ptr<FileEventStream> stream(new FileEventStream());
    stream->impl_ = std::make_unique<Impl>();
    Impl& impl = *stream->impl_;
    for (auto& path : paths) impl.roots.push_back(trimmed(std::move(path)));
    impl.rootPaths.insert(impl.roots.begin(), impl.roots.end());
    impl.latency = latency > 0 ? latency : 0;
    impl.delivery->callback = std::move(callback);
    impl.inotifyFd.reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    impl.wakeFd.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!impl.inotifyFd.valid() || !impl.wakeFd.valid()) return nullptr; // out of instances or descriptors
    return stream;
}

FileEventStream::~FileEventStream() {
    stop();
    invalidate();
}

void FileEventStream::setDispatchQueue(SerialQueue* queue) {
    impl_->queue = queue;
}

bool FileEventStream::start() {
    Impl& impl = *impl_;
    if (impl.state != Impl::State::created || impl.invalidated || !impl.queue) return false;
    if (!impl.queue->hasThread()) {
        impl.lackedThread = true;
        return false;
    }
    WatchBudget::open();
    if (!impl.watchRoots() || impl.gaveUp) return false;
    if (!impl.countLater) impl.left.countQueued();
    try {
        impl.counter = std::thread([&impl] { impl.left.run(); });
    } catch (const std::system_error&) {
        impl.lackedThread = true;
        return false;
    }
    try {
        impl.reader = std::thread([&impl] { impl.run(); });
    } catch (const std::system_error&) {
        impl.lackedThread = true;
        impl.left.stop();
        impl.counter.join();
        return false;
    }
    impl.state = Impl::State::started;
    return true;
}

void FileEventStream::stop() {
    Impl& impl = *impl_;
    if (impl.state != Impl::State::started) return;
    // Both threads give up what they are doing at their next look: neither waits on the other.
    impl.stopping.store(true);
    impl.left.stop();
    impl.wake();
    impl.reader.join();
    impl.counter.join();
    impl.state = Impl::State::stopped;
}

void FileEventStream::simulateDroppedEventsForTesting() {
    Impl& impl = *impl_;
    impl.dropRequested.store(true);
    impl.wake();
}

void FileEventStream::invalidate() {
    Impl& impl = *impl_;
    if (impl.queue && impl.queue->isCurrent()) {
        // Called from a callback (ours or another stream's): ours is not running
        // concurrently, and waiting for it here would wait on ourselves.
        impl.invalidated = true;
        impl.delivery->valid.store(false);
        return;
    }
    // Taken even when already invalidated: it orders this thread after a callback that
    // invalidated the stream itself.
    std::lock_guard lock(impl.delivery->running);
    impl.invalidated = true;
    impl.delivery->valid.store(false);
}

size_t FileEventStream::unwatchedFolders() const {
    return impl_->left.count();
}

bool FileEventStream::stillCounting() const {
    return impl_->left.counting();
}

bool FileEventStream::shortOfWatches() const {
    return impl_->left.count() > 0;
}

bool FileEventStream::leftOutForLength() const {
    return impl_->pathsTooLong.load();
}

bool FileEventStream::leftOutForShare() const {
    return impl_->shareRanOut.load();
}

bool FileEventStream::lackedThread() const {
    return impl_->lackedThread;
}

void FileEventStream::setShallow(bool shallow) {
    impl_->shallow = shallow;
}

void FileEventStream::setCountLater(bool later) {
    impl_->countLater = later;
}

size_t FileEventStream::watchedFolders() const {
    return impl_->watched.load();
}

void FileEventStream::setCancellation(std::function<bool()> cancelled) {
    impl_->cancelled = std::move(cancelled);
}

} // namespace sorvel
