#pragma once
// Opens the window: loads libsorvel-window.so from beside the executable and runs it.
namespace sorvel::WindowLoader {

/// The window's exit status; 2 with one line on standard error when the module cannot
/// be loaded.
int run(int argc, char** argv);

} // namespace sorvel::WindowLoader
