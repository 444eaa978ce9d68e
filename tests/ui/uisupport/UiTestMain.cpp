// Test entry for the window: one QApplication on the offscreen platform, a fake home for
// the whole run, animations off and an English (US) locale.
#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "models/BackgroundWork.h"
#include "models/SettingsSaver.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"
#include "ui/kit/Animations.h"
#include "ui/kit/Theme.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A run for a test's role keeps the folders of the test that started it.
    std::optional<sorvel::test::TempDir> home;
    if (sorvel::test::testRole().empty()) {
        home.emplace();
        setenv("HOME", home->path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (*home / ".config").c_str(), 1);
        setenv("XDG_DATA_HOME", (*home / ".local/share").c_str(), 1);
    }
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    sorvel::ui::Animations::setEnabled(false);
    sorvel::ui::Theme::setAppearance(sorvel::ui::Appearance::light);
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
