#include "platform/FileEvents.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <map>
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

#include "platform/DirectoryListing.h"
#include "platform/FileDescriptor.h"

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

bool inside(const std::string& path, const std::string& folder) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

// What a queued batch needs, shared with the blocks so they stay safe after the stream
// has gone: they only look at `valid`.
struct Delivery {
    std::mutex running; // held while a callback runs
    std::atomic<bool> valid{true};
    FileEventStream::Callback callback;
};

} // namespace

struct FileEventStream::Impl {
    enum class State { created, started, stopped };

    struct Watch {
        std::string path;
        uint64_t device = 0;
        bool root = false;
    };

    std::vector<std::string> roots;
    double latency = 0;
    SerialQueue* queue = nullptr;
    State state = State::created;
    bool invalidated = false;
    FileDescriptor inotifyFd;
    FileDescriptor wakeFd;
    std::thread reader;
    std::shared_ptr<Delivery> delivery = std::make_shared<Delivery>();
    std::atomic<size_t> unwatched{0};

    // Touched by start() before the reader runs, then by the reader alone.
    std::unordered_map<int, Watch> watches;
    std::map<std::string, int> byPath;
    std::vector<std::string> pending;
    std::unordered_set<std::string> pendingSet;
    Clock::time_point lastDelivery = Clock::time_point::min();
    Clock::time_point deadline{};
    bool deadlineSet = false;

    void remember(int wd, const std::string& path, uint64_t device, bool root) {
        auto [it, added] = watches.try_emplace(wd, Watch{path, device, root});
        if (!added) {
            // One folder reached under two names (overlapping roots): the first name stays.
            it->second.root = it->second.root || root;
            return;
        }
        byPath[path] = wd;
    }

    void forget(int wd) {
        auto it = watches.find(wd);
        if (it == watches.end()) return;
        auto byIt = byPath.find(it->second.path);
        if (byIt != byPath.end() && byIt->second == wd) byPath.erase(byIt);
        watches.erase(it);
    }

    // Watches a folder and every folder below it on the same device. A folder that is gone
    // or unreadable is passed over; one refused for lack of watches is counted.
    void watchTree(const std::string& top, uint64_t device, bool topIsRoot) {
        std::vector<std::string> stack{top};
        bool first = true;
        while (!stack.empty()) {
            std::string path = std::move(stack.back());
            stack.pop_back();
            const bool isRoot = first && topIsRoot;
            first = false;
            const int wd = inotify_add_watch(inotifyFd.get(), path.c_str(), kDirectoryMask);
            if (wd >= 0) {
                remember(wd, path, device, isRoot);
            } else if (errno == ENOSPC || errno == ENOMEM) {
                unwatched.fetch_add(1);
            } else {
                continue; // not a folder any more, gone, or not ours to read
            }
            auto dir = DirectoryListing::open(path);
            if (!dir) continue;
            while (const auto entry = dir->next()) {
                using Type = DirectoryListing::Type;
                if (entry->type != Type::directory && entry->type != Type::unknown) continue;
                struct stat st;
                if (::fstatat(dir->descriptor(), entry->name.data(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                    !S_ISDIR(st.st_mode))
                    continue;
                if (static_cast<uint64_t>(st.st_dev) != device) continue; // another volume
                stack.push_back(joined(path, entry->name.data()));
            }
        }
    }

    // Watches every root; false when none could be watched at all.
    bool watchRoots() {
        bool any = false;
        for (const auto& root : roots) {
            struct stat st;
            if (::lstat(root.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                watchTree(root, static_cast<uint64_t>(st.st_dev), true);
            } else {
                const int wd = inotify_add_watch(inotifyFd.get(), root.c_str(), kFileMask);
                if (wd >= 0) {
                    remember(wd, root, static_cast<uint64_t>(st.st_dev), true);
                } else if (errno == ENOSPC || errno == ENOMEM) {
                    unwatched.fetch_add(1);
                }
            }
            if (byPath.count(root)) any = true;
        }
        return any;
    }

    void unwatchTree(const std::string& top) {
        std::vector<int> gone;
        for (auto it = byPath.lower_bound(top); it != byPath.end() && inside(it->first, top); ++it)
            gone.push_back(it->second);
        for (int wd : gone) {
            inotify_rm_watch(inotifyFd.get(), wd);
            forget(wd);
        }
    }

    void report(const std::string& path) {
        if (pendingSet.insert(path).second) pending.push_back(path);
    }

    // Events were dropped: every root must be measured again, folders made meanwhile have
    // no watch yet, and moved ones are known under old names. The tables are rebuilt from
    // the trees as they are now; a folder already watched keeps its watch (adding it again
    // raises no event), so no flood of removal events can overflow the queue once more.
    void recoverFromOverflow() {
        for (const auto& root : roots) report(root);
        watches.clear();
        byPath.clear();
        unwatched.store(0);
        watchRoots();
    }

    void handle(const inotify_event& event) {
        auto it = watches.find(event.wd);
        if (it == watches.end()) return; // a watch already let go
        const Watch watch = it->second;
        if (event.mask & IN_IGNORED) {
            forget(event.wd);
            return;
        }
        if (event.len > 0 && event.name[0] != 0) {
            if (event.mask & IN_ISDIR) {
                const std::string child = joined(watch.path, event.name);
                if (event.mask & IN_MOVED_FROM) unwatchTree(child);
                if (event.mask & (IN_CREATE | IN_MOVED_TO)) watchTree(child, watch.device, false);
            }
            report(watch.path); // the folder whose contents changed
            return;
        }
        // The watched folder (or root file) itself.
        if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
            if (!watch.root) return; // its parent's event names the change
            report(watch.path);
            if (event.mask & IN_MOVE_SELF) unwatchTree(watch.path); // what moved is no longer here
            return;
        }
        report(watch.path); // attributes, a root file written, or its volume unmounted
    }

    void readEvents() {
        alignas(inotify_event) char buffer[64 * 1024];
        bool overflowed = false;
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
        deadlineSet = false;
        lastDelivery = Clock::now();
        auto shared = delivery;
        queue->async([shared, paths = std::move(paths)] {
            std::lock_guard lock(shared->running);
            if (!shared->valid.load()) return;
            shared->callback(paths.size(), paths);
        });
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
            if (fds[1].revents) return; // stop
            if (fds[0].revents & POLLIN) readEvents();
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
    if (impl.state != Impl::State::created || impl.invalidated || !impl.queue || !impl.queue->hasThread())
        return false;
    if (!impl.watchRoots()) return false;
    try {
        impl.reader = std::thread([&impl] { impl.run(); });
    } catch (const std::system_error&) {
        return false;
    }
    impl.state = Impl::State::started;
    return true;
}

void FileEventStream::stop() {
    Impl& impl = *impl_;
    if (impl.state != Impl::State::started) return;
    const uint64_t one = 1;
    while (::write(impl.wakeFd.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    if (impl.reader.joinable()) impl.reader.join();
    impl.state = Impl::State::stopped;
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
    return impl_->unwatched.load();
}

} // namespace sorvel
