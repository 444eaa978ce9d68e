#pragma once
// The process entry: looks at the arguments once and runs the first headless command
// present (in a fixed order, wherever the options stand), prints the usage text, or
// starts the windowed application.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel::SorvelMain {

enum class Command {
    insights, plan, backups, apps, duplicates, history, xcode, docker, watch, cloud, access,
    size, report, help, app
};

/// What the arguments ask for.
struct Dispatch {
    Command command = Command::app;
    std::string argument;               // the PATH of insights, duplicates, watch, size
    std::optional<std::string> root;    // the optional folder of backups
    bool json = false;                  // report only
    bool wholeDisk = false;             // report only
    bool progress = false;              // report only
};

/// Matches the arguments (without the program path) against the options, in order.
Dispatch dispatch(const std::vector<std::string>& arguments);

/// The usage text, without a final line break.
std::string_view usageText();

/// Runs the headless command the arguments ask for (the usage text when there is none) and
/// returns the exit status; the window is the executable's to open.
int main(int argc, char** argv);

} // namespace sorvel::SorvelMain
