#pragma once
// Shared by the tool model tests: a fake machine whose user defaults live inside the
// fake home, and waiting on the event loop with a time-out.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>

#include "analysis/AppFixtures.h"
#include "support/TestSupport.h"

namespace sorvel::test {

/// Turns the event loop until `done` holds or `ms` pass; returns whether it holds.
inline bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

/// Lets queued hand-backs arrive for a moment (used only to show that nothing more comes).
inline void settle(int ms = 150) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

/// A fake machine (HOME and a system root) whose defaults file lies in the fake home.
class ToolMachine : public FakeMachine {
public:
    ToolMachine() : config_("XDG_CONFIG_HOME", home("/.config")) {}

private:
    ScopedEnv config_;
};

} // namespace sorvel::test
