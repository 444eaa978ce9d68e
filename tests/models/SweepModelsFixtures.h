#pragma once
// Fake homes for the history and sweep models: HOME and the defaults folder at temporary
// folders, a Trash, and a way to wait on the event loop without fixed sleeps.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <string>

#include "platform/Trash.h"
#include "removal/SweepHistory.h"
#include "support/TestSupport.h"

namespace sorvel::test {

struct ModelHome {
    FakeHome home;
    TempDir config;
    ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
    std::string h = home.path();

    ModelHome() { makeDirs(h + "/.Trash"); }

    // A cache folder with one file, moved to the Trash the way a cleanup moves it.
    MovedItem trashed(const std::string& relative, const std::string& contents = "cache bytes") {
        const std::string original = h + "/" + relative;
        writeFile(original + "/data.bin", contents);
        auto moved = Trash::moveItem(original);
        return MovedItem{original, moved.trashPath.value_or("Trash"), static_cast<int64_t>(contents.size())};
    }
};

/// Turns the event loop until `done` holds or `ms` pass; returns whether it holds.
inline bool waitUntil(const std::function<bool()>& done, int ms = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace sorvel::test
