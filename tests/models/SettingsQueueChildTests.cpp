// A process started from a test process whose settings queue runs gets a queue of its own:
// a fork would have the queue without its thread, and waiting for the settings there would
// never end.
#include <gtest/gtest.h>

#include <chrono>

#include "models/SettingsSaver.h"
#include "support/ChildProcess.h"

using namespace sorvel;

TEST(SettingsQueueChild, WaitingForTheSettingsEndsInANewProcessOfAProcessWhoseQueueRuns) {
    if (test::isRole("waits for the settings")) {
        Models::waitForSettings();
        test::endAs(3);
    }
    Models::onSettingsQueue([] {}); // the queue and its thread are this process's now
    Models::waitForSettings();
    EXPECT_EQ(test::runTestInNewProcess("waits for the settings", std::chrono::seconds(60)), 3);
}
