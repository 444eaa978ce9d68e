#pragma once
// A weak way back to a main-thread model from a worker. The model closes its handle when
// it goes away; work handed back after that, or still queued then, is dropped.
#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

namespace sorvel::Models {

class MainThreadHandle {
public:
    explicit MainThreadHandle(QObject* target) : shared_(std::make_shared<Shared>(target)) {}
    MainThreadHandle(const MainThreadHandle&) = default;
    MainThreadHandle& operator=(const MainThreadHandle&) = default;

    /// Called by the model (on its thread) before it goes away.
    void close() const {
        std::lock_guard guard(shared_->mutex);
        shared_->target = nullptr;
    }

    /// Queues `work` on the target's thread, unless the target is gone. Safe from any thread.
    void post(std::function<void()> work) const {
        std::lock_guard guard(shared_->mutex);
        // Posting under the lock keeps the target alive until the event is queued; a queued
        // event dies with its receiver.
        if (shared_->target) QMetaObject::invokeMethod(shared_->target, std::move(work), Qt::QueuedConnection);
    }

private:
    struct Shared {
        explicit Shared(QObject* t) : target(t) {}
        std::mutex mutex;
        QObject* target;
    };
    std::shared_ptr<Shared> shared_;
};

} // namespace sorvel::Models
