// A block that throws on the queue's thread leaves its reason behind, and the queue runs on.
#include <gtest/gtest.h>

#include <future>
#include <new>
#include <stdexcept>

#include "platform/SerialQueue.h"

using namespace sorvel;

TEST(SerialQueueFailures, AThrowingBlockIsHeardWithItsTextAndTheQueueRunsOn) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { throw std::runtime_error("No space left on device"); }, "No space left on device"},
        {[] { throw std::bad_alloc(); }, "out of memory"},
        {[] { throw 42; }, "an error that carries no description"},
    };
    std::vector<std::string> heard;
    const SerialQueue::FailureHandler hear = [&](const std::string& label, const std::string& why) {
        heard.push_back(label + ": " + why);
    };
    for (const bool handled : {true, false}) {
        for (const auto& [block, reason] : cases) {
            heard.clear();
            SerialQueue queue("test.failing", handled ? hear : nullptr);
            std::promise<void> after; // the queue runs on
            queue.async(block);
            queue.async([&] { after.set_value(); });
            after.get_future().wait();
            EXPECT_EQ(heard, handled ? std::vector<std::string>{"test.failing: " + reason} : std::vector<std::string>{});
            EXPECT_EQ(queue.lastFailure(), reason);
        }
    }
}
