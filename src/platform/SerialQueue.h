#pragma once
// Stand-in for a serial dispatch queue: one thread of its own runs the submitted blocks
// one at a time, in the order they were submitted.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace sorvel {

class SerialQueue final {
public:
    /// Hears, on the queue's thread, why a block threw: the queue's label and the error's text.
    using FailureHandler = std::function<void(const std::string& label, const std::string& reason)>;

    /// The label also names the thread (as far as the system's 15 characters allow). A block
    /// that throws goes to `onFailure`, or without one to a line on standard error.
    explicit SerialQueue(std::string label, FailureHandler onFailure = nullptr);
    /// Runs the blocks already submitted, then ends the thread. Called from one of its
    /// own blocks, the thread is left to finish them and end by itself.
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }
    /// Queues the block and returns at once. When no thread could be started the block
    /// runs on the caller before this returns.
    void async(std::function<void()> block);
    /// True on the queue's own thread.
    bool isCurrent() const;
    /// False when no thread could be started and blocks run on their callers.
    bool hasThread() const { return thread_.joinable(); }
    /// Why the last block that threw failed; empty while none has.
    std::string lastFailure() const;

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> blocks;
        bool closing = false;
        std::thread::id thread;
        FailureHandler onFailure;
        std::string lastFailure;
    };
    static void failed(Shared& shared, const std::string& label, std::string reason);
    static void run(std::shared_ptr<Shared> shared, std::string label);

    std::string label_;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    std::mutex inlineMutex_; // serialises blocks run on callers when there is no thread
};

} // namespace sorvel
