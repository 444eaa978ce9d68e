#pragma once
// The windowed program: creates the application object (only here, so headless commands
// never need a display), the long-lived models, the main window, and the tray item where
// the desktop has a system tray.
#include <chrono>

namespace sorvel::ui {
struct AppModels;
}

namespace sorvel::ui::SorvelApp {

/// Ties the models to one another: the tray panel's findings are looked at again each
/// time the window moves items to the Trash or puts them back.
void linkModels(const AppModels& models);

/// Runs the window until the application quits; returns the exit status. With no display
/// to open (no DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM) it says so in one line on
/// standard error and returns 2.
int main(int argc, char** argv);

/// How long the process waits, once its event loop has ended, for what still runs.
struct EndBounds {
    /// Moves to the Trash, a sweep's and the tray panel's among them: each completes and
    /// is recorded within it.
    std::chrono::milliseconds moves = std::chrono::minutes(5);
    std::chrono::milliseconds folderChecks = std::chrono::milliseconds(500);
    std::chrono::milliseconds backgroundWork = std::chrono::seconds(1);
};

/// Waits, each within its bound, for the moves, the settings asked for, folder checks and
/// background work still running, then returns `status`. Past a bound the process ends at
/// once with `status`: a move cut short there is tidied at the next start, its receipt
/// saying so.
int finish(int status, const EndBounds& bounds = {});

/// The one-line message for a missing display.
const char* noDisplayMessage();

/// Whether a window can be opened at all from this environment.
bool hasDisplay();

} // namespace sorvel::ui::SorvelApp
