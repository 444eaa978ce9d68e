// A block that throws on the queue's thread leaves its reason behind, and the queue runs on.
#include <gtest/gtest.h>

#include <future>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/SerialQueue.h"

using namespace sorvel;

namespace {

// Runs `failing`, then a block that must still run, and waits for both.
void runThenSettle(SerialQueue& queue, std::function<void()> failing) {
    std::promise<void> after;
    queue.async(std::move(failing));
    queue.async([&] { after.set_value(); });
    after.get_future().wait();
}

} // namespace

TEST(SerialQueueFailures, AThrowingBlockIsHeardWithItsTextAndTheQueueRunsOn) {
    struct Case {
        const char* what;
        std::function<void()> block;
        std::string reason;
    } cases[] = {
        {"an error with a text", [] { throw std::runtime_error("the history file is read-only"); },
         "the history file is read-only"},
        {"memory running out", [] { throw std::bad_alloc(); }, "out of memory"},
        {"something that is no error", [] { throw 42; }, "an error that carries no description"},
    };
    for (auto& c : cases) {
        std::vector<std::pair<std::string, std::string>> heard;
        SerialQueue queue("test.failing", [&](const std::string& label, const std::string& reason) {
            heard.emplace_back(label, reason);
        });
        runThenSettle(queue, c.block);
        EXPECT_EQ(heard, (std::vector<std::pair<std::string, std::string>>{{"test.failing", c.reason}})) << c.what;
        EXPECT_EQ(queue.lastFailure(), c.reason) << c.what;
    }
}

TEST(SerialQueueFailures, WithoutAHandlerTheReasonIsStillKept) {
    SerialQueue queue("test.unheard");
    EXPECT_EQ(queue.lastFailure(), "");
    runThenSettle(queue, [] { throw std::runtime_error("No space left on device"); });
    EXPECT_EQ(queue.lastFailure(), "No space left on device");
}
