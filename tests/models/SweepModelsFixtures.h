#pragma once
// Fake homes for the history and sweep models: HOME and the defaults folder at temporary
// folders, a Trash, and a way to wait on the event loop without fixed sleeps.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <string>

#include "platform/Trash.h"
#include "removal/SweepHistory.h"
#include "models/EventLoop.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

namespace sorvel::test {

struct ModelHome {
    FakeHome home;
    TempDir config;
    ScopedEnv xdg{"XDG_CONFIG_HOME", config.path()};
    std::string h = home.path();

    ModelHome() { makeDirs(h + "/.local/share/Trash"); }

    // A cache folder with one file, moved to the Trash the way a cleanup moves it.
    MovedItem trashed(const std::string& relative, const std::string& contents = "cache bytes") {
        const std::string original = h + "/" + relative;
        writeFile(original + "/data.bin", contents);
        auto moved = test::moveToTrash(original);
        return MovedItem{original, moved.trashPath.value_or("Trash"), static_cast<int64_t>(contents.size())};
    }
};

} // namespace sorvel::test
