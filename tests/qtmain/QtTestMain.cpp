// Test entry for the Qt models: one application object for the whole run, so tests can
// wait on signals and timers (QSignalSpy::wait, QTest::qWait).
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "models/BackgroundWork.h"
#include "models/SettingsSaver.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    // A settings write still queued would hand its result to an application already gone.
    sorvel::Models::waitForSettings();
    // So is the result of work a test left running; one still held past the wait is not
    // let wake into a process tearing down.
    if (!sorvel::Models::waitForBackgroundWork(std::chrono::seconds(10))) {
        std::fflush(nullptr);
        std::_Exit(failed);
    }
    return failed;
}
