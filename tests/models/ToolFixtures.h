#pragma once
// Shared by the tool model tests: a fake machine whose user defaults live inside the
// fake home, and waiting on the event loop with a time-out.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>

#include "analysis/AppFixtures.h"
#include "models/EventLoop.h"
#include "support/TestSupport.h"

namespace sorvel::test {

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
