#pragma once
// Work that a newer request replaces: each request gets a flag of its own, raised when it is
// replaced or cancelled, so that its late result can be told apart and dropped. The worker
// keeps its copy of the flag; only the main thread begins and cancels.
#include <atomic>
#include <memory>

namespace sorvel {

class LatestRequest {
public:
    using Flag = std::shared_ptr<std::atomic<bool>>;

    /// Cancels the request before (if any) and hands out the new one's flag.
    Flag begin() {
        cancel();
        flag_ = std::make_shared<std::atomic<bool>>(false);
        return flag_;
    }
    /// Raises the current request's flag and forgets it.
    void cancel() {
        if (flag_) flag_->store(true);
        flag_.reset();
    }
    /// A request was begun and not cancelled since (it may have finished).
    bool live() const { return flag_ && !flag_->load(); }

private:
    Flag flag_;
};

} // namespace sorvel
