#include "models/SettingsSaver.h"

#include <future>

#include "platform/SerialQueue.h"

namespace sorvel::Models {
namespace {

// Never destroyed: blocks still queued at exit would meet settings statics already gone.
SerialQueue& queue() {
    static auto* q = new SerialQueue("settings");
    return *q;
}

} // namespace

void onSettingsQueue(std::function<void()> block) { queue().async(std::move(block)); }

void waitForSettings() {
    if (queue().isCurrent()) return;
    std::promise<void> done;
    auto future = done.get_future();
    queue().async([&done] { done.set_value(); });
    future.wait();
}

} // namespace sorvel::Models
