#include "models/SettingsSaver.h"

#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>

#include "platform/SerialQueue.h"

namespace sorvel::Models {
namespace {

// Never destroyed: blocks still queued at exit would meet settings statics already gone.
SerialQueue& queue() {
    static auto* q = new SerialQueue("settings");
    return *q;
}

// Raised by each `waitForSettings`: a save being tried again then makes its last try.
struct Hurry {
    std::mutex mutex;
    std::condition_variable raised;
    uint64_t count = 0;
    // The wait at which a save last gave up on settings another Sorvel holds: the saves
    // queued behind it give up at once, so that wait is waited once in all.
    uint64_t gaveUpAt = 0;
};

Hurry& hurry() {
    static auto* h = new Hurry;
    return *h;
}

} // namespace

void onSettingsQueue(std::function<void()> block) { queue().async(std::move(block)); }

void queueSave(UserDefaults defaults, std::string key, nlohmann::json value,
               std::function<void(const SaveStatus&)> tell) {
    queueWrite([defaults = std::move(defaults), key = std::move(key), value = std::move(value)]() mutable {
        return defaults.set(key, value);
    }, std::move(tell));
}

void queueWrite(std::function<SaveStatus()> write, std::function<void(const SaveStatus&)> tell) {
    Hurry& h = hurry();
    uint64_t asked = 0;
    {
        const std::lock_guard<std::mutex> lock(h.mutex);
        asked = h.count;
    }
    onSettingsQueue([asked, write = std::move(write), tell = std::move(tell)]() mutable {
        Hurry& h = hurry();
        {
            const std::lock_guard<std::mutex> lock(h.mutex);
            if (h.count != asked && h.gaveUpAt == h.count) return tell(SaveStatus{SaveStatus::kBusy});
        }
        SaveStatus status = write();
        for (bool told = false; status.busy(); told = true) {
            if (!told) {
                SaveStatus held = status;
                held.retrying = true;
                tell(held);
            }
            // Tried again after as long as the write waited, so a stopped holder is not
            // polled hard; given up once a wait for the settings began after it was asked.
            std::unique_lock<std::mutex> lock(h.mutex);
            if (h.count != asked) break;
            h.raised.wait_for(lock, UserDefaults::lockWait(), [&] { return h.count != asked; });
            lock.unlock();
            status = write();
        }
        if (status.busy()) {
            const std::lock_guard<std::mutex> lock(h.mutex);
            if (h.count != asked) h.gaveUpAt = h.count;
        }
        tell(status);
    });
}

void waitForSettings() {
    if (queue().isCurrent()) return;
    {
        Hurry& h = hurry();
        const std::lock_guard<std::mutex> lock(h.mutex);
        ++h.count;
    }
    hurry().raised.notify_all();
    std::promise<void> done;
    auto future = done.get_future();
    queue().async([&done] { done.set_value(); });
    future.wait();
}

} // namespace sorvel::Models
