#pragma once
// What the window benchmarks share: an offscreen application with animations off, and a
// coordinator whose scan returns a prepared result at once.
#include <QApplication>
#include <QElapsedTimer>

#include <cstdlib>
#include <memory>

#include "models/AppsModel.h"
#include "models/DuplicatesModel.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "models/UpdateChecker.h"
#include "platform/UserDefaults.h"
#include "ui/kit/Animations.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/services/AppModels.h"
#include "ui/services/DesktopServices.h"

namespace uibench {

inline QApplication& application() {
    static int argc = 1;
    static char name[] = "sorvel-bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Left for the process to end: destroying it among static destructors crashes.
    static QApplication* app = new QApplication(argc, argv);
    sorvel::ui::Animations::setEnabled(false);
    return *app;
}

inline bool waitUntil(const std::function<bool()>& done, int ms = 600'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

/// A finished coordinator holding `result`; the services in `adjust` replace the standard ones.
inline std::unique_ptr<sorvel::ScanCoordinator> finished(sorvel::ScanResult result,
                                                         sorvel::ScanCoordinator::Services services) {
    services.scan = [result](sorvel::ScanControl&, sorvel::ScanScope) { return result; };
    auto c = std::make_unique<sorvel::ScanCoordinator>(std::move(services));
    c->start();
    waitUntil([&] { return c->phase() == sorvel::ScanCoordinator::Phase::done; });
    return c;
}

/// The models a main window needs beside its coordinator; the update checker never fetches.
struct WindowModels {
    explicit WindowModels(sorvel::ScanCoordinator& coordinator,
                          sorvel::UserDefaults appearanceStore = sorvel::UserDefaults::standard())
        : appearance(std::move(appearanceStore)),
          models{coordinator, appearance, sweeper, apps, duplicates, history, updates, *desktop} {}
    sorvel::ui::AppearanceSetting appearance;
    sorvel::SweepScheduler sweeper;
    sorvel::AppsModel apps;
    sorvel::DuplicatesModel duplicates;
    sorvel::HistoryModel history;
    sorvel::UpdateChecker updates{[](const QUrl&, sorvel::UpdateChecker::Completion) {}, [](const QUrl&) {}};
    std::unique_ptr<sorvel::ui::DesktopServices> desktop = sorvel::ui::DesktopServices::system();
    const sorvel::ui::AppModels models;
};

} // namespace uibench
