#pragma once
// Collects the batches a file-event stream or watcher delivers, for tests to wait on.
#include <chrono>
#include <dirent.h>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/WatchBudget.h"

namespace sorvel::test {

class BatchRecorder {
public:
    struct Batch {
        std::vector<std::string> paths;
        std::chrono::steady_clock::time_point at;
        std::thread::id thread;
    };

    void add(const std::vector<std::string>& paths) {
        std::lock_guard lock(mutex_);
        batches_.push_back(Batch{paths, std::chrono::steady_clock::now(), std::this_thread::get_id()});
        changed_.notify_all();
    }
    std::vector<Batch> batches() const {
        std::lock_guard lock(mutex_);
        return batches_;
    }
    size_t count() const {
        std::lock_guard lock(mutex_);
        return batches_.size();
    }
    /// Waits until a delivered path equals `path`; false on time-out.
    bool waitFor(const std::string& path, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (const auto& b : batches_)
                for (const auto& p : b.paths)
                    if (p == path) return true;
            return false;
        });
    }
    /// Waits until at least `n` batches have arrived; false on time-out.
    bool waitForBatches(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return batches_.size() >= n; });
    }
    bool sawPath(const std::string& path) const {
        std::lock_guard lock(mutex_);
        for (const auto& b : batches_)
            for (const auto& p : b.paths)
                if (p == path) return true;
        return false;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        batches_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Batch> batches_;
};

/// Entries of a /proc/self folder ("fd", "task"): descriptors or threads of this process.
inline size_t countProcEntries(const char* what) {
    std::string path = std::string("/proc/self/") + what;
    DIR* d = opendir(path.c_str());
    if (!d) return 0;
    size_t n = 0;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') ++n;
    closedir(d);
    return n - (std::string(what) == "fd" ? 1 : 0); // the listing's own descriptor
}

/// The inodes of every inotify watch this process holds, as the kernel lists them.
inline std::multiset<unsigned long> watchedInodes() {
    std::multiset<unsigned long> inodes;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return inodes;
    while (dirent* e = readdir(d)) {
        char target[64] = {};
        const std::string fd = e->d_name;
        if (readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target - 1) <= 0) continue;
        if (std::string(target) != "anon_inode:inotify") continue;
        std::ifstream info("/proc/self/fdinfo/" + fd);
        for (std::string line; std::getline(info, line);) {
            const size_t at = line.find(" ino:");
            if (line.rfind("inotify wd:", 0) == 0 && at != std::string::npos)
                inodes.insert(std::stoul(line.substr(at + 5), nullptr, 16));
        }
    }
    closedir(d);
    return inodes;
}

/// A small share of watches for the test's life, never the machine's own.
struct ScopedWatchShare {
    explicit ScopedWatchShare(size_t limit) { WatchBudget::overrideLimit(limit); }
    ~ScopedWatchShare() { WatchBudget::overrideLimit(std::nullopt); }
};

} // namespace sorvel::test
