// Test entry for the Qt models: one application object for the whole run, so tests can
// wait on signals and timers (QSignalSpy::wait, QTest::qWait).
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
