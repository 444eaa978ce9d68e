#include "platform/SerialQueue.h"

#include "platform/Concurrency.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <pthread.h>
#include <system_error>

namespace sorvel {

SerialQueue::SerialQueue(std::string label, FailureHandler onFailure)
    : label_(std::move(label)), shared_(std::make_shared<Shared>()) {
    shared_->onFailure = std::move(onFailure);
    try {
        thread_ = std::thread(&SerialQueue::run, shared_, label_);
    } catch (const std::system_error&) {
        // No thread: blocks run on their callers, one at a time.
    }
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->closing = true;
    }
    shared_->wake.notify_all();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach(); // it holds the shared state itself and ends after this block
    } else {
        thread_.join();
    }
}

void SerialQueue::run(std::shared_ptr<Shared> shared, std::string label) {
    pthread_setname_np(pthread_self(), label.substr(0, 15).c_str());
    {
        std::lock_guard lock(shared->mutex);
        shared->thread = std::this_thread::get_id();
    }
    for (;;) {
        std::function<void()> block;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->closing || !shared->blocks.empty(); });
            if (shared->blocks.empty()) return; // closing, and nothing left to run
            block = std::move(shared->blocks.front());
            shared->blocks.pop_front();
        }
        // A failing block must not take the queue's thread down with it, nor go unheard.
        try {
            if (block) block();
        } catch (...) {
            failed(*shared, label, failureText(std::current_exception()));
        }
    }
}

void SerialQueue::failed(Shared& shared, const std::string& label, std::string reason) {
    FailureHandler handler;
    {
        std::lock_guard lock(shared.mutex);
        shared.lastFailure = reason;
        handler = shared.onFailure;
    }
    try {
        if (handler) {
            handler(label, reason);
            return;
        }
    } catch (...) {
        // A handler that throws is heard on standard error instead.
    }
    std::fprintf(stderr, "sorvel: a task on %s failed: %s\n", label.c_str(), reason.c_str());
}

std::string SerialQueue::lastFailure() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->lastFailure;
}

void SerialQueue::async(std::function<void()> block) {
    if (!thread_.joinable()) {
        std::lock_guard lock(inlineMutex_);
        if (block) block();
        return;
    }
    {
        std::lock_guard lock(shared_->mutex);
        shared_->blocks.push_back(std::move(block));
    }
    shared_->wake.notify_one();
}

bool SerialQueue::isCurrent() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->thread == std::this_thread::get_id();
}

} // namespace sorvel
