#include "platform/UnwatchedFolders.h"

namespace sorvel {

uint32_t UnwatchedFolders::leaveOut(uint32_t group, const std::string& parentPath, std::string_view name,
                                    const MountBorder& border) {
    {
        std::lock_guard lock(mutex_);
        if (group >= groups_.size()) {
            group = static_cast<uint32_t>(groups_.size());
            groups_.push_back(Group{parentPath, border, {}, {}, nullptr});
        }
        Group& g = groups_[group];
        const auto index = static_cast<uint32_t>(g.counts.size());
        const auto offset = static_cast<uint32_t>(g.names.size());
        g.names.append(name);
        g.names.push_back('\0');
        g.counts.push_back(1);
        if (g.byName) (*g.byName)[std::string(name)] = index;
        queue_.push_back({group, index, offset});
        total_.fetch_add(1);
        counting_.store(true);
    }
    wake_.notify_one();
    return group;
}

void UnwatchedFolders::forget(Group& group, uint32_t index) {
    if (group.counts[index] == kGone) return;
    total_.fetch_sub(group.counts[index]);
    group.counts[index] = kGone;
}

bool UnwatchedFolders::gone(uint32_t group, std::string_view name) {
    std::lock_guard lock(mutex_);
    if (group >= groups_.size()) return false;
    Group& g = groups_[group];
    if (!g.byName && g.counts.size() > 32) {
        g.byName = std::make_unique<std::unordered_map<std::string, uint32_t>>();
        size_t at = 0;
        for (uint32_t i = 0; i < g.counts.size(); ++i) {
            const size_t end = g.names.find('\0', at);
            if (g.counts[i] != kGone) (*g.byName)[g.names.substr(at, end - at)] = i;
            at = end + 1;
        }
    }
    if (g.byName) {
        const auto it = g.byName->find(std::string(name));
        if (it == g.byName->end()) return false;
        forget(g, it->second);
        g.byName->erase(it);
        return true;
    }
    size_t at = 0;
    for (uint32_t i = 0; i < g.counts.size(); ++i) {
        const size_t end = g.names.find('\0', at);
        if (g.counts[i] != kGone && std::string_view(g.names).substr(at, end - at) == name) {
            forget(g, i);
            return true;
        }
        at = end + 1;
    }
    return false;
}

void UnwatchedFolders::goneAll(uint32_t group) {
    std::lock_guard lock(mutex_);
    if (group >= groups_.size()) return;
    Group& g = groups_[group];
    for (uint32_t i = 0; i < g.counts.size(); ++i) forget(g, i);
    // Its names may still be queued: they are passed over, as gone.
    g.names = {};
    g.byName.reset();
}

void UnwatchedFolders::restart() {
    std::lock_guard lock(mutex_);
    generation_.fetch_add(1);
    groups_.clear();
    queue_.clear();
    total_.store(0);
    counting_.store(false);
}

void UnwatchedFolders::settle() {
    counting_.store(!queue_.empty());
}

bool UnwatchedFolders::countNext(std::unique_lock<std::mutex>& lock) {
    if (queue_.empty()) return false;
    const Queued next = queue_.front();
    queue_.pop_front();
    const Group* g = next.group < groups_.size() ? &groups_[next.group] : nullptr;
    if (!g || next.index >= g->counts.size() || g->counts[next.index] == kGone || next.offset >= g->names.size()) {
        settle();
        return true;
    }
    const std::string_view name(g->names.data() + next.offset);
    std::string path = g->parentPath.empty() ? std::string(name) : g->parentPath;
    if (!g->parentPath.empty()) {
        if (path.back() != '/') path += '/';
        path += name;
    }
    const MountBorder border = g->border;
    const uint64_t generation = generation_.load();
    lock.unlock();
    const size_t below = countBelow(path, border, generation);
    lock.lock();
    // Dropped when the trees were watched anew, the folder went meanwhile, or the count gave up.
    if (!stop_.load() && generation == generation_.load() && next.group < groups_.size()) {
        Group& now = groups_[next.group];
        if (next.index < now.counts.size() && now.counts[next.index] != kGone) {
            now.counts[next.index] += static_cast<uint32_t>(below);
            total_.fetch_add(below);
        }
    }
    settle();
    return true;
}

size_t UnwatchedFolders::countBelow(const std::string& top, const MountBorder& border, uint64_t generation) const {
    const auto halted = [&] { return stop_.load() || generation_.load() != generation; };
    size_t below = 0;
    std::vector<std::string> stack{top};
    while (!stack.empty() && !halted()) {
        const std::string path = std::move(stack.back());
        stack.pop_back();
        forEachSubfolder(
            path, border,
            [&](const char* name, uint64_t) {
                std::string child = path;
                if (child.back() != '/') child += '/';
                child += name;
                if (roots_.count(child)) return;
                ++below;
                stack.push_back(std::move(child));
            },
            halted);
    }
    return below;
}

void UnwatchedFolders::run() {
    std::unique_lock lock(mutex_);
    while (!stop_.load())
        if (!countNext(lock)) wake_.wait(lock, [this] { return stop_.load() || !queue_.empty(); });
}

void UnwatchedFolders::countQueued() {
    std::unique_lock lock(mutex_);
    while (!stop_.load() && countNext(lock)) {
    }
}

void UnwatchedFolders::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_.store(true);
    }
    wake_.notify_all();
}

} // namespace sorvel
