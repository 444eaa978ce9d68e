#include <string>
#include <vector>

#include "cli/SorvelMain.h"
#include "window/WindowLoader.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    // Headless commands and the usage text never load the window or create an
    // application object.
    if (sorvel::SorvelMain::dispatch(args).command == sorvel::SorvelMain::Command::app)
        return sorvel::WindowLoader::run(argc, argv);
    return sorvel::SorvelMain::main(argc, argv);
}
